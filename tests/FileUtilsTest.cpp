// File utilities carried onto POSIX, the single-file copy rtl::CopyFile, and the
// case-insensitive path helpers.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "MigWizard/FileUtils.h"
#include "rtl/FileIO.h"
#include "support/TestUtil.h"

namespace fs = std::filesystem;
using namespace migwiz;
using testutil::Exists;
using testutil::ScopedEnv;
#ifdef __linux__
using testutil::ImmutableGuard;
#endif
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

// The POSIX rules; the Windows ones follow at the end.
#ifndef _WIN32

namespace {

// Runs a test body with another current folder.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::string& dir) : old_(fs::current_path()) { fs::current_path(dir); }
  ~ScopedCwd() { fs::current_path(old_); }

 private:
  fs::path old_;
};

bool IsRoot() {
  return ::geteuid() == 0;
}

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool IsLink(const std::string& path) {
  return fs::is_symlink(fs::symlink_status(path));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Path strings

TEST(JoinPath, SeparatorRules) {
  struct Case {
    const char* dir;
    const char* name;
    const char* joined;
  } cases[] = {
      {"/x", "a", "/x/a"},   {"/x/", "a", "/x/a"},   {"/x", "/a", "/x/a"}, {"/x", "", "/x/"},
      {"", "a", "a"},        {"/x", "/", "/x//"},    {"", "", ""},         {"", "/a", "a"},
      {"/x/", "/a", "/x/a"}, {"/x", "//a", "/x//a"}, {"/", "a", "/a"},     {"/", "", "/"},
      {"x", "a/b", "x/a/b"}, {"x//", "a", "x//a"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(JoinPath(c.dir, c.name), c.joined)
        << "dir \"" << c.dir << "\" name \"" << c.name << "\"";
}

TEST(JoinPath, AbsolutePathHasDrivePart) {
  EXPECT_EQ(PathDelim, '/');
  EXPECT_TRUE(HasDrivePart("/"));
  EXPECT_TRUE(HasDrivePart("/home/u"));
  EXPECT_TRUE(HasDrivePart("//server/share"));
  EXPECT_FALSE(HasDrivePart(""));
  EXPECT_FALSE(HasDrivePart("home/u"));
  EXPECT_FALSE(HasDrivePart("./u"));
  EXPECT_FALSE(HasDrivePart("C:\\x"));  // a Windows path is a plain name here
}

TEST(PathParts, NameFolderAndExtension) {
  EXPECT_EQ(ExtractFileName("/src/Unit1.pas"), "Unit1.pas");
  EXPECT_EQ(ExtractFileName("Unit1.pas"), "Unit1.pas");
  EXPECT_EQ(ExtractFileName("/src/"), "");
  EXPECT_EQ(ExtractFilePath("/src/Unit1.pas"), "/src/");
  EXPECT_EQ(ExtractFilePath("Unit1.pas"), "");
  EXPECT_EQ(ExtractFilePath("/Unit1.pas"), "/");
  EXPECT_EQ(ExtractFileDir("/src/Unit1.pas"), "/src");
  EXPECT_EQ(ExtractFileDir("/Unit1.pas"), "/");  // the root keeps its separator
  EXPECT_EQ(ExtractFileDir("a//b"), "a//");      // as Delphi: a separator after another stays
  EXPECT_EQ(ExtractFileDir("Unit1.pas"), "");
  EXPECT_EQ(ExtractFileExt("/src/Unit1.pas"), ".pas");
  EXPECT_EQ(ExtractFileExt("/src/a.b.c"), ".c");
  EXPECT_EQ(ExtractFileExt("/dir.x/file"), "");
  EXPECT_EQ(ExtractFileExt("name."), ".");
  EXPECT_EQ(ExtractFileExt("/src/.hidden"), ".hidden");
  EXPECT_EQ(ExtractFileExt("C:\\dir.x\\file"), ".x\\file");  // "\" is a name character here
}

TEST(PathParts, ChangeFileExt) {
  EXPECT_EQ(ChangeFileExt("/src/Main.pas", ".dfm"), "/src/Main.dfm");
  EXPECT_EQ(ChangeFileExt("/src/Main", ".dfm"), "/src/Main.dfm");
  EXPECT_EQ(ChangeFileExt("/dir.x/Main", ".DFM"), "/dir.x/Main.DFM");
  EXPECT_EQ(ChangeFileExt("a.b.c", ""), "a.b");
}

TEST(BackupFileName, TildeAfterTheExtensionsDot) {
  struct Case {
    const char* name;
    const char* backup;
  } cases[] = {
      {"/src/Unit1.pas", "/src/Unit1.~pas"},
      {"Main.dfm", "Main.~dfm"},
      {"a.b.c", "a.b.~c"},
      {"README", "README.~"},
      {"name.", "name.~"},
      {"/dir.x/file", "/dir.x/file.~"},  // a dot in a folder name is no extension
      {"/dir.x/file.pas", "/dir.x/file.~pas"},
      {"Project1.DPR", "Project1.~DPR"},
      {"", ".~"},
  };
  for (const Case& c : cases) EXPECT_EQ(BackupFileName(c.name), c.backup) << c.name;
}

// ---------------------------------------------------------------------------------------------
// CreateTempDir

class CreateTempDirTest : public ::testing::Test {
 protected:
  TempDir tmp;
  ScopedEnv env{"TMPDIR", tmp.path()};
};

TEST_F(CreateTempDirTest, CreatesFirstCandidateInTmpDir) {
  std::string dir = CreateTempDir("$DS", 1);
  EXPECT_EQ(dir, tmp / "$DS1");
  EXPECT_TRUE(fs::is_directory(dir));
  EXPECT_TRUE(fs::is_empty(dir));
  // Private to the user: other users must not see the work files.
  EXPECT_EQ(fs::status(dir).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(Names(tmp.path()), std::vector<std::string>{"$DS1"});
}

TEST_F(CreateTempDirTest, TmpDirWithTrailingSeparator) {
  ScopedEnv withSlash("TMPDIR", tmp.path() + "/");
  EXPECT_EQ(CreateTempDir("$DS", 1), tmp / "$DS1");
}

TEST_F(CreateTempDirTest, SkipsExistingFolders) {
  fs::create_directory(tmp / "$DS1");
  fs::create_directory(tmp / "$DS2");
  WriteFile(tmp / "$DS2/keep", "x");
  EXPECT_EQ(CreateTempDir("$DS", 1), tmp / "$DS3");
  EXPECT_EQ(ReadFile(tmp / "$DS2/keep"), "x");
  EXPECT_EQ(CreateTempDir("$DS", 1), tmp / "$DS4");
}

TEST_F(CreateTempDirTest, PlainFileWithTheNameGivesEmptyString) {
  WriteFile(tmp / "$DS1", "not a folder");
  EXPECT_EQ(CreateTempDir("$DS", 1), "");
  EXPECT_EQ(Names(tmp.path()), std::vector<std::string>{"$DS1"});  // nothing created
  EXPECT_EQ(ReadFile(tmp / "$DS1"), "not a folder");
}

TEST_F(CreateTempDirTest, UpperCaseHexAndThreeCharacterPrefix) {
  EXPECT_EQ(CreateTempDir("$DS", 9), tmp / "$DS9");
  EXPECT_EQ(CreateTempDir("$DS", 9), tmp / "$DSA");
  EXPECT_EQ(CreateTempDir("$DSLONG", 0xBEEF), tmp / "$DSBEEF");
  EXPECT_EQ(CreateTempDir("x", 0x12345), tmp / "x2345");  // the low 16 bits only
}

TEST_F(CreateTempDirTest, NumberWrapsAtSixteenBits) {
  fs::create_directory(tmp / "$DSFFFF");
  EXPECT_EQ(CreateTempDir("$DS", 0xFFFF), tmp / "$DS0");
}

TEST_F(CreateTempDirTest, MissingTmpDirGivesEmptyString) {
  ScopedEnv missing("TMPDIR", tmp / "no-such-folder");
  EXPECT_EQ(CreateTempDir("$DS", 1), "");
  EXPECT_FALSE(Exists(tmp / "no-such-folder"));
}

TEST_F(CreateTempDirTest, GivesUpWhenEveryNameIsTaken) {
  // All 65536 names taken; links to a folder count as folders and are cheap to make.
  for (unsigned n = 0; n < 0x10000; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "$DS%X", n);
    ASSERT_EQ(::symlink(".", (tmp / name).c_str()), 0) << name;
  }
  EXPECT_EQ(CreateTempDir("$DS", 1), "");
  EXPECT_TRUE(DeleteDirTree(tmp.path()));  // links only: removed as links
}

// ---------------------------------------------------------------------------------------------
// ListFolder

TEST(ListFolder, EntriesInByteOrderWithoutFollowingLinks) {
  TempDir tmp;
  std::string dir = tmp / "d";
  WriteFile(dir + "/b.pas", "b");
  WriteFile(dir + "/B.pas", "B");
  WriteFile(dir + "/\xC3\xA9.pas", "e");  // a byte above 0x7F sorts after every ASCII name
  WriteFile(dir + "/.hidden", "h");
  fs::create_directories(dir + "/Sub");
  fs::create_directory_symlink(tmp.path(), dir + "/up");
  fs::create_symlink(dir + "/b.pas", dir + "/filelink");
  fs::create_symlink(tmp / "nowhere", dir + "/dangling");
  ASSERT_EQ(::mkfifo((dir + "/pipe").c_str(), 0600), 0);
  std::vector<TFolderEntry> entries{{"stale", true, true}};
  ASSERT_TRUE(ListFolder(dir, entries));
  std::vector<std::string> got;
  for (const TFolderEntry& e : entries)
    got.push_back(e.Name + (e.Folder ? " F" : "") + (e.Link ? " L" : ""));
  EXPECT_EQ(got, (std::vector<std::string>{".hidden", "B.pas", "Sub F", "b.pas", "dangling L",
                                           "filelink L", "pipe", "up L", "\xC3\xA9.pas"}));

  ASSERT_TRUE(ListFolder(dir, entries, TListing::NamesOnly));
  EXPECT_EQ(entries.size(), got.size());
  for (const TFolderEntry& e : entries) EXPECT_FALSE(e.Folder || e.Link) << e.Name;

  // A folder that cannot be opened: false and no entries left over.
  EXPECT_FALSE(ListFolder(dir + "/b.pas", entries));
  EXPECT_TRUE(entries.empty());
  EXPECT_FALSE(ListFolder("", entries, TListing::Unsorted));
}

// ---------------------------------------------------------------------------------------------
// DeleteDirTree

TEST(DeleteDirTree, RemovesWholeTree) {
  TempDir tmp;
  std::string dir = tmp / "tree";
  WriteFile(dir + "/a.pas", "a");
  WriteFile(dir + "/.hidden", "h");
  WriteFile(dir + "/sub/b.dfm", "b");
  WriteFile(dir + "/sub/deeper/c", "c");
  fs::create_directories(dir + "/empty");
  fs::permissions(dir + "/a.pas", fs::perms::owner_read,
                  fs::perm_options::replace);  // read-only file
  EXPECT_TRUE(DeleteDirTree(dir));
  EXPECT_FALSE(Exists(dir));
  EXPECT_TRUE(fs::is_directory(tmp.path()));
}

TEST(DeleteDirTree, TrailingSeparator) {
  TempDir tmp;
  WriteFile(tmp / "tree/a", "a");
  EXPECT_TRUE(DeleteDirTree(tmp / "tree/"));
  EXPECT_FALSE(Exists(tmp / "tree"));
}

TEST(DeleteDirTree, MissingFolderPlainFileAndEmptyNameGiveFalse) {
  TempDir tmp;
  EXPECT_FALSE(DeleteDirTree(tmp / "missing"));
  WriteFile(tmp / "file", "x");
  EXPECT_FALSE(DeleteDirTree(tmp / "file"));
  EXPECT_EQ(ReadFile(tmp / "file"), "x");
  // The empty name would be the current folder; it is refused.
  ScopedCwd cwd(tmp.path());
  EXPECT_FALSE(DeleteDirTree(""));
  EXPECT_TRUE(Exists(tmp / "file"));
}

TEST(DeleteDirTree, RootIsRefused) {
  EXPECT_FALSE(DeleteDirTree("/"));
  EXPECT_FALSE(DeleteDirTree("//"));
}

TEST(DeleteDirTree, DoesNotFollowLinkToOutsideFolder) {
  TempDir tmp;
  WriteFile(tmp / "outside/precious.txt", "keep me");
  WriteFile(tmp / "outside/sub/also.txt", "keep me too");
  WriteFile(tmp / "tree/a", "a");
  fs::create_directory_symlink(tmp / "outside", tmp / "tree/link");
  fs::create_directories(tmp / "tree/sub");
  fs::create_directory_symlink(tmp / "outside/sub", tmp / "tree/sub/link2");
  fs::create_symlink(tmp / "outside/precious.txt", tmp / "tree/filelink");
  fs::create_symlink(tmp / "nowhere", tmp / "tree/dangling");
  EXPECT_TRUE(DeleteDirTree(tmp / "tree"));
  EXPECT_FALSE(Exists(tmp / "tree"));
  EXPECT_EQ(ReadFile(tmp / "outside/precious.txt"), "keep me");
  EXPECT_EQ(ReadFile(tmp / "outside/sub/also.txt"), "keep me too");
}

TEST(DeleteDirTree, LinkGivenAsDirIsRemovedAsLink) {
  TempDir tmp;
  WriteFile(tmp / "outside/precious.txt", "keep me");
  fs::create_directory_symlink(tmp / "outside", tmp / "link");
  EXPECT_TRUE(DeleteDirTree(tmp / "link/"));
  EXPECT_FALSE(IsLink(tmp / "link"));
  EXPECT_EQ(ReadFile(tmp / "outside/precious.txt"), "keep me");
}

TEST(DeleteDirTree, UndeletableEntryLeavesItAndGivesFalse) {
  TempDir tmp;
  std::string dir = tmp / "tree";
  WriteFile(dir + "/a.pas", "a");
  WriteFile(dir + "/z.pas", "z");
  WriteFile(dir + "/other/b", "b");
  WriteFile(dir + "/stuck/inner", "i");
#ifdef __linux__
  std::optional<ImmutableGuard> immutable;
#endif
  if (!IsRoot()) {
    // A read-only folder: its entry cannot be unlinked, so it cannot be emptied.
    fs::permissions(dir + "/stuck", fs::perms::owner_read | fs::perms::owner_exec,
                    fs::perm_options::replace);
  } else {
#ifdef __linux__
    immutable.emplace(dir + "/stuck/inner");
    if (!immutable->IsSet())
#endif
      GTEST_SKIP() << "running as root, where permissions do not stop deletion, and the "
                      "immutable attribute is not available here";
  }
  EXPECT_FALSE(DeleteDirTree(dir));
  // Everything else went; the stuck entry and the folders above it remain.
  EXPECT_EQ(Names(dir), std::vector<std::string>{"stuck"});
  EXPECT_TRUE(Exists(dir + "/stuck/inner"));
  fs::permissions(dir + "/stuck", fs::perms::owner_all, fs::perm_options::add);
}

// ---------------------------------------------------------------------------------------------
// rtl::CopyFile

TEST(CopyFile, CopiesLargeFileExactly) {
  TempDir tmp;
  std::string data;
  data.reserve(3 * 1024 * 1024 + 17);
  for (size_t i = 0; i < 3 * 1024 * 1024 + 17; ++i)
    data += static_cast<char>((i * 131 + i / 7) & 0xFF);
  WriteFile(tmp / "big", data);
  ASSERT_TRUE(rtl::CopyFile(tmp / "big", tmp / "copy"));
  EXPECT_TRUE(ReadFile(tmp / "copy") == data);
  EXPECT_EQ(Names(tmp.path()), (std::vector<std::string>{"big", "copy"}));  // no leftovers
}

TEST(CopyFile, EmptyFile) {
  TempDir tmp;
  WriteFile(tmp / "empty", "");
  ASSERT_TRUE(rtl::CopyFile(tmp / "empty", tmp / "copy"));
  EXPECT_EQ(ReadFile(tmp / "copy"), "");
}

TEST(CopyFile, ReplacesTargetAndKeepsModeAndTime) {
  TempDir tmp;
  WriteFile(tmp / "from", "new");
  WriteFile(tmp / "to", "old and longer");
  fs::permissions(tmp / "from",
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
                  fs::perm_options::replace);
  auto past = fs::file_time_type::clock::now() - std::chrono::hours(48);
  fs::last_write_time(tmp / "from", past);
  ASSERT_TRUE(rtl::CopyFile(tmp / "from", tmp / "to"));
  EXPECT_EQ(ReadFile(tmp / "to"), "new");
  EXPECT_EQ(fs::status(tmp / "to").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(fs::last_write_time(tmp / "to"), past);
}

TEST(CopyFile, TargetIsReplacedByRenameNotWrittenInPlace) {
  TempDir tmp;
  WriteFile(tmp / "from", "new");
  WriteFile(tmp / "to", "old");
  // A second name of the old file sees the old content only if the target was never opened
  // for writing: the copy was written beside it and renamed over it.
  fs::create_hard_link(tmp / "to", tmp / "witness");
  ASSERT_TRUE(rtl::CopyFile(tmp / "from", tmp / "to"));
  EXPECT_EQ(ReadFile(tmp / "to"), "new");
  EXPECT_EQ(ReadFile(tmp / "witness"), "old");
}

TEST(CopyFile, FailuresReturnFalseAndLeaveNothing) {
  TempDir tmp;
  WriteFile(tmp / "to", "old");
  EXPECT_FALSE(rtl::CopyFile(tmp / "missing", tmp / "to"));
  EXPECT_EQ(ReadFile(tmp / "to"), "old");
  WriteFile(tmp / "from", "data");
  fs::create_directory(tmp / "dir");
  EXPECT_FALSE(rtl::CopyFile(tmp / "from", tmp / "dir"));      // a folder is not replaced
  EXPECT_FALSE(rtl::CopyFile(tmp / "dir", tmp / "to2"));       // a folder is not copied
  EXPECT_FALSE(rtl::CopyFile(tmp / "from", tmp / "no/such"));  // missing target folder
  EXPECT_EQ(Names(tmp.path()), (std::vector<std::string>{"dir", "from", "to"}));
  EXPECT_TRUE(fs::is_empty(tmp / "dir"));
}

TEST(CopyFile, FifoSourceFailsWithoutBlocking) {
  TempDir tmp;
  ASSERT_EQ(::mkfifo((tmp / "fifo").c_str(), 0600), 0);
  auto result =
      std::async(std::launch::async, [&] { return rtl::CopyFile(tmp / "fifo", tmp / "to"); });
  if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    // Blocked in open: a writer releases it, so the test fails instead of hanging.
    int fd = ::open((tmp / "fifo").c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
    FAIL() << "CopyFile blocked on a FIFO";
  }
  EXPECT_FALSE(result.get());
  EXPECT_FALSE(Exists(tmp / "to"));
}

TEST(CopyFile, LinkAsTargetReplacesTheLinkedFile) {
  TempDir tmp;
  WriteFile(tmp / "from", "new");
  WriteFile(tmp / "real/file", "old");
  fs::create_symlink(tmp / "real/file", tmp / "link");
  ASSERT_TRUE(rtl::CopyFile(tmp / "from", tmp / "link"));
  EXPECT_TRUE(IsLink(tmp / "link"));
  EXPECT_EQ(ReadFile(tmp / "real/file"), "new");
  EXPECT_EQ(Names(tmp / "real"), std::vector<std::string>{"file"});
}

// ---------------------------------------------------------------------------------------------
// rtl::MoveFileOver, rtl::LinkOrCopyFile: the run's replacements and backups

TEST(MoveFileOver, RenamesIntoPlaceKeepingTheTargetsPermissions) {
  // onDisk takes another way (no flush, the file never opened) to the same result.
  for (const bool onDisk : {false, true}) {
    TempDir tmp;
    WriteFile(tmp / "work", "converted");
    WriteFile(tmp / "unit.pas", "original");
    fs::permissions(tmp / "unit.pas", fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::replace);
    fs::create_hard_link(tmp / "unit.pas", tmp / "witness");
    ASSERT_TRUE(rtl::MoveFileOver(tmp / "work", tmp / "unit.pas", onDisk));
    EXPECT_EQ(ReadFile(tmp / "unit.pas"), "converted");
    EXPECT_EQ(ReadFile(tmp / "witness"), "original");  // replaced, never written in place
    EXPECT_EQ(fs::status(tmp / "unit.pas").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(Exists(tmp / "work"));

    // Through a link, the file it points to is replaced and the link stays.
    WriteFile(tmp / "work", "again");
    fs::create_symlink(tmp / "unit.pas", tmp / "link");
    ASSERT_TRUE(rtl::MoveFileOver(tmp / "work", tmp / "link", onDisk));
    EXPECT_TRUE(IsLink(tmp / "link"));
    EXPECT_EQ(ReadFile(tmp / "unit.pas"), "again");

    // What cannot be moved leaves the target alone.
    EXPECT_FALSE(rtl::MoveFileOver(tmp / "missing", tmp / "unit.pas", onDisk));
    fs::create_directory(tmp / "dir");
    EXPECT_FALSE(rtl::MoveFileOver(tmp / "dir", tmp / "unit.pas", onDisk));
    EXPECT_EQ(ReadFile(tmp / "unit.pas"), "again");

    // A new name gets the work file's own permissions.
    WriteFile(tmp / "work", "new");
    fs::permissions(tmp / "work", fs::perms::owner_read, fs::perm_options::replace);
    ASSERT_TRUE(rtl::MoveFileOver(tmp / "work", tmp / "fresh.pas", onDisk));
    EXPECT_EQ(fs::status(tmp / "fresh.pas").permissions(), fs::perms::owner_read);
  }
}

TEST(MoveFileOver, AcrossFileSystemsCopies) {
  TempDir tmp;
  struct stat here {
  }, there{};
  if (::stat(tmp.path().c_str(), &here) != 0 || ::stat("/dev/shm", &there) != 0 ||
      here.st_dev == there.st_dev || ::access("/dev/shm", W_OK) != 0)
    GTEST_SKIP() << "no second file system at /dev/shm";
  TempDir other("/dev/shm");
  WriteFile(other / "work", "converted");
  WriteFile(tmp / "unit.pas", "original");
  ASSERT_TRUE(rtl::MoveFileOver(other / "work", tmp / "unit.pas"));
  EXPECT_EQ(ReadFile(tmp / "unit.pas"), "converted");
  EXPECT_EQ(Names(tmp.path()), std::vector<std::string>{"unit.pas"});
}

TEST(LinkOrCopyFile, BackupKeepsTheContentWhenTheOriginalIsReplaced) {
  TempDir tmp;
  WriteFile(tmp / "unit.pas", "original");
  WriteFile(tmp / "backup/unit.~pas", "an older backup");
  ASSERT_TRUE(rtl::LinkOrCopyFile(tmp / "unit.pas", tmp / "backup/unit.~pas"));
  EXPECT_EQ(ReadFile(tmp / "backup/unit.~pas"), "original");
  EXPECT_EQ(Names(tmp / "backup"), std::vector<std::string>{"unit.~pas"});  // no spare name
  for (auto replace : {+[](const std::string& to) { rtl::WriteFileAtomic(to, "written"); },
                       +[](const std::string& to) {
                         WriteFile(to + ".new", "moved");
                         rtl::MoveFileOver(to + ".new", to);
                       },
                       +[](const std::string& to) {
                         WriteFile(to + ".src", "copied");
                         rtl::CopyFile(to + ".src", to);
                       }}) {
    replace(tmp / "unit.pas");
    EXPECT_EQ(ReadFile(tmp / "backup/unit.~pas"), "original");
  }

  // Backing up what is already the backup's file changes nothing and leaves nothing behind.
  fs::create_hard_link(tmp / "backup/unit.~pas", tmp / "same.pas");
  ASSERT_TRUE(rtl::LinkOrCopyFile(tmp / "same.pas", tmp / "backup/unit.~pas"));
  EXPECT_EQ(Names(tmp / "backup"), std::vector<std::string>{"unit.~pas"});
  EXPECT_EQ(ReadFile(tmp / "backup/unit.~pas"), "original");
}

TEST(LinkOrCopyFile, LinkedOriginalIsBackedUpAsItsContent) {
  TempDir tmp;
  WriteFile(tmp / "real.pas", "original");
  fs::create_symlink(tmp / "real.pas", tmp / "unit.pas");
  ASSERT_TRUE(rtl::LinkOrCopyFile(tmp / "unit.pas", tmp / "unit.~pas"));
  EXPECT_FALSE(IsLink(tmp / "unit.~pas"));
  WriteFile(tmp / "work", "converted");
  ASSERT_TRUE(rtl::MoveFileOver(tmp / "work", tmp / "unit.pas"));
  EXPECT_EQ(ReadFile(tmp / "real.pas"), "converted");
  EXPECT_EQ(ReadFile(tmp / "unit.~pas"), "original");
  EXPECT_TRUE(rtl::SameFile(tmp / "unit.pas", tmp / "real.pas"));
  EXPECT_FALSE(rtl::SameFile(tmp / "unit.pas", tmp / "unit.~pas"));
  EXPECT_FALSE(rtl::LinkOrCopyFile(tmp / "missing", tmp / "x"));
  EXPECT_FALSE(Exists(tmp / "x"));
}

// ---------------------------------------------------------------------------------------------
// CopyDirTree

TEST(CopyDirTree, CopiesTreeReplacingFilesAndCreatingFolders) {
  TempDir tmp;
  WriteFile(tmp / "src/Unit1.pas", "new unit");
  WriteFile(tmp / "src/Sub/U.pas", "new sub");
  WriteFile(tmp / "src/Sub/Deeper/F.dfm", "new form");
  fs::create_directories(tmp / "src/Empty");
  WriteFile(tmp / "dst/Unit1.pas", "old unit, longer than the new one");
  WriteFile(tmp / "dst/Other.pas", "untouched");
  WriteFile(tmp / "dst/Sub/U.pas", "old sub");
  EXPECT_TRUE(CopyDirTree(tmp / "src", tmp / "dst"));
  EXPECT_EQ(ReadFile(tmp / "dst/Unit1.pas"), "new unit");
  EXPECT_EQ(ReadFile(tmp / "dst/Sub/U.pas"), "new sub");
  EXPECT_EQ(ReadFile(tmp / "dst/Sub/Deeper/F.dfm"), "new form");
  EXPECT_EQ(ReadFile(tmp / "dst/Other.pas"), "untouched");
  EXPECT_TRUE(fs::is_directory(tmp / "dst/Empty"));
  EXPECT_EQ(Names(tmp / "dst"),
            (std::vector<std::string>{"Empty", "Other.pas", "Sub", "Unit1.pas"}));
  EXPECT_EQ(ReadFile(tmp / "src/Unit1.pas"), "new unit");  // the source stays
}

TEST(CopyDirTree, TrailingSeparators) {
  TempDir tmp;
  WriteFile(tmp / "src/a", "a");
  fs::create_directories(tmp / "dst");
  EXPECT_TRUE(CopyDirTree(tmp / "src/", tmp / "dst/"));
  EXPECT_EQ(ReadFile(tmp / "dst/a"), "a");
}

TEST(CopyDirTree, EmptyOrMissingSourceCopiesNothing) {
  TempDir tmp;
  fs::create_directories(tmp / "src");
  fs::create_directories(tmp / "dst");
  EXPECT_TRUE(CopyDirTree(tmp / "src", tmp / "dst"));
  EXPECT_TRUE(CopyDirTree(tmp / "missing", tmp / "dst"));
  EXPECT_TRUE(CopyDirTree("", tmp / "dst"));
  EXPECT_TRUE(fs::is_empty(tmp / "dst"));
}

TEST(CopyDirTree, TargetIsNotCreated) {
  TempDir tmp;
  WriteFile(tmp / "src/a", "a");
  EXPECT_FALSE(CopyDirTree(tmp / "src", tmp / "missing"));
  EXPECT_FALSE(Exists(tmp / "missing"));
  ScopedCwd cwd(tmp / "src");
  EXPECT_FALSE(CopyDirTree(tmp / "src", ""));  // not into the current folder
}

TEST(CopyDirTree, FailureStopsTheRestOfItsFolder) {
  TempDir tmp;
  // Entries are taken in name order: a, b (fails: a folder holds its name), c.
  WriteFile(tmp / "src/a.pas", "a");
  WriteFile(tmp / "src/b.pas", "b");
  WriteFile(tmp / "src/c.pas", "c");
  fs::create_directories(tmp / "dst/b.pas");
  EXPECT_FALSE(CopyDirTree(tmp / "src", tmp / "dst"));
  EXPECT_EQ(ReadFile(tmp / "dst/a.pas"), "a");  // copied before the failure: stays
  EXPECT_TRUE(fs::is_directory(tmp / "dst/b.pas"));
  EXPECT_FALSE(Exists(tmp / "dst/c.pas"));
}

TEST(CopyDirTree, FailureInSubFolderStopsOnlyThatSubFolder) {
  TempDir tmp;
  WriteFile(tmp / "src/a.pas", "a");
  WriteFile(tmp / "src/m/1.pas", "1");
  WriteFile(tmp / "src/m/3.pas", "3");
  fs::create_symlink(tmp / "nowhere", tmp / "src/m/2.pas");  // a dangling link cannot be copied
  WriteFile(tmp / "src/z.pas", "z");
  fs::create_directories(tmp / "dst");
  EXPECT_FALSE(CopyDirTree(tmp / "src", tmp / "dst"));
  EXPECT_EQ(ReadFile(tmp / "dst/m/1.pas"), "1");
  EXPECT_FALSE(Exists(tmp / "dst/m/2.pas"));
  EXPECT_FALSE(Exists(tmp / "dst/m/3.pas"));
  EXPECT_EQ(ReadFile(tmp / "dst/a.pas"), "a");
  EXPECT_EQ(ReadFile(tmp / "dst/z.pas"), "z");  // the enclosing folder went on
}

TEST(CopyDirTree, FileWhereSubFolderShouldBeFailsThatEntry) {
  TempDir tmp;
  WriteFile(tmp / "src/Sub/U.pas", "u");
  WriteFile(tmp / "src/z.pas", "z");
  WriteFile(tmp / "dst/Sub", "a plain file");
  EXPECT_FALSE(CopyDirTree(tmp / "src", tmp / "dst"));
  EXPECT_EQ(ReadFile(tmp / "dst/Sub"), "a plain file");
  EXPECT_FALSE(Exists(tmp / "dst/z.pas"));  // the failed entry stopped its folder
}

TEST(CopyDirTree, LinkedFolderInSourceIsSkipped) {
  TempDir tmp;
  WriteFile(tmp / "outside/secret", "s");
  WriteFile(tmp / "src/a", "a");
  WriteFile(tmp / "src/real.txt", "content");
  fs::create_directory_symlink(tmp / "outside", tmp / "src/linkdir");
  fs::create_symlink(tmp / "src/real.txt", tmp / "src/linkfile");
  fs::create_directories(tmp / "dst");
  EXPECT_TRUE(CopyDirTree(tmp / "src", tmp / "dst"));
  EXPECT_FALSE(Exists(tmp / "dst/linkdir"));
  EXPECT_FALSE(IsLink(tmp / "dst/linkdir"));
  // A link to a file is copied as the file's content.
  EXPECT_FALSE(IsLink(tmp / "dst/linkfile"));
  EXPECT_EQ(ReadFile(tmp / "dst/linkfile"), "content");
}

TEST(CopyDirTree, LinkedFolderInTargetIsNotWrittenThrough) {
  TempDir tmp;
  WriteFile(tmp / "outside/U.pas", "outside");
  WriteFile(tmp / "src/Sub/U.pas", "new");
  fs::create_directories(tmp / "dst");
  fs::create_directory_symlink(tmp / "outside", tmp / "dst/Sub");
  EXPECT_FALSE(CopyDirTree(tmp / "src", tmp / "dst"));
  EXPECT_EQ(ReadFile(tmp / "outside/U.pas"), "outside");
  EXPECT_TRUE(IsLink(tmp / "dst/Sub"));
}

TEST(CopyDirTree, IntoOwnSubFolderEnds) {
  TempDir tmp;
  WriteFile(tmp / "src/a", "a");
  fs::create_directories(tmp / "src/copy");
  EXPECT_TRUE(CopyDirTree(tmp / "src", tmp / "src/copy"));
  EXPECT_EQ(ReadFile(tmp / "src/copy/a"), "a");
  EXPECT_EQ(Names(tmp / "src/copy"), std::vector<std::string>{"a"});
}

TEST(CopyDirTree, ReplacedFilesAreRenamedOver) {
  TempDir tmp;
  WriteFile(tmp / "src/U.pas", "new");
  WriteFile(tmp / "dst/U.pas", "old");
  fs::create_hard_link(tmp / "dst/U.pas", tmp / "witness");
  EXPECT_TRUE(CopyDirTree(tmp / "src", tmp / "dst"));
  EXPECT_EQ(ReadFile(tmp / "dst/U.pas"), "new");
  EXPECT_EQ(ReadFile(tmp / "witness"), "old");
  EXPECT_EQ(Names(tmp / "dst"), std::vector<std::string>{"U.pas"});  // no leftovers
}

// ---------------------------------------------------------------------------------------------
// CreateDirPath

TEST(CreateDirPath, RootAndExistingPathGiveTrue) {
  EXPECT_TRUE(CreateDirPath("/"));
  EXPECT_TRUE(CreateDirPath("//"));
  TempDir tmp;
  EXPECT_TRUE(CreateDirPath(tmp.path()));
  EXPECT_TRUE(CreateDirPath(tmp.path() + "/"));
  EXPECT_TRUE(fs::is_empty(tmp.path()));
}

TEST(CreateDirPath, CreatesNestedFolders) {
  TempDir tmp;
  EXPECT_TRUE(CreateDirPath(tmp / "a/b/c"));
  EXPECT_TRUE(fs::is_directory(tmp / "a/b/c"));
  EXPECT_TRUE(CreateDirPath(tmp / "a/b/c"));  // again: exists
  EXPECT_TRUE(CreateDirPath(tmp / "a/x"));
  EXPECT_TRUE(fs::is_directory(tmp / "a/x"));
}

TEST(CreateDirPath, TrailingSeparatorEndsTheWork) {
  TempDir tmp;
  EXPECT_TRUE(CreateDirPath(tmp / "a/b/"));
  EXPECT_TRUE(fs::is_directory(tmp / "a/b"));
  EXPECT_EQ(Names(tmp / "a/b"), std::vector<std::string>{});
}

TEST(CreateDirPath, DoubledSeparatorsAndDoubleSlashRoot) {
  TempDir tmp;
  EXPECT_TRUE(CreateDirPath(tmp / "a//b"));
  EXPECT_TRUE(fs::is_directory(tmp / "a/b"));
  // "//" at the start is the root on Linux, not a network name.
  EXPECT_TRUE(CreateDirPath("/" + tmp.path() + "/c/d"));
  EXPECT_TRUE(fs::is_directory(tmp / "c/d"));
}

TEST(CreateDirPath, RelativePath) {
  TempDir tmp;
  ScopedCwd cwd(tmp.path());
  EXPECT_TRUE(CreateDirPath("r/s"));
  EXPECT_TRUE(fs::is_directory(tmp / "r/s"));
}

TEST(CreateDirPath, PlainFileOnThePathFails) {
  TempDir tmp;
  WriteFile(tmp / "file", "x");
  EXPECT_FALSE(CreateDirPath(tmp / "file"));
  EXPECT_FALSE(CreateDirPath(tmp / "file/sub"));
  EXPECT_EQ(ReadFile(tmp / "file"), "x");
  EXPECT_FALSE(CreateDirPath(""));
}

TEST(CreateDirPath, StopsAtFirstFailureKeepingWhatItCreated) {
  TempDir tmp;
  WriteFile(tmp / "a/b", "a file where a folder should be");
  EXPECT_FALSE(CreateDirPath(tmp / "a/b/c/d"));
  EXPECT_FALSE(Exists(tmp / "a/b/c"));
  EXPECT_TRUE(fs::is_directory(tmp / "a"));
}

TEST(CreateDirPath, PathThroughLinkedFolder) {
  TempDir tmp;
  fs::create_directories(tmp / "real");
  fs::create_directory_symlink(tmp / "real", tmp / "link");
  EXPECT_TRUE(CreateDirPath(tmp / "link/x/y"));
  EXPECT_TRUE(fs::is_directory(tmp / "real/x/y"));
}

// ---------------------------------------------------------------------------------------------
// Case-insensitive lookup

TEST(FindFileNoCase, ExactMatchPreferred) {
  TempDir tmp;
  WriteFile(tmp / "Main.dfm", "1");
  WriteFile(tmp / "MAIN.DFM", "2");
  EXPECT_EQ(FindFileNoCase(tmp / "MAIN.DFM"), tmp / "MAIN.DFM");
  EXPECT_EQ(FindFileNoCase(tmp / "Main.dfm"), tmp / "Main.dfm");
  // Neither matches exactly: the first in byte order.
  EXPECT_EQ(FindFileNoCase(tmp / "main.Dfm"), tmp / "MAIN.DFM");
}

TEST(FindFileNoCase, FindsRealNameOrNothing) {
  TempDir tmp;
  WriteFile(tmp / "main.dfm", "x");
  fs::create_directories(tmp / "Folder.dfm");
  EXPECT_EQ(FindFileNoCase(tmp / "Main.DFM"), tmp / "main.dfm");
  EXPECT_EQ(FindFileNoCase(tmp / "Other.DFM"), "");
  EXPECT_EQ(FindFileNoCase(tmp / "folder.dfm"), "");  // folders are not files
  EXPECT_EQ(FindFileNoCase(tmp / "missing/Main.dfm"), "");
  EXPECT_EQ(FindFileNoCase(tmp.path() + "/"), "");
  EXPECT_EQ(FindFileNoCase(""), "");
}

TEST(FindFileNoCase, RelativePathKeepsItsFolderPart) {
  TempDir tmp;
  WriteFile(tmp / "sub/Unit1.pas", "x");
  WriteFile(tmp / "Top.pas", "x");
  ScopedCwd cwd(tmp.path());
  EXPECT_EQ(FindFileNoCase("sub/UNIT1.PAS"), "sub/Unit1.pas");
  EXPECT_EQ(FindFileNoCase("top.PAS"), "Top.pas");
}

TEST(FindFileNoCase, SeesEntriesAddedAndRemovedSinceTheLastLookup) {
  TempDir tmp;
  WriteFile(tmp / "Unit1.dfm", "x");
  EXPECT_EQ(FindFileNoCase(tmp / "UNIT2.DFM"), "");
  WriteFile(tmp / "unit2.dfm", "x");
  EXPECT_EQ(FindFileNoCase(tmp / "UNIT2.DFM"), tmp / "unit2.dfm");
  fs::remove(tmp / "unit2.dfm");
  WriteFile(tmp / "Unit2.DFM", "x");
  EXPECT_EQ(FindFileNoCase(tmp / "UNIT2.DFM"), tmp / "Unit2.DFM");
}

TEST(ResolvePathNoCase, ResolvesEveryComponent) {
  TempDir tmp;
  WriteFile(tmp / "Src/Forms/Main.dfm", "x");
  EXPECT_EQ(ResolvePathNoCase(tmp / "SRC/forms/MAIN.DFM"), tmp / "Src/Forms/Main.dfm");
  EXPECT_EQ(ResolvePathNoCase(tmp / "Src/Forms/Main.dfm"), tmp / "Src/Forms/Main.dfm");
  EXPECT_EQ(ResolvePathNoCase(tmp / "src/forms"), tmp / "Src/Forms");  // last may be a folder
  EXPECT_EQ(ResolvePathNoCase(tmp / "src/forms/"), tmp / "Src/Forms/");
  EXPECT_EQ(ResolvePathNoCase(tmp / "src/main.dfm/"), "");
  EXPECT_EQ(ResolvePathNoCase(tmp / "src/nothing/Main.dfm"), "");
  EXPECT_EQ(ResolvePathNoCase(tmp / "src/forms/main.dfm/x"), "");  // a file is no folder
  EXPECT_EQ(ResolvePathNoCase(""), "");
}

TEST(ResolvePathNoCase, WindowsSeparatorsFromProjectFiles) {
  TempDir tmp;
  WriteFile(tmp / "Src/Forms/Main.dfm", "x");
  ScopedCwd cwd(tmp.path());
  EXPECT_EQ(ResolvePathNoCase("src\\FORMS\\main.dfm"), "Src/Forms/Main.dfm");
  EXPECT_EQ(ResolvePathNoCase(".\\src\\forms\\..\\Forms\\MAIN.DFM"),
            "./Src/Forms/../Forms/Main.dfm");
  EXPECT_EQ(ResolvePathNoCase(tmp.path() + "\\SRC\\Forms\\Main.DFM"), tmp / "Src/Forms/Main.dfm");
  // Found as written but for its separators, doubled ones too: the same path as the walk finds.
  EXPECT_EQ(ResolvePathNoCase("Src\\\\Forms\\Main.dfm"), "Src/Forms/Main.dfm");
  EXPECT_EQ(ResolvePathNoCase("Src\\Forms\\"), "Src/Forms/");
}

TEST(ResolvePathNoCase, NameWithBackslashThatExistsIsKept) {
  TempDir tmp;
  WriteFile(tmp / "odd\\name", "x");
  EXPECT_EQ(ResolvePathNoCase(tmp / "odd\\name"), tmp / "odd\\name");
}

#else  // _WIN32

// Drive letters, network paths, the backslash and a file system that ignores case.
TEST(WindowsPaths, DrivesNetworkNamesAndTheBackslash) {
  EXPECT_EQ(PathDelim, '\\');
  for (const char* p : {"C:", "C:\\x", "c:x", "\\\\server\\share\\a"})
    EXPECT_TRUE(HasDrivePart(p)) << p;
  for (const char* p : {"\\x", "x\\y", "\\\\\\x", "/x", ""}) EXPECT_FALSE(HasDrivePart(p)) << p;
  EXPECT_EQ(JoinPath("C:\\a", "b.pas"), "C:\\a\\b.pas");
  EXPECT_EQ(JoinPath("C:\\", "\\b"), "C:\\b");
  EXPECT_EQ(ExtractFileDir("C:\\a\\b.pas"), "C:\\a");
  EXPECT_EQ(ExtractFileDir("C:\\b.pas"), "C:\\");
  EXPECT_EQ(ExtractFileDir("C:b.pas"), "C:");
  EXPECT_EQ(ExtractFileName("C:b.pas"), "b.pas");
  EXPECT_EQ(ExtractFilePath("\\\\srv\\share\\u.pas"), "\\\\srv\\share\\");
  EXPECT_EQ(ExtractFileExt("C:\\a.b\\unit"), "");
  EXPECT_EQ(BackupFileName("C:\\a\\Main.pas"), "C:\\a\\Main.~pas");
  // A slash is no separator of the engine's.
  EXPECT_EQ(ExtractFileName("C:\\a/b.pas"), "a/b.pas");
  // Roots are never deleted and always exist.
  EXPECT_FALSE(DeleteDirTree("C:\\"));
  EXPECT_FALSE(DeleteDirTree("\\\\server\\share\\"));
  EXPECT_TRUE(CreateDirPath("C:\\"));
  EXPECT_FALSE(CreateDirPath("\\rooted\\without\\drive"));
}

TEST(WindowsPaths, FilesFoldersAndTemporaryFoldersWithNamesBeyondAscii) {
  TempDir tmp;
  const std::string deep = tmp / "Заказы/订单/Sub";
  ASSERT_TRUE(CreateDirPath(deep));
  EXPECT_TRUE(rtl::DirectoryExists(deep));
  const std::string unit = JoinPath(deep, "Главная.pas");
  rtl::WriteFileAtomic(unit, "unit A;\r\n");
  EXPECT_TRUE(rtl::FileExists(unit));
  EXPECT_EQ(ReadFile(unit), "unit A;\r\n");
  std::vector<TFolderEntry> entries;
  ASSERT_TRUE(ListFolder(tmp / "Заказы/订单", entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Name, "Sub");
  EXPECT_TRUE(entries[0].Folder);
  ASSERT_TRUE(ListFolder(deep, entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Name, "Главная.pas");
  // The file system answers without regard to case (Cyrillic too); the name is as stored.
  EXPECT_EQ(FindFileNoCase(JoinPath(deep, "MAIN.PAS")), "");
  EXPECT_EQ(FindFileNoCase(JoinPath(deep, "ГЛАВНАЯ.PAS")), unit);
  // A path that exists in any case is kept as written; one that does not is no path.
  const std::string mixed = tmp.path() + "\\заказы/订单/sub\\главная.PAS";
  EXPECT_EQ(ResolvePathNoCase(mixed), mixed);
  EXPECT_EQ(ResolvePathNoCase(tmp / "заказы/订单/nowhere/главная.pas"), "");
  // Backups: a hard link or a copy that keeps its bytes when the original is replaced.
  const std::string backup = JoinPath(deep, "Главная.~pas");
  ASSERT_TRUE(rtl::LinkOrCopyFile(unit, backup));
  rtl::WriteFileAtomic(unit, "unit B;\r\n");
  EXPECT_EQ(ReadFile(backup), "unit A;\r\n");
  ASSERT_TRUE(rtl::CopyFile(backup, unit));
  EXPECT_EQ(ReadFile(unit), "unit A;\r\n");
  ASSERT_TRUE(rtl::MoveFileOver(backup, unit));
  EXPECT_FALSE(rtl::FileExists(backup));
  // A lock is exclusive while held, and its file goes with it.
  {
    rtl::TFileLock first, second;
    ASSERT_EQ(first.TryLock(JoinPath(deep, "migwiz.lock")), rtl::TFileLock::Result::Locked);
    EXPECT_EQ(second.TryLock(JoinPath(deep, "migwiz.lock")), rtl::TFileLock::Result::Busy);
    first.Release();
    EXPECT_FALSE(rtl::FileExists(JoinPath(deep, "migwiz.lock")));
    EXPECT_EQ(second.TryLock(JoinPath(deep, "migwiz.lock")), rtl::TFileLock::Result::Locked);
  }
  // The temporary folder is the one GetTempPathW names, here below a name beyond ASCII.
  ScopedEnv env("TMP", tmp / "Заказы");
  EXPECT_EQ(TempFolder(), tmp / "Заказы/");
  const std::string made = CreateTempDir("$DS", 1);
  EXPECT_EQ(made, tmp / "Заказы/$DS1");
  EXPECT_TRUE(DeleteDirTree(tmp / "Заказы"));
  EXPECT_FALSE(Exists(tmp / "Заказы"));
}

#endif
