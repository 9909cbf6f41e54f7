// Pascal sources and text forms as the engine reads them: bytes, with the encoding their
// byte-order mark names, written back the same way.
#pragma once

#include <string>
#include <string_view>

#include "rtl/FileIO.h"

namespace migwiz {

// How a source text was stored; it is written back the same way.
enum class TTextEncoding { Default, UTF8, UTF16LE };

struct TSourceText {
  std::string Text;  // UTF-16 files are held as UTF-8
  TTextEncoding Encoding = TTextEncoding::Default;
};

// Reads everything from the stream's position to its end and decides the encoding by the
// byte-order mark. UTF-16 that cannot be decoded raises rtl::EEncodingError naming `name`.
TSourceText ReadSourceText(rtl::TStream& in, const std::string& name = std::string());
// The same for bytes already read, taken over without a copy where they need no decoding.
TSourceText ReadSourceText(std::string bytes, const std::string& name);
// The bytes a text is written as: its byte-order mark and the text in its encoding.
// A text given as an rvalue becomes the bytes itself where it needs no encoding.
std::string EncodeSourceText(std::string&& text, TTextEncoding encoding, const std::string& name);
std::string EncodeSourceText(std::string_view text, TTextEncoding encoding,
                             const std::string& name = std::string());

}  // namespace migwiz
