// The desktop host run as a process: the plug-in's menu mirrored into the menu bar and the
// project's modules listed with their file views.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
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

}  // namespace
