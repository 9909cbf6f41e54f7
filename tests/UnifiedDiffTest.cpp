// The diff a dry run prints, checked the way a user applies it: through patch.
#include <gtest/gtest.h>

#include <string>

#include "MigWizard/UnifiedDiff.h"
#include "support/TestUtil.h"

using testutil::ReadFile;
using testutil::WriteFile;

TEST(UnifiedDiff, PatchTurnsTheOldTextIntoTheNew) {
  struct Case {
    const char* name;
    std::string before, after;
  };
  std::string longBefore, longAfter;
  for (int i = 0; i < 400; ++i) {
    const std::string line = "  Line" + std::to_string(i) + " = " + std::to_string(i) + "\r\n";
    longBefore += line;
    // Changes near and far from each other: hunks merge or stay apart.
    longAfter += (i % 97 == 5 || i % 97 == 9) ? "  Changed\r\n" : line;
    if (i == 200) longAfter += "  Added\r\n";
  }
  const Case cases[] = {
      {"Unit1.pas", "unit Unit1;\r\nuses DBTables;\r\nend.", "unit Unit1;\r\nuses DBTables, KyAccess;\r\nend."},
      {"No End.pas", "a\nb\nc\n", "a\nb\nc"},
      {"Empty.pas", "", "unit Empty;\n"},
      {"Form.dfm", longBefore, longAfter},
  };
  for (const Case& c : cases) {
    testutil::TempDir dir;
    std::string diff;
    migwiz::AppendUnifiedDiff(c.before, c.after, std::string("a/") + c.name,
                              std::string("b/") + c.name, diff);
    WriteFile(dir / c.name, c.before);
    WriteFile(dir / "p.diff", diff);
    const auto r = testutil::RunShell("cd " + testutil::ShellQuote(dir.path()) +
                                      " && patch -s -p1 --binary < p.diff 2>&1");
    EXPECT_EQ(r.exitCode, 0) << c.name << "\n" << diff << r.output;
    EXPECT_EQ(ReadFile(dir / c.name), c.after) << c.name << "\n" << diff;
  }
  std::string same;
  migwiz::AppendUnifiedDiff("x\n", "x\n", "a/x", "b/x", same);
  EXPECT_EQ(same, "");
  EXPECT_EQ(migwiz::DiffFileName("a/My Forms/Main.dfm"), "\"a/My Forms/Main.dfm\"");
  EXPECT_EQ(migwiz::DiffFileName("a/Main.dfm"), "a/Main.dfm");
}
