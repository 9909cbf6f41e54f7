#include "rtl/FormStreamValues.h"
#include <locale.h>
#include <clocale>
#include <cstdlib>

#include <charconv>
#include <cmath>

namespace rtl::formstream {

namespace {

constexpr int kExponentBias = 16383;
constexpr int kMantissaBits = 64;
// The IDE writes floats with 18 significant digits and 18 decimals.
constexpr int kIdeDigits = 18;
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
  const int maxDigits = kind == FloatKind::Extended ? kExtendedDigits : kIdeDigits;
  for (int digits = kIdeDigits; digits <= maxDigits; ++digits) {
    auto text = FixedText(ToDecimal(value, digits));
    if (text && ReadsBack(*text, value, kind)) return *text;
  }
  for (int digits = kIdeDigits; digits < maxDigits; ++digits) {
    std::string text = ScientificText(ToDecimal(value, digits));
    if (ReadsBack(text, value, kind)) return text;
  }
  return ScientificText(ToDecimal(value, maxDigits));
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
