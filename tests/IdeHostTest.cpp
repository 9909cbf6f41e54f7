// The desktop host run as a process: the plug-in's menu mirrored into the menu bar and the
// project's modules listed with their file views.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "support/TestUtil.h"

namespace {

struct THostRun {
  int status = -1;
  std::string out;
};

std::string HostPath() {
  return std::string(MIGWIZ_BIN_DIR) + "/migwiz-ide";
}

THostRun RunHost(const std::string& args) {
  const std::string cmd =
      "QT_QPA_PLATFORM=offscreen '" + HostPath() + "' --print-state " + args + " 2>&1";
  THostRun run;
  FILE* pipe = ::popen(cmd.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, got);
  const int raw = ::pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

class IdeHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(HostPath())) GTEST_SKIP() << HostPath() << " not built";
  }
};

TEST_F(IdeHostTest, PluginMenuStandsBeforeHelpAndProjectModulesAreListed) {
  testutil::TempDir dir;
  std::filesystem::copy(testutil::SourcePath("examples/Orders"), dir.path(),
                        std::filesystem::copy_options::recursive);
  const THostRun run = RunHost("'" + dir / "Orders.dpr" + "'");
  ASSERT_EQ(run.status, 0) << run.out;

  const size_t file = run.out.find("menu &File\n");
  const size_t kyzel = run.out.find("menu &Kyzel\n  menu &Migration Wizard\n");
  const size_t help = run.out.find("menu &Help\n  menu &About...\n");
  ASSERT_NE(file, std::string::npos) << run.out;
  ASSERT_NE(kyzel, std::string::npos) << run.out;
  ASSERT_NE(help, std::string::npos) << run.out;
  EXPECT_LT(file, kyzel);
  EXPECT_LT(kyzel, help);
  EXPECT_EQ(run.out.find("menu &Kyzel\n", kyzel + 1), std::string::npos) << "menu inserted twice";

  // The project first, then its units in the order of the uses clause; forms as a second tab.
  const size_t project = run.out.find("module " + dir / "Orders.dpr" + " Code\n");
  const size_t main = run.out.find("module " + dir / "Main.pas" + " Code,Form\n");
  const size_t data = run.out.find("module " + dir / "DataMod.pas" + " Code,Form\n");
  const size_t reports = run.out.find("module " + dir / "Reports.pas" + " Code\n");
  ASSERT_NE(project, std::string::npos) << run.out;
  ASSERT_NE(main, std::string::npos) << run.out;
  ASSERT_NE(data, std::string::npos) << run.out;
  ASSERT_NE(reports, std::string::npos) << run.out;
  EXPECT_LT(project, main);
  EXPECT_LT(main, data);
  EXPECT_LT(data, reports);
}

TEST_F(IdeHostTest, ProjectThatCannotBeOpenedIsReportedAndTheMenuStays) {
  testutil::TempDir dir;
  const THostRun missing = RunHost("'" + dir / "Nowhere.dpr" + "'");
  EXPECT_EQ(missing.status, 1) << missing.out;
  EXPECT_NE(missing.out.find("Nowhere.dpr"), std::string::npos) << missing.out;
  EXPECT_NE(missing.out.find("menu &Migration Wizard\n"), std::string::npos) << missing.out;
  EXPECT_EQ(missing.out.find("module "), std::string::npos) << missing.out;

  const THostRun none = RunHost("");
  EXPECT_EQ(none.status, 0) << none.out;
  EXPECT_EQ(none.out.find("module "), std::string::npos) << none.out;

  const THostRun tooMany = RunHost("a.dpr b.dpr");
  EXPECT_EQ(tooMany.status, 2) << tooMany.out;
  EXPECT_NE(tooMany.out.find("usage: migwiz-ide"), std::string::npos) << tooMany.out;
}

