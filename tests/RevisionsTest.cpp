// What is left for a person, as the pass that rewrites the files finds it: the places in units
// that use what the new classes lack or the old library's API, and the form objects that stay on
// it. Small units and forms go through a dry run, the way every host reads them.
#include "MigWizard/Revisions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "MigWizard/Replacer.h"
#include "product/KyReplacer.h"
#include "support/TestUtil.h"

using migwiz::TFileReport;
using migwiz::TRunReport;

namespace {

// The report of a dry run over the files (name, text), in a folder of their own.
TRunReport Review(const std::vector<std::pair<std::string, std::string>>& files) {
  testutil::TempDir dir;
  testutil::ScopedEnv tmp(testutil::kTempVar, dir / "tmp");
  std::filesystem::create_directories(testutil::U8(dir / "tmp"));
  for (const auto& [name, text] : files) testutil::WriteFile(dir / ("src/" + name), text);
  migwiz::TReplaceOptions options("BDE");
  options.Dest = migwiz::TReplaceOptions::kDestFolder;
  options.Directory = dir / "src";
  options.DryRun = true;
  auto replacer = ky::CreateReplacer(&options);
  migwiz::TRunResult result;
  EXPECT_TRUE(replacer->Execute({}, &result));
  return result.Report;
}

const TFileReport& FileOf(const TRunReport& report, const std::string& rel) {
  for (const TFileReport& f : report.Files)
    if (f.Rel == rel) return f;
  throw std::runtime_error(rel + " is not in the report");
}

// Each place as "line:column kind name class member", in the report's order.
std::vector<std::string> Places(const TFileReport& file) {
  std::vector<std::string> places;
  for (const migwiz::TCodeReference& c : file.Code)
    places.push_back(std::to_string(c.Line) + ":" + std::to_string(c.Column) + " " + c.Kind + " " +
                     c.Name + " " + c.Class + " " + c.Member);
  EXPECT_EQ(file.CodeCount, static_cast<int>(file.Code.size())) << file.Rel;
  return places;
}

// The text with CR LF line breaks, as the IDE writes units and forms.
std::string Crlf(const std::string& text) {
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return crlf;
}

std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\n";
  return Crlf(text);
}

}  // namespace

// A property the new class lacks, on a name declared with a converted class (several at once,
// through the class's unit), on a method's Result, in any letter case; placed by line and column
// of the converted text, where a class name before it on the line grew, and columns count
// characters in a UTF-8 unit, bytes in an 8-bit one. Not listed: a property the new class has, a
// constructor, a method, comments and strings.
TEST(Revisions, PlacesStandWhereTheConvertedTextHasThem) {
  const std::string places = Crlf(R"(unit Places;
interface
uses DBTables;
type
  TKeeper = class
    A, B: DBTables.TQuery;
    function NewQuery(const S: string): TQuery;
    procedure Use(Sender: TObject);
  end;
implementation
function TKeeper.NewQuery(const S: string): TQuery;
begin
  Result := TQuery.Create(nil);
  Result.RequestLive := True;
end;
procedure TKeeper.Use(Sender: TObject);
var
  Q: TQuery;
begin
  Q := TQuery.Create(nil);
  if Sender is TQuery then Q.RequestLive := False;
  q.requestlive := True; A.SQL.Clear;
  B.DatabaseName := 'X'; // Q.RequestLive
  ShowMessage('Q.RequestLive');
  { Q.UpdateMode } Q.Open;
end;
end.
)");
  const std::string unicode =
      Lines({"unit U;", "interface", "uses DBTables;", "var", "  S: string;", "  Q: TQuery;",
             "implementation", "initialization",
             "  S := 'Gr\xC3\xB6\xC3\x9F"
             "e'; Q.RequestLive := True;",
             "end."});
  const TRunReport report = Review(
      {{"Places.pas", places}, {"Utf8.pas", "\xEF\xBB\xBF" + unicode}, {"Ansi.pas", unicode}});
  const TFileReport& file = FileOf(report, "Places.pas");
  EXPECT_EQ(Places(file), (std::vector<std::string>{
                              "14:3 property Result TKyQuery RequestLive",
                              "21:30 property Q TKyQuery RequestLive",
                              "22:3 property q TKyQuery requestlive",
                              "23:3 property B TKyQuery DatabaseName",
                          }));
  ASSERT_EQ(file.Code.size(), 4u);
  EXPECT_EQ(file.Code[1].Text, "if Sender is TKyQuery then Q.RequestLive := False;");
  EXPECT_EQ(file.Code[1].Note, "TKyQuery has no RequestLive");
  EXPECT_EQ(Places(FileOf(report, "Utf8.pas")),
            std::vector<std::string>{"9:17 property Q TKyQuery RequestLive"});
  EXPECT_EQ(Places(FileOf(report, "Ansi.pas")),
            std::vector<std::string>{"9:19 property Q TKyQuery RequestLive"});
}

