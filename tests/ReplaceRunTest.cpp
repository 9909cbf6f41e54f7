#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "MigWizard/Replacer.h"
#include "MigWizard/UnifiedDiff.h"
#include "product/KyReplacer.h"
#include "rtl/Classes.h"
#include "rtl/Shell.h"
#include "support/TestUtil.h"

namespace fs = std::filesystem;
using migwiz::TComponentReplacer;
using migwiz::TReplaceOptions;
using testutil::Exists;
using testutil::ReadFile;
using testutil::WriteFile;

namespace {

const char* kUnit =
    "unit U;\r\ninterface\r\nuses DBTables;\r\nvar Q: TQuery;\r\n{$R *.dfm}\r\nend.\r\n";
const char* kForm =
    "object F: TF\r\n  object Q: TQuery\r\n    DatabaseName = 'DB'\r\n    Left = 1\r\n  "
    "end\r\nend\r\n";
const char* kPlain = "unit Plain;\r\ninterface\r\nend.\r\n";

// Every file below a folder with its bytes, keyed by the path relative to it.
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> files;
  for (auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = ReadFile(e.path());
  return files;
}

std::vector<std::string> LogLines(const std::string& path) {
  rtl::TStringList lines;
  lines.SetText(ReadFile(path));
  std::vector<std::string> out;
  for (int i = 0; i < lines.Count(); ++i)
    if (!lines[i].empty()) out.push_back(lines[i]);
  return out;
}

class ReplaceRun : public ::testing::Test {
 protected:
  ReplaceRun()
      : tmp(dir / "tmp"),
        env("TMPDIR", tmp),
        options("BDE"),
        replacer(ky::CreateReplacer(&options)) {
    fs::create_directories(tmp);
    src = dir / "src";
    options.Dest = 1;
    options.Directory = src;
    options.IncludeSubDirs = true;
    options.BackupDir = src + "/RBackup";
    rtl::SetShellOpenHandler([this](const std::string& target) { opened.push_back(target); });
  }
  ~ReplaceRun() override { rtl::SetShellOpenHandler(nullptr); }

  void MakeTree() {
    WriteFile(src + "/U.pas", kUnit);
    WriteFile(src + "/U.dfm", kForm);
    WriteFile(src + "/Plain.pas", kPlain);
    WriteFile(src + "/Sub/V.pas", "uses dbtables; var T: TTable;\r\n");
    WriteFile(src + "/Notes.txt", "TQuery");
  }

  bool NoWorkFolderLeft() { return fs::is_empty(tmp); }

  testutil::TempDir dir;
  std::string tmp;
  testutil::ScopedEnv env;
  std::string src;
  TReplaceOptions options;
  std::unique_ptr<TComponentReplacer> replacer;
  std::vector<std::string> opened;
};

}  // namespace

