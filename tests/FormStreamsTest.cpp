// Form stream conversion: layout of the text, bytes of the binary, errors, large and deep input,
// and agreement with the Free Pascal runtime as a reference reader and writer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "rtl/FormStreams.h"
#include "support/FormOracle.h"
#include "support/TestUtil.h"

namespace {

using rtl::EFormStreamError;
using rtl::TMemoryStream;

std::string ToBinary(std::string_view text) {
  TMemoryStream out;
  rtl::ObjectTextToBinary(text, out);
  return out.TakeBytes();
}

std::string ToText(const std::string& binary) {
  TMemoryStream in(binary);
  std::string text;
  rtl::ObjectBinaryToText(in, text);
  return text;
}

std::string Sample(const std::string& name) {
  return testutil::ReadFile(testutil::SourcePath("tests/data/forms/" + name));
}

// A one-property form "object A: TA / P = <value> / end" and its binary around the value.
const std::string kFormHead = "object A: TA\r\n  P = ";
const std::string kFormTail = "\r\nend\r\n";
const std::string kBinaryHead = std::string(
    "TPF0\x02TA\x01"
    "A\x01P",
    11);
const std::string kBinaryTail = std::string(2, '\0');

std::string ValueBytes(const std::string& valueText) {
  const std::string bin = ToBinary(kFormHead + valueText + kFormTail);
  EXPECT_EQ(bin.substr(0, kBinaryHead.size()), kBinaryHead);
  return bin.substr(kBinaryHead.size(), bin.size() - kBinaryHead.size() - kBinaryTail.size());
}

std::string ValueText(const std::string& valueBytes) {
  const std::string text = ToText(kBinaryHead + valueBytes + kBinaryTail);
  EXPECT_EQ(text.substr(0, kFormHead.size()), kFormHead);
  return text.substr(kFormHead.size(), text.size() - kFormHead.size() - kFormTail.size());
}

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}

std::string ErrorOf(auto&& action) {
  try {
    action();
  } catch (const EFormStreamError& e) {
    return e.what();
  }
  return "(no error)";
}
// The message of the EFormStreamError the statement raises.
#define FORM_ERROR(statement) ErrorOf([&] { statement; })

::testing::AssertionResult Says(const std::string& error, std::string_view part) {
  if (error.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "error \"" << error << "\" lacks \"" << part << "\"";
}

// --- Layout and bytes -------------------------------------------------------------------------

TEST(FormStreams, SamplesComeBackAsTheSameTextAndTheSameBytes) {
  for (const char* name : {"AllValues.dfm.txt", "Common.dfm.txt"}) {
    SCOPED_TRACE(name);
    const std::string text = Sample(name);
    const std::string binary = ToBinary(text);
    EXPECT_EQ(ToText(binary), text);
    EXPECT_EQ(ToBinary(ToText(binary)), binary);
  }
}

TEST(FormStreams, IntegersTakeTheSmallestTypeBothWays) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"127", Bytes({2, 0x7F})},
      {"-128", Bytes({2, 0x80})},
      {"128", Bytes({3, 0x80, 0})},
      {"-32769", Bytes({4, 0xFF, 0x7F, 0xFF, 0xFF})},
      {"2147483648", Bytes({19, 0, 0, 0, 0x80, 0, 0, 0, 0})},
      {"$FF", Bytes({3, 0xFF, 0})},
  };
  for (const auto& [text, bytes] : cases) {
    EXPECT_EQ(ValueBytes(text), bytes) << text;
    if (text[0] != '$') {
      EXPECT_EQ(ValueText(bytes), text);
    }
  }
  EXPECT_EQ(ValueText(Bytes({4, 5, 0, 0, 0})), "5");  // a wider type than needed still reads
  EXPECT_TRUE(Says(FORM_ERROR(ToBinary(kFormHead + "9223372036854775808" + kFormTail)),
                   "integer out of range at line 2, column 7"));
}

