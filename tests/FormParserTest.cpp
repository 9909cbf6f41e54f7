#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "MigWizard/FormParser.h"
#include "product/KyReplacer.h"
#include "rtl/ClassRegistry.h"
#include "rtl/SysUtils.h"
#include "support/TestUtil.h"

#undef RegisterClass  // windows.h's, through TestUtil.h, not rtl::RegisterClass

using migwiz::EGrammarError;
using migwiz::TFormParser;
using migwiz::TFormParseState;
using Strings = std::vector<std::string>;

namespace {

// Lines joined with CR LF, each one ended by it.
std::string Crlf(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// The collected properties as "Name=value" with the value lines joined by "|".
Strings PropertyLines(const TFormParser& p) {
  Strings out;
  for (int i = 0; i < p.Properties.Count(); ++i) {
    const auto& lines = dynamic_cast<const rtl::TStringList&>(*p.Properties.Objects(i));
    std::string value;
    for (int j = 0; j < lines.Count(); ++j) value += (j ? "|" : "") + lines[j];
    out.push_back(p.Properties[i] + "=" + value);
  }
  return out;
}

// Parses "object Obj1: <cls>" with the given property lines and returns what was kept.
Strings Convert(TFormParser& p, const std::string& cls, std::initializer_list<std::string> props,
                const std::string& newClass = "TNotRegistered") {
  std::string text = "object Obj1: " + cls + "\r\n";
  for (const std::string& prop : props) text += "  " + prop + "\r\n";
  text += "end\r\n";
  p.SetNewClassName(newClass);
  int pos = 1;
  EXPECT_TRUE(p.Parse(text, "<object>", pos)) << text;
  return PropertyLines(p);
}

// A query object of a form, indented as inside one, with a value of every kind and a field.
std::string Query1() {
  return testutil::DataFile("forms/rewrite/Query1.object.txt");
}

}  // namespace

class FormParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rtl::RegisterClass(
        rtl::TClassInfo("TTestKyTable", {"Active", "SQL", "TableName", "DataSource"}));
    parser.ClassRoles = ky::BdeClassRoles();
  }
  void TearDown() override { rtl::UnRegisterClass("TTestKyTable"); }

  TFormParser parser;
};

TEST_F(FormParserTest, RealisticObjectIsCollectedAndRebuilt) {
  std::vector<std::pair<std::string, std::string>> asked;
  parser.OnDatabaseName = [&](const std::string& name, const std::string& value,
                              std::string& newValue) {
    asked.emplace_back(name, value);
    newValue = "DataModule1.Database1";
  };
  const std::string text =
      "inherited Form1: TForm1\r\n" + Query1() + "\r\n  object Next: TTable\r\n";
  const int start = static_cast<int>(text.find("object Query1")) + 1;
  int pos = start;
  parser.SetNewClassName("TKyQuery");
  ASSERT_TRUE(parser.Parse(text, "<object>", pos));
  EXPECT_EQ(pos, static_cast<int>(text.find("object Next")) + 1);

  const TFormParseState& s = parser.FormState();
  EXPECT_EQ(s.Keyword, "object");
  EXPECT_EQ(s.ObjName, "Query1");
  EXPECT_EQ(s.ObjType, "TQuery");
  EXPECT_EQ(asked, (std::vector<std::pair<std::string, std::string>>{{"DatabaseName", "Sales"}}));
  // Every property once: the attempts that failed took theirs back.
  EXPECT_EQ(PropertyLines(parser), (Strings{
                                       "Connection=DataModule1.Database1",
                                       "MasterSource=DataSource1",
                                       "Filter= 'a' + 'b'",
                                       "Caption='Line'#13#10'Next'",
                                       "Tag=-5",
                                       "Ratio=1.5E3",
                                       "Width=2.5",
                                       "Options=[dgTitles, dgIndicator]",
                                       "Flags=[]",
                                       "SQL.Strings=(|      'select *'|      'from t')",
                                       "Picture.Data={|      0A54|      ff00}",
                                       "ParamData=<|      item|        DataType = ftInteger|"
                                       "        Name = 'ID'|        ParamType = ptInput|      end>",
                                       "Sizes=(1 -2 3.5)",
                                       "Hint='continued'",
                                       "Left=8",
                                       "Top=16",
                                   }));
  EXPECT_EQ(parser.NestedObjects.Count(), 1);
  EXPECT_EQ(parser.NestedObjects[0],
            "    object Query1ID: TIntegerField\r\n      FieldName = 'ID'\r\n    end");

  std::string rebuilt;
  parser.BuildObjectText(1, rebuilt);
  const std::string expected = Crlf({
      "  object Query1: TKyQuery",
      "    Connection = DataModule1.Database1",
      "    MasterSource = DataSource1",
      "    Filter =  'a' + 'b'",
      "    Caption = 'Line'#13#10'Next'",
      "    Tag = -5",
      "    Ratio = 1.5E3",
      "    Width = 2.5",
      "    Options = [dgTitles, dgIndicator]",
      "    Flags = []",
      "    SQL.Strings = (",
      "            'select *'",
      "            'from t')",
      "    Picture.Data = {",
      "            0A54",
      "            ff00}",
      "    ParamData = <",
      "            item",
      "              DataType = ftInteger",
      "              Name = 'ID'",
      "              ParamType = ptInput",
      "            end>",
      "    Sizes = (1 -2 3.5)",
      "    Hint = 'continued'",
      "    Left = 8",
      "    Top = 16",
      "    object Query1ID: TIntegerField",
      "      FieldName = 'ID'",
      "    end",
      "  end",
  });
  EXPECT_EQ(rebuilt, expected);
  std::string again;
  parser.BuildObjectText(1, again);
  EXPECT_EQ(again, expected);
}

