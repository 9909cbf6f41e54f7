#include "MigWizard/ui/QtSettingsStore.h"

#include <gtest/gtest.h>

#include "rtl/SysUtils.h"
#include "support/QtTestApp.h"
#include "support/TestUtil.h"

namespace {

using migwiz::TQtSettingsStore;
using testutil::TempDir;

const std::string kSection = "BDE Migration Wizard";

class QtSettingsStoreTest : public qttest::QtTest {};

TEST_F(QtSettingsStoreTest, ValuesReadBackFromTheFileInAFreshStore) {
  TempDir dir;
  std::string ini = dir / "Oxvale.ini";
  {
    TQtSettingsStore store(ini);
    store.WriteInteger(kSection, "Left", -40);
    store.WriteInteger(kSection, "Dest", 1);
    store.WriteBool(kSection, "MakeBackup", false);
    store.WriteBool(kSection, "WriteLog", true);
    store.WriteString(kSection, "DirHistory", "C:\\Work\\App\r\nD:\\Src, old\r\n");
    store.WriteString(kSection, "LastUndo", "@ByteArray(not one)");
    store.WriteString(kSection, "Directory", std::string("/home/j\xF6rg/Src"));  // 8-bit, not UTF-8
    store.WriteString("Other Section", "Dest", "x");
  }
  EXPECT_TRUE(testutil::Exists(ini));
  TQtSettingsStore store(ini);
  EXPECT_EQ(store.ReadInteger(kSection, "Left", 0), -40);
  EXPECT_EQ(store.ReadInteger(kSection, "Dest", 0), 1);
  EXPECT_FALSE(store.ReadBool(kSection, "MakeBackup", true));
  EXPECT_TRUE(store.ReadBool(kSection, "WriteLog", false));
  EXPECT_EQ(store.ReadString(kSection, "DirHistory", ""), "C:\\Work\\App\r\nD:\\Src, old\r\n");
  EXPECT_EQ(store.ReadString(kSection, "LastUndo", ""), "@ByteArray(not one)");
  EXPECT_EQ(store.ReadString(kSection, "Directory", ""), std::string("/home/j\xF6rg/Src"));
  // Sections are apart: the same key elsewhere is another value.
  EXPECT_EQ(store.ReadString("Other Section", "Dest", ""), "x");
  EXPECT_EQ(store.ReadInteger(kSection, "Dest", 0), 1);
}

TEST_F(QtSettingsStoreTest, MissingOrForeignValuesGiveTheDefault) {
  TempDir dir;
  std::string ini = dir / "Oxvale.ini";
  {
    TQtSettingsStore store(ini);
    EXPECT_EQ(store.ReadInteger(kSection, "Left", 17), 17);
    EXPECT_EQ(store.ReadString(kSection, "Directory", "def"), "def");
    EXPECT_TRUE(store.ReadBool(kSection, "ReplaceProjWarn", true));
    EXPECT_FALSE(store.ReadBool(kSection, "ViewLog", false));
  }
  EXPECT_FALSE(testutil::Exists(ini)) << "reading alone creates no file";

  // A file edited by hand: words for Booleans, text where a number belongs, a stray line.
  testutil::WriteFile(ini,
                      "[BDE%20Migration%20Wizard]\nViewLog=true\nWriteLog=False\nLeft=abc\n"
                      "Top=12\nMakeBackup=maybe\nstray line\n");
  TQtSettingsStore store(ini);
  EXPECT_TRUE(store.ReadBool(kSection, "ViewLog", false));
  EXPECT_FALSE(store.ReadBool(kSection, "WriteLog", true));
  EXPECT_TRUE(store.ReadBool(kSection, "MakeBackup", true));
  EXPECT_FALSE(store.ReadBool(kSection, "MakeBackup", false));
  EXPECT_EQ(store.ReadInteger(kSection, "Left", 5), 5);
  EXPECT_EQ(store.ReadInteger(kSection, "Top", 5), 12);
  // An integer key holding a Boolean written by the store reads as a number, and back.
  store.WriteBool(kSection, "Flag", true);
  EXPECT_EQ(store.ReadInteger(kSection, "Flag", 0), 1);
}

TEST_F(QtSettingsStoreTest, AWriteThatCannotReachTheFileIsAnErrorNamingIt) {
  TempDir dir;
  testutil::WriteFile(dir / "blocker", "a file where a folder should be");
  std::string ini = dir / "blocker/Oxvale.ini";
  TQtSettingsStore store(ini);
  try {
    store.WriteBool(kSection, "ReplaceProjWarn", false);
    FAIL() << "the write was reported as done";
  } catch (const rtl::Exception& e) {
    EXPECT_NE(std::string(e.what()).find(ini), std::string::npos) << e.what();
  }
}

TEST_F(QtSettingsStoreTest, TheUsersStoreBelongsToOxvale) {
  TempDir dir;
  testutil::ScopedEnv config("XDG_CONFIG_HOME", dir.path());
  TQtSettingsStore store;
  EXPECT_NE(store.FileName().find("Oxvale"), std::string::npos) << store.FileName();
}

}  // namespace
