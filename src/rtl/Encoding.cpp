#include "rtl/Encoding.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstring>
#else
#include <iconv.h>

#include <cerrno>
#endif

#include "rtl/SysUtils.h"

namespace rtl {

namespace {

[[noreturn]] void InvalidText(const char* what, size_t offset) {
  throw EEncodingError(
      Format("Invalid %s text at byte %d", {what, static_cast<std::int64_t>(offset)}));
}

[[noreturn]] void UnknownCodePage(const std::string& name) {
  throw EEncodingError("Unknown code page " + name);
}

}  // namespace

bool IsUtf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // the second byte's range
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (i + len > bytes.size()) return false;
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    if (second < lo || second > hi) return false;
    for (size_t k = 2; k < len; ++k)
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

#ifdef _WIN32

namespace {

// "CP936", "cp936", "WINDOWS-1251" or "936": the code page's number; 0 for anything else.
UINT CodePageNumber(const std::string& name) {
  std::string digits = UpperCase(name);
  for (const char* prefix : {"CP", "WINDOWS-"})
    if (digits.rfind(prefix, 0) == 0) {
      digits = digits.substr(std::strlen(prefix));
      break;
    }
  if (digits.empty() || digits.size() > 5 ||
      digits.find_first_not_of("0123456789") != std::string::npos)
    return 0;
  const UINT number = static_cast<UINT>(std::stoul(digits));
  return IsValidCodePage(number) ? number : 0;
}

}  // namespace

std::string AnsiCodePage() {
  return "CP" + std::to_string(GetACP());
}

void CheckCodePage(const std::string& codePage) {
  if (CodePageNumber(codePage) == 0) UnknownCodePage(codePage);
}

std::string CodePageToUtf8(std::string_view bytes, const std::string& codePage) {
  const UINT number = CodePageNumber(codePage);
  if (number == 0) UnknownCodePage(codePage);
  if (bytes.empty()) return {};
  const int n = MultiByteToWideChar(number, MB_ERR_INVALID_CHARS, bytes.data(),
                                    static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) throw EEncodingError("Invalid " + codePage + " text");
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(number, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                      wide.data(), n);
  return WideToUtf8(wide);
}

std::wstring Utf8ToWide(std::string_view text) {
  if (text.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string WideToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

// The error offsets are those iconv reports: the start of the first sequence that is invalid or
// cut off by the end of the input.
std::string Utf16LeToUtf8(std::string_view bytes) {
  const size_t units = bytes.size() / 2;
  std::wstring wide(units, L'\0');
  if (units) std::memcpy(wide.data(), bytes.data(), units * 2);
  for (size_t i = 0; i < units; ++i) {
    const wchar_t c = wide[i];
    if (c >= 0xD800 && c < 0xDC00) {
      if (i + 1 < units && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000) {
        ++i;
        continue;
      }
      InvalidText("UTF-16", i * 2);
    }
    if (c >= 0xDC00 && c < 0xE000) InvalidText("UTF-16", i * 2);
  }
  if (bytes.size() % 2) InvalidText("UTF-16", bytes.size() - 1);
  return WideToUtf8(wide);
}

std::string Utf8ToUtf16Le(std::string_view text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                    static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) {
    // Find the sequence that fails: each one is handed to the converter on its own.
    for (size_t i = 0; i < text.size();) {
      const auto lead = static_cast<unsigned char>(text[i]);
      const size_t len = lead < 0x80                   ? 1
                         : lead >= 0xC2 && lead < 0xE0 ? 2
                         : lead >= 0xE0 && lead < 0xF0 ? 3
                         : lead >= 0xF0 && lead < 0xF5 ? 4
                                                       : 0;
      if (len == 0 || i + len > text.size() ||
          MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data() + i, static_cast<int>(len),
                              nullptr, 0) <= 0)
        InvalidText("UTF-8", i);
      i += len;
    }
    InvalidText("UTF-8", 0);
  }
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                      wide.data(), n);
  std::string out(wide.size() * 2, '\0');
  std::memcpy(out.data(), wide.data(), out.size());
  return out;
}

#else

namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1))
      throw EEncodingError(std::string("No conversion from ") + from + " to " + to);
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  std::string Convert(std::string_view in, const char* what) {
    std::string out;
    out.resize(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    size_t used = 0;
    while (true) {
      char* dst = out.data() + used;
      size_t dstLeft = out.size() - used;
      size_t r = iconv(cd_, srcLeft ? &src : nullptr, &srcLeft, &dst, &dstLeft);
      used = out.size() - dstLeft;
      if (r != static_cast<size_t>(-1)) {
        if (srcLeft == 0) break;
        continue;
      }
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      InvalidText(what, in.size() - srcLeft);
    }
    out.resize(used);
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

void CheckCodePage(const std::string& codePage) {
  const iconv_t cd =
      codePage.empty() ? reinterpret_cast<iconv_t>(-1) : iconv_open("UTF-8", codePage.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) UnknownCodePage(codePage);
  iconv_close(cd);
}

std::string CodePageToUtf8(std::string_view bytes, const std::string& codePage) {
  CheckCodePage(codePage);
  Converter c("UTF-8", codePage.c_str());
  return c.Convert(bytes, codePage.c_str());
}

std::string Utf16LeToUtf8(std::string_view bytes) {
  Converter c("UTF-8", "UTF-16LE");
  return c.Convert(bytes, "UTF-16");
}

std::string Utf8ToUtf16Le(std::string_view text) {
  Converter c("UTF-16LE", "UTF-8");
  return c.Convert(text, "UTF-8");
}

#endif

}  // namespace rtl