TEST(FormStreams, StringsAreQuotedAndBrokenAsTheIdeWritesThem) {
  // Quotes and control characters as codes; bytes above 127 stay themselves.
  EXPECT_EQ(ValueText(Bytes({6, 5, 'a', '\'', 'b', 13, 0xE9})), "'a'#39'b'#13'\xE9'");
  EXPECT_EQ(ValueBytes("'a''b'#$41"), Bytes({6, 4, 'a', '\'', 'b', 'A'}));
  // 64 characters stay on the property's line; more start on the next line in pieces.
  const std::string s64(64, 'x');
  EXPECT_EQ(ValueText(Bytes({6, 64}) + s64), "'" + s64 + "'");
  EXPECT_EQ(ValueText(Bytes({6, 65}) + s64 + "y"), "\r\n    '" + s64 + "' +\r\n    'y'");
  EXPECT_EQ(ValueBytes("'ab' + #10 +\r\n 'c'"), Bytes({6, 4, 'a', 'b', 10, 'c'}));
  // Above 255 bytes a string needs the long form.
  const std::string s300(300, 'z');
  EXPECT_EQ(ValueBytes("'" + s300 + "'"), Bytes({12, 44, 1, 0, 0}) + s300);
  EXPECT_EQ(ValueText(Bytes({12, 0, 0, 0, 0})), "''");
}

TEST(FormStreams, WideStringsTakeTheShorterEncoding) {
  // Mostly ASCII: UTF-8 is shorter. Cyrillic: UTF-8 is as long as UTF-16, so UTF-16.
  EXPECT_EQ(ValueBytes("'ab'#1055"), Bytes({20, 4, 0, 0, 0, 'a', 'b', 0xD0, 0x9F}));
  EXPECT_EQ(ValueBytes("#1055#1088"), Bytes({18, 2, 0, 0, 0, 0x1F, 4, 0x40, 4}));
  EXPECT_EQ(ValueText(Bytes({18, 2, 0, 0, 0, 'a', 0, 0xAC, 0x20})), "'a'#8364");
  // Each UTF-16 unit is encoded on its own, and a surrogate pair comes back unchanged.
  EXPECT_EQ(ValueBytes("'abcdef'#55357#56832"), Bytes({20, 12, 0, 0, 0, 'a', 'b', 'c', 'd', 'e',
                                                       'f', 0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80}));
  EXPECT_EQ(ValueText(Bytes({20, 5, 0, 0, 0, 'a', 0xF0, 0x9F, 0x98, 0x80})), "'a'#55357#56832");
  // A wide piece makes the whole string wide; quoted bytes then count as their codes.
  EXPECT_EQ(ValueBytes("'\xE9' + #1055"), Bytes({18, 2, 0, 0, 0, 0xE9, 0, 0x1F, 4}));
  EXPECT_TRUE(Says(FORM_ERROR(ValueText(Bytes({20, 2, 0, 0, 0, 0xC3, 'x'}))),
                   "not valid UTF-8 at byte offset 11"));
}

