#include <gtest/gtest.h>

#include "MigWizard/Replacer.h"
#include "product/KyFormParser.h"
#include "product/KyReplacer.h"
#include "rtl/ClassRegistry.h"
#include "rtl/Settings.h"
#include "support/TestUtil.h"

using migwiz::TComponentReplacer;
using migwiz::TReplaceOptions;

TEST(ReplaceOptions, StartsWithDefaultsAndKeepsThemOverAnEmptySection) {
  TReplaceOptions options("BDE");
  rtl::TMemorySettingsStore store;
  options.LoadSettings(store, options.GetTitle());
  EXPECT_EQ(options.GetTitle(), "BDE Migration Wizard");
  EXPECT_EQ(options.Dest, 0);
  EXPECT_EQ(options.Directory, "");
  EXPECT_FALSE(options.IncludeSubDirs);
  EXPECT_TRUE(options.MakeBackup);
  EXPECT_TRUE(options.WriteLog);
  EXPECT_FALSE(options.ViewLog);
  EXPECT_EQ(store.WriteCount(), 0);
}

TEST(ReplaceOptions, SavedSettingsLoadIntoAFreshInstanceButRunFieldsDoNot) {
  TReplaceOptions options("BDE");
  options.Dest = 1;
  options.Directory = "/src/app";
  options.IncludeSubDirs = true;
  options.MakeBackup = false;
  options.WriteLog = false;
  options.ViewLog = true;
  options.BackupDir = "/src/app/RBackup";
  options.Units = "Main.pas\r\n";
  rtl::TMemorySettingsStore store;
  options.SaveSettings(store, "BDE Migration Wizard");
  EXPECT_EQ(store.Raw("BDE Migration Wizard", "Directory"), "/src/app");
  EXPECT_FALSE(store.Has("BDE Migration Wizard", "BackupDir"));
  EXPECT_FALSE(store.Has("BDE Migration Wizard", "Units"));

  TReplaceOptions fresh("BDE");
  fresh.LoadSettings(store, "BDE Migration Wizard");
  EXPECT_EQ(fresh.Dest, 1);
  EXPECT_EQ(fresh.Directory, "/src/app");
  EXPECT_TRUE(fresh.IncludeSubDirs);
  EXPECT_FALSE(fresh.MakeBackup);
  EXPECT_FALSE(fresh.WriteLog);
  EXPECT_TRUE(fresh.ViewLog);
  EXPECT_EQ(fresh.BackupDir, "");
  EXPECT_EQ(fresh.Units, "");
}

TEST(ReplaceOptions, DestIsKeptInEightBits) {
  rtl::TMemorySettingsStore store;
  store.WriteInteger("S", "Dest", 257);
  TReplaceOptions options("BDE");
  options.LoadSettings(store, "S");
  EXPECT_EQ(options.Dest, 1);
}

TEST(ComponentReplacer, ProductRulesLookUpWithoutCaseAndKeepTheUsesRule) {
  TReplaceOptions options("BDE");
  auto replacer = ky::CreateReplacer(&options);
  EXPECT_EQ(replacer->UsesUnit, "DBTABLES");
  EXPECT_EQ(replacer->UsesAddition, ", KyAccess, KyClasses, KyCall, ZelAccess, ZelMem");
  ASSERT_EQ(replacer->SourceClasses.Count(), 10);
  EXPECT_EQ(replacer->TargetClasses.Count(), 10);  // TKyQuery and TKyTable twice
  for (const char* name : {"tquery", "TQUERY", "TQuery", "TwwQuery"}) {
    const std::string* target = replacer->FindReplacement(name);
    ASSERT_NE(target, nullptr) << name;
    EXPECT_EQ(*target, "TKyQuery");
  }
  EXPECT_EQ(*replacer->FindReplacement("EDBENGINEERROR"), "EKyError");
  EXPECT_EQ(*replacer->FindReplacement("TBatchMove"), "TXnBatchMove");
  EXPECT_EQ(*replacer->FindReplacement("twwdatasource"), "TKyDataSource");
  EXPECT_EQ(replacer->FindReplacement("TDataSource"), nullptr);
  EXPECT_EQ(replacer->FindReplacement("TQuery1"), nullptr);
  ASSERT_NE(dynamic_cast<ky::TKyFormParser*>(replacer->FormParser.get()), nullptr);
  EXPECT_NE(rtl::GetClass("TKyConnection"), nullptr);
  for (int i = 0; i < replacer->SourceClasses.Count(); ++i) {
    auto target = replacer->SourceClasses.Integers(i);
    EXPECT_GE(target, 0);
    EXPECT_LT(target, replacer->TargetClasses.Count());
  }
}

