#include "rtl/FormStreamValues.h"
#include <locale.h>
#include <clocale>
#include <cstdlib>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace rtl::formstream {

namespace {

constexpr int kExponentBias = 16383;
constexpr int kMantissaBits = 64;
// The IDE writes extended floats with 18 significant digits and 18 decimals, and singles, dates
// and currency with 15 significant digits.
constexpr int kIdeDigits = 18;
constexpr int kShortDigits = 15;
// Enough significant digits for any 64-bit mantissa to read back unchanged.
constexpr int kExtendedDigits = 21;

// A float as sign, significant digits and the decimal exponent of the first digit.
struct Decimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

Decimal ToDecimal(long double value, int significantDigits) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific,
                           significantDigits - 1);
  Decimal d;
  const char* p = buf;
  if (*p == '-') {
    d.negative = true;
    ++p;
  }
  for (; p < res.ptr && *p != 'e'; ++p)
    if (*p != '.') d.digits += *p;
  if (p < res.ptr) std::from_chars(p + (p[1] == '+' ? 2 : 1), res.ptr, d.exponent);
  return d;
}

// Fixed notation with at least 18 decimals; nothing where the IDE would switch to an exponent
// or where leading zeros would drown the digits.
std::optional<std::string> FixedText(const Decimal& d) {
  const int n = static_cast<int>(d.digits.size());
  if (d.exponent >= n || d.exponent < -5) return std::nullopt;
  std::string intPart, frac;
  if (d.exponent >= 0) {
    intPart = d.digits.substr(0, d.exponent + 1);
    frac = d.digits.substr(d.exponent + 1);
  } else {
    intPart = "0";
    frac = std::string(-d.exponent - 1, '0') + d.digits;
  }
  while (frac.size() > kIdeDigits && frac.back() == '0') frac.pop_back();
  if (frac.size() < kIdeDigits) frac.append(kIdeDigits - frac.size(), '0');
  return (d.negative ? "-" : "") + intPart + "." + frac;
}

std::string ScientificText(const Decimal& d) {
  std::string mantissa = d.digits.substr(1);
  while (!mantissa.empty() && mantissa.back() == '0') mantissa.pop_back();
  std::string text = d.negative ? "-" : "";
  text += d.digits[0];
  if (!mantissa.empty()) text += "." + mantissa;
  text += d.exponent < 0 ? "E-" : "E+";
  text += std::to_string(std::abs(d.exponent));
  return text;
}

// The IDE's general format: fixed notation while the digits before the point are no more than
// the precision and the value is at least 0.00001, else an exponent ("1E16", "1.5E-7"); no
// trailing zeros.
std::string GeneralText(Decimal d, int precision) {
  while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
  const int n = static_cast<int>(d.digits.size());
  std::string text = d.negative ? "-" : "";
  if (d.exponent >= precision || d.exponent < -5) {
    text += d.digits[0];
    if (n > 1) text += "." + d.digits.substr(1);
    text += d.exponent < 0 ? "E-" : "E";
    return text + std::to_string(std::abs(d.exponent));
  }
  if (d.exponent < 0) return text + "0." + std::string(-d.exponent - 1, '0') + d.digits;
  if (n <= d.exponent + 1) return text + d.digits + std::string(d.exponent + 1 - n, '0');
  return text + d.digits.substr(0, d.exponent + 1) + "." + d.digits.substr(d.exponent + 1);
}

bool ReadsBack(const std::string& text, long double value, FloatKind kind) {
  auto back = ParseFloat(text, kind);
  return back && *back == value && std::signbit(*back) == std::signbit(value);
}

}  // namespace

std::optional<long double> ExtendedFromBytes(const unsigned char* bytes) {
  std::uint64_t mantissa = 0;
  for (int i = 7; i >= 0; --i) mantissa = mantissa << 8 | bytes[i];
  const unsigned signExp = bytes[8] | bytes[9] << 8;
  const int exp = signExp & 0x7FFF;
  if (exp == 0x7FFF) return std::nullopt;
  // A zero exponent is a denormal, scaled like the smallest normal exponent.
  const int scale = (exp == 0 ? 1 : exp) - kExponentBias - (kMantissaBits - 1);
  long double value = std::ldexp(static_cast<long double>(mantissa), scale);
  return (signExp & 0x8000) ? -value : value;
}

void ExtendedToBytes(long double value, unsigned char* bytes) {
  const bool negative = std::signbit(value);
  value = std::fabs(value);
  std::uint64_t mantissa = 0;
  int exp = 0;
  if (value != 0) {
    int e;
    long double m = std::frexp(value, &e);  // value = m * 2^e, m in [0.5, 1)
    exp = e - 1 + kExponentBias;
    long double scaled =
        exp >= 1 ? std::ldexp(m, kMantissaBits)
                 : std::ldexp(value, kExponentBias - 1 + kMantissaBits - 1);  // denormal
    if (exp < 1) exp = 0;
    // Wider long doubles (quad precision) round to the 64-bit mantissa.
    scaled = std::nearbyint(scaled);
    if (scaled >= std::ldexp(1.0L, kMantissaBits)) {
      scaled = std::ldexp(1.0L, kMantissaBits - 1);
      ++exp;
    }
    mantissa = static_cast<std::uint64_t>(scaled);
  }
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(mantissa >> (8 * i));
  const unsigned signExp = static_cast<unsigned>(exp) | (negative ? 0x8000u : 0u);
  bytes[8] = static_cast<unsigned char>(signExp);
  bytes[9] = static_cast<unsigned char>(signExp >> 8);
}