TEST(FormStreams, FloatsReadBackExactly) {
  EXPECT_EQ(ValueBytes("1.5"), Bytes({5, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x3F}));
  EXPECT_EQ(ValueBytes("0.5s"), Bytes({15, 0, 0, 0, 0x3F}));
  // The currency text is the stored integer of ten-thousandths, also with decimals.
  EXPECT_EQ(ValueBytes("15000.000000000000000000c"), Bytes({16, 0x98, 0x3A, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(ValueBytes("1.5E4c"), Bytes({16, 0x98, 0x3A, 0, 0, 0, 0, 0, 0}));
  // Values the 18-digit text cannot carry get the digits they need.
  for (const char* text :
       {"1.00000000000000000011", "-0.000000000000000000", "1E-300", "1.18973149535723176502E+4932",
        "9223372036854775807c", "-9223372036854775808c", "1.401298464324817E-45s",
        "4.9406564584124654E-324d", "0.1d", "0.333333333333333333"}) {
    const std::string bytes = ValueBytes(text);
    EXPECT_EQ(ValueBytes(ValueText(bytes)), bytes) << text << " -> " << ValueText(bytes);
  }
  // Infinity and NaN have no text.
  EXPECT_TRUE(Says(FORM_ERROR(ValueText(Bytes({5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}))),
                   "infinite or NaN float"));
  EXPECT_TRUE(Says(FORM_ERROR(ValueText(Bytes({15, 0, 0, 0xC0, 0x7F}))), "infinite or NaN"));
  EXPECT_TRUE(Says(FORM_ERROR(ValueBytes("1E400s")), "out of range"));
}

// Singles, currency and dates get 15 significant digits without trailing zeros, and more only
// where those do not read back to the same bits.
TEST(FormStreams, SinglesCurrencyAndDatesAreWrittenWithFifteenDigits) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"37774.9583333333d", Bytes({17, 0xA6, 0xAA, 0xAA, 0xAA, 0xDE, 0x71, 0xE2, 0x40})},
      {"37774d", Bytes({17, 0, 0, 0, 0, 0xC0, 0x71, 0xE2, 0x40})},
      {"37774.958333333336d", Bytes({17, 0xAB, 0xAA, 0xAA, 0xAA, 0xDE, 0x71, 0xE2, 0x40})},
      {"-0d", Bytes({17, 0, 0, 0, 0, 0, 0, 0, 0x80})},
      {"0.00001d", Bytes({17, 0xF1, 0x68, 0xE3, 0x88, 0xB5, 0xF8, 0xE4, 0x3E})},
      {"1E-6d", Bytes({17, 0x8D, 0xED, 0xB5, 0xA0, 0xF7, 0xC6, 0xB0, 0x3E})},
      {"1E15d", Bytes({17, 0, 0, 0x34, 0x26, 0xF5, 0x6B, 0x0C, 0x43})},
      {"4.94065645841247E-324d", Bytes({17, 1, 0, 0, 0, 0, 0, 0, 0})},
      {"-1.5s", Bytes({15, 0, 0, 0xC0, 0xBF})},
      {"0.100000001490116s", Bytes({15, 0xCD, 0xCC, 0xCC, 0x3D})},
      {"1.0000000116861E-7s", Bytes({15, 0x95, 0xBF, 0xD6, 0x33})},
      {"3.40282346638529E38s", Bytes({15, 0xFF, 0xFF, 0x7F, 0x7F})},
      {"125000c", Bytes({16, 0x48, 0xE8, 0x01, 0, 0, 0, 0, 0})},
      {"-25000c", Bytes({16, 0x58, 0x9E, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})},
      {"0c", Bytes({16, 0, 0, 0, 0, 0, 0, 0, 0})},
      {"1E16c", Bytes({16, 0, 0, 0xC1, 0x6F, 0xF2, 0x86, 0x23, 0})},
      {"1.5E18c", Bytes({16, 0, 0, 0x16, 0x7B, 0x0D, 0x12, 0xD1, 0x14})},
      {"1234567890123456789c", Bytes({16, 0x15, 0x81, 0xE9, 0x7D, 0xF4, 0x10, 0x22, 0x11})},
      {"-9223372036854775808c", Bytes({16, 0, 0, 0, 0, 0, 0, 0, 0x80})},
  };
  for (const auto& [text, bytes] : cases) {
    EXPECT_EQ(ValueText(bytes), text);
    EXPECT_EQ(ValueBytes(text), bytes) << text;
  }
  // Any bits come back: random doubles, singles and integers, and their neighbours.
  std::mt19937_64 rng(11);
  for (int i = 0; i < 3000; ++i) {
    std::uint64_t bits = rng();
    for (const std::uint64_t b : {bits, bits + 1, bits - 1}) {
      std::string date = Bytes({17}), currency = Bytes({16}), single = Bytes({15});
      for (int k = 0; k < 8; ++k) {
        date += static_cast<char>(b >> (8 * k));
        currency += static_cast<char>(b >> (8 * k));
        if (k < 4) single += static_cast<char>(b >> (8 * k));
      }
      // Infinities and NaNs have no text.
      if ((b >> 52 & 0x7FF) == 0x7FF) date.clear();
      if ((b >> 23 & 0xFF) == 0xFF) single.clear();
      for (const std::string& value : {date, currency, single}) {
        if (!value.empty()) {
          ASSERT_EQ(ValueBytes(ValueText(value)), value) << ValueText(value);
        }
      }
    }
  }
}

