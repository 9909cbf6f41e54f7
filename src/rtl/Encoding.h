// Conversions between UTF-16 little-endian and UTF-8 (iconv; the Win32 API on Windows).
#pragma once

#include <string>
#include <string_view>

namespace rtl {

// Raises EEncodingError when the bytes are not valid UTF-16 LE (odd length, lone surrogate).
std::string Utf16LeToUtf8(std::string_view bytes);
// Raises EEncodingError when the text is not valid UTF-8.
std::string Utf8ToUtf16Le(std::string_view text);

#ifdef _WIN32
// Paths and arguments at the Win32 boundary: UTF-8 inside, UTF-16 at every call. Invalid
// sequences become U+FFFD rather than failing, as a name that cannot be converted names nothing.
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
#endif

}  // namespace rtl
