#include <gtest/gtest.h>

#include "MigWizard/Replacer.h"
#include "product/KyFormParser.h"
#include "product/KyReplacer.h"
#include "rtl/Encoding.h"
#include "rtl/FileIO.h"
#include "rtl/SysUtils.h"
#include "support/FileWork.h"
#include "support/TestUtil.h"

using migwiz::TComponentReplacer;
using migwiz::TReplaceOptions;
using migwiz::TTextEncoding;
using testutil::ReadFile;
using testutil::WriteFile;

namespace {

class UnitRewrite : public ::testing::Test {
 protected:
  UnitRewrite() : options("BDE"), replacer(ky::CreateReplacer(&options)) {}

  // Rewrites a unit given as text; returns the output ("" when none was written).
  std::string Rewrite(const std::string& text, const std::string& unitName = "Unit1.pas") {
    std::string unitPath = dir / unitName;
    WriteFile(unitPath, text);
    return RewriteFile(unitPath);
  }

  std::string RewriteFile(const std::string& unitPath) {
    rtl::TFileStream in(unitPath, rtl::TFileStream::Mode::OpenRead);
    migwiz::TSourceText source = migwiz::ReadSourceText(in, unitPath);
    std::string out = dir / "out.pas";
    std::remove(out.c_str());
    testutil::ProcessUnit(*replacer, source.Text, unitPath, source.Encoding, out);
    return testutil::Exists(out) ? ReadFile(out) : std::string();
  }

  std::string LogText() {
    replacer->Log.Close();
    return ReadFile(dir / "log.txt");
  }

  void SetUp() override { replacer->Log.Open(dir / "log.txt"); }

  testutil::TempDir dir;
  TReplaceOptions options;
  std::unique_ptr<TComponentReplacer> replacer;
};

}  // namespace

TEST_F(UnitRewrite, UsesClausesGainTheProductUnitsAfterTheBdeUnitInItsOwnCase) {
  EXPECT_EQ(Rewrite("uses Windows, DBTables, Forms;"),
            "uses Windows, DBTables, KyAccess, KyClasses, KyCall, ZelAccess, ZelMem, Forms;");
  EXPECT_EQ(Rewrite("interface\r\nuses dbtables;\r\nimplementation\r\nUSES Db,\r\n  DBTABLES;"),
            "interface\r\nuses dbtables, KyAccess, KyClasses, KyCall, ZelAccess, ZelMem;\r\n"
            "implementation\r\nUSES Db,\r\n  DBTABLES, KyAccess, KyClasses, KyCall, ZelAccess, "
            "ZelMem;");
  // A clause converted before is left as it is and counts no change, whatever its layout.
  std::string once = Rewrite("uses DBTables;");
  EXPECT_EQ(Rewrite(once), "");
  EXPECT_EQ(Rewrite("uses DbTables {bde},\r\n  kyaccess, KyClasses, KyCall, ZelAccess, ZelMem;"), "");
  // Only part of the addition, or the addition elsewhere in the clause, is no conversion.
  EXPECT_EQ(Rewrite("uses DBTables, KyAccess, Forms;"),
            "uses DBTables, KyAccess, KyClasses, KyCall, ZelAccess, ZelMem, KyAccess, Forms;");
  // Outside a uses clause the unit name is only an identifier.
  EXPECT_EQ(Rewrite("x := DBTables.Session;"), "");
  EXPECT_EQ(replacer->ChangedCount, 4);
}