TEST_F(ReplaceRun, FolderModeWithSubfoldersConvertsBacksUpAndLogs) {
  MakeTree();
  auto before = Snapshot(src);
  std::vector<std::string> progress;
  replacer->OnProgress = [&](int done, int total, const std::string& file) {
    progress.push_back(std::to_string(done) + "/" + std::to_string(total) + " " + file);
  };
  ASSERT_TRUE(replacer->Execute());

  EXPECT_NE(ReadFile(src + "/U.pas").find("uses DBTables, KyAccess"), std::string::npos);
  EXPECT_NE(ReadFile(src + "/U.dfm").find("object Q: TKyQuery"), std::string::npos);
  EXPECT_NE(ReadFile(src + "/Sub/V.pas").find("var T: TKyTable;"), std::string::npos);
  EXPECT_EQ(ReadFile(src + "/Plain.pas"), kPlain);
  EXPECT_EQ(ReadFile(src + "/Notes.txt"), "TQuery");

  EXPECT_EQ(ReadFile(src + "/RBackup/U.~pas"), kUnit);
  EXPECT_EQ(ReadFile(src + "/RBackup/U.~dfm"), kForm);
  EXPECT_EQ(ReadFile(src + "/RBackup/Sub/V.~pas"), before["Sub/V.pas"]);
  EXPECT_FALSE(Exists(src + "/RBackup/Plain.~pas"));
  // Units in listing order, then the form found in a unit.
  EXPECT_EQ(ReadFile(src + "/RBackup/ROvorad.reu"),
            src + "/Sub/V.pas=" + src + "/RBackup/Sub/V.~pas\r\n" + src + "/U.pas=" + src +
                "/RBackup/U.~pas\r\n" + src + "/U.dfm=" + src + "/RBackup/U.~dfm\r\n");

  std::vector<std::string> log = LogLines(src + "/Wiz_Log.txt");
  std::vector<std::string> expected = {"BDE Migration Wizard log",
                                       "",  // the time stamp line, checked apart
                                       "Initializing unit list",
                                       "Creating backup folder",
                                       "Allocating temporary folder",
                                       "Processing file: " + src + "/Plain.pas",
                                       "No changes",
                                       "Processing file: " + src + "/Sub/V.pas",
                                       "2 change(s)",
                                       "Processing file: " + src + "/U.pas",
                                       "2 change(s)",
                                       "Processing file: " + src + "/U.dfm",
                                       "1 change(s)",
                                       "Replacing original files with changed versions",
                                       "Backup file: " + src + "/RBackup/ROvorad.reu",
                                       "Removing temporary folder",
                                       "Replace procedure was performed sucessfully."};
  ASSERT_EQ(log.size(), expected.size());
  EXPECT_EQ(log[1].rfind("Created at: ", 0), 0u);
  for (size_t i = 0; i < log.size(); ++i) {
    if (i != 1) {
      EXPECT_EQ(log[i], expected[i]) << i;
    }
  }

  EXPECT_TRUE(NoWorkFolderLeft());
  EXPECT_EQ(replacer->FileList.Count(), 0);
  EXPECT_TRUE(opened.empty());
  // Each file before it is converted (the form once its unit named it), then the end.
  EXPECT_EQ(progress,
            (std::vector<std::string>{"0/3 " + src + "/Plain.pas", "1/3 " + src + "/Sub/V.pas",
                                      "2/3 " + src + "/U.pas", "3/4 " + src + "/U.dfm", "4/4 "}));

  // The restore gives every original back, byte for byte, and can be repeated.
  ASSERT_TRUE(replacer->Restore(src + "/RBackup/ROvorad.reu"));
  ASSERT_TRUE(replacer->Restore(src + "/RBackup/ROvorad.reu"));
  auto after = Snapshot(src);
  for (const auto& [rel, bytes] : before) EXPECT_EQ(after[rel], bytes) << rel;
  EXPECT_EQ(replacer->FileList.Count(), 0);
}

TEST_F(ReplaceRun, SubfoldersOffBackupOffLogOffAndViewing) {
  MakeTree();
  options.IncludeSubDirs = false;
  options.MakeBackup = false;
  options.WriteLog = false;
  options.ViewLog = true;
  ASSERT_TRUE(replacer->Execute());
  EXPECT_EQ(ReadFile(src + "/Sub/V.pas"), "uses dbtables; var T: TTable;\r\n");
  EXPECT_NE(ReadFile(src + "/U.pas").find("TKyQuery"), std::string::npos);
  EXPECT_FALSE(Exists(src + "/RBackup"));
  EXPECT_FALSE(Exists(src + "/Wiz_Log.txt"));
  EXPECT_TRUE(opened.empty());  // viewing needs the log

  options.WriteLog = true;
  ASSERT_TRUE(replacer->Execute());  // a second run over converted files
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], src + "/Wiz_Log.txt");
  EXPECT_TRUE(NoWorkFolderLeft());
}