std::string FormatFloat(long double value, FloatKind kind) {
  if (kind != FloatKind::Extended) {
    // 17 digits carry any double; the extra ones cover reading through extended, which rounds
    // twice.
    for (int digits = kShortDigits; digits <= kExtendedDigits; ++digits) {
      std::string text = GeneralText(ToDecimal(value, digits), digits);
      if (ReadsBack(text, value, kind)) return text;
    }
    return GeneralText(ToDecimal(value, kExtendedDigits), kExtendedDigits);
  }
  for (int digits = kIdeDigits; digits <= kExtendedDigits; ++digits) {
    auto text = FixedText(ToDecimal(value, digits));
    if (text && ReadsBack(*text, value, kind)) return *text;
  }
  for (int digits = kIdeDigits; digits < kExtendedDigits; ++digits) {
    std::string text = ScientificText(ToDecimal(value, digits));
    if (ReadsBack(text, value, kind)) return text;
  }
  return ScientificText(ToDecimal(value, kExtendedDigits));
}

std::optional<long double> ParseFloat(std::string_view text, FloatKind kind) {
  long double value = 0;
  auto res =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (res.ec == std::errc::result_out_of_range && res.ptr == text.data() + text.size()) {
    // Values below the normal range (denormals) are reported out of range although extended
    // holds them; read them again in the C locale and keep what is finite.
    std::string copy(text);
    char* end = nullptr;
#ifdef _WIN32
    // mingw's own strtold (80-bit); nothing here changes the C library's locale from "C".
    value = std::strtold(copy.c_str(), &end);
#else
    static locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    value = strtold_l(copy.c_str(), &end, c);
#endif
    if (end != copy.c_str() + copy.size() || !std::isfinite(value) || std::fabs(value) >= 1)
      return std::nullopt;
  } else if (res.ec != std::errc() || res.ptr != text.data() + text.size()) {
    return std::nullopt;
  }
  // Like the IDE: read as extended, then round to the property's type.
  if (kind == FloatKind::Single) {
    float f = static_cast<float>(value);
    if (std::isinf(f)) return std::nullopt;
    return f;
  }
  if (kind == FloatKind::Date) {
    double d = static_cast<double>(value);
    if (std::isinf(d)) return std::nullopt;
    return d;
  }
  return value;
}

std::string FormatCurrency(std::int64_t units) {
  Decimal d;
  d.negative = units < 0;
  const std::uint64_t magnitude =
      d.negative ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
  d.digits = std::to_string(magnitude);
  d.exponent = static_cast<int>(d.digits.size()) - 1;
  // The integer is exact in decimal: 15 digits, or as many as it needs past them.
  const size_t significant = d.digits.find_last_not_of('0') + 1;
  std::string text = GeneralText(d, std::max(kShortDigits, static_cast<int>(significant)));
  if (ParseCurrency(text) == units) return text;
  return (d.negative ? "-" : "") + d.digits;
}

// Plain decimals are read exactly, not through a float, so every 64-bit value comes back. The
// text is a number as the form text's tokenizer reads one.
std::optional<std::int64_t> ParseCurrency(std::string_view text) {
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  if (text.find_first_of("eE") != std::string_view::npos) {
    auto value = ParseFloat(text, FloatKind::Extended);
    if (!value || *value >= 9223372036854775807.0L) return std::nullopt;
    const auto magnitude = static_cast<std::int64_t>(std::nearbyint(*value));
    return negative ? -magnitude : magnitude;
  }
  const std::size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  const std::string_view frac = dot == std::string_view::npos ? "" : text.substr(dot + 1);
  std::uint64_t magnitude = 0;
  for (char c : whole) {
    if (magnitude > (UINT64_MAX - 9) / 10) return std::nullopt;
    magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
  }
  // Round half to even on the dropped decimals.
  const int first = frac.empty() ? 0 : frac[0] - '0';
  const bool more = frac.size() > 1 && frac.find_first_not_of('0', 1) != std::string_view::npos;
  if (first > 5 || (first == 5 && (more || (magnitude & 1)))) ++magnitude;
  const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : INT64_MAX;
  if (magnitude > limit) return std::nullopt;
  return negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
}

std::string EncodeUtf8Units(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (char16_t u : units) {
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | u >> 6);
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | u >> 12);
      out += static_cast<char>(0x80 | (u >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

std::optional<std::u16string> DecodeUtf8Units(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  while (p < end) {
    const unsigned lead = *p++;
    int follow;
    std::uint32_t cp;
    if (lead < 0x80) {
      out += static_cast<char16_t>(lead);
      continue;
    } else if (lead >= 0xC0 && lead < 0xE0) {
      follow = 1;
      cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      follow = 2;
      cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead < 0xF8) {
      follow = 3;
      cp = lead & 0x07;
    } else {
      return std::nullopt;
    }
    if (end - p < follow) return std::nullopt;
    for (int i = 0; i < follow; ++i, ++p) {
      if ((*p & 0xC0) != 0x80) return std::nullopt;
      cp = cp << 6 | (*p & 0x3F);
    }
    if (follow < 3) {
      out += static_cast<char16_t>(cp);
    } else {
      if (cp < 0x10000 || cp > 0x10FFFF) return std::nullopt;
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 | cp >> 10);
      out += static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
    }
  }
  return out;
}

}  // namespace rtl::formstream