// With rules, a clause that names no BDE unit takes the addition after the first of the rules'
// units it names; one that names the BDE unit keeps it there alone; a second run adds nothing.
TEST_F(UnitRewrite, RulesUnitsTakeTheAdditionWhereTheBdeUnitIsMissing) {
  migwiz::TReplacementRules rules;
  rules.Uses = {"RxQuery", "Wwstorprc"};
  replacer->SetRules(rules);
  const std::string added = ", KyAccess, KyClasses, KyCall, ZelAccess, ZelMem";
  EXPECT_EQ(Rewrite("uses Forms, rxquery, Wwstorprc;\r\nimplementation\r\nuses Wwstorprc;"),
            "uses Forms, rxquery" + added + ", Wwstorprc;\r\nimplementation\r\nuses Wwstorprc" +
                added + ";");
  // The BDE unit later in the clause, even behind a comment naming a rules unit.
  EXPECT_EQ(Rewrite("uses RxQuery, { RxQuery } DBTables;"),
            "uses RxQuery, { RxQuery } DBTables" + added + ";");
  EXPECT_EQ(Rewrite("uses DBTables, RxQuery;"), "uses DBTables" + added + ", RxQuery;");
  EXPECT_EQ(Rewrite("uses Forms, RxQuery" + added + ";"), "");
  EXPECT_EQ(Rewrite("uses Forms; var RxQuery: Integer;"), "");
}

TEST_F(UnitRewrite, ClassNamesAreReplacedInCodeAndCommentsButNotInStrings) {
  std::string unit =
      "var Q: tquery; { TQuery placed at runtime }\r\n"
      "  S := 'TQuery'; S2 := 'It''s a TTable';\r\n"
      "  // the TTable here; it's an apostrophe\r\n"
      "  T: TTable; (* EDBEngineError *)\r\n"
      "  TQuery1: TQueryX;\r\n";
  EXPECT_EQ(Rewrite(unit),
            "var Q: TKyQuery; { TKyQuery placed at runtime }\r\n"
            "  S := 'TQuery'; S2 := 'It''s a TTable';\r\n"
            "  // the TKyTable here; it's an apostrophe\r\n"
            "  T: TKyTable; (* EKyError *)\r\n"
            "  TQuery1: TQueryX;\r\n");
  EXPECT_NE(LogText().find("5 change(s)"), std::string::npos);
  // Inside a comment an apostrophe opens a string, so a class name after it stays as written.
  EXPECT_EQ(Rewrite("{ don't use TQuery } x: TQuery;"), "{ don't use TQuery } x: TKyQuery;");
  EXPECT_EQ(replacer->ChangedCount, 2);
}

TEST_F(UnitRewrite, TheUnitsOwnNamesSpelledLikeAClassStayAsWritten) {
  migwiz::TReplacementRules rules;
  rules.Classes = {{"TRxQuery", "TQuery", "TKyQuery"}};
  replacer->SetRules(rules);
  // A class the unit declares keeps its name and its method headings; its ancestor and every
  // other use convert. A field, parameter or constant spelled like a class is the unit's own
  // name, and so are its uses; the class it looks like still converts where it is meant.
  const std::string unit =
      "type\r\n"
      "  { TRxQuery }\r\n"
      "  TRxQuery = class(TQuery)\r\n"
      "    function Clone: TRxQuery;\r\n"
      "  end;\r\n"
      "  TForm1 = class(TForm)\r\n"
      "    tQuery: TOracleDataSet;\r\n"
      "    Q2 : TQuery;\r\n"
      "    procedure Go(A, tTable: Integer; const tDatabase: string);\r\n"
      "  end;\r\n"
      "const TStoredProc = 3;\r\n"
      "implementation\r\n"
      "// TRxQuery\r\n"
      "function TRxQuery.Clone: TRxQuery;\r\n"
      "begin Result := TRxQuery.Create(nil) end;\r\n"
      "class procedure TRxQuery.Make; begin end;\r\n"
      "procedure TForm1.Go(A, tTable: Integer; const tDatabase: string);\r\n"
      "var q: TTable; d: TDatabase;\r\n"
      "begin tQuery.Open; tTable := TStoredProc; q := TTable.Create(nil);\r\n"
      "  Foo(TQuery, tQuery); if x is TQuery then end;\r\n";
  EXPECT_EQ(Rewrite(unit),
            "type\r\n"
            "  { TKyQuery }\r\n"
            "  TRxQuery = class(TKyQuery)\r\n"
            "    function Clone: TKyQuery;\r\n"
            "  end;\r\n"
            "  TForm1 = class(TForm)\r\n"
            "    tQuery: TOracleDataSet;\r\n"
            "    Q2 : TKyQuery;\r\n"
            "    procedure Go(A, tTable: Integer; const tDatabase: string);\r\n"
            "  end;\r\n"
            "const TStoredProc = 3;\r\n"
            "implementation\r\n"
            "// TKyQuery\r\n"
            "function TRxQuery.Clone: TKyQuery;\r\n"
            "begin Result := TKyQuery.Create(nil) end;\r\n"
            "class procedure TRxQuery.Make; begin end;\r\n"
            "procedure TForm1.Go(A, tTable: Integer; const tDatabase: string);\r\n"
            "var q: TKyTable; d: TKyConnection;\r\n"
            "begin tQuery.Open; tTable := TStoredProc; q := TKyTable.Create(nil);\r\n"
            "  Foo(TKyQuery, tQuery); if x is TKyQuery then end;\r\n");
  // Assignments and calls are uses, not declarations.
  EXPECT_EQ(Rewrite("begin TQuery := nil; X(TQuery, Y); end;"),
            "begin TKyQuery := nil; X(TKyQuery, Y); end;");
}