// Singles, currency and dates as the IDE writes them, and as a hand may: kept as written.
TEST_F(FormParserTest, NumbersWithATypeSuffixAreKeptAsWritten) {
  EXPECT_EQ(Convert(parser, "TQuery",
                    {"Stamp = 37774.9583333333d", "Day = 37774D", "Price = -12.5c",
                     "Ratio = +1.5E-3s", "Sum = 1.5e3d", "Small = 2E-7S",
                     "ParamData = <item Value = 37774d end item Value = 125000C end>"}),
            (Strings{"Stamp=37774.9583333333d", "Day=37774D", "Price=-12.5c", "Ratio=+1.5E-3s",
                     "Sum=1.5e3d", "Small=2E-7S",
                     "ParamData=<item Value = 37774d end item Value = 125000C end>"}));
  // One suffix, right after the number.
  for (const char* bad : {"1.5dd", "1.5 d", "1.d", "-d", "1.5x"}) {
    const std::string text = std::string("object Q: TQuery\r\n  P = ") + bad + "\r\nend\r\n";
    int pos = 1;
    EXPECT_FALSE(parser.Parse(text, "<object>", pos)) << bad;
  }
}

TEST_F(FormParserTest, HeaderVariantsAndIndentation) {
  const std::string text = Crlf({"object X : TQuery", "  SQL.Strings = (", "    'a')", "end"});
  int pos = 1;
  ASSERT_TRUE(parser.Parse(text, "<object>", pos));
  EXPECT_EQ(pos, static_cast<int>(text.size()) + 1);
  std::string out;
  parser.BuildObjectText(0, out);  // no new class: the parsed one stays
  EXPECT_EQ(out, Crlf({"object X: TQuery", "  SQL.Strings = (", "        'a')", "end"}));
  parser.SetNewClassName("TKyQuery");
  parser.BuildObjectText(2, out);
  EXPECT_EQ(out, Crlf({"    object X: TKyQuery", "      SQL.Strings = (", "            'a')",
                       "    end"}));
  parser.BuildObjectText(-3, out);
  EXPECT_EQ(out.substr(0, 18), "object X: TKyQuery");

  // No properties, no line end after "end"; nested inline and inherited objects.
  pos = 1;
  ASSERT_TRUE(parser.Parse("inherited Q1: TTable\r\nend", "<object>", pos));
  EXPECT_EQ(pos, 26);
  parser.BuildObjectText(0, out);
  EXPECT_EQ(out, Crlf({"inherited Q1: TKyQuery", "end"}));

  const std::string nested = Crlf({"object F: TQuery", "\tinline Fr: TFrame1", "  end",
                                   "  inherited L: TLabel", "    Left = 1", "  end", "end"});
  pos = 1;
  ASSERT_TRUE(parser.Parse(nested, "<object>", pos));
  EXPECT_EQ(parser.FormState().Keyword, "object");
  EXPECT_EQ(parser.NestedObjects.Count(), 2);
  EXPECT_EQ(parser.NestedObjects[0], "inline Fr: TFrame1\r\n  end");  // tabs are not indentation
  EXPECT_EQ(parser.NestedObjects[1], "  inherited L: TLabel\r\n    Left = 1\r\n  end");
  EXPECT_TRUE(parser.Properties.Empty());

  // An order index is kept as written, also on nested objects, which may have no name either.
  const std::string indexed =
      Crlf({"inherited T2 : TTable [2]", "  Tag = 1", "  object TIntegerField", "  end",
            "  inherited F: TField[ -1 ]", "  end", "end"});
  pos = 1;
  ASSERT_TRUE(parser.Parse(indexed, "<object>", pos));
  EXPECT_EQ(pos, static_cast<int>(indexed.size()) + 1);
  EXPECT_EQ(parser.FormState().ObjName, "T2");
  EXPECT_EQ(parser.FormState().ObjType, "TTable");
  EXPECT_EQ(parser.FormState().ObjIndex, "[2]");
  parser.BuildObjectText(0, out);
  EXPECT_EQ(out, Crlf({"inherited T2: TKyQuery [2]", "  Tag = 1", "  object TIntegerField", "  end",
                       "  inherited F: TField[ -1 ]", "  end", "end"}));
  pos = 1;
  ASSERT_TRUE(parser.Parse("inline TFrame2 [0]\r\nend", "<object>", pos));
  EXPECT_EQ(parser.FormState().ObjName, "");
  parser.BuildObjectText(0, out);
  EXPECT_EQ(out, Crlf({"inline TKyQuery [0]", "end"}));
  for (const char* bad : {"object Q: TQuery [2\r\nend", "object Q: [1]\r\nend",
                          "object Q: TQuery []\r\nend", "object : TQuery\r\nend"}) {
    pos = 1;
    EXPECT_FALSE(parser.Parse(bad, "<object>", pos)) << bad;
  }
}