TEST_F(ReplaceRun, NothingChangedStillWritesAnEmptyUndoFile) {
  WriteFile(src + "/Plain.pas", kPlain);
  ASSERT_TRUE(replacer->Execute());
  EXPECT_EQ(ReadFile(src + "/RBackup/ROvorad.reu"), "");
  std::string log = ReadFile(src + "/Wiz_Log.txt");
  EXPECT_EQ(log.find("Replacing original files"), std::string::npos);
  EXPECT_FALSE(replacer->Restore(src + "/RBackup/ROvorad.reu"));
}

TEST_F(ReplaceRun, BackupFolderThatCannotBeCreatedStopsBeforeAnyWork) {
  MakeTree();
  WriteFile(src + "/RBackup", "a file in the way");
  auto before = Snapshot(src);
  try {
    replacer->Execute();
    FAIL() << "no error";
  } catch (const rtl::EFCreateError& e) {
    // The folder on a line of its own, in the message and in the log's last lines.
    EXPECT_EQ(e.what(), "Failed to create directory.\n" + src + "/RBackup: File exists");
  }
  auto after = Snapshot(src);
  after.erase("Wiz_Log.txt");
  EXPECT_EQ(after, before);
  auto log = LogLines(src + "/Wiz_Log.txt");
  EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
            (std::vector<std::string>{"Creating backup folder", "Failed to create directory.",
                                      src + "/RBackup: File exists"}));
  EXPECT_TRUE(NoWorkFolderLeft());
  EXPECT_EQ(replacer->FileList.Count(), 0);
}

TEST_F(ReplaceRun, AFormThatCannotBeReadEndsTheRunWithOriginalsUntouched) {
  MakeTree();
  WriteFile(src + "/U.dfm", std::string("\xFF\x0A\x00TF\0\x30\x10\x50\0\0\0TPF0", 18));
  auto before = Snapshot(src);
  try {
    replacer->Execute();
    FAIL() << "no error";
  } catch (const rtl::Exception& e) {
    EXPECT_NE(std::string(e.what()).find("U.dfm"), std::string::npos) << e.what();
  }
  auto after = Snapshot(src);
  EXPECT_EQ(after["U.pas"], before["U.pas"]);
  EXPECT_EQ(after["Sub/V.pas"], before["Sub/V.pas"]);
  // Backups are made once every file is converted, so a failed run leaves none behind.
  EXPECT_FALSE(Exists(src + "/RBackup/U.~pas"));
  EXPECT_FALSE(Exists(src + "/RBackup/ROvorad.reu"));
  auto log = LogLines(src + "/Wiz_Log.txt");
  EXPECT_EQ(log[log.size() - 2], "Processing file: " + src + "/U.dfm");
  EXPECT_NE(log.back().find("U.dfm"), std::string::npos) << log.back();
  EXPECT_TRUE(NoWorkFolderLeft());
  // The backup folder the run made goes with it, all of a deeper path it made too; one that was
  // there before stays.
  EXPECT_FALSE(fs::exists(src + "/RBackup"));
  options.BackupDir = src + "/Old/New/Deeper";
  fs::create_directories(src + "/Old");
  EXPECT_THROW(replacer->Execute(), rtl::Exception);
  EXPECT_FALSE(fs::exists(src + "/Old/New"));
  EXPECT_TRUE(fs::is_directory(src + "/Old"));
}

TEST_F(ReplaceRun, NoTemporaryFolderStopsBeforeTheFirstFileIsRead) {
  MakeTree();
  auto before = Snapshot(src);
  testutil::ScopedEnv noTemp("TMPDIR", dir / "missing");
  EXPECT_THROW(replacer->Execute(), rtl::EFCreateError);
  auto after = Snapshot(src);
  after.erase("Wiz_Log.txt");
  EXPECT_EQ(after, before);
  auto log = LogLines(src + "/Wiz_Log.txt");
  EXPECT_EQ(log[log.size() - 3], "Allocating temporary folder");
  EXPECT_EQ(log.back(), dir / "missing");
}

