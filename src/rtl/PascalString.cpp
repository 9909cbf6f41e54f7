#include "rtl/PascalString.h"

namespace rtl {

void TPascalString::Widen() {
  if (wide) return;
  wide = true;
  units.clear();
  for (unsigned char b : bytes) units += static_cast<char16_t>(b);
  bytes.clear();
}

void TPascalString::Append(const TPascalString& other) {
  if (other.wide) Widen();
  if (!wide) {
    bytes += other.bytes;
  } else if (other.wide) {
    units += other.units;
  } else {
    for (unsigned char c : other.bytes) units += static_cast<char16_t>(c);
  }
}

bool DecodePascalLiteral(std::string_view literal, std::string& out, TLiteralSyntax syntax) {
  out.clear();
  std::size_t pos = 0;
  return ReadPascalLiteral(literal, pos, out, syntax) && pos == literal.size();
}

}  // namespace rtl