TEST(FormStreams, OutputIsAppendedAndTheInputLeftAfterTheStream) {
  const std::string binary = ToBinary(Sample("Common.dfm.txt"));
  TMemoryStream in("junk" + binary + "TAIL");
  in.Seek(4);
  std::string text = "before\r\n";
  rtl::ObjectBinaryToText(in, text);
  EXPECT_EQ(text, "before\r\n" + Sample("Common.dfm.txt"));
  EXPECT_EQ(in.Position(), static_cast<std::int64_t>(4 + binary.size()));

  TMemoryStream out("RES");
  out.Seek(3);
  rtl::ObjectTextToBinary(Sample("Common.dfm.txt"), out);
  EXPECT_EQ(out.Bytes(), "RES" + binary);
}

TEST(FormStreams, NamesAndKeywordsTheTextMustKeepApart) {
  // A nameless object with a child position, keywords used as property names.
  const std::string text =
      "object TTimer [4]\r\n  End = 1\r\n  Object = inherited\r\n  Items = <\r\n    item\r\n"
      "      End = 2\r\n    end>\r\nend\r\n";
  EXPECT_EQ(ToText(ToBinary(text)), text);
  // A name the text could not read back is refused instead of written.
  const std::string blankInClass = "TPF0" + Bytes({3, 'T', ' ', 'A', 0, 0, 0});
  EXPECT_TRUE(Says(FORM_ERROR(ToText(blankInClass)),
                   "class name 'T A' is not a name the form text can hold at byte offset 4"));
  EXPECT_TRUE(Says(FORM_ERROR(ToText(kBinaryHead + Bytes({7, 0}) + kBinaryTail)),
                   "identifier '' is not a name"));
}

// --- Errors -----------------------------------------------------------------------------------

TEST(FormStreamErrors, AStreamCutShortAnywhereFailsAndLeavesNothing) {
  const std::string binary = ToBinary(Sample("AllValues.dfm.txt"));
  for (std::size_t n = 0; n < binary.size(); ++n) {
    TMemoryStream in(binary.substr(0, n));
    std::string text = "kept";
    try {
      rtl::ObjectBinaryToText(in, text);
      ADD_FAILURE() << "no error for a stream cut at " << n;
    } catch (const EFormStreamError& e) {
      EXPECT_NE(std::string(e.what()).find("byte offset"), std::string::npos) << e.what();
    }
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(in.Position(), 0);
  }
}

TEST(FormStreamErrors, BadBytesAreNamedWithTheirOffset) {
  EXPECT_TRUE(Says(FORM_ERROR(ToText("TPF1" + Bytes({2, 'T', 'A', 0, 0, 0}))),
                   "missing signature TPF0 at byte offset 0"));
  EXPECT_TRUE(Says(FORM_ERROR(ToText(kBinaryHead + Bytes({21}) + kBinaryTail)),
                   "unknown value type 21 at byte offset 11"));
  // A length far beyond the data must not be trusted.
  EXPECT_TRUE(Says(FORM_ERROR(ToText(kBinaryHead + Bytes({12, 0xFF, 0xFF, 0xFF, 0x7F, 'a'}))),
                   "stream ends inside a long string"));
  EXPECT_TRUE(Says(FORM_ERROR(ToText(kBinaryHead + Bytes({14, 6}) + kBinaryTail)),
                   "collection item starts with value type 6"));
  // The offset counts from the start of the stream, not from where the conversion began.
  TMemoryStream in("HEADER" + kBinaryHead + Bytes({99}) + kBinaryTail);
  in.Seek(6);
  std::string text;
  EXPECT_TRUE(Says(FORM_ERROR(rtl::ObjectBinaryToText(in, text)), "byte offset 17"));
}