// A bare property inside "with" belongs to the innermost object whose old class publishes it,
// lost or not; a "with" reaches to the end of its statement (";", "else") or of its block, past
// the ends of a case or try inside it.
TEST(Revisions, AWithReachesToTheEndOfItsStatementOrBlock) {
  const TRunReport report = Review({{"Withs.pas", Crlf(R"(unit Withs;
interface
uses DBTables;
implementation
procedure P(N: Integer);
var
  Q: TQuery;
  T: TTable;
  D: TDatabase;
  RequestLive, ReadOnly: Boolean;
begin
  with Q do RequestLive := True;
  RequestLive := False;
  with Q do
  begin
    case N of
      1: RequestLive := True;
    end;
    RequestLive := False;
  end;
  RequestLive := True;
  if N > 0 then with Q do RequestLive := True else RequestLive := False;
  with Q do
    try
      RequestLive := True;
    finally
      RequestLive := False;
    end;
  RequestLive := True;
  with T, Q do DatabaseName := '';
  with Q, T do RequestLive := True;
  with D, T do ReadOnly := True;
  with T, D do ReadOnly := True;
  with Q do with T do begin TableType := ttParadox; RequestLive := True; end;
  RequestLive := ReadOnly;
end;
end.
)")}});
  EXPECT_EQ(Places(FileOf(report, "Withs.pas")), (std::vector<std::string>{
                                                     "12:13 property Q TKyQuery RequestLive",
                                                     "17:10 property Q TKyQuery RequestLive",
                                                     "19:5 property Q TKyQuery RequestLive",
                                                     "22:27 property Q TKyQuery RequestLive",
                                                     "25:7 property Q TKyQuery RequestLive",
                                                     "27:7 property Q TKyQuery RequestLive",
                                                     "30:16 property Q TKyQuery DatabaseName",
                                                     "31:16 property Q TKyQuery RequestLive",
                                                     "33:16 property D TKyConnection ReadOnly",
                                                     "34:29 property T TKyTable TableType",
                                                     "34:53 property Q TKyQuery RequestLive",
                                                 }));
}

// The old library's API wherever it is used: its classes even in a declaration, its globals
// (also through the old unit) but not a name declared like one, its functions by their prefix,
// its unit in a uses clause. Another unit's object reached through a form's variable counts when
// the form converts it, and takes its place in line order; a unit that names no old class is read
// all the same, and counts though it does not change. A form's objects that keep a database or
// session stay on the old library, named with their path, line and database; not a converted
// object, one of another library, or a collection item's property.
TEST(Revisions, TheApiOtherUnitsObjectsAndFormObjectsLeftBehind) {
  const TRunReport report = Review({
      {"Api.pas", Crlf(R"(unit Api;
interface
uses DBTables, BDE;
type
  TKeeper = class
    Session: TSession;
  end;
implementation
procedure P;
var
  Dbi: Integer;
begin
  Session.Active := True;
  DBTables.Session.NetFileDir := '';
  Dbi := DbiSaveChanges(nil);
  Sessions.List; Bde := 1;
end;
end.
)")},
      {"Data.pas", Crlf(R"(unit Data;
interface
uses DBTables;
type
  TDataMod = class(TDataModule)
    Orders: TQuery;
    Cache: TMemoryTable;
  end;
var
  DataMod: TDataMod;
implementation
{$R *.dfm}
end.
)")},
      {"Data.dfm", Crlf(R"(object DataMod: TDataMod
  object Orders: TQuery
    DatabaseName = 'DB'
  end
  object Panel1: TPanel
    object Cache: TMemoryTable
      SessionName = 'S1'
      DatabaseName = 'CA''CHE'
    end
  end
  object Sess: TSession
    SessionName = 'S1'
  end
  object IB: TIBDatabase
    DatabaseName = 'ib'
  end
  object Grid: TDBGrid
    Columns = <
      item
        DatabaseName = 'Column'
      end>
  end
end
)")},
      {"Work.pas", Crlf(R"(unit Work;
interface
implementation
uses Data;
procedure P;
begin
  DataMod.Orders.RequestLive := True;
  DataMod.Cache.DatabaseName := 'X';
  Session.Active := False;
  DataMod.Orders.DatabaseName := 'Y';
end;
end.
)")},
  });
  EXPECT_EQ(Places(FileOf(report, "Api.pas")), (std::vector<std::string>{
                                                   "3:64 bde_api BDE  ",
                                                   "6:14 bde_api TSession  ",
                                                   "13:3 bde_api Session  ",
                                                   "14:3 bde_api Session  ",
                                                   "15:10 bde_api DbiSaveChanges  ",
                                                   "16:3 bde_api Sessions  ",
                                               }));
  const TFileReport& work = FileOf(report, "Work.pas");
  EXPECT_FALSE(work.Changed);
  EXPECT_EQ(Places(work), (std::vector<std::string>{
                              "7:3 property Orders TKyQuery RequestLive",
                              "9:3 bde_api Session  ",
                              "10:3 property Orders TKyQuery DatabaseName",
                          }));
  ASSERT_EQ(work.Code.size(), 3u);
  EXPECT_EQ(work.Code[0].Text, "DataMod.Orders.RequestLive := True;");
  EXPECT_EQ(work.Code[0].Note, "TKyQuery has no RequestLive");
  EXPECT_TRUE(Places(FileOf(report, "Data.pas")).empty());

  const TFileReport& form = FileOf(report, "Data.dfm");
  std::vector<std::string> left;
  for (const migwiz::TLeftObject& l : form.Left)
    left.push_back(l.Name + " " + l.Path + " " + l.Class + " " + std::to_string(l.Line) + " [" +
                   l.Database + "]");
  EXPECT_EQ(left, (std::vector<std::string>{"Cache DataMod/Panel1/Cache TMemoryTable 6 [CA'CHE]",
                                            "Sess DataMod/Sess TSession 11 []"}));
  EXPECT_EQ(form.LeftCount, 2);

  const migwiz::TReportTotals totals = report.Totals();
  EXPECT_EQ(totals.CodeToRevise, 6 + 3);
  EXPECT_EQ(totals.ObjectsLeft, 2);
}
