// What the first bytes of a unit or form say it is: a binary form's resource header, a UTF-16
// or UTF-8 byte-order mark. Every reader of the run asks here.
#pragma once

#include <string_view>

namespace migwiz {

inline constexpr std::string_view kUtf16LeMark("\xFF\xFE", 2);
inline constexpr std::string_view kUtf8Mark("\xEF\xBB\xBF", 3);
inline constexpr std::string_view kBinaryFormMark("\xFF\x0A\x00", 3);  // resource header start

struct TFileSniff {
  bool Utf16Le = false;     // starts with the UTF-16 little-endian mark
  bool Utf8 = false;        // starts with the UTF-8 mark
  bool BinaryForm = false;  // starts with a binary form's resource header
};

constexpr TFileSniff SniffBytes(std::string_view bytes) {
  TFileSniff s;
  s.Utf16Le = bytes.substr(0, kUtf16LeMark.size()) == kUtf16LeMark;
  s.Utf8 = bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark;
  s.BinaryForm = bytes.substr(0, kBinaryFormMark.size()) == kBinaryFormMark;
  return s;
}

}  // namespace migwiz