TEST(FormStreamErrors, BadTextIsNamedWithLineAndColumn) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"objekt A: TA\r\nend", "but found 'objekt' at line 1, column 1"},
      {"object A: TA\r\n  P = 'abc\r\nend", "unterminated string at line 2, column 7"},
      {"object A: TA\r\n  P = 1", "expected a property name but found the end of the text"},
      {"object A: TA\r\n  P = {0A0}\r\nend", "odd number of hexadecimal digits at line 2, col"},
      {"object A: TA\r\n  P = {0G}\r\nend", "binary data holds 'G' at line 2, column 9"},
      {"object A: TA\r\n  P = ('a' Null)\r\nend", "Null cannot be an item of a list at line 2"},
      {"object A: TA\r\n  P = #70000\r\nend", "character code above 65535"},
      {"object A: TA\r\n  P 1\r\nend",
       "expected '=' after the property name but found the number 1"},
      {"object A: TA\r\n  P = <\r\n    thing\r\n  >\r\nend", "expected 'item' or '>'"},
      {"object A: TA\r\n  P = 'a' +\r\nend", "expected a string after '+'"},
      {"object A: TA\r\nend\r\nobject B: TB\r\nend",
       "after the end of the form: 'object' at line 3"},
      {"object A: TA [99999999999]\r\nend", "child position out of range"},
      {"object A: " + std::string(256, 'T') + "\r\nend", "a class name longer than 255"},
      {"object A: TA\r\n  P = 1\r\n  object B: TB\r\n  end\r\n  Q = 2\r\nend",
       "expected a child object or 'end' but found 'Q' at line 5, column 3"},
      {std::string("object A: TA\r\n  P = \0", 21), "character #0 at line 2, column 7"},
  };
  for (const auto& c : cases) {
    const std::string& text = c.first;  // a binding of its own: the macro's lambda captures it
    EXPECT_TRUE(Says(FORM_ERROR(ToBinary(text)), c.second));
  }
  // A faulty text writes nothing.
  TMemoryStream out("x");
  out.Seek(1);
  EXPECT_THROW(rtl::ObjectTextToBinary("object A: TA\r\n  P = (\r\nend", out), EFormStreamError);
  EXPECT_EQ(out.Bytes(), "x");
}

// --- Large and deep input ---------------------------------------------------------------------

TEST(FormStreamsLarge, LongListsAndBigPicturesConvert) {
  std::string text = "object Form1: TForm1\r\n  object Query1: TQuery\r\n    SQL.Strings = (";
  for (int i = 0; i < 200000; ++i)
    text += "\r\n      'select F" + std::to_string(i) + " from T where X = '#39'a'#39";
  text += ")\r\n    Picture.Data = {";
  std::string picture(10 * 1024 * 1024, '\0');
  for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<char>(i * 131 >> 3);
  static const char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < picture.size(); ++i) {
    if (i % 32 == 0) text += "\r\n      ";
    text += kHex[static_cast<unsigned char>(picture[i]) >> 4];
    text += kHex[picture[i] & 15];
  }
  text += "}\r\n  end\r\nend\r\n";
  const std::string binary = ToBinary(text);
  EXPECT_NE(binary.find(picture), std::string::npos);
  EXPECT_EQ(ToText(binary), text);
}

TEST(FormStreamsLarge, NestingIsBoundedWithAClearError) {
  auto nested = [](int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i)
      text += std::string(2 * i, ' ') + "object O" + std::to_string(i) + ": TPanel\r\n";
    for (int i = depth - 1; i >= 0; --i) text += std::string(2 * i, ' ') + "end\r\n";
    return text;
  };
  const std::string deepest = nested(rtl::kMaxFormNesting);
  EXPECT_EQ(ToText(ToBinary(deepest)), deepest);
  EXPECT_TRUE(Says(FORM_ERROR(ToBinary(nested(rtl::kMaxFormNesting + 1))),
                   "nesting deeper than 1000 levels"));
  // A million nested lists: refused, not a stack overflow.
  const std::string lists = kBinaryHead + std::string(1000000, '\x01');
  EXPECT_TRUE(Says(FORM_ERROR(ToText(lists)), "nesting deeper than 1000 levels"));
  EXPECT_TRUE(Says(FORM_ERROR(ToBinary(kFormHead + std::string(1000000, '('))), "nesting"));
}