TEST(ComponentReplacer, LogCarriesTheWizardTitle) {
  testutil::TempDir dir;
  TReplaceOptions options("BDE");
  auto replacer = ky::CreateReplacer(&options);
  replacer->Log.Open(dir / "Wiz_Log.txt");
  replacer->Log.WriteLine("Initializing unit list");
  replacer->Log.Close();
  std::string log = testutil::ReadFile(dir / "Wiz_Log.txt");
  EXPECT_EQ(log.rfind("BDE Migration Wizard log\r\n\r\nCreated at: ", 0), 0u) << log;
  EXPECT_NE(log.find("\r\n\r\nInitializing unit list\r\n\r\n"), std::string::npos) << log;
}

// A rules file that cannot be used says which file and why, whatever is wrong with it.
TEST(ReplacementRules, BadFilesAreRefusedNamingTheFileAndTheReason) {
  testutil::TempDir dir;
  TReplaceOptions options("BDE");
  auto replacer = ky::CreateReplacer(&options);
  const std::string file = dir / "rules.json";
  const std::pair<const char*, std::string> cases[] = {
      {nullptr, "Cannot open file \"" + file + "\". "},  // and the system's reason
      {"{\"classes\": [\n  {\"class\": \"TRxQuery\" \"like\": \"TQuery\"}]}",
       "not JSON, line 2, column 29: syntax error while parsing object - unexpected string "
       "literal; expected '}'"},
      {"[]", "the rules must be a JSON object"},
      {"{\"clases\": []}", "unknown key \"clases\""},
      {"{\"classes\": {}}", "\"classes\" must be an array"},
      {"{\"classes\": [\"TRxQuery\"]}", "classes[0] must be an object"},
      {"{\"classes\": [{\"class\": \"TRxQuery\"}]}", "classes[0]: \"like\" is missing"},
      {"{\"classes\": [{\"class\": \"TRxQuery\", \"like\": 3}]}",
       "classes[0].like must be a string"},
      {"{\"classes\": [{\"class\": \"TRxQuery\", \"like\": \"TQuery\", \"old\": \"x\"}]}",
       "classes[0]: unknown key \"old\""},
      {"{\"classes\": [{\"class\": \"TRx Query\", \"like\": \"TQuery\"}]}",
       "classes[0]: \"TRx Query\" is no class name"},
      {"{\"classes\": [{\"class\": \"TRxQuery\", \"like\": \"TRxTable\"}]}",
       "classes[0]: \"TRxTable\" is no old class of the table (TDatabase, TQuery, TwwQuery, "
       "TTable, "
       "TwwTable, TwwDataSource, TUpdateSQL, TStoredProc, EDBEngineError, TBatchMove)"},
      {"{\"classes\": [{\"class\": \"TRxQuery\", \"like\": \"TQuery\", \"new\": \"TKyFoo\"}]}",
       "classes[0]: \"TKyFoo\" is no new class of the table (TKyConnection, TKyQuery, TKyTable, "
       "TKyDataSource, TKyUpdateSQL, TKyStoredProc, EKyError, TXnBatchMove)"},
      {"{\"classes\": [{\"class\": \"tquery\", \"like\": \"TTable\"}]}",
       "classes[0]: the table maps \"tquery\" already"},
      {"{\"classes\": [{\"class\": \"TKyQuery\", \"like\": \"TQuery\"}]}",
       "classes[0]: \"TKyQuery\" is a new class of the table"},
      {"{\"classes\": [{\"class\": \"TRxQuery\", \"like\": \"TQuery\"},\n"
       "             {\"class\": \"TRXQUERY\", \"like\": \"TTable\"}]}",
       "classes[1]: classes[0] maps \"TRXQUERY\" already"},
      {"{\"uses\": \"RxQuery\"}", "\"uses\" must be an array of unit names"},
      {"{\"uses\": [\"RxQuery\", 7]}", "uses[1] must be a string"},
      {"{\"uses\": [\"Rx.Query\"]}", "uses[0]: \"Rx.Query\" is no unit name"},
  };
  for (const auto& [text, reason] : cases) {
    if (text) testutil::WriteFile(file, text);
    try {
      migwiz::ReadReplacementRules(file, *replacer);
      ADD_FAILURE() << "accepted: " << (text ? text : "(no file)");
    } catch (const migwiz::ERulesError& e) {
      const std::string expected = "Rules file " + file + ": " + reason;
      if (text)
        EXPECT_EQ(std::string(e.what()), expected);
      else
        EXPECT_EQ(std::string(e.what()).substr(0, expected.size()), expected);
    }
  }
}

