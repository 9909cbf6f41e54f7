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

}  // namespace

#ifdef _WIN32

std::wstring Utf8ToWide(std::string_view text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string WideToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0, nullptr, nullptr);
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
      const size_t len = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2
                         : lead >= 0xE0 && lead < 0xF0                 ? 3
                         : lead >= 0xF0 && lead < 0xF5                 ? 4
                                                                       : 0;
      if (len == 0 || i + len > text.size() ||
          MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data() + i,
                              static_cast<int>(len), nullptr, 0) <= 0)
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
