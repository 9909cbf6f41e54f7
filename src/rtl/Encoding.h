// Conversions between UTF-16 little-endian and UTF-8 (iconv).
#pragma once

#include <string>
#include <string_view>

namespace rtl {

// Raises EEncodingError when the bytes are not valid UTF-16 LE (odd length, lone surrogate).
std::string Utf16LeToUtf8(std::string_view bytes);
// Raises EEncodingError when the text is not valid UTF-8.
std::string Utf8ToUtf16Le(std::string_view text);

}  // namespace rtl