// --- Reference: the Free Pascal runtime -------------------------------------------------------

std::string Quote(const std::string& s) {
  return "'" + s + "'";
}

class FormStreamsOracle : public ::testing::Test {
 protected:
  void SetUp() override {
    const testutil::Oracle& o = testutil::FormOracle();
    if (!o.error.empty()) FAIL() << o.error;
    if (o.exe.empty())
      GTEST_SKIP() << "fpc (Debian packages fp-compiler and fp-units-rtl) is not installed; "
                      "the Free Pascal reference checks are skipped";
  }

  std::string Path(const std::string& name) const { return dir_ / name; }
  std::string Write(const std::string& name, const std::string& bytes) const {
    testutil::WriteFile(Path(name), bytes);
    return Path(name);
  }
  void Run(const std::string& args) const {
    const std::string cmd =
        Quote(testutil::FormOracle().exe) + " " + args + " 2>" + Quote(Path("oracle.err"));
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd << "\n" << testutil::ReadFile(Path("oracle.err"));
  }
  // The runtime's own reading of a binary stream, as a normalised object tree.
  std::string Tree(const std::string& binary) {
    const std::string in = Write("tree.bin", binary);
    Run("tree " + Quote(in) + " >" + Quote(Path("tree.txt")));
    return testutil::ReadFile(Path("tree.txt"));
  }
  std::string FpcTextToBinary(const std::string& text) {
    Run("t2b " + Quote(Write("fpc.txt", text)) + " " + Quote(Path("fpc.bin")));
    return testutil::ReadFile(Path("fpc.bin"));
  }
  std::string FpcBinaryToText(const std::string& binary) {
    Run("b2t " + Quote(Write("fpc.bin", binary)) + " " + Quote(Path("fpc.txt")));
    return testutil::ReadFile(Path("fpc.txt"));
  }

  testutil::TempDir dir_;
};

TEST_F(FormStreamsOracle, TheRuntimeReadsOurBinaryAsTheSameTree) {
  // Every value type, checked against the tree the runtime read from it once and we reviewed.
  EXPECT_EQ(Tree(ToBinary(Sample("AllValues.dfm.txt"))), Sample("AllValues.tree"));
  // The types the runtime's own writer knows: its binary and ours are the same tree, and its
  // text reader understands our binary too.
  const std::string common = Sample("Common.dfm.txt");
  const std::string ours = ToBinary(common);
  const std::string expected = Tree(FpcTextToBinary(common));
  EXPECT_EQ(Tree(ours), expected);
  EXPECT_EQ(Tree(FpcTextToBinary(FpcBinaryToText(ours))), expected);
}

TEST_F(FormStreamsOracle, WeReadTheRuntimesBinaryIntoTextItReadsBack) {
  const std::string common = Sample("Common.dfm.txt");
  const std::string theirs = FpcTextToBinary(common);
  const std::string text = ToText(theirs);
  EXPECT_EQ(text, common);
  EXPECT_EQ(Tree(FpcTextToBinary(text)), Tree(theirs));
  // Bytes above 127 of a byte string stay bytes on the way through our text.
  const std::string cafe = "object A: TA\r\n  P = 'Caf\xE9'\r\nend\r\n";
  const std::string cafeBinary = FpcTextToBinary(cafe);
  EXPECT_EQ(ToText(cafeBinary), cafe);
  EXPECT_EQ(Tree(FpcTextToBinary(ToText(cafeBinary))), Tree(cafeBinary));
}

}  // namespace