TEST_F(UnitRewrite, AUnitWithoutBdeNamesLeavesNoOutputAndLogsNoChanges) {
  EXPECT_EQ(Rewrite("unit Plain;\r\ninterface\r\nuses SysUtils;\r\nend.\r\n"), "");
  EXPECT_EQ(Rewrite(""), "");
  EXPECT_EQ(replacer->ChangedCount, 0);
  std::string log = LogText();
  EXPECT_NE(log.find("No changes\r\n\r\nNo changes\r\n\r\n"), std::string::npos) << log;
}

TEST_F(UnitRewrite, AdjustNameIsConsultedForCodeOnly) {
  struct Prefixing : TComponentReplacer {
    using TComponentReplacer::TComponentReplacer;
    std::string AdjustName(std::string_view identifier, const std::string& target) override {
      return target + "/*" + std::string(identifier) + "*/";
    }
  };
  Prefixing custom(ky::KyFormParserClass(), ky::kUsesUnit, ky::kUsesAddition, &options);
  ky::RegisterReplacements(custom);
  std::string path = dir / "U.pas";
  WriteFile(path, "x: tquery; { tquery }");
  testutil::ProcessUnit(custom, ReadFile(path), path, TTextEncoding::Default, dir / "o.pas");
  EXPECT_EQ(ReadFile(dir / "o.pas"), "x: TKyQuery/*tquery*/; { TKyQuery }");
}

TEST_F(UnitRewrite, ResourceDirectivesNameFormsThatExistWithoutRegardToCase) {
  WriteFile(dir / "main.DFM", "object MainForm: TMainForm\r\nend\r\n");
  WriteFile(dir / "About.dfm", "");
  WriteFile(dir / "Form2.dfm", "");
  WriteFile(dir / "Data.nfm", "");
  std::string unit =
      "{$R *.dfm}\r\n{$r *.DFM}\r\n{$R *.res}\r\n{$R About.dfm}\r\n{$R Form2.dfm}\r\n"
      "{$RESOURCE Data.NFM}\r\n{$R Missing.dfm}\r\n{$R *.dfmx}\r\n{$R x*.dfm}\r\n";
  EXPECT_EQ(Rewrite(unit, "Main.pas"), "");  // directives are never changed
  ASSERT_EQ(replacer->FileList.Count(), 4) << replacer->FileList.Text();
  EXPECT_EQ(replacer->FileList[0], dir / "main.DFM");
  EXPECT_EQ(replacer->FileList[1], dir / "main.DFM");
  EXPECT_EQ(replacer->FileList[2], dir / "About.dfm");
  EXPECT_EQ(replacer->FileList[3], dir / "Data.nfm");
}

TEST_F(UnitRewrite, PlainEightBitTextIsWrittenBackByteForByte) {
  std::string unit =
      "{ Gr\xF6\xDF"
      "e \xA9 } var T: TTable; s := '\xE9\xE8\x00\x01';\r\n";
  unit[unit.size() - 6] = '\0';
  std::string expected = unit;
  expected.replace(expected.find("TTable"), 6, "TKyTable");
  EXPECT_EQ(Rewrite(unit), expected);
}

