// Fault tests of the command-line host: runs killed at every file-system mutation, a disk that
// fills up, inputs that cannot be read and a backup folder that cannot be written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "support/TestUtil.h"

namespace fs = std::filesystem;
using testutil::Exists;
using testutil::ReadFile;
using testutil::WriteFile;

namespace {

using Files = std::map<std::string, std::string>;

using Outcome = testutil::ShellResult;

using testutil::ShellQuote;

// The units, forms and project files below root; what a run adds (log, backups) is left out.
Files Sources(const std::string& root) {
  Files files;
  for (auto& e : fs::recursive_directory_iterator(root)) {
    std::string rel = fs::relative(e.path(), root).string();
    std::string ext = e.path().extension().string();
    if (e.is_regular_file() && rel.rfind("RBackup", 0) != 0 &&
        (ext == ".pas" || ext == ".dfm" || ext == ".dpr"))
      files[rel] = ReadFile(e.path());
  }
  return files;
}

class Fault : public ::testing::Test {
 protected:
  Fault() : tmp(dir / "tmp"), env("TMPDIR", tmp) {
    fs::create_directories(tmp);
    original = Sources(testutil::SourcePath("examples/Orders"));
  }

  // A fresh copy of the example application.
  std::string FreshApp(const std::string& name) {
    std::string app = dir / name;
    fs::remove_all(app);
    fs::copy(testutil::SourcePath("examples/Orders"), app, fs::copy_options::recursive);
    return app;
  }

  Outcome Run(const std::string& args, const std::string& fault = "") {
    std::string cmd =
        fault + " " + ShellQuote(std::string(MIGWIZ_BIN_DIR) + "/kymigwiz") + " " + args + " 2>&1";
    return testutil::RunShell(cmd);
  }

  // What an uninterrupted run makes of the example.
  Files Converted(const std::string& args) {
    std::string app = FreshApp("App");  // the same path as the runs, so logs compare
    Outcome r = Run(args + " " + ShellQuote(app + target) + extra);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    Files out = Sources(app);
    if (Exists(app + "/Wiz_Log.txt")) referenceLogSize = fs::file_size(app + "/Wiz_Log.txt");
    fs::remove_all(app);
    return out;
  }

  // Every source file is as it was or as the uninterrupted run left it; returns how many changed.
  int ExpectWholeFiles(const std::string& app, const Files& converted, const std::string& what) {
    Files now = Sources(app);
    int changed = 0;
    for (const auto& [rel, bytes] : original) {
      if (now[rel] != bytes) ++changed;
      EXPECT_TRUE(now[rel] == bytes || now[rel] == converted.at(rel)) << what << ": " << rel;
    }
    return changed;
  }

  void RestoreAndExpectOriginals(const std::string& app, const std::string& what) {
    std::string undo = app + "/RBackup/ROvorad.reu";
    if (!Exists(undo)) return;
    Outcome r = Run("restore " + ShellQuote(undo));
    EXPECT_EQ(r.exitCode, 0) << what << ": " << r.output;
    EXPECT_EQ(Sources(app), original) << what;
  }

  testutil::TempDir dir;
  std::string tmp;
  testutil::ScopedEnv env;
  Files original;
  std::string target;  // appended to the application folder in Converted()
  std::string extra;
  std::uintmax_t referenceLogSize = 0;
  std::unique_ptr<testutil::TempDir> other;  // a work folder on another file system
};

}  // namespace

TEST_F(Fault, KilledAtAnyMutationLeavesOriginalsWholeAndRestorable) {
  struct Mode {
    const char* option;
    const char* target;
    const char* extra;
  };
  for (const Mode& mode :
       {Mode{"replace --folder", "", " --subdirs"}, Mode{"replace --project", "/Orders.dpr", ""}}) {
    target = mode.target;
    extra = mode.extra;
    const Files converted = Converted(mode.option);
    ASSERT_NE(converted, original);
    int kills = 0;
    bool completed = false;
    for (int n = 1; n < 1000 && !completed; ++n) {
      std::string app = FreshApp("App");
      std::string what = std::string(mode.option) + " killed at " + std::to_string(n);
      Outcome r = Run(std::string(mode.option) + " " + ShellQuote(app + target) + extra,
                      "MIGWIZ_FAULT_KILL_AT=" + std::to_string(n));
      if (r.signal == 0) {
        ASSERT_EQ(r.exitCode, 0) << what << ": " << r.output;
        EXPECT_EQ(Sources(app), converted) << what;
        completed = true;
        continue;
      }
      ASSERT_EQ(r.signal, SIGKILL) << what;
      ++kills;
      ExpectWholeFiles(app, converted, what);
      RestoreAndExpectOriginals(app, what);
      if (HasFailure()) return;
    }
    EXPECT_TRUE(completed);
    EXPECT_GT(kills, 20) << mode.option << ": the seam counted too few mutations";
  }
}