TEST_F(FormParserTest, FailedParseLeavesNothing) {
  const std::string text = Crlf({"object Q: TQuery", "  Left = 8", "  Broken = ?", "end"});
  int pos = 1;
  parser.SetNewClassName("TKyQuery");
  EXPECT_FALSE(parser.Parse(text, "<object>", pos));
  EXPECT_EQ(pos, 1);
  EXPECT_TRUE(parser.Properties.Empty());
  EXPECT_TRUE(parser.NestedObjects.Empty());
  EXPECT_EQ(parser.FormState().ObjName, "");
  std::string out = "stale";
  parser.BuildObjectText(1, out);
  EXPECT_EQ(out, "");
}

TEST_F(FormParserTest, StateAssignTrimsCollectedListsAndChecksItsSource) {
  const std::string query = Query1();
  int pos = 3;
  ASSERT_TRUE(parser.Parse(query, "<object>", pos));
  ASSERT_EQ(parser.Properties.Count(), 15);  // no handler: DatabaseName is dropped
  TFormParseState earlier(&parser);
  earlier.Assign(parser.FormState());
  earlier.PropCount = 2;
  earlier.NestedCount = 0;
  parser.FormState().Assign(earlier);
  EXPECT_EQ(PropertyLines(parser), (Strings{"MasterSource=DataSource1", "Filter= 'a' + 'b'"}));
  EXPECT_TRUE(parser.NestedObjects.Empty());
  EXPECT_EQ(parser.FormState().ObjName, "Query1");
  migwiz::TParseState plain;
  EXPECT_THROW(parser.FormState().Assign(plain), rtl::EInvalidCast);

  // The texts travel with a copy: back after another parse, and between two parsers that have
  // each parsed as often.
  const std::string other = "object Other: TTable [4]\r\nend\r\n";
  pos = 1;
  ASSERT_TRUE(parser.Parse(other, "<object>", pos));
  ASSERT_EQ(parser.FormState().ObjName, "Other");
  ASSERT_EQ(parser.FormState().ObjIndex, "[4]");
  parser.FormState().Assign(earlier);
  EXPECT_EQ(parser.FormState().ObjName, "Query1");
  EXPECT_EQ(parser.FormState().ObjType, "TQuery");
  EXPECT_EQ(parser.FormState().ObjIndex, "");
  migwiz::TFormParser first, second;
  int a = 3, b = 1;
  ASSERT_TRUE(first.Parse(query, "<object>", a));
  ASSERT_TRUE(second.Parse(other, "<object>", b));
  second.FormState().Assign(first.FormState());
  EXPECT_EQ(second.FormState().ObjName, "Query1");
  EXPECT_EQ(second.FormState().ObjType, "TQuery");
  EXPECT_EQ(second.FormState().ObjIndex, "");
  b = 1;
  ASSERT_TRUE(second.Parse(other, "<object>", b));
  first.FormState().Assign(second.FormState());
  EXPECT_EQ(first.FormState().ObjIndex, "[4]");
}

