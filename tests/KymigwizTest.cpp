// End-to-end tests of the command-line host on copies of the example application.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>

#include "support/TestUtil.h"

namespace fs = std::filesystem;
using testutil::Exists;
using testutil::ReadFile;
using testutil::WriteFile;

namespace {

struct Result {
  int code = -1;
  std::string out;  // standard output and error
};

std::string Quote(const std::string& s) {
  return testutil::ShellQuote(s);
}

std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> files;
  for (auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = ReadFile(e.path());
  return files;
}

class Kymigwiz : public ::testing::Test {
 protected:
  Kymigwiz() : tmp(dir / "tmp"), env("TMPDIR", tmp) {
    fs::create_directories(tmp);
    app = dir / "Orders";
    fs::copy(testutil::SourcePath("examples/Orders"), app, fs::copy_options::recursive);
    original = Snapshot(app);
  }

  Result Run(const std::string& args) {
    std::string cmd = Quote(std::string(MIGWIZ_BIN_DIR) + "/kymigwiz") + " " + args + " 2>&1";
    testutil::ShellResult s = testutil::RunShell(cmd);
    return Result{s.exitCode, std::move(s.output)};
  }

  // Files of the application as they were, ignoring what a run adds (log, backups).
  void ExpectOriginals() {
    auto now = Snapshot(app);
    for (const auto& [rel, bytes] : original) EXPECT_EQ(now[rel], bytes) << rel;
  }

  testutil::TempDir dir;
  std::string tmp;
  testutil::ScopedEnv env;
  std::string app;
  std::map<std::string, std::string> original;
};

}  // namespace

TEST_F(Kymigwiz, FolderModeConvertsAndRestoreGivesEveryByteBack) {
  Result r = Run("replace --folder " + Quote(app) + " --subdirs");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(r.out, "Replace procedure was performed sucessfully.\n");
  EXPECT_NE(ReadFile(app + "/Shared/Utils.pas").find("TKyTable"), std::string::npos);
  EXPECT_NE(ReadFile(app + "/Archive/Archive.pas").find("TKyQuery"), std::string::npos);
  EXPECT_TRUE(Exists(app + "/RBackup/Shared/Utils.~pas"));
  EXPECT_TRUE(Exists(app + "/Wiz_Log.txt"));
  // Folder mode scans no aliases: the query's DatabaseName finds no connection.
  EXPECT_EQ(ReadFile(app + "/Main.dfm").find("Connection ="), std::string::npos);
  EXPECT_TRUE(fs::is_empty(tmp));

  r = Run("restore " + Quote(app + "/RBackup/ROvorad.reu"));
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(r.out, "Files were succefully restored.\n");
  ExpectOriginals();

  // A second run and a second restore over the same backup folder.
  ASSERT_EQ(Run("replace --folder " + Quote(app) + " --subdirs").code, 0);
  ASSERT_EQ(Run("restore " + Quote(app + "/RBackup/ROvorad.reu")).code, 0);
  ExpectOriginals();
}

TEST_F(Kymigwiz, FolderModeWithoutSubfoldersBackupOrLog) {
  Result r = Run("replace --folder " + Quote(app) + " --no-backup --no-log");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(ReadFile(app + "/Shared/Utils.pas"), original["Shared/Utils.pas"]);
  EXPECT_NE(ReadFile(app + "/Main.pas").find("TKyQuery"), std::string::npos);
  EXPECT_FALSE(Exists(app + "/RBackup"));
  EXPECT_FALSE(Exists(app + "/Wiz_Log.txt"));
}

TEST_F(Kymigwiz, ProjectModeResolvesAliasesAcrossForms) {
  Result r = Run("replace --project " + Quote(app + "/Orders.dpr") + " --backup-dir Saved");
  ASSERT_EQ(r.code, 0) << r.out;
  std::string main = ReadFile(app + "/Main.dfm");
  EXPECT_NE(main.find("Connection = OrdersData.OrdersDatabase"), std::string::npos) << main;
  // The project file itself is no module of the project: left alone.
  EXPECT_EQ(ReadFile(app + "/Orders.dpr"), original["Orders.dpr"]);
  EXPECT_NE(ReadFile(app + "/Shared/Utils.pas").find("TKyTable"), std::string::npos);
  // Project mode keeps its backups side by side in the backup folder.
  EXPECT_TRUE(Exists(app + "/Saved/Utils.~pas"));
  EXPECT_TRUE(Exists(app + "/Saved/DataMod.~dfm"));
  EXPECT_TRUE(Exists(app + "/Wiz_Log.txt"));
  ASSERT_EQ(Run("restore " + Quote(app + "/Saved/ROvorad.reu")).code, 0);
  ExpectOriginals();
}