// A replacement that fails once others went through (here a file even root cannot replace)
// puts those back: every original as it was, no backup and no undo file of this run, and the
// log ends with the file and the reason, never with the success line.
TEST_F(ReplaceRun, AnOriginalThatCannotBeReplacedLeavesEveryOriginal) {
  MakeTree();
  WriteFile(src + "/RBackup/ROvorad.reu", "");  // an earlier run's, which must come back
  auto before = Snapshot(src);
  testutil::ImmutableGuard stuck(src + "/U.pas");
  if (!stuck.IsSet()) GTEST_SKIP() << "the file system does not keep files from being replaced";
  migwiz::TRunResult found;
  try {
    replacer->Execute({}, &found);
    FAIL() << "the run went through";
  } catch (const migwiz::ECannotReplace& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot replace " + src + "/U.pas: Operation not permitted");
  }
  auto after = Snapshot(src);
  ASSERT_EQ(after.erase("Wiz_Log.txt"), 1u);
  EXPECT_EQ(after, before);
  EXPECT_EQ(LogLines(src + "/Wiz_Log.txt").back(),
            "Cannot replace " + src + "/U.pas: Operation not permitted");
  EXPECT_TRUE(NoWorkFolderLeft());
  EXPECT_TRUE(found.ChangedUnits.empty());
  EXPECT_FALSE(fs::exists(src + "/RBackup/Sub"));  // made for V.pas's backup, taken away
}

TEST_F(ReplaceRun, FolderLinksAreNotFollowed) {
  MakeTree();
  fs::create_directory_symlink(src, src + "/Sub/Loop");
  WriteFile(dir / "outside/W.pas", "var T: TTable;");
  fs::create_directory_symlink(dir / "outside", src + "/Outside");
  ASSERT_TRUE(replacer->Execute());
  EXPECT_EQ(ReadFile(dir / "outside/W.pas"), "var T: TTable;");
}

TEST_F(ReplaceRun, RestoreChecksEveryCopyBeforeCopyingAny) {
  WriteFile(dir / "a.pas", "new a");
  WriteFile(dir / "b.pas", "new b");
  WriteFile(dir / "bk/a.~pas", "old a");
  std::string undo = dir / "bk/ROvorad.reu";
  WriteFile(undo, dir / "a.pas=" + dir / "bk/a.~pas\r\n" + dir / "b.pas=" + dir / "bk/b.~pas\r\n");
  EXPECT_FALSE(replacer->Restore(undo));
  EXPECT_EQ(ReadFile(dir / "a.pas"), "new a");  // not even the first

  WriteFile(dir / "bk/b.~pas", "old b");
  WriteFile(undo, dir / "a.pas=" + dir / "bk/a.~pas\r" + dir / "b.pas=" + dir / "bk/b.~pas\n");
  EXPECT_TRUE(replacer->Restore(undo));
  EXPECT_EQ(ReadFile(dir / "a.pas"), "old a");
  EXPECT_EQ(ReadFile(dir / "b.pas"), "old b");

  WriteFile(undo, dir / "a.pas=" + dir / "bk/a.~pas\r\n\r\n");  // a blank line names no copy
  EXPECT_FALSE(replacer->Restore(undo));
  EXPECT_THROW(replacer->Restore(dir / "none.reu"), rtl::EFOpenError);
  EXPECT_EQ(replacer->FileList.Count(), 0);
}

