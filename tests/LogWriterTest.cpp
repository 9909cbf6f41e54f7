// The log writer and the date-time text of its header.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "MigWizard/FileUtils.h"
#include "rtl/SysUtils.h"
#include "support/TestUtil.h"

namespace fs = std::filesystem;
using migwiz::TLogWriter;
using testutil::Exists;
using testutil::ScopedEnv;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

// The header line a writer opened now carries: label, blank, date-time text. The clock may tick
// between the writer's Open and this check, so both neighbouring texts are accepted.
void ExpectStampLine(const std::string& line, const std::string& label, const std::string& before,
                     const std::string& after) {
  EXPECT_TRUE(line == label + " " + before || line == label + " " + after)
      << "line \"" << line << "\", expected \"" << label << " " << before << "\"";
}

// The writer as the replacer configures it.
void ConfigureAsReplacer(TLogWriter& log) {
  log.SetTitle("BDE Migration Wizard log");
  log.SetCreatedAtLabel("Created at:");
  log.SetBlankLines(true);
}

// Whether this process holds the file open (Linux: /proc/self/fd).
bool HoldsOpen(const std::string& path) {
  std::error_code ec;
  if (!fs::is_directory("/proc/self/fd", ec)) return false;
  for (const auto& e : fs::directory_iterator("/proc/self/fd", ec)) {
    std::error_code ignored;
    if (fs::equivalent(fs::read_symlink(e.path(), ignored), path, ignored)) return true;
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Settings and header

TEST(LogWriterHeader, InitialValues) {
  TLogWriter log;
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(log.Title(), "");
  EXPECT_EQ(log.CreatedAtLabel(), "Log created at:");
  EXPECT_FALSE(log.BlankLines());
}

TEST(LogWriterHeader, ReplacerSettingsGiveTitleStampAndBlankLines) {
  TempDir tmp;
  TLogWriter log;
  ConfigureAsReplacer(log);
  std::string before = rtl::NowText();
  log.Open(tmp / "Wiz_Log.txt");
  std::string after = rtl::NowText();
  EXPECT_TRUE(log.IsOpen());
  log.WriteLine("Initializing unit list");
  log.Close();
  std::string text = ReadFile(tmp / "Wiz_Log.txt");
  std::string title = "BDE Migration Wizard log\r\n\r\n";
  ASSERT_EQ(text.substr(0, title.size()), title);
  size_t stampEnd = text.find("\r\n", title.size());
  ASSERT_NE(stampEnd, std::string::npos);
  ExpectStampLine(text.substr(title.size(), stampEnd - title.size()), "Created at:", before, after);
  EXPECT_EQ(text.substr(stampEnd), "\r\n\r\nInitializing unit list\r\n\r\n");
}

TEST(LogWriterHeader, EmptyTitleWritesOnlyTheStampLine) {
  TempDir tmp;
  TLogWriter log;
  std::string before = rtl::NowText();
  log.Open(tmp / "log.txt");
  std::string after = rtl::NowText();
  log.Close();
  std::string text = ReadFile(tmp / "log.txt");
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  std::string line = text.substr(0, text.size() - 2);
  EXPECT_EQ(line.find('\r'), std::string::npos);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  ExpectStampLine(line, "Log created at:", before, after);
}

TEST(LogWriterHeader, EmptyLabelStillWritesTheStampLine) {
  TempDir tmp;
  TLogWriter log;
  log.SetCreatedAtLabel("");
  std::string before = rtl::NowText();
  log.Open(tmp / "log.txt");
  std::string after = rtl::NowText();
  log.Close();
  std::string text = ReadFile(tmp / "log.txt");
  ASSERT_GE(text.size(), 2u);
  ExpectStampLine(text.substr(0, text.size() - 2), "", before, after);
}

// ---------------------------------------------------------------------------------------------
// Lines

class LogWriterLines : public ::testing::Test {
 protected:
  // The text written after the header: the writer is opened with an empty title and label,
  // so the header is one stamp line.
  std::string Body() {
    std::string text = ReadFile(path);
    size_t headerEnd = text.find("\r\n");
    EXPECT_NE(headerEnd, std::string::npos);
    return text.substr(headerEnd + 2);
  }
  void OpenPlain(bool blankLines) {
    log.SetCreatedAtLabel("");
    log.SetBlankLines(false);  // the header's own line without the extra line end
    log.Open(path);
    log.SetBlankLines(blankLines);
  }

  TempDir tmp;
  std::string path = tmp / "log.txt";
  TLogWriter log;
};

TEST_F(LogWriterLines, CrLfAfterEachLine) {
  OpenPlain(false);
  log.WriteLine("Processing file: /src/Unit1.pas");
  log.WriteLine("2 change(s)");
  EXPECT_EQ(Body(), "Processing file: /src/Unit1.pas\r\n2 change(s)\r\n");
}

TEST_F(LogWriterLines, OneBlankIsAnEmptyLine) {
  OpenPlain(false);
  log.WriteLine(" ");
  EXPECT_EQ(Body(), "\r\n");
  log.SetBlankLines(true);
  log.WriteLine(" ");
  EXPECT_EQ(Body(), "\r\n\r\n\r\n");
}

TEST_F(LogWriterLines, OtherBlanksAreKept) {
  OpenPlain(false);
  log.WriteLine("  ");
  log.WriteLine(" x ");
  EXPECT_EQ(Body(), "  \r\n x \r\n");
}

TEST_F(LogWriterLines, EmptyTextIsABareLineEnd) {
  OpenPlain(false);
  log.WriteLine("");
  EXPECT_EQ(Body(), "\r\n");
}

TEST_F(LogWriterLines, TextEndingInLineFeedOrCarriageReturnGetsNoLineEnd) {
  OpenPlain(false);
  log.WriteLine("lf\n");
  log.WriteLine("cr\r");
  log.WriteLine("crlf\r\n");
  EXPECT_EQ(Body(), "lf\ncr\rcrlf\r\n");
}

TEST_F(LogWriterLines, BlankLineFlagStillAddsItsLineEnd) {
  OpenPlain(true);
  log.WriteLine("lf\n");
  log.WriteLine("cr\r");
  log.WriteLine("plain");
  EXPECT_EQ(Body(), "lf\n\r\ncr\r\r\nplain\r\n\r\n");
}

TEST_F(LogWriterLines, SeveralLinesAtOnceReadAsOneByOne) {
  OpenPlain(true);
  log.WriteLines({"lf\n", " ", "", "plain"});
  log.WriteLines({});
  EXPECT_EQ(Body(), "lf\n\r\n\r\n\r\n\r\n\r\nplain\r\n\r\n");
}

TEST_F(LogWriterLines, SettingsTakeEffectForTheNextLine) {
  OpenPlain(false);
  log.WriteLine("a");
  log.SetBlankLines(true);
  log.WriteLine("b");
  log.SetBlankLines(false);
  log.WriteLine("c");
  EXPECT_EQ(Body(), "a\r\nb\r\n\r\nc\r\n");
}

TEST_F(LogWriterLines, EachLineReachesTheFileWhenWriteLineReturns) {
  OpenPlain(false);
  log.WriteLine("first");
  EXPECT_EQ(Body(), "first\r\n");  // read while the writer is still open
  log.WriteLine("second");
  EXPECT_EQ(Body(), "first\r\nsecond\r\n");
}

TEST_F(LogWriterLines, EightBitTextIsWrittenByteForByte) {
  OpenPlain(false);
  std::string text = std::string(
                         "Gr\xfc\xdf"
                         "e \xe4") +
                     '\0' + "x";
  log.WriteLine(text);
  EXPECT_EQ(Body(), text + "\r\n");
}

// ---------------------------------------------------------------------------------------------
// Open and close

TEST(LogWriterLifecycle, ReopenTruncates) {
  TempDir tmp;
  std::string path = tmp / "Wiz_Log.txt";
  WriteFile(path, std::string(10000, 'x'));
  TLogWriter log;
  log.SetTitle("T");
  log.Open(path);
  log.WriteLine("run 1");
  log.Close();
  log.Open(path);
  log.WriteLine("run 2");
  log.Close();
  std::string text = ReadFile(path);
  EXPECT_EQ(text.substr(0, 3), "T\r\n");
  EXPECT_EQ(text.find("run 1"), std::string::npos);
  EXPECT_EQ(text.find('x'), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 7), "run 2\r\n");
}

TEST(LogWriterLifecycle, NeverOpenedWriterLeavesNoFileAndRaisesNothing) {
  TempDir tmp;
  // Where a writer without a file name could write: the current and the temporary folder.
  const fs::path cwd = fs::current_path();
  fs::current_path(tmp.path());
  {
    testutil::ScopedEnv env("TMPDIR", tmp.path().c_str());
    TLogWriter log;
    EXPECT_NO_THROW(log.WriteLine("dropped"));
    EXPECT_NO_THROW(log.Close());
  }
  fs::current_path(cwd);
  EXPECT_TRUE(fs::is_empty(tmp.path()));
}

TEST(LogWriterLifecycle, LinesAfterCloseAreDropped) {
  TempDir tmp;
  TLogWriter log;
  log.SetTitle("T");
  log.Open(tmp / "log.txt");
  log.Close();
  std::string closed = ReadFile(tmp / "log.txt");
  EXPECT_NO_THROW(log.WriteLine("dropped"));
  EXPECT_NO_THROW(log.Close());  // closing a closed writer does nothing
  EXPECT_EQ(ReadFile(tmp / "log.txt"), closed);
  EXPECT_FALSE(log.IsOpen());
}

TEST(LogWriterLifecycle, OpenFailureNamesTheFileAndLeavesTheWriterClosed) {
  TempDir tmp;
  std::string path = tmp / "no-such-folder/Wiz_Log.txt";
  TLogWriter log;
  try {
    log.Open(path);
    FAIL() << "Open did not raise";
  } catch (const rtl::EFCreateError& e) {
    EXPECT_NE(e.Message().find(path), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(log.IsOpen());
  log.WriteLine("dropped");
  EXPECT_TRUE(fs::is_empty(tmp.path()));
}

TEST(LogWriterLifecycle, FolderAsFileNameRaises) {
  TempDir tmp;
  TLogWriter log;
  EXPECT_THROW(log.Open(tmp.path()), rtl::EFCreateError);
  EXPECT_FALSE(log.IsOpen());
}

TEST(LogWriterLifecycle, SecondOpenClosesTheFirstFile) {
  TempDir tmp;
  TLogWriter log;
  log.SetTitle("T");
  log.Open(tmp / "first.txt");
  log.WriteLine("one");
  std::string first = ReadFile(tmp / "first.txt");
  log.Open(tmp / "second.txt");
  log.WriteLine("two");
  EXPECT_EQ(ReadFile(tmp / "first.txt"), first);
  EXPECT_FALSE(HoldsOpen(tmp / "first.txt"));
  std::string second = ReadFile(tmp / "second.txt");
  EXPECT_EQ(second.substr(second.size() - 5), "two\r\n");
}

TEST(LogWriterLifecycle, FailedOpenAfterOpenLeavesFirstFileClosed) {
  TempDir tmp;
  TLogWriter log;
  log.Open(tmp / "first.txt");
  EXPECT_THROW(log.Open(tmp / "missing/second.txt"), rtl::EFCreateError);
  EXPECT_FALSE(log.IsOpen());
  EXPECT_FALSE(HoldsOpen(tmp / "first.txt"));
}

TEST(LogWriterLifecycle, DestructorClosesTheFile) {
  TempDir tmp;
  {
    TLogWriter log;
    log.Open(tmp / "log.txt");
    log.WriteLine("last");
    if (fs::is_directory("/proc/self/fd")) {
      EXPECT_TRUE(HoldsOpen(tmp / "log.txt"));
    }
  }
  EXPECT_FALSE(HoldsOpen(tmp / "log.txt"));
  std::string text = ReadFile(tmp / "log.txt");
  EXPECT_EQ(text.substr(text.size() - 6), "last\r\n");
}

// ---------------------------------------------------------------------------------------------
// Date-time text of the header (rtl::DateTimeToStr)

class DateTimeText : public ::testing::Test {
 protected:
  ScopedEnv tz{"TZ", "UTC0"};
  ScopedEnv all{"LC_ALL", "C"};
};

TEST_F(DateTimeText, MidnightLeavesTheTimeOut) {
  // 2024-03-15 00:00:00 UTC
  EXPECT_EQ(rtl::DateTimeToStr(1710460800), "2024-03-15");
}

TEST_F(DateTimeText, OtherTimesCarryTheTime) {
  EXPECT_EQ(rtl::DateTimeToStr(1710460800 + 1), "2024-03-15 00:00:01");
  EXPECT_EQ(rtl::DateTimeToStr(1710460800 + 60), "2024-03-15 00:01:00");
  EXPECT_EQ(rtl::DateTimeToStr(1710460800 + 12 * 3600 + 34 * 60 + 56), "2024-03-15 12:34:56");
  EXPECT_EQ(rtl::DateTimeToStr(1710460800 - 1), "2024-03-14 23:59:59");
}

TEST_F(DateTimeText, LocalTimeDecidesMidnight) {
  ScopedEnv east("TZ", "XST-2");  // two hours east of UTC
  EXPECT_EQ(rtl::DateTimeToStr(1710460800 - 2 * 3600), "2024-03-15");
  EXPECT_EQ(rtl::DateTimeToStr(1710460800), "2024-03-15 02:00:00");
}

TEST_F(DateTimeText, UnsetLocaleIsTheCLocale) {
  ScopedEnv noAll("LC_ALL", nullptr);
  ScopedEnv noTime("LC_TIME", nullptr);
  ScopedEnv noLang("LANG", nullptr);
  EXPECT_EQ(rtl::DateTimeToStr(1710460800 + 5), "2024-03-15 00:00:05");
}

TEST_F(DateTimeText, NowTextIsTodaysDate) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char date[16];
  std::strftime(date, sizeof date, "%Y-%m-%d", &tm);
  std::string text = rtl::NowText();
  // The clock may pass midnight between the two reads; then either day is right.
  std::time_t later = std::time(nullptr);
  std::tm tm2{};
  gmtime_r(&later, &tm2);
  char date2[16];
  std::strftime(date2, sizeof date2, "%Y-%m-%d", &tm2);
  EXPECT_TRUE(text.rfind(date, 0) == 0 || text.rfind(date2, 0) == 0) << text;
}