TEST_F(UnitRewrite, MarkedUnitsKeepEveryCharacterAndTheirMark) {
  std::string text = "{ Отчёт TQuery 订单 Αναφορές 😀 }\r\nvar Q: TQuery;\r\n";
  std::string expected = "{ Отчёт TKyQuery 订单 Αναφορές 😀 }\r\nvar Q: TKyQuery;\r\n";

  EXPECT_EQ(Rewrite("\xEF\xBB\xBF" + text), "\xEF\xBB\xBF" + expected);

  std::string utf16 = "\xFF\xFE" + rtl::Utf8ToUtf16Le(text);
  EXPECT_EQ(Rewrite(utf16), "\xFF\xFE" + rtl::Utf8ToUtf16Le(expected));
}

TEST_F(UnitRewrite, ByteOrderMarksDecideTheEncodingByStreamSize) {
  auto read = [](const std::string& bytes) {
    rtl::TMemoryStream in(bytes);
    return migwiz::ReadSourceText(in);
  };
  auto onlyMark = read("\xFF\xFE");
  EXPECT_EQ(onlyMark.Encoding, TTextEncoding::UTF16LE);
  EXPECT_EQ(onlyMark.Text, "");
  EXPECT_EQ(read("\xFF").Encoding, TTextEncoding::Default);
  EXPECT_EQ(read("\xEF\xBB").Encoding, TTextEncoding::Default);
  EXPECT_EQ(read("\xEF\xBB\xBF").Encoding, TTextEncoding::UTF8);
  EXPECT_EQ(read("\xEF\xBB\xBF"
                 "a")
                .Text,
            "a");
}

TEST_F(UnitRewrite, UndecodableUtf16IsAnErrorNamingTheFileAndWritesNothing) {
  std::string path = dir / "Broken.pas";
  // A lone high surrogate, then an odd trailing byte.
  WriteFile(path, std::string("\xFF\xFE"
                              "a\0\x00\xD8"
                              "b\0",
                              8));
  rtl::TFileStream in(path, rtl::TFileStream::Mode::OpenRead);
  try {
    migwiz::ReadSourceText(in, path);
    FAIL() << "no error";
  } catch (const rtl::EEncodingError& e) {
    EXPECT_NE(std::string(e.what()).find("Broken.pas"), std::string::npos) << e.what();
  }
  WriteFile(path, std::string("\xFF\xFE"
                              "a\0b",
                              5));
  rtl::TFileStream odd(path, rtl::TFileStream::Mode::OpenRead);
  EXPECT_THROW(migwiz::ReadSourceText(odd, path), rtl::EEncodingError);
}

TEST_F(UnitRewrite, EveryExampleUnitConvertsWithItsTextIntact) {
  std::string root = testutil::SourcePath("examples/Orders/");
  for (const char* name :
       {"Orders.dpr", "DataMod.pas", "Main.pas", "Reports.pas", "Legacy.pas", "Shared/Utils.pas"}) {
    std::string original = ReadFile(root + name);
    std::string out = RewriteFile(root + name);
    ASSERT_FALSE(out.empty()) << name;
    // Undo the known replacements: what is left must be the original, byte for byte.
    std::string back = out;
    auto undo = [&](const std::string& from, const std::string& to) {
      for (size_t at = back.find(from); at != std::string::npos; at = back.find(from, at))
        back.replace(at, from.size(), to), at += to.size();
    };
    if (out.rfind("\xFF\xFE", 0) == 0) continue;  // checked through the UTF-8 view below
    undo(ky::kUsesAddition, "");
    for (const auto& r : ky::kReplacements) undo(r.NewClass, r.OldClass);
    EXPECT_EQ(back, original) << name;
  }
  std::string legacy = RewriteFile(root + "Legacy.pas");
  std::string decoded = rtl::Utf16LeToUtf8(std::string_view(legacy).substr(2));
  EXPECT_NE(decoded.find("旧的数据访问代码：TKyTable 和 TKyQuery 仍在使用。"), std::string::npos);
  EXPECT_NE(decoded.find("// 行数 😀"), std::string::npos);
  EXPECT_NE(decoded.find("uses SysUtils, DBTables, KyAccess"), std::string::npos);
}
