// Putting new files in place of old ones, all of them or none, as a run's last step and a restore
// do; long lists go on a pool, whose answers must be those of one file after another.
#include "MigWizard/FileSwap.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "MigWizard/WorkPool.h"
#include "support/TestUtil.h"

namespace fs = std::filesystem;
using testutil::Exists;
using testutil::ReadFile;
using testutil::WriteFile;

namespace {

std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> files;
  for (auto& e : fs::recursive_directory_iterator(root))
    files[e.path().string()] = e.is_regular_file() ? ReadFile(e.path()) : "<folder>";
  return files;
}

}  // namespace

// Files put in place on several threads: when one fails, every file already put in place goes
// back as it was, however it was kept (a backup made before, a second name beside it, or no
// file at all), and nothing is left beside the originals.
TEST(FileSwap, AFailureMidwayPutsBackEveryFileDone) {
  testutil::TempDir dir;
  migwiz::TWorkPool pool(4);
  std::vector<migwiz::TFileSwap> swaps;
  auto had = [](int i) { return i % 7 != 0; };
  for (int i = 0; i < 300; ++i) {
    const std::string n = std::to_string(i);
    migwiz::TFileSwap s{dir / ("work/" + n), dir / ("app/" + n + ".pas"), {}};
    if (had(i)) WriteFile(s.To, "old " + n);
    if (i % 3 == 0 && had(i)) WriteFile(s.Previous = dir / ("bk/" + n), "old " + n);
    if (i != 250) WriteFile(s.From, "new " + n);
    swaps.push_back(s);
  }
  try {
    migwiz::SwapAllOrNone(swaps, migwiz::TSwapMode::Move, &pool);
    FAIL() << "went through";
  } catch (const migwiz::ECannotReplace& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot replace " + dir / "app/250.pas" + ": No such file or directory");
  }
  int left = 0;
  for (auto& e : fs::directory_iterator(dir / "app")) left += e.is_regular_file();
  int expected = 0;
  for (int i = 0; i < 300; ++i) {
    const std::string to = dir / ("app/" + std::to_string(i) + ".pas");
    if (had(i))
      EXPECT_EQ(ReadFile(to), "old " + std::to_string(i)) << i;
    else
      EXPECT_FALSE(Exists(to)) << i;
    expected += had(i);
  }
  EXPECT_EQ(left, expected);

  // The work files put back were used up; a second try gets them anew.
  for (int i = 0; i < 300; ++i)
    WriteFile(swaps[static_cast<size_t>(i)].From, "new " + std::to_string(i));
  migwiz::SwapAllOrNone(swaps, migwiz::TSwapMode::Move, &pool);
  left = 0;
  for (auto& e : fs::directory_iterator(dir / "app")) left += e.is_regular_file();
  EXPECT_EQ(left, 300);
  for (int i = 0; i < 300; ++i)
    EXPECT_EQ(ReadFile(dir / ("app/" + std::to_string(i) + ".pas")), "new " + std::to_string(i));
}

// The check before any swap names the first in order that cannot go, also on the pool: a file
// whose folder is missing (the first file of that folder), or a name a folder holds; it changes
// nothing. A restore copies, so its backups stay for another try, also after a failure.
TEST(FileSwap, TheCheckNamesTheFirstThatCannotGoAndCopiesKeepTheirSources) {
  testutil::TempDir dir;
  migwiz::TWorkPool pool(4);
  std::vector<migwiz::TFileSwap> swaps;
  auto gone = [](int i) { return i >= 200 && i % 2 == 0; };
  for (int i = 0; i < 300; ++i) {
    const std::string n = std::to_string(i);
    swaps.push_back({dir / ("bk/" + n), dir / ((gone(i) ? "gone/" : "app/") + n + ".pas"), {}});
    WriteFile(swaps.back().From, "backup " + n);
    if (!gone(i)) WriteFile(swaps.back().To, "now " + n);
  }
  fs::remove(swaps[251].To);
  fs::create_directories(fs::path(swaps[251].To) / "x");
  const auto before = Snapshot(dir.path());
  auto failure = [&] {
    try {
      migwiz::CheckReplaceable(swaps, &pool);
    } catch (const migwiz::ECannotReplace& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_EQ(failure(), "Cannot replace " + dir / "gone/200.pas" + ": No such file or directory");
  fs::create_directories(dir / "gone");
  EXPECT_EQ(failure(), "Cannot replace " + dir / "app/251.pas" + ": Is a directory");
  fs::remove_all(dir / "gone");
  EXPECT_EQ(Snapshot(dir.path()), before);
  // A folder in the way earlier in the list than the missing folder is the one named.
  fs::remove(swaps[120].To);
  fs::create_directory(swaps[120].To);
  EXPECT_EQ(failure(), "Cannot replace " + dir / "app/120.pas" + ": Is a directory");
  fs::remove(swaps[120].To);
  fs::remove_all(swaps[251].To);
  fs::create_directories(dir / "gone");
  EXPECT_EQ(failure(), "");

  // Copies: a missing backup puts every file back and leaves every backup where it was.
  fs::remove(swaps[260].From);
  EXPECT_THROW(migwiz::SwapAllOrNone(swaps, migwiz::TSwapMode::Copy, &pool),
               migwiz::ECannotReplace);
  for (int i = 0; i < 300; ++i) {
    const migwiz::TFileSwap& s = swaps[static_cast<size_t>(i)];
    if (i != 260) EXPECT_EQ(ReadFile(s.From), "backup " + std::to_string(i)) << i;
    if (!gone(i) && i != 120 && i != 251)
      EXPECT_EQ(ReadFile(s.To), "now " + std::to_string(i)) << i;
    else
      EXPECT_FALSE(Exists(s.To)) << i;
  }
  WriteFile(swaps[260].From, "backup 260");
  migwiz::SwapAllOrNone(swaps, migwiz::TSwapMode::Copy, &pool);
  for (int i = 0; i < 300; ++i) {
    const migwiz::TFileSwap& s = swaps[static_cast<size_t>(i)];
    EXPECT_EQ(ReadFile(s.To), "backup " + std::to_string(i)) << i;
    EXPECT_EQ(ReadFile(s.From), "backup " + std::to_string(i)) << i;
  }
  // Nothing kept aside is left beside the files.
  size_t files = 0;
  for (auto& e : fs::directory_iterator(dir / "app")) files += e.is_regular_file();
  for (auto& e : fs::directory_iterator(dir / "gone")) files += e.is_regular_file();
  EXPECT_EQ(files, 300u);
}