// Rules extend the table for the runs that follow, with the like-class's roles; the next rules
// replace them, and no rules give the table alone.
TEST(ReplacementRules, TheTableGrowsByTheRulesAndTheirClassesTakeTheirRoles) {
  testutil::TempDir dir;
  TReplaceOptions options("BDE");
  auto replacer = ky::CreateReplacer(&options);
  testutil::WriteFile(
      dir / "rules.json",
      "{\"classes\": [{\"class\": \"TRxQuery\", \"like\": \"tquery\"},"
      " {\"class\": \"TMyDatabase\", \"like\": \"TDatabase\", \"new\": \"tkyconnection\"},"
      " {\"class\": \"TwwStoredProc\", \"like\": \"TStoredProc\"}],"
      " \"uses\": [\"RxQuery\"]}");
  migwiz::TReplacementRules rules = migwiz::ReadReplacementRules(dir / "rules.json", *replacer);
  ASSERT_EQ(rules.Classes.size(), 3u);
  EXPECT_EQ(rules.Classes[0].Like, "TQuery");
  EXPECT_EQ(rules.Classes[1].New, "TKyConnection");
  replacer->SetRules(rules);
  EXPECT_EQ(*replacer->FindReplacement("trxquery"), "TKyQuery");
  EXPECT_EQ(*replacer->FindReplacement("TwwStoredProc"), "TKyStoredProc");
  EXPECT_EQ(*replacer->FindReplacement("TQuery"), "TKyQuery");
  const migwiz::TClassRoles& roles = replacer->FormParser->ClassRoles;
  using migwiz::TClassRoles;
  EXPECT_TRUE(TClassRoles::Has(roles.Queries, "TRxQuery"));
  EXPECT_TRUE(TClassRoles::Has(roles.ParamDatasets, "TRxQuery"));
  EXPECT_TRUE(TClassRoles::Has(roles.ParamDatasets, "TwwStoredProc"));
  EXPECT_FALSE(TClassRoles::Has(roles.Queries, "TwwStoredProc"));
  EXPECT_TRUE(TClassRoles::Has(roles.Databases, "TMyDatabase"));
  // The rules' own database converts as a database: its alias and parameters, its isolation.
  replacer->FormParser->SetNewClassName("TKyConnection");
  int pos = 1;
  ASSERT_TRUE(replacer->FormParser->Parse(
      "object D: TMyDatabase\r\n  DatabaseName = 'X'\r\n  Params.Strings = (\r\n"
      "    'DATABASE NAME=stock')\r\n  TransIsolation = tiDirtyRead\r\nend\r\n",
      "<object>", pos));
  std::string text;
  replacer->FormParser->BuildObjectText(0, text);
  EXPECT_EQ(text,
            "object D: TKyConnection\r\n  Database = 'stock'\r\n"
            "  IsolationLevel = ilReadUnCommitted\r\nend\r\n");

  replacer->SetRules({});
  EXPECT_EQ(replacer->FindReplacement("TRxQuery"), nullptr);
  EXPECT_FALSE(TClassRoles::Has(replacer->FormParser->ClassRoles.Queries, "TRxQuery"));
  EXPECT_EQ(*replacer->FindReplacement("TwwQuery"), "TKyQuery");
  EXPECT_EQ(replacer->SourceClasses.Count(), 10);
}
