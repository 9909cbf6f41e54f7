// Conversion between the binary component stream of a form (signature "TPF0") and the form text
// the IDE writes, in both directions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/FileIO.h"
#include "rtl/SysUtils.h"

namespace rtl {

// A binary stream or a form text that cannot be converted. The message names the problem and the
// place: "byte offset N" of the input stream, or "line L, column C" of the text.
MIGWIZ_DECLARE_EXCEPTION(EFormStreamError, EStreamError);

// Value types of the binary stream; the numbers are the bytes in the stream.
enum class TValueType : std::uint8_t {
  vaNull = 0,
  vaList = 1,
  vaInt8 = 2,
  vaInt16 = 3,
  vaInt32 = 4,
  vaExtended = 5,  // 10-byte x87 extended
  vaString = 6,    // up to 255 bytes
  vaIdent = 7,
  vaFalse = 8,
  vaTrue = 9,
  vaBinary = 10,
  vaSet = 11,
  vaLString = 12,  // 32-bit length
  vaNil = 13,
  vaCollection = 14,
  vaSingle = 15,
  vaCurrency = 16,  // 64-bit integer, ten-thousandths
  vaDate = 17,      // double, days since 1899-12-30
  vaWString = 18,   // UTF-16 code units
  vaInt64 = 19,
  vaUTF8String = 20,
};

// Objects, lists, collections and their items nest at most this deep. Real forms stay far below;
// the bound keeps a hostile stream from blowing the text up quadratically through indentation.
inline constexpr int kMaxFormNesting = 1000;

// Converts the binary stream that starts at the input's position and appends its text to output.
// On success the input stands after the stream; on failure the input is back where it was,
// output is unchanged and EFormStreamError says what is wrong and at which byte offset.
void ObjectBinaryToText(TStream& input, std::string& output);

// Converts the form text (its first object) and writes the binary stream at the output's
// position. Nothing is written when the text is faulty; EFormStreamError names line and column.
void ObjectTextToBinary(std::string_view text, TStream& output);

}  // namespace rtl