TEST_F(FormParserTest, DatabaseKeepsItsConnectionParameters) {
  bool asked = false;
  parser.OnDatabaseName = [&](const std::string&, const std::string&, std::string& newValue) {
    asked = true;
    newValue = "X.Y";
  };
  EXPECT_EQ(
      Convert(parser, "TDatabase",
              {"AliasName = 'Alias'", "DatabaseName = 'Sales'", "Params.Strings = (",
               "  'DATABASE NAME=c:\\data.gdb'", "  'USER NAME=sysdba'", "  'password=it''s'",
               "  'SERVER NAME=srv')", "TransIsolation = tiDirtyRead", "Left = 8", "Top = 16"}),
      (Strings{"AliasName='Alias'", "Username='sysdba'", "Password='it''s'", "Server='srv'",
               "TransIsolation=tiDirtyRead", "Left=8", "Top=16"}));
  EXPECT_FALSE(asked);
  EXPECT_EQ(Convert(parser, "TDatabase", {"Params.Strings = (", "  'LANGDRIVER=x')"}), Strings{});
  // A long server path that the form writer broke with "+" stays one valid literal.
  EXPECT_EQ(Convert(parser, "TDatabase",
                    {"Params.Strings = (", "  'SERVER NAME=\\\\files01\\interbase\\data\\' +",
                     "    'orders.gdb'", "  'USER NAME=SYSDBA')"}),
            (Strings{"Username='SYSDBA'", "Server='\\\\files01\\interbase\\data\\orders.gdb'"}));
  // The class is compared as written.
  EXPECT_EQ(Convert(parser, "tdatabase", {"Params.Strings = ('USER NAME=u')"}),
            Strings{"Params.Strings=('USER NAME=u')"});
}

TEST_F(FormParserTest, DatabaseNameOfOtherClassesBecomesAConnection) {
  Strings values;
  std::string answer = "DataModule1.Database1";
  parser.OnDatabaseName = [&](const std::string& prop, const std::string& value,
                              std::string& newValue) {
    EXPECT_EQ(prop, "DatabaseName");
    values.push_back(value);
    newValue = answer;
  };
  EXPECT_EQ(Convert(parser, "TQuery", {"DatabaseName = 'Sales'", "Left = 1"}),
            (Strings{"Connection=DataModule1.Database1", "Left=1"}));
  answer.clear();
  EXPECT_EQ(Convert(parser, "TTable", {"DatabaseName = 'Other'"}), Strings{});
  // Each property reaches the handler once, also the last of a list.
  EXPECT_EQ(values, (Strings{"Sales", "Other"}));
  parser.OnDatabaseName = nullptr;
  EXPECT_EQ(Convert(parser, "TQuery", {"DatabaseName = 'Sales'"}), Strings{});
}

TEST_F(FormParserTest, MasterSourceParamDataAndThePublishedPropertyCheck) {
  const std::string kNew = "TTestKyTable";
  EXPECT_EQ(Convert(parser, "TQuery", {"DataSource = DataSource1"}, kNew),
            Strings{"MasterSource=DataSource1"});
  EXPECT_EQ(Convert(parser, "TTable", {"DataSource = DataSource1"}, kNew),
            Strings{"DataSource=DataSource1"});
  // A TwwQuery is a query; the class is compared as written.
  EXPECT_EQ(Convert(parser, "TwwQuery", {"DataSource = DataSource1", "ParamData = <>"}, kNew),
            (Strings{"MasterSource=DataSource1", "ParamData=<>"}));
  EXPECT_EQ(Convert(parser, "twwquery", {"DataSource = DataSource1", "ParamData = <>"}, kNew),
            Strings{"DataSource=DataSource1"});
  EXPECT_EQ(Convert(parser, "TwwTable", {"DataSource = DataSource1", "ParamData = <>"}, kNew),
            Strings{"DataSource=DataSource1"});
  EXPECT_EQ(Convert(parser, "TStoredProc", {"ParamData = <>"}, kNew), Strings{"ParamData=<>"});
  EXPECT_EQ(Convert(parser, "TQuery",
                    {"SQL.Strings = (", "  'x')", "sql.Text = 'y'", "Filter = 'a'", "Left = 1",
                     "Top = 2", "left = 3", "Active = True"},
                    kNew),
            (Strings{"SQL.Strings=(|    'x')", "sql.Text='y'", "Left=1", "Top=2", "Active=True"}));
  // A class nobody registered keeps everything the other rules let through.
  EXPECT_EQ(Convert(parser, "TQuery", {"Filter = 'a'", "left = 3"}),
            (Strings{"Filter='a'", "left=3"}));
}

