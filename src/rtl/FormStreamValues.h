// Value encodings shared by the two form stream conversions: x87 extended bytes, float texts and
// the UTF-8 of wide strings. Internal to rtl/Form*.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rtl::formstream {

enum class FloatKind { Extended, Single, Date };

// The 10 little-endian bytes of an x87 extended. Decoding gives nothing for infinities and NaNs,
// which the form text cannot carry.
std::optional<long double> ExtendedFromBytes(const unsigned char* bytes);
void ExtendedToBytes(long double value, unsigned char* bytes);

// Text of a finite float the way the IDE writes it (18 significant digits, at least 18
// decimals, "1.500000000000000000"); more digits or an exponent only where that text would not
// read back to the same value. No suffix.
std::string FormatFloat(long double value, FloatKind kind);
// Reads a float text ("-1.5", "2.5E-7") as the kind; nothing when malformed or out of range.
std::optional<long double> ParseFloat(std::string_view text, FloatKind kind);

// UTF-8 of UTF-16 code units, each unit on its own (a surrogate takes three bytes), as the
// IDE's writer of this generation encodes wide strings.
std::string EncodeUtf8Units(std::u16string_view units);
// Decodes UTF-8 into UTF-16 code units; four-byte sequences become surrogate pairs and encoded
// surrogates their unit. Nothing when the bytes are not UTF-8.
std::optional<std::u16string> DecodeUtf8Units(std::string_view bytes);

}  // namespace rtl::formstream
