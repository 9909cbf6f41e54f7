// Conversions between UTF-16 little-endian and UTF-8 (iconv; the Win32 API on Windows).
#pragma once

#include <string>
#include <string_view>

namespace rtl {

// Raises EEncodingError when the bytes are not valid UTF-16 LE (odd length, lone surrogate).
std::string Utf16LeToUtf8(std::string_view bytes);
// Raises EEncodingError when the text is not valid UTF-8.
std::string Utf8ToUtf16Le(std::string_view text);

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsUtf8(std::string_view bytes);

// Text in an 8-bit or double-byte code page, named as iconv names them ("CP936", "CP1251",
// "WINDOWS-1252", "GBK"; on Windows "CP" and the code page's number, or the number alone), as
// UTF-8. Raises EEncodingError when the code page is unknown or the bytes are not text in it.
std::string CodePageToUtf8(std::string_view bytes, const std::string& codePage);
// Raises EEncodingError ("Unknown code page NAME") when CodePageToUtf8 cannot use the name.
void CheckCodePage(const std::string& codePage);

#ifdef _WIN32
// The machine's ANSI code page as "CP" and its number: what the IDE reads project files in.
std::string AnsiCodePage();

// Paths and arguments at the Win32 boundary: UTF-8 inside, UTF-16 at every call. Invalid
// sequences become U+FFFD rather than failing, as a name that cannot be converted names nothing.
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
#endif

}  // namespace rtl
