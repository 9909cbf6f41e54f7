// One replace run as a host starts it: the project saved, the run, the modules reloaded and the
// results handed to the host's view.
#include "MigWizard/ReplaceRequest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "MigWizard/IDEUtils.h"
#include "hosts/common/ProjectServices.h"
#include "product/KyReplacer.h"
#include "support/TestUtil.h"

namespace {

namespace fs = std::filesystem;
using migwiz::TFileDiff;
using migwiz::TReplaceOutcome;

TEST(ResolveBackupDir, ARelativeFolderLiesBelowTheBaseAnAbsoluteOneStays) {
  EXPECT_EQ(migwiz::ResolveBackupDir("RBackup", "/p/app"), "/p/app/RBackup");
  EXPECT_EQ(migwiz::ResolveBackupDir("old/RBackup", "/p/app/"), "/p/app/old/RBackup");
  EXPECT_EQ(migwiz::ResolveBackupDir("/var/keep", "/p/app"), "/var/keep");
  // No folder named: the backups go beside the files.
  EXPECT_EQ(migwiz::ResolveBackupDir("", "/p/app"), "/p/app/");
}

// The Orders example opened as a project in the disk host, with a view of the run's results.
class ReplaceRequestTest : public ::testing::Test {
 protected:
  void SetUp() override { ota::BorlandIDEServices = services; }
  void TearDown() override { ota::BorlandIDEServices.reset(); }

  // A fresh copy of the project, opened, and the options of a run over all its units.
  void OpenCopy(const std::string& name) {
    folder = dir / name;
    fs::copy(testutil::SourcePath("examples/Orders"), folder, fs::copy_options::recursive);
    ASSERT_TRUE(migwiz::TIDEUtils::OpenProject(folder + "/Orders.dpr")) << services->LastError();
    options.Dest = migwiz::TReplaceOptions::kDestProject;
    options.Units = migwiz::UnitListText(migwiz::ProjectUnitFiles());
    options.BackupDir = migwiz::ResolveBackupDir("RBackup", folder);
    services->FindModule(folder + "/Main.pas")->OnReload = [this](hosts::TDiskModule&) {
      ++reloads;
    };
  }

  testutil::TempDir dir;
  std::shared_ptr<hosts::TProjectServices> services = std::make_shared<hosts::TProjectServices>();
  migwiz::TReplaceOptions options{"BDE"};
  std::unique_ptr<migwiz::TComponentReplacer> replacer = ky::CreateReplacer(&options);
  std::string folder;
  int reloads = 0;
};

TEST_F(ReplaceRequestTest, ARunsDiffsReachTheViewAndTheHostsSinkForThatRunOnly) {
  int views = 0;
  migwiz::TRunReport report;
  std::vector<TFileDiff> shown;
  services->OnRunResults = [&](const migwiz::TRunReport& r, std::vector<TFileDiff> diffs) {
    ++views;
    report = r;
    shown = std::move(diffs);
  };

  // The view alone: the files backed up are diffed when shown, from their backups.
  OpenCopy("a");
  int beforeRun = 0;
  ASSERT_EQ(migwiz::RunReplaceInIDE(*replacer, [&] { ++beforeRun; }), TReplaceOutcome::Succeeded);
  EXPECT_EQ(beforeRun, 1);
  EXPECT_EQ(reloads, 1);
  ASSERT_EQ(views, 1);
  std::vector<std::string> changed, texts;
  for (const migwiz::TFileReport& file : report.Files)
    if (file.Changed) changed.push_back(file.Rel);
  ASSERT_GE(changed.size(), 4u);
  ASSERT_EQ(shown.size(), changed.size());
  for (size_t i = 0; i < shown.size(); ++i) {
    EXPECT_EQ(shown[i].Rel, changed[i]);
    EXPECT_FALSE(shown[i].Backup.empty()) << shown[i].Rel;
    texts.push_back(migwiz::DiffTextOf(shown[i]));
    EXPECT_NE(texts.back().find("+++ b/" + shown[i].Rel), std::string::npos) << texts.back();
  }

  // The host's own sink too: every diff is made during the run, the same texts reach both.
  OpenCopy("b");
  std::vector<std::string> hostTexts;
  migwiz::TRunDiffs host;
  host.OnDiff = [&](const std::string&, std::string diff) { hostTexts.push_back(diff); };
  ASSERT_EQ(migwiz::RunReplaceInIDE(*replacer, {}, host), TReplaceOutcome::Succeeded);
  ASSERT_EQ(views, 2);
  EXPECT_EQ(hostTexts, texts);
  ASSERT_EQ(shown.size(), texts.size());
  for (size_t i = 0; i < shown.size(); ++i) {
    EXPECT_TRUE(shown[i].Backup.empty());
    EXPECT_EQ(migwiz::DiffTextOf(shown[i]), texts[i]);
  }

  // Cancelled: nothing shown or reloaded, no original touched, the sinks given no diff.
  OpenCopy("c");
  const std::string main = testutil::ReadFile(folder + "/Main.pas");
  hostTexts.clear();
  reloads = 0;
  replacer->OnProgress = [this](int done, int, const std::string&) {
    if (done == 1) replacer->CancelRequested = true;
  };
  EXPECT_EQ(migwiz::RunReplaceInIDE(*replacer, {}, host), TReplaceOutcome::Cancelled);
  replacer->OnProgress = nullptr;
  EXPECT_EQ(views, 2);
  EXPECT_EQ(reloads, 0);
  EXPECT_TRUE(hostTexts.empty());
  EXPECT_EQ(testutil::ReadFile(folder + "/Main.pas"), main);

  // A run given no sink and no view leaves nothing of the earlier runs' sinks behind.
  services->OnRunResults = nullptr;
  ASSERT_EQ(migwiz::RunReplaceInIDE(*replacer), TReplaceOutcome::Succeeded);
  EXPECT_TRUE(hostTexts.empty());
  EXPECT_EQ(views, 2);
  EXPECT_NE(testutil::ReadFile(folder + "/Main.pas"), main);
}

}  // namespace