TEST_F(Fault, ADiskThatFillsUpEndsWithAnErrorAndWholeOriginals) {
  extra = " --subdirs";
  const Files converted = Converted("replace --folder");
  // The work folder on the project's file system: the outputs are renamed into place and nothing
  // is written after the backups. On another file system they are copied, and a copy can fail.
  std::vector<std::pair<std::string, bool>> workFolders = {{tmp, false}};
  struct stat here {
  }, there{};
  if (::stat(tmp.c_str(), &here) == 0 && ::stat("/dev/shm", &there) == 0 &&
      here.st_dev != there.st_dev && ::access("/dev/shm", W_OK) == 0) {
    other = std::make_unique<testutil::TempDir>("/dev/shm");
    workFolders.emplace_back(other->path(), true);
  }
  for (const auto& [work, copied] : workFolders) {
    int errors = 0, putBack = 0;
    bool completed = false;
    for (int n = 1; n < 1000 && !completed; ++n) {
      std::string app = FreshApp("App");
      std::string what = "work folder " + work + ", no space at write " + std::to_string(n);
      Outcome r =
          Run("replace --folder " + ShellQuote(app) + " --subdirs",
              "TMPDIR=" + ShellQuote(work) + " MIGWIZ_FAULT_ENOSPC_AT=" + std::to_string(n));
      ASSERT_EQ(r.signal, 0) << what;
      int changed = ExpectWholeFiles(app, converted, what);
      if (r.exitCode == 3) {
        // Whatever failed, no original is left converted and the message names a file.
        ++errors;
        EXPECT_EQ(changed, 0) << what;
        EXPECT_TRUE(r.output.find(dir.path()) != std::string::npos ||
                    r.output.find(work) != std::string::npos)
            << what << ": names no file: " << r.output;
        if (r.output.rfind("Cannot replace " + app, 0) == 0) {
          ++putBack;
          EXPECT_NE(r.output.find(": No space left on device\n"), std::string::npos) << r.output;
          EXPECT_FALSE(Exists(app + "/RBackup/ROvorad.reu")) << what;
        }
      } else {
        ASSERT_EQ(r.exitCode, 0) << what << ": " << r.output;
        // A failed log write is ignored; the run itself must then be complete. A whole log means
        // the fault came after the last write: every point has been tried.
        EXPECT_EQ(Sources(app), converted) << what;
        completed = fs::file_size(app + "/Wiz_Log.txt") == referenceLogSize;
      }
      if (HasFailure()) return;
    }
    EXPECT_TRUE(completed) << work;
    EXPECT_GT(errors, 5) << work;
    // Only outputs copied from another file system can fail once the replacing has begun.
    if (copied)
      EXPECT_GT(putBack, 0) << work;
    else
      EXPECT_EQ(putBack, 0) << work;
  }
}

TEST_F(Fault, InputsThatCannotBeReadEndTheRunNamingTheFile) {
  // A folder where the project expects a unit, and a link to nothing found by the folder scan.
  std::string app = FreshApp("App");
  fs::remove(app + "/Reports.pas");
  fs::create_directory(app + "/Reports.pas");
  Outcome r = Run("replace --project " + ShellQuote(app + "/Orders.dpr"));
  EXPECT_EQ(r.exitCode, 3) << r.output;
  EXPECT_NE(r.output.find("Reports.pas"), std::string::npos) << r.output;
  fs::remove(app + "/Reports.pas");
  fs::copy_file(testutil::SourcePath("examples/Orders/Reports.pas"), app + "/Reports.pas");
  EXPECT_EQ(Sources(app), original);

  fs::create_symlink(app + "/Gone.pas", app + "/Dangling.pas");
  r = Run("replace --folder " + ShellQuote(app));
  EXPECT_EQ(r.exitCode, 3) << r.output;
  EXPECT_NE(r.output.find("Dangling.pas"), std::string::npos) << r.output;
  EXPECT_EQ(Sources(app), original);
  fs::remove(app + "/Dangling.pas");

  // A FIFO named like a unit reads as empty instead of blocking the run.
  ASSERT_EQ(::mkfifo((app + "/Pipe.pas").c_str(), 0644), 0);
  r = Run("replace --folder " + ShellQuote(app), "timeout 20");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  fs::remove(app + "/Pipe.pas");
}