// A file the run backs up is diffed later, from its backup, with the text a diff made during the
// run has; a file an earlier run backed up is diffed during the run, against what it was then.
TEST_F(ReplaceRun, DiffsLeftForLaterComeFromTheBackupsWithTheSameText) {
  MakeTree();
  fs::copy(src, dir / "copy", fs::copy_options::recursive);
  using TDiffs = std::vector<std::pair<std::string, std::string>>;
  TDiffs during, later;
  migwiz::TRunDiffs diffs;
  diffs.OnDiff = [&](const std::string& rel, std::string diff) {
    during.emplace_back(rel, std::move(diff));
  };
  diffs.OnDeferredDiff = [&](const std::string& rel, const std::string& backup,
                             const std::string& file, bool unit) {
    later.emplace_back(rel, migwiz::FileDiff(backup, file, unit, rel));
  };
  ASSERT_TRUE(replacer->Execute(diffs));
  EXPECT_TRUE(during.empty());
  ASSERT_EQ(later.size(), 3u);  // U.pas, U.dfm, Sub/V.pas

  // The same tree without backups: every diff is made during the run.
  const TDiffs first = std::exchange(later, {});
  options.Directory = dir / "copy";
  options.MakeBackup = false;
  ASSERT_TRUE(replacer->Execute(diffs));
  EXPECT_TRUE(later.empty());
  EXPECT_EQ(during, first);

  during.clear();
  options.Directory = src;
  options.MakeBackup = true;
  WriteFile(src + "/Sub/V.pas", "var T: TTable;\r\n");
  ASSERT_TRUE(replacer->Execute(diffs));
  EXPECT_TRUE(later.empty());
  ASSERT_EQ(during.size(), 1u);
  EXPECT_EQ(during[0].first, "Sub/V.pas");
  EXPECT_NE(during[0].second.find("\n-var T: TTable;"), std::string::npos) << during[0].second;
}

// A restore is all or nothing too, also on several threads: an original that cannot be written
// (its folder gone) is found before any copy, and a copy that fails midway (a backup that is no
// file) puts back every original already restored.
TEST_F(ReplaceRun, RestoreOnSeveralThreadsRestoresAllOrNone) {
  auto write = [&](int broken) {
    std::string undoText;
    for (int i = 0; i < 300; ++i) {
      const std::string n = std::to_string(i);
      const std::string original = i == broken ? dir / ("gone/" + n + ".pas") : dir / (n + ".pas");
      if (i != broken) WriteFile(original, "new " + n);
      WriteFile(dir / ("bk/" + n + ".~pas"), "old " + n);
      undoText += original + "=" + dir / ("bk/" + n + ".~pas") + "\r\n";
    }
    WriteFile(dir / "bk/ROvorad.reu", undoText);
  };
  options.Threads = 4;
  write(250);
  std::string error;
  EXPECT_FALSE(replacer->Restore(dir / "bk/ROvorad.reu", &error));
  EXPECT_EQ(error, "Cannot replace " + dir / "gone/250.pas" + ": No such file or directory");
  for (int i = 0; i < 300; ++i) {
    if (i == 250) continue;
    EXPECT_EQ(ReadFile(dir / (std::to_string(i) + ".pas")), "new " + std::to_string(i));
  }

  write(-1);
  fs::remove(dir / "bk/120.~pas");
  ASSERT_EQ(::mkfifo((dir / "bk/120.~pas").c_str(), 0600), 0);
  EXPECT_FALSE(replacer->Restore(dir / "bk/ROvorad.reu", &error));
  EXPECT_EQ(error, "Cannot replace " + dir / "120.pas" + ": Not a regular file");
  for (int i = 0; i < 300; ++i)
    EXPECT_EQ(ReadFile(dir / (std::to_string(i) + ".pas")), "new " + std::to_string(i)) << i;
  // Nothing is left beside the originals.
  int files = 0;
  for (auto& e : fs::directory_iterator(dir.path())) files += e.is_regular_file();
  EXPECT_EQ(files, 300);
}

// A cancel while files are converted ends the run with every original untouched, no backup, no
// undo file and no work folder; the log says so. Once the replacing begins it is too late.
TEST_F(ReplaceRun, ACancelBeforeTheReplacingTouchesNothing) {
  MakeTree();
  auto before = Snapshot(src);
  replacer->OnProgress = [&](int done, int, const std::string&) {
    if (done == 2) replacer->CancelRequested = true;
  };
  EXPECT_THROW(replacer->Execute(), migwiz::EReplaceCancelled);
  auto after = Snapshot(src);
  ASSERT_EQ(after.erase("Wiz_Log.txt"), 1u);
  EXPECT_EQ(after, before);
  EXPECT_TRUE(NoWorkFolderLeft());
  EXPECT_EQ(LogLines(src + "/Wiz_Log.txt").back(), "Replace cancelled.");

  bool replacing = false;
  replacer->OnProgress = nullptr;
  replacer->OnReplacing = [&] {
    replacing = true;
    replacer->CancelRequested = true;
  };
  ASSERT_TRUE(replacer->Execute());
  EXPECT_TRUE(replacing);
  EXPECT_NE(ReadFile(src + "/U.pas"), before["U.pas"]);
}

