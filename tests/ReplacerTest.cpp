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
