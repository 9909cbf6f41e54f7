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

// Text of a finite float the way the IDE writes it, no suffix. An extended gets 18 significant
// digits and at least 18 decimals ("1.500000000000000000"); a single or a date 15 significant
// digits without trailing zeros ("37774.9583333333", "37774", "1E-7"). More digits, or an
// exponent, only where that text would not read back to the same value.
std::string FormatFloat(long double value, FloatKind kind);
// Reads a float text ("-1.5", "2.5E-7") as the kind; nothing when malformed or out of range.
std::optional<long double> ParseFloat(std::string_view text, FloatKind kind);

// A currency's stored integer of ten-thousandths, which is what its text holds ("15000" is 1.5),
// written like a date, no suffix.
std::string FormatCurrency(std::int64_t units);
// Reads a currency text back into the stored integer; nothing when out of range.
std::optional<std::int64_t> ParseCurrency(std::string_view text);

// UTF-8 of UTF-16 code units, each unit on its own (a surrogate takes three bytes), as the
// IDE's writer of this generation encodes wide strings.
std::string EncodeUtf8Units(std::u16string_view units);
// Decodes UTF-8 into UTF-16 code units; four-byte sequences become surrogate pairs and encoded
// surrogates their unit. Nothing when the bytes are not UTF-8.
std::optional<std::u16string> DecodeUtf8Units(std::string_view bytes);

}  // namespace rtl::formstream