// A file is converted only when its bytes name an old class: the search over them must find a
// name wherever it stands (sixteen bytes are looked at together), in any case, and a comment
// is tokenized only when it names one.
TEST_F(ReplaceRun, FilesAreSkippedOnlyWhenTheyNameNoOldClass) {
  const std::string spellings[] = {"TQuery", "tquery", "TQUERY", "TTable", "TStoredProc"};
  for (int at = 0; at < 40; ++at) {
    const std::string& cls = spellings[static_cast<size_t>(at) % 5];
    const std::string pad(static_cast<size_t>(at), ' ');
    const std::string name = "/U" + std::to_string(at);
    // The class name as the unit's last bytes, after at blanks; and in a comment.
    WriteFile(src + name + ".pas", "unit U;\r\nvar A:" + pad + cls);
    WriteFile(src + name + "c.pas", "unit U;" + pad + "{ a " + cls + " }\r\nend.");
    // A form, named by a unit of its own.
    WriteFile(src + name + "f.pas", "unit F;{$R *.dfm}end.");
    WriteFile(src + name + "f.dfm",
              "object F: TF\r\n  object Q:" + pad + cls + "\r\n  end\r\nend\r\n");
  }
  // Near misses: part of a longer word, a number word, a string.
  WriteFile(src + "/Near.pas",
            "unit N;\r\nvar A: XTQuery; B: TQuery1; C = $TQuery; D = 'TQuery';\r\n");
  WriteFile(src + "/Plain.pas", "unit P; { no class here, only T and Q } end.");
  options.MakeBackup = false;
  options.WriteLog = false;
  ASSERT_TRUE(replacer->Execute());
  for (int at = 0; at < 40; ++at) {
    const std::string name = src + "/U" + std::to_string(at);
    EXPECT_NE(ReadFile(name + ".pas").find("TKy"), std::string::npos) << at;
    EXPECT_NE(ReadFile(name + "c.pas").find("TKy"), std::string::npos) << at;
    EXPECT_NE(ReadFile(name + "f.dfm").find("TKy"), std::string::npos) << at;
  }
  EXPECT_EQ(ReadFile(src + "/Near.pas"),
            "unit N;\r\nvar A: XTQuery; B: TQuery1; C = $TQuery; D = 'TQuery';\r\n");
  EXPECT_EQ(ReadFile(src + "/Plain.pas"), "unit P; { no class here, only T and Q } end.");
}

// The backups are made on several threads: the run ends naming the first in its order that
// could not be made, before any original is replaced and without an undo file.
TEST_F(ReplaceRun, BackupsOnSeveralThreadsNameTheFirstThatFailed) {
  for (int i = 0; i < 300; ++i) WriteFile(src + "/U" + std::to_string(i) + ".pas", kUnit);
  // A folder where two backups would go keeps them from being made.
  for (int i : {120, 250})
    fs::create_directories(src + "/RBackup/U" + std::to_string(i) + ".~pas/x");
  options.Threads = 4;
  try {
    replacer->Execute();
    FAIL() << "the run went through";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot make the backup copy \"" + src +
                                         "/RBackup/U120.~pas\" of \"" + src +
                                         "/U120.pas\": Is a directory.");
  }
  // The copies made before it are gone again.
  EXPECT_FALSE(Exists(src + "/RBackup/U0.~pas"));
  for (int i = 0; i < 300; ++i) EXPECT_EQ(ReadFile(src + "/U" + std::to_string(i) + ".pas"), kUnit);
  EXPECT_FALSE(Exists(src + "/RBackup/ROvorad.reu"));
  EXPECT_TRUE(NoWorkFolderLeft());
}