// Help and version answer on the terminal where there is no display at all.
TEST_F(IdeHostTest, HelpAndVersionNeedNoDisplay) {
  auto run = [](const std::string& args) {
    THostRun result;
    const std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" + HostPath() +
                            "' " + args + " 2>&1";
    FILE* pipe = ::popen(cmd.c_str(), "r");
    char buffer[4096];
    size_t got;
    while (pipe && (got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
      result.out.append(buffer, got);
    const int raw = pipe ? ::pclose(pipe) : -1;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
  };
  const THostRun help = run("--help");
  EXPECT_EQ(help.status, 0) << help.out;
  EXPECT_EQ(help.out.rfind("usage: migwiz-ide", 0), 0u) << help.out;
  EXPECT_NE(help.out.find("--version"), std::string::npos) << help.out;
  const THostRun version = run("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "migwiz-ide " MIGWIZ_VERSION "\n");
  const THostRun unknown = run("--frobnicate Orders.dpr");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.out.find("not found"), std::string::npos) << unknown.out;
}

// A whole session played in the host: the plug-in loaded from beside it, its menu clicked, the
// wizard, the save warning and the message boxes answered as a user would.
class IdeSessionTest : public IdeHostTest {
 protected:
  void SetUp() override {
    IdeHostTest::SetUp();
    if (IsSkipped()) return;
    std::filesystem::copy(testutil::SourcePath("examples/Orders"), project(),
                          std::filesystem::copy_options::recursive);
    std::filesystem::create_directories(dir_ / "tmp");
  }

  std::string project() const { return dir_ / "Orders"; }
  std::string backup() const { return dir_ / "Backup"; }

  // Plays the script on the example project (or another); the settings live in the test's
  // folder.
  testutil::ShellResult Play(const std::string& script,
                             const std::string& projectFile = "Orders/Orders.dpr",
                             const std::string& user = std::string()) {
    const std::string file = dir_ / "session.txt";
    testutil::WriteFile(file, script);
    return testutil::RunShell("cd " + testutil::ShellQuote(dir_.path()) +
                              " && XDG_CONFIG_HOME=" + testutil::ShellQuote(dir_ / "config") +
                              " TMPDIR=" + testutil::ShellQuote(dir_ / "tmp") +
                              " QT_QPA_PLATFORM=offscreen " + user +
                              testutil::ShellQuote(HostFor(user)) + " --script session.txt " +
                              testutil::ShellQuote(projectFile) + " 2>&1");
  }

  // The host, or for another user a copy of it and its plug-in in the test's folder: the build
  // may lie below a folder only its owner can enter (a clone in a private temporary folder).
  std::string HostFor(const std::string& user) const {
    if (user.empty()) return HostPath();
    namespace fs = std::filesystem;
    const fs::path bin = fs::path(HostPath()).parent_path();
    const fs::path copy = dir_.path() + "/host";
    fs::create_directories(copy);
    for (const char* name : {"migwiz-ide", "libKyMigWizard100.so"})
      fs::copy_file(bin / name, copy / name, fs::copy_options::overwrite_existing);
    testutil::OrdinaryUser::Give(copy.string());
    return (copy / "migwiz-ide").string();
  }

  std::string Settings() const {
    const std::string file = dir_ / "config/Oxvale.ini";
    return testutil::Exists(file) ? testutil::ReadFile(file) : std::string();
  }

  // Every file under the folder, by its path inside it.
  static std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
      if (entry.is_regular_file())
        files[std::filesystem::relative(entry.path(), root).string()] =
            testutil::ReadFile(entry.path().string());
    return files;
  }

  // Through the wizard to a replace run of the open project with backups in backupDir; the
  // further options of the last page are ticked as `options` says.
  static std::string WizardToRun(const std::string& backupDir, const std::string& options) {
    return "menu Kyzel > Migration Wizard\n"
           "dialog WizardForm\n"
           "check rbModeReplace\n"
           "click btNext\n"
           "page Step2ReplaceSheet\n"
           "check rbDestProject\n"
           "click btNext\n"
           "page Step3ProjSheet\n"
           "click btSelect\n"
           "click btNext\n"
           "page Step4Sheet\n"
           "check chMakeBackup\n"
           "type cbBackupDir " +
           backupDir + "\n" + options +
           "click btNext\n"
           "page FinalStepSheet\n"
           "click btFinish\n"
           "dialog SaveWarnForm\n"
           "click OKBtn\n";
  }

  // The same with two forms open, a log written and shown.
  static std::string ReplaceScript(const std::string& backupDir) {
    return "show Main.pas Form\n"
           "show DataMod.pas Form\n" +
           WizardToRun(backupDir, "check chWriteLog\ncheck chViewLog\n");
  }

  testutil::TempDir dir_;
};

TEST_F(IdeSessionTest, ReplaceThenRestoreThroughTheMenuGivesEveryFileBack) {
  const auto originals = Tree(project());

  const testutil::ShellResult replaced = Play(
      ReplaceScript(backup()) +
      "message Replace procedure was performed sucessfully.\n"
      // The log asked for opens in a view of the host, not with the desktop's viewer.
      "view Wiz_Log.txt Code Replace procedure was performed sucessfully.\n"
      // The units were put in front of their forms before the run, and reloaded after it.
      "front Main.pas Code\n"
      "front DataMod.pas Code\n"
      "view Main.pas Code KyQuery\n"
      "view DataMod.pas Form TKyConnection\n"
      // What needs a person's look, each row opening its form at the object.
      "report ArchiveForm/ArchiveQuery: TwwQuery -> TKyQuery | dropped ControlType.Strings, "
      "ValidateWithMask\n"
      "open-report ArchiveQuery\n"
      "front Archive.pas Form\n"
      "cursor Archive.pas Form 40\n"
      // The code a person must revise, opened at its place.
      "report Result.DatabaseName := 'ORDERS_DB'; | TKyQuery has no DatabaseName | Main.pas | 40\n"
      "open-report TKyQuery has no DatabaseName\n"
      "front Main.pas Code\n"
      "cursor Main.pas Code 40\n"
      "selection Main.pas Code Result.DatabaseName\n"
      "changes +++ b/Archive/Archive.dfm\n"
      "changes # binary form, shown as text\\n--- a/DataMod.dfm\n"
      "quit\n");
  ASSERT_EQ(replaced.exitCode, 0) << replaced.output;
  EXPECT_EQ(replaced.output.find("shell-open"), std::string::npos) << replaced.output;

  // The same conversion as the command-line host's on another copy of the project.
  testutil::TempDir other;
  std::filesystem::copy(testutil::SourcePath("examples/Orders"), other / "Orders",
                        std::filesystem::copy_options::recursive);
  const testutil::ShellResult cli = testutil::RunShell(
      testutil::ShellQuote(std::string(MIGWIZ_BIN_DIR) + "/kymigwiz") + " replace --project " +
      testutil::ShellQuote(other / "Orders/Orders.dpr") + " --no-backup --no-log 2>&1");
  ASSERT_EQ(cli.exitCode, 0) << cli.output;
  auto converted = Tree(project());
  ASSERT_EQ(converted.erase("Wiz_Log.txt"), 1u);
  EXPECT_EQ(converted, Tree(other / "Orders"));
  for (const char* name : {"Main.pas", "Main.dfm", "DataMod.pas", "DataMod.dfm", "Reports.pas",
                           "Archive/Archive.pas", "Archive/Archive.dfm"})
    EXPECT_NE(converted.at(name), originals.at(name)) << name << " was not converted";
  EXPECT_NE(Settings().find("LastUndo=" + backup() + "/ROvorad.reu"), std::string::npos)
      << Settings();

  const testutil::ShellResult restored = Play(
      "menu Kyzel > Migration Wizard\n"
      "dialog WizardForm\n"
      "check rbModeRestore\n"
      "click btNext\n"
      "page Step2RestoreSheet\n"
      "type edUndoFile " +
      backup() +
      "/ROvorad.reu\n"
      "click btNext\n"
      "page FinalStepSheet\n"
      "click btFinish\n"
      "dialog SaveWarnForm\n"
      "click OKBtn\n"
      "message Files were succefully restored.\n"
      // The project was closed for the restore and opened again from the disk.
      "view-lacks Main.pas Code KyQuery\n"
      "view Main.pas Code TQuery\n"
      "quit\n");
  ASSERT_EQ(restored.exitCode, 0) << restored.output;
  auto after = Tree(project());
  EXPECT_EQ(after.erase("Wiz_Log.txt"), 1u);
  EXPECT_EQ(after, originals);
}

TEST_F(IdeSessionTest, ErrorLeavingTheClickIsShownAndTheHostGoesOn) {
  const auto originals = Tree(project());
  testutil::WriteFile(dir_ / "Blocked", "a file where the backup folder should go");

  const testutil::ShellResult run =
      Play(ReplaceScript(dir_ / "Blocked/Backup") + "message-with Failed to create directory.\\n" +
           dir_ / "Blocked" +
           "\n"
           // Still answering: the wizard opens again and can be left.
           "menu Kyzel > Migration Wizard\n"
           "dialog WizardForm\n"
           "click btCancel\n"
           "menu Help > About...\n"
           "message-with desktop host\n"
           "quit\n");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  auto after = Tree(project());
  after.erase("Wiz_Log.txt");
  EXPECT_EQ(after, originals);
  // Neither the failed click nor the cancelled one saved the wizard's settings (the save warning
  // keeps its own).
  EXPECT_EQ(Settings().find("LastUndo"), std::string::npos) << Settings();
  EXPECT_EQ(Settings().find("MakeBackup"), std::string::npos) << Settings();
}

// As an ordinary user, a folder of the project that cannot be written keeps the run from
// replacing anything, and the host says which file and why.
TEST_F(IdeSessionTest, AReadOnlyFolderLeavesTheProjectWholeAndSaysWhy) {
  const auto originals = Tree(project());
  testutil::OrdinaryUser::Give(dir_.path());
  std::filesystem::permissions(project() + "/Archive", std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  const testutil::ShellResult run =
      Play(ReplaceScript(backup()) + "message-with Cannot replace " + project() +
               "/Archive/Archive.pas: Permission denied\nquit\n",
           "Orders/Orders.dpr", testutil::OrdinaryUser::Prefix());
  std::filesystem::permissions(project() + "/Archive", std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  auto after = Tree(project());
  EXPECT_EQ(after.erase("Wiz_Log.txt"), 1u);
  EXPECT_EQ(after, originals);
  EXPECT_FALSE(testutil::Exists(backup() + "/ROvorad.reu"));
}

TEST_F(IdeSessionTest, TypedFolderWinsOverTheDropDownsCompletion) {
  // The history holds a longer name that begins with the typed one.
  testutil::WriteFile(dir_ / "config/Oxvale.ini",
                      "[BDE%20Migration%20Wizard]\nBackDirHistory=" + backup() + "Old\\r\\n\n");
  const testutil::ShellResult run = Play(ReplaceScript(backup()) +
                                         "message Replace procedure was performed sucessfully.\n"
                                         "quit\n");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(testutil::Exists(backup() + "/ROvorad.reu"));
  EXPECT_FALSE(testutil::Exists(backup() + "Old"));
}

TEST_F(IdeSessionTest, ScriptThatCannotGoOnNamesItsLine) {
  const testutil::ShellResult unknown = Play("menu Kyzel > Migration Wizard\nfrobnicate x\n");
  EXPECT_EQ(unknown.exitCode, 2) << unknown.output;
  EXPECT_NE(unknown.output.find("line 2: unknown command \"frobnicate\""), std::string::npos)
      << unknown.output;

  const testutil::ShellResult wrong =
      Play("show Main.pas Code\nmenu Help > About...\nmessage Nothing like this\nquit\n");
  EXPECT_EQ(wrong.exitCode, 3) << wrong.output;
  EXPECT_NE(wrong.output.find("script line 3 (message Nothing like this): the message box says"),
            std::string::npos)
      << wrong.output;
}

}  // namespace

// A run over a project of a few hundred modules shows its progress; Cancel in the progress
// window ends it with every original untouched, no undo file and no work folder left.
TEST_F(IdeSessionTest, CancelInTheProgressWindowLeavesTheProjectAsItWas) {
  const std::string big = dir_ / "Big";
  ASSERT_EQ(testutil::RunShell(testutil::ShellQuote(std::string(MIGWIZ_BIN_DIR) + "/bench_gen") +
                               " " + testutil::ShellQuote(big) + " --megabytes 12 --seed 3 2>&1")
                .exitCode,
            0);
  const auto originals = Tree(big);
  const testutil::ShellResult run = Play(WizardToRun(backup(), "") +
                                             "dialog ProgressForm\n"
                                             "click btCancelRun\n"
                                             "message Replace cancelled.\n"
                                             "quit\n",
                                         "Big/Project.dpr");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  auto after = Tree(big);
  ASSERT_EQ(after.erase("Wiz_Log.txt"), 1u);
  EXPECT_EQ(after, originals);
  EXPECT_FALSE(testutil::Exists(backup() + "/ROvorad.reu"));
  for (const auto& left : std::filesystem::directory_iterator(dir_ / "tmp"))
    if (left.path().filename().string().rfind("runtime-", 0) != 0)  // Qt's, not the run's
      ADD_FAILURE() << "left in the temporary folder: " << left.path();
  const std::string log = testutil::ReadFile(big + "/Wiz_Log.txt");
  EXPECT_NE(log.find("Replace cancelled.\r\n"), std::string::npos) << log;
}

// A project file in GBK, as an older IDE wrote it: the code page chosen in the host's Tools menu
// finds its unit at once, is kept for the next start, and the run's log says it found the unit.
TEST_F(IdeSessionTest, ACodePageChosenInTheHostFindsTheUnitsAndIsKept) {
  const std::string unit = dir_ / "Gbk/程序13-1/GetPrnDC.pas";
  testutil::WriteFile(
      unit, "unit GetPrnDC;\r\ninterface\r\nuses DBTables;\r\nimplementation\r\nend.\r\n");
  testutil::WriteFile(dir_ / "Gbk/Proj/P.dpr",
                      "program P;\r\nuses\r\n  GetPrnDC in '..\\\xB3\xCC\xD0\xF2"
                      "13-1\\GetPrnDC.pas';\r\nbegin\r\nend.\r\n");
  testutil::ShellResult run = Play(
      "menu Tools > Unit Path Code Page...\n"
      "dialog CodePageDialog\n"
      "type cbCodePage CP936\n"
      "click btOk\n"
      "show GetPrnDC.pas Code\n"
      "quit\n",
      "Gbk/Proj/P.dpr");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(Settings().find("UnitPathCodePage=CP936"), std::string::npos) << Settings();

  run = Play("show GetPrnDC.pas Code\n" +
                 WizardToRun(backup(), "check chWriteLog\ncheck chViewLog\n") +
                 "message Replace procedure was performed sucessfully.\n"
                 "view Wiz_Log.txt Code Unit path read in code page CP936: " +
                 unit + "\nquit\n",
             "Gbk/Proj/P.dpr");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(testutil::ReadFile(unit).find("KyAccess"), std::string::npos);
}