TEST_F(Kymigwiz, ProjectModeConvertsOnlyTheNamedUnits) {
  ASSERT_EQ(Run("replace --project " + Quote(app + "/Orders.dpr") + " --units main.pas").code, 0);
  EXPECT_NE(ReadFile(app + "/Main.pas").find("TKyQuery"), std::string::npos);
  EXPECT_EQ(ReadFile(app + "/DataMod.pas"), original["DataMod.pas"]);
}

TEST_F(Kymigwiz, FailuresEndWithTheirMessageAndExitCode) {
  WriteFile(app + "/Blocked", "a file where a folder should be");
  Result r = Run("replace --folder " + Quote(app) + " --backup-dir Blocked/Sub");
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.out, "Failed to create directory.\n");
  fs::remove(app + "/Blocked");
  fs::remove(app + "/Wiz_Log.txt");
  ExpectOriginals();

  WriteFile(dir / "empty.reu", "");
  r = Run("restore " + Quote(dir / "empty.reu"));
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "Failed to restore files.\n");
  WriteFile(dir / "missing.reu", app + "/Main.pas=" + dir / "gone/Main.~pas\r\n");
  EXPECT_EQ(Run("restore " + Quote(dir / "missing.reu")).code, 1);
  ExpectOriginals();

  r = Run("restore " + Quote(dir / "nothing-here.reu"));
  EXPECT_EQ(r.code, 3);
  EXPECT_NE(r.out.find("nothing-here.reu"), std::string::npos) << r.out;

  EXPECT_EQ(Run("replace --folder " + Quote(dir / "no-such-folder")).code, 3);
}

TEST_F(Kymigwiz, AnOriginalThatCannotBeReplacedFailsTheRun) {
  testutil::ImmutableGuard stuck(app + "/Main.pas");
  if (!stuck.IsSet()) GTEST_SKIP() << "the file system does not keep files from being replaced";
  Result r = Run("replace --folder " + Quote(app));
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "Replace failed.\n");
  EXPECT_EQ(ReadFile(app + "/Main.pas"), original["Main.pas"]);
  EXPECT_NE(ReadFile(app + "/DataMod.pas").find("TKyConnection"), std::string::npos);
}

TEST_F(Kymigwiz, WrongUsageShowsTheUsage) {
  for (const char* args :
       {"", "replace", "replace --folder a --project b.dpr",
        "replace --folder a --no-backup --backup-dir b", "frobnicate", "restore"}) {
    Result r = Run(args);
    EXPECT_EQ(r.code, 2) << args;
    EXPECT_NE(r.out.find("kymigwiz"), std::string::npos) << args << r.out;
  }
}

TEST_F(Kymigwiz, FormsConvertBetweenBinaryAndText) {
  Result r = Run("form-to-text " + Quote(app + "/DataMod.dfm"));
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(r.out.rfind("object OrdersData: TOrdersData\r\n", 0), 0u) << r.out.substr(0, 80);
  ASSERT_EQ(Run("form-to-text " + Quote(app + "/DataMod.dfm") + " " + Quote(dir / "d.txt")).code,
            0);
  ASSERT_EQ(Run("form-to-binary " + Quote(dir / "d.txt") + " " + Quote(dir / "d.dfm")).code, 0);
  EXPECT_EQ(ReadFile(dir / "d.dfm"), original["DataMod.dfm"]);
  WriteFile(dir / "bad.dfm", "object X: TX\r\n  Left = \r\n");
  r = Run("form-to-binary " + Quote(dir / "bad.dfm") + " " + Quote(dir / "bad.bin"));
  EXPECT_EQ(r.code, 3);
  EXPECT_NE(r.out.find("bad.dfm"), std::string::npos) << r.out;
  EXPECT_FALSE(Exists(dir / "bad.bin"));
}