TEST_F(Fault, AUnitWithoutReadPermissionEndsTheRunNamingIt) {
  std::string app = FreshApp("Locked");
  testutil::OrdinaryUser::Give(dir.path());
  fs::permissions(app + "/Main.pas", fs::perms::none);
  Outcome r = Run("replace --folder " + ShellQuote(app), testutil::OrdinaryUser::Prefix());
  EXPECT_EQ(r.exitCode, 3) << r.output;
  EXPECT_NE(r.output.find("Main.pas"), std::string::npos) << r.output;
  fs::permissions(app + "/Main.pas", fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(Sources(app), original);
}

// A folder of the project the user cannot write: the run replaces nothing, backs nothing up,
// writes no undo file and names the file and the reason, on the command line and as the log's
// last line. A restore into such a folder restores nothing either.
TEST_F(Fault, AReadOnlyFolderLeavesTheProjectWholeAndNamesIt) {
  const std::string user = testutil::OrdinaryUser::Prefix();
  for (const std::string& mode : {std::string("--project "), std::string("--folder ")}) {
    std::string app = FreshApp("App");
    testutil::OrdinaryUser::Give(dir.path());
    const std::string args = "replace " + mode + ShellQuote(mode == "--project " ? app + "/Orders.dpr" : app) +
                             (mode == "--folder " ? " --subdirs" : "");
    fs::permissions(app + "/Archive", fs::perms::owner_write, fs::perm_options::remove);
    const std::string message = "Cannot replace " + app + "/Archive/Archive.pas: Permission denied";
    Outcome r = Run(args, user);
    EXPECT_EQ(r.exitCode, 3) << mode << r.output;
    EXPECT_EQ(r.output, message + "\n") << mode;
    EXPECT_EQ(Sources(app), original) << mode;
    // Nor the backup folder the run made.
    EXPECT_FALSE(fs::exists(app + "/RBackup")) << mode;
    const std::string log = ReadFile(app + "/Wiz_Log.txt");
    EXPECT_EQ(log.substr(log.size() - message.size() - 4), message + "\r\n\r\n") << log;
    EXPECT_EQ(log.find("sucessfully"), std::string::npos) << log;
    EXPECT_TRUE(fs::is_empty(tmp));

    // Converted while the folder could be written, then restored into it while it cannot be.
    fs::permissions(app + "/Archive", fs::perms::owner_write, fs::perm_options::add);
    ASSERT_EQ(Run(args, user).exitCode, 0) << mode;
    const Files converted = Sources(app);
    fs::permissions(app + "/Archive", fs::perms::owner_write, fs::perm_options::remove);
    r = Run("restore " + ShellQuote(app + "/RBackup/ROvorad.reu"), user);
    EXPECT_EQ(r.exitCode, 1) << mode << r.output;
    EXPECT_EQ(r.output, "Failed to restore files.\n" + message + "\n") << mode;
    EXPECT_EQ(Sources(app), converted) << mode;
    fs::permissions(app + "/Archive", fs::perms::owner_write, fs::perm_options::add);
  }
}

TEST_F(Fault, AReadOnlyBackupFolderEndsTheRunBeforeAnyOriginalChanges) {
  std::string app = FreshApp("App");
  fs::create_directory(app + "/RBackup");
  testutil::ImmutableGuard frozen(app + "/RBackup");
  if (!frozen.IsSet()) {
    fs::permissions(app + "/RBackup", fs::perms::owner_read | fs::perms::owner_exec);
    if (::access((app + "/RBackup").c_str(), W_OK) == 0)
      GTEST_SKIP() << "neither the immutable flag nor permissions stop this user from writing";
  }
  Outcome r = Run("replace --folder " + ShellQuote(app) + " --subdirs");
  EXPECT_EQ(r.exitCode, 3) << r.output;
  EXPECT_NE(r.output.find("RBackup"), std::string::npos) << r.output;
  EXPECT_EQ(Sources(app), original);
  EXPECT_TRUE(fs::is_empty(app + "/RBackup"));
  EXPECT_TRUE(fs::is_empty(tmp));
}
