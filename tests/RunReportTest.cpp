// The report of a run as scripts read it (JSON) and as a person reads it (the summary line).
#include "MigWizard/RunReport.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

using migwiz::TFileReport;
using migwiz::TRunReport;

namespace {

// A unit with a place to revise, a changed form with two objects (one with what it lost and an
// alias without a connection) and an object left on the old library, an unchanged form that
// still leaves one, and a skipped file.
TRunReport SampleReport() {
  TRunReport report;
  report.FolderMode = true;
  report.DryRun = true;
  report.SourceName = "Paradox";

  TFileReport unit;
  unit.Path = "/p/Main.pas";
  unit.Rel = "Main.pas";
  unit.Format = "utf8";
  unit.Changes = 3;
  unit.Changed = true;
  unit.CodeCount = 1;
  unit.Code.push_back({12, 5, "Q.RequestLive := True;", "property", "Q", "TKyQuery", "RequestLive",
                       "TKyQuery has no RequestLive"});
  report.Files.push_back(unit);

  TFileReport form;
  form.Path = "/p/Main.dfm";
  form.Rel = "Main.dfm";
  form.Form = true;
  form.Format = "binary";
  form.Changes = 2;
  form.Changed = true;
  form.ObjectCount = 2;
  form.DroppedCount = 2;
  form.UnresolvedCount = 1;
  migwiz::TConvertedObject query;
  query.Name = "Q";
  query.Path = "MainForm/Panel1/Q";
  query.OldClass = "TQuery";
  query.NewClass = "TKyQuery";
  query.Line = 7;
  // An 8-bit form keeps its bytes; they must not end the report.
  query.Dropped = {{"DatabaseName", "'ORDERS'"}, {"Hint", std::string("'Gr\xF6\xDF") + "e'"}};
  query.UnresolvedAlias = "ORDERS";
  form.Objects.push_back(query);
  migwiz::TConvertedObject database;
  database.Path = "MainForm/TDatabase";
  database.OldClass = "TDatabase";
  database.NewClass = "TKyConnection";
  database.Line = 20;
  database.Renamed = {{"TransIsolation", "IsolationLevel"}};
  form.Objects.push_back(database);
  form.LeftCount = 1;
  form.Left.push_back({"Cache", "MainForm/Cache", "TMemoryTable", 30, "CACHE"});
  report.Files.push_back(form);

  // Unchanged, it still counts what is left in it, and nothing else.
  TFileReport other;
  other.Path = "/p/Other.dfm";
  other.Rel = "Other.dfm";
  other.Form = true;
  other.Format = "text";
  other.ObjectCount = 4;
  other.DroppedCount = 4;
  other.UnresolvedCount = 4;
  other.LeftCount = 2;
  report.Files.push_back(other);

  report.Skipped.push_back({"Broken.pas", "Cannot read it"});
  return report;
}

}  // namespace

// Every field a script reads, by name; units list code, forms what is left; the totals count
// what is left in every file and the rest in changed files only; bytes that are not UTF-8 are
// replaced rather than ending the report.
TEST(RunReport, TheJsonHoldsEveryFileObjectAndTotal) {
  const TRunReport report = SampleReport();
  const std::string text = report.ToJson();
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  const auto json = nlohmann::json::parse(text);
  EXPECT_EQ(json["mode"], "folder");
  EXPECT_EQ(json["dry_run"], true);
  ASSERT_EQ(json["files"].size(), 3u);

  const auto& unit = json["files"][0];
  EXPECT_EQ(unit["path"], "Main.pas");
  EXPECT_EQ(unit["kind"], "unit");
  EXPECT_EQ(unit["format"], "utf8");
  EXPECT_EQ(unit["changes"], 3);
  EXPECT_TRUE(unit["objects"].empty());
  EXPECT_FALSE(unit.contains("left"));
  EXPECT_EQ(unit["code"], nlohmann::json::parse(R"([{"line": 12, "column": 5,
      "text": "Q.RequestLive := True;", "kind": "property", "name": "Q", "class": "TKyQuery",
      "member": "RequestLive", "note": "TKyQuery has no RequestLive"}])"));

  const auto& form = json["files"][1];
  EXPECT_EQ(form["kind"], "form");
  EXPECT_EQ(form["format"], "binary");
  EXPECT_FALSE(form.contains("code"));
  ASSERT_EQ(form["objects"].size(), 2u);
  EXPECT_EQ(form["objects"][0], nlohmann::json::parse(R"({"name": "Q",
      "path": "MainForm/Panel1/Q", "old_class": "TQuery", "new_class": "TKyQuery", "line": 7,
      "dropped": [{"property": "DatabaseName", "value": "'ORDERS'"},
                  {"property": "Hint", "value": "'Gr\ufffd\ufffde'"}],
      "renamed": [], "unresolved_alias": "ORDERS"})"));
  const auto& database = form["objects"][1];
  EXPECT_EQ(database["name"], "");
  EXPECT_TRUE(database["unresolved_alias"].is_null());
  EXPECT_TRUE(database["dropped"].empty());
  EXPECT_EQ(database["renamed"],
            nlohmann::json::parse(R"([{"from": "TransIsolation", "to": "IsolationLevel"}])"));
  EXPECT_EQ(form["left"], nlohmann::json::parse(R"([{"name": "Cache", "path": "MainForm/Cache",
      "class": "TMemoryTable", "line": 30, "database": "CACHE"}])"));
  EXPECT_EQ(json["files"][2]["changes"], 0);

  EXPECT_EQ(json["skipped"],
            nlohmann::json::parse(R"([{"path": "Broken.pas", "reason": "Cannot read it"}])"));
  EXPECT_EQ(json["totals"], nlohmann::json::parse(R"({"units_changed": 1, "forms_changed": 1,
      "objects_converted": 2, "properties_dropped": 2, "unresolved_aliases": 1,
      "code_to_revise": 1, "objects_left": 3})"));

  TRunReport project;
  const auto empty = nlohmann::json::parse(project.ToJson());
  EXPECT_EQ(empty["mode"], "project");
  EXPECT_EQ(empty["dry_run"], false);
  EXPECT_TRUE(empty["files"].empty());
  EXPECT_TRUE(empty["skipped"].empty());
}

// The summary names each total in its place, and the library converted from.
TEST(RunReport, TheSummaryGivesTheTotalsInOrder) {
  EXPECT_EQ(SampleReport().Summary(),
            "1 units and 1 forms changed, 2 objects converted, 2 properties dropped, 1 aliases "
            "without a connection, 1 code references to revise, 3 objects left on the Paradox");
}
