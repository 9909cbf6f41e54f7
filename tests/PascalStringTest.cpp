// Pascal string literals: reading into bytes, UTF-16 and the widening value, the writer's two
// layouts, the round trip between them, and the parameter literals of the form rewriting.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>

#include "MigWizard/FormParser.h"
#include "rtl/PascalString.h"

namespace {

using rtl::TLiteralError;

// The literal at the start of `text` as bytes and where reading stopped, or "!error@offset".
std::string Bytes(std::string_view text, rtl::TLiteralSyntax syntax = {}) {
  std::string out;
  std::size_t pos = 0;
  const rtl::TLiteralResult r = rtl::ReadPascalLiteral(text, pos, out, syntax);
  if (!r) return "!" + std::to_string(static_cast<int>(r.error)) + "@" + std::to_string(r.at);
  return out + "|" + std::to_string(pos);
}

std::string Error(TLiteralError e, int at) {
  return "!" + std::to_string(static_cast<int>(e)) + "@" + std::to_string(at);
}

TEST(PascalStringRead, BytesUnitsAndTheWideningValue) {
  EXPECT_EQ(Bytes("'It''s'"), "It's|7");
  EXPECT_EQ(Bytes("''''"), "'|4");
  EXPECT_EQ(Bytes("'a'#13#10'b'#$41#$6a#0065,"), "a\r\nbAjA|25");
  // Reading stops before blanks; "+" joins only when asked, over blanks and line ends.
  EXPECT_EQ(Bytes("'a' + 'b'"), "a|3");
  EXPECT_EQ(Bytes("'a' +\r\n\t 'b'#33 + #34  ,", {.plusJoins = true}), "ab!\"|21");
  EXPECT_EQ(Bytes("'a' + ", {.plusJoins = true}), Error(TLiteralError::NotALiteral, 6));
  EXPECT_EQ(Bytes("'a'#1'b''"), Error(TLiteralError::Unterminated, 5));
  EXPECT_EQ(Bytes("'a'#$"), Error(TLiteralError::NoCode, 3));
  EXPECT_EQ(Bytes("'a'#256"), Error(TLiteralError::CodeTooLarge, 3));
  // A line end closes nothing: unterminated unless the caller lets quotes span lines.
  EXPECT_EQ(Bytes("'a\nb'"), Error(TLiteralError::Unterminated, 0));
  EXPECT_EQ(Bytes("'a\r\nb'", {.lineBreaksInQuotes = true}), "a\r\nb|6");
  std::string whole;
  EXPECT_TRUE(rtl::DecodePascalLiteral("'dir\\O''Brien.pas'", whole));
  EXPECT_EQ(whole, "dir\\O'Brien.pas");
  EXPECT_FALSE(rtl::DecodePascalLiteral("'a' ", whole));

  std::u16string units;
  std::size_t pos = 0;
  ASSERT_TRUE(rtl::ReadPascalLiteral("'\xE9'#1055#$FFFF''''", pos, units));
  EXPECT_EQ(units, (std::u16string{0xE9, 1055, 0xFFFF, '\''}));
  pos = 0;
  EXPECT_EQ(rtl::ReadPascalLiteral("#65536", pos, units).error, TLiteralError::CodeTooLarge);

  // Narrow while every code is ASCII; a code above 127 turns what came before into units.
  rtl::TPascalString value;
  pos = 0;
  ASSERT_TRUE(rtl::ReadPascalLiteral("'\xE9''b'#127", pos, value));
  EXPECT_FALSE(value.wide);
  EXPECT_EQ(value.bytes, "\xE9'b\x7F");
  pos = 0;
  ASSERT_TRUE(rtl::ReadPascalLiteral("#128'\xE9'", pos, value));
  EXPECT_TRUE(value.wide);
  EXPECT_EQ(value.units, (std::u16string{0xE9, '\'', 'b', 0x7F, 0x80, 0xE9}));
  EXPECT_TRUE(value.bytes.empty());
}

template <typename Char>
std::string Literal(std::basic_string_view<Char> s, rtl::TLiteralLayout layout = {}) {
  std::string out = "=";  // appended, not replaced
  rtl::AppendPascalLiteral(out, s.data(), s.size(), layout);
  return out;
}

TEST(PascalStringWrite, BothLayoutsAndTheWayBack) {
  using namespace std::string_view_literals;
  // Units' layout: quotes doubled, bytes above 127 kept; no characters still make a literal.
  EXPECT_EQ(Literal("It's\r\n\xE9\x7F"sv), "='It''s'#13#10'\xE9\x7F'");
  EXPECT_EQ(Literal(""sv), "=''");
  EXPECT_EQ(Literal(u"a'\u00E9\u041F\x1F"sv), "='a'''#233#1055#31");
  // The form writer's: quotes as #39, pieces of N characters (a code is one) behind " +".
  const rtl::TLiteralLayout form{.quoteAsCode = true, .pieceChars = 4, .pieceIndent = 2};
  EXPECT_EQ(Literal("ab'd"sv, form), "='ab'#39'd'");
  EXPECT_EQ(Literal("ab\r\ncdefghi#"sv, form), "=\r\n  'ab'#13#10 +\r\n  'cdef' +\r\n  'ghi#'");
  EXPECT_EQ(Literal(u"\u041Fabcd"sv, form), "=\r\n  #1055'abc' +\r\n  'd'");

  // Random strings over the characters that matter read back unchanged from either layout.
  std::mt19937 rng(7);
  const char16_t alphabet[] = {'a', ' ', '\'', '#', '+', 0, 13, 10, 31, 127, 128, 0xE9, 0xFF};
  for (int round = 0; round < 400; ++round) {
    std::string bytes;
    std::u16string units;
    for (int n = static_cast<int>(rng() % 12); n > 0; --n) {
      const char16_t c = alphabet[rng() % std::size(alphabet)];
      bytes += static_cast<char>(c);
      units += rng() % 4 ? c : static_cast<char16_t>(0x100 + rng() % 0xFF00);
    }
    for (const rtl::TLiteralLayout& layout :
         {rtl::TLiteralLayout{}, rtl::TLiteralLayout{.quoteAsCode = true, .pieceChars = 3}}) {
      const rtl::TLiteralSyntax syntax{.plusJoins = layout.pieceChars > 0};
      std::string text;
      rtl::AppendPascalLiteral(text, bytes.data(), bytes.size(), layout);
      std::string backBytes;
      std::size_t pos = text.find_first_not_of("\r\n");  // a long one starts on a line of its own
      ASSERT_TRUE(rtl::ReadPascalLiteral(text, pos, backBytes, syntax)) << text;
      EXPECT_EQ(backBytes, bytes) << text;
      EXPECT_EQ(pos, text.size()) << text;

      text.clear();
      rtl::AppendPascalLiteral(text, units.data(), units.size(), layout);
      for (unsigned char c : text) ASSERT_LT(c, 128) << text;
      std::u16string backUnits;
      pos = text.find_first_not_of("\r\n");
      ASSERT_TRUE(rtl::ReadPascalLiteral(text, pos, backUnits, syntax)) << text;
      EXPECT_EQ(backUnits, units) << text;
    }
  }
}

// The connection parameters the form rewriting copies over keep codes above 255 and line ends.
TEST(PascalStringCallers, ParameterLiteralsKeepWideCharacters) {
  using migwiz::TFormParser;
  const std::string list =
      "(\r\n  'PASSWORD=ab'#1055 +\r\n    '\xE9'\r\n  'USER NAME='#$41'\xE9'\r\n"
      "  'SERVER NAME=two\r\nlines')";
  EXPECT_EQ(TFormParser::ParamLiteral(list, "password"), "'ab'#1055#233");
  EXPECT_EQ(TFormParser::ParamLiteral(list, "USER NAME"), "'A\xE9'");
  EXPECT_EQ(TFormParser::ParamLiteral(list, "SERVER NAME"), "'two'#13#10'lines'");
}

}  // namespace