TEST(FormParserParams, ParamValue) {
  const std::string v =
      "(\r\n    'DATABASE NAME=c:\\db.gdb'\r\n\t'User Name = x'\r\n    'PASSWORD=a=b'\r\n"
      "    'EMPTY='\r\n    'NOEQUALS'\r\n    'PASSWORD=second')";
  EXPECT_EQ(TFormParser::ParamValue(v, "database name"), "c:\\db.gdb");
  EXPECT_EQ(TFormParser::ParamValue(v, "PASSWORD"), "a=b");
  EXPECT_EQ(TFormParser::ParamValue(v, "USER NAME"), "");  // its name has a blank before "="
  EXPECT_EQ(TFormParser::ParamValue(v, "EMPTY"), "");
  EXPECT_EQ(TFormParser::ParamValue(v, "MISSING"), "");
  EXPECT_EQ(TFormParser::ParamValue("", "X"), "");
  EXPECT_EQ(TFormParser::ParamValue("(", "X"), "");
  EXPECT_EQ(TFormParser::ParamValue("('A=it''s')", "a"), "it''s");
}

TEST_F(FormParserTest, TwoHundredThousandSqlLinesConvert) {
  const int lines = 200000;
  std::string text = "object Query1: TQuery\r\n  SQL.Strings = (\r\n";
  for (int i = 0; i < lines; ++i)
    text += "    'select " + std::to_string(i) + (i + 1 < lines ? "'\r\n" : "')\r\n");
  text += "  Left = 4\r\nend\r\n";
  int pos = 1;
  parser.SetNewClassName("TKyQuery");
  ASSERT_TRUE(parser.Parse(text, "<object>", pos));
  EXPECT_EQ(pos, static_cast<int>(text.size()) + 1);
  ASSERT_EQ(parser.Properties.Count(), 2);
  const auto& sql = dynamic_cast<const rtl::TStringList&>(*parser.Properties.Objects(0));
  ASSERT_EQ(sql.Count(), lines + 1);
  EXPECT_EQ(sql[1], "    'select 0'");
  EXPECT_EQ(sql[lines], "    'select 199999')");

  std::string out;
  parser.BuildObjectText(1, out);
  const std::string head = "  object Query1: TKyQuery\r\n    SQL.Strings = (\r\n";
  EXPECT_EQ(out.substr(0, head.size()), head);
  const std::string tail = "          'select 199999')\r\n    Left = 4\r\n  end\r\n";
  ASSERT_GT(out.size(), tail.size());
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
}

TEST_F(FormParserTest, PictureOfSeveralMegabytesConverts) {
  const int lines = 100000;  // 3.2 MB of data
  const std::string hexLine = "    " + std::string(64, 'A') + "\r\n";
  std::string text = "object T: TTable\r\n  Picture.Data = {\r\n";
  for (int i = 0; i < lines; ++i) text += hexLine;
  text += "    0D0A}\r\nend\r\n";
  int pos = 1;
  ASSERT_TRUE(parser.Parse(text, "<object>", pos));
  ASSERT_EQ(parser.Properties.Count(), 1);
  const auto& data = dynamic_cast<const rtl::TStringList&>(*parser.Properties.Objects(0));
  EXPECT_EQ(data.Count(), lines + 2);
  EXPECT_EQ(data[lines + 1], "    0D0A}");
}

TEST_F(FormParserTest, DeeplyNestedObjectsConvert) {
  // Each object's last child is parsed again when its list ends; that must not double the work
  // per level.
  const int depth = 3000;
  std::string nested;
  for (int i = 0; i < depth; ++i)
    nested += "object N" + std::to_string(i) + ": TPanel\r\nTag = 1\r\n";
  for (int i = 0; i < depth; ++i) nested += "end\r\n";
  const std::string text = "object Q: TQuery\r\nLeft = 1\r\n" + nested + "end\r\n";
  int pos = 1;
  ASSERT_TRUE(parser.Parse(text, "<object>", pos));
  EXPECT_EQ(pos, static_cast<int>(text.size()) + 1);
  EXPECT_EQ(PropertyLines(parser), Strings{"Left=1"});
  ASSERT_EQ(parser.NestedObjects.Count(), 1);
  EXPECT_EQ(parser.NestedObjects[0], nested.substr(0, nested.size() - 2));
}

TEST_F(FormParserTest, NestingPastTheBoundFailsCleanlyAndTheParserRecovers) {
  parser.SetMaxDepth(20000);
  std::string text = "object Q: TQuery\r\n";
  for (int i = 0; i < 10000; ++i) text += "object N: TPanel\r\n";
  for (int i = 0; i <= 10000; ++i) text += "end\r\n";
  int pos = 1;
  try {
    parser.Parse(text, "<object>", pos);
    ADD_FAILURE() << "no error";
  } catch (const EGrammarError& e) {
    EXPECT_NE(std::string(e.what()).find("nested too deeply"), std::string::npos) << e.what();
  }
  EXPECT_EQ(pos, 1);
  // The next object starts from a clean state, outside any nested object.
  EXPECT_EQ(Convert(parser, "TQuery", {"DataSource = DS1"}), Strings{"MasterSource=DS1"});
  std::string out;
  parser.BuildObjectText(0, out);
  EXPECT_EQ(out, Crlf({"object Obj1: TNotRegistered", "  MasterSource = DS1", "end"}));
}

TEST_F(FormParserTest, HandlerErrorsPassThroughAndHandlersMayUseOtherParsers) {
  parser.OnDatabaseName = [](const std::string&, const std::string&, std::string&) {
    throw rtl::Exception("alias lookup failed");
  };
  int pos = 1;
  try {
    parser.Parse("object Q: TQuery\r\n  DatabaseName = 'x'\r\nend\r\n", "<object>", pos);
    ADD_FAILURE() << "no error";
  } catch (const rtl::Exception& e) {
    EXPECT_EQ(e.Message(), "alias lookup failed");
  }

  TFormParser other;
  parser.OnDatabaseName = [&](const std::string&, const std::string& value, std::string& newValue) {
    int p = 1;
    if (other.Parse("object " + value + ": TDatabase\r\nend", "<object>", p))
      newValue = "DM." + other.FormState().ObjName;
  };
  EXPECT_EQ(Convert(parser, "TQuery", {"DatabaseName = 'Db1'", "Tag = 1"}),
            (Strings{"Connection=DM.Db1", "Tag=1"}));

  parser.OnDatabaseName = [&](const std::string&, const std::string&, std::string&) {
    int p = 1;
    parser.Parse("object A: B\r\nend", "<object>", p);
  };
  int p2 = 1;
  EXPECT_THROW(parser.Parse("object Q: TQuery\r\n  DatabaseName = 'x'\r\nend", "<object>", p2),
               rtl::EAssertionFailed);
  parser.OnDatabaseName = nullptr;
  EXPECT_EQ(Convert(parser, "TQuery", {"Tag = 2"}), Strings{"Tag=2"});
}

// Strings, names, property names and the simple values are matched without the grammar; on text
// made of the pieces their rules turn on, the matches end where the rules' own do.
TEST(FormParserNative, MatchersEndWhereTheRulesDo) {
  TFormParser native, rules;
  rules.SetNativeMatchers(false);
  // clang-format off
  const std::vector<std::string> pieces = {
      "'", "''", "'ab'", "#", "#13", "#1", "+", " ", "\r\n", "\t", "x", "'a b'",
      std::string(1, '\0'), "(", ")", "0", ".", "a.b", "_", "Q1", "e", "E", "d", "-", "5", "1.5",
      "2e", "[", "<", "{", "+", "c", "S", "D", "1.5e3", "-7"};
  // clang-format on
  std::mt19937 rng(7);
#ifdef _WIN32
  // Each parse runs on a thread of its own there, which wine makes slow: the same check on fewer
  // texts (the full set runs on Linux).
  constexpr int kRounds = 300;
#else
  constexpr int kRounds = 6000;
#endif
  for (int round = 0; round < kRounds; ++round) {
    std::string text;
    const int count = 1 + static_cast<int>(rng() % 12);
    for (int k = 0; k < count; ++k) text += pieces[rng() % pieces.size()];
    for (const char* start : {"<string>", "<string2>", "<name>", "<prop_name>", "<value>"}) {
      int a = 1, b = 1;
      const bool matchedNative = native.Parse(text, start, a);
      const bool matchedRules = rules.Parse(text, start, b);
      ASSERT_EQ(matchedNative, matchedRules) << start << " " << testing::PrintToString(text);
      ASSERT_EQ(a, b) << start << " " << testing::PrintToString(text);
    }
  }
}
