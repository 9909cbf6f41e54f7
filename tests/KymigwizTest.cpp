// End-to-end tests of the command-line host on copies of the example application.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdio>
#include <filesystem>
#include <map>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "MigWizard/FormFile.h"
#ifndef _WIN32
#include "support/FormOracle.h"
#endif
#include "support/TestUtil.h"

namespace fs = std::filesystem;
using testutil::Exists;
using testutil::Native;
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
  for (auto& e : fs::recursive_directory_iterator(testutil::U8(root)))
    if (e.is_regular_file())
      files[testutil::Utf8(fs::relative(e.path(), testutil::U8(root)).generic_u8string())] =
          ReadFile(e.path());
  return files;
}

class Kymigwiz : public ::testing::Test {
 protected:
  Kymigwiz() : tmp(dir / "tmp"), env(testutil::kTempVar, tmp) {
    fs::create_directories(testutil::U8(tmp));
    app = dir / "Orders";
    fs::copy(testutil::SourcePath("examples/Orders"), testutil::U8(app),
             fs::copy_options::recursive);
    original = Snapshot(app);
  }

  Result Run(const std::string& args) {
    std::string cmd =
        Quote(Native(std::string(MIGWIZ_BIN_DIR) + "/kymigwiz")) + " " + args + " 2>&1";
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
  EXPECT_EQ(r.out,
            "Replace procedure was performed sucessfully.\n7 units and 3 forms changed, 14 objects "
            "converted, 15 properties dropped, 8 aliases without a connection, 1 code references "
            "to revise, 0 objects left on the BDE\n");
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
  Result r = Run("replace --folder " + Quote(app) + " --backup-dir " + Native("Blocked/Sub"));
  EXPECT_EQ(r.code, 3);
  // The folder and the system's reason ("File exists": a file has the name).
  EXPECT_EQ(r.out.rfind("Failed to create directory.\n" + Native(app + "/Blocked/Sub") + ": ", 0),
            0u)
      << r.out;
  fs::remove(testutil::U8(app + "/Blocked"));
  fs::remove(testutil::U8(app + "/Wiz_Log.txt"));
  ExpectOriginals();

  WriteFile(dir / "empty.reu", "");
  r = Run("restore " + Quote(dir / "empty.reu"));
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "Failed to restore files.\nThe undo file \"" + dir / "empty.reu" +
                       "\" names no file.\n");
  WriteFile(dir / "missing.reu", app + "/Main.pas=" + dir / "gone/Main.~pas\r\n");
  r = Run("restore " + Quote(dir / "missing.reu"));
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "Failed to restore files.\nThe backup \"" + dir / "gone/Main.~pas" +
                       "\" is missing.\n");
  ExpectOriginals();

  r = Run("restore " + Quote(dir / "nothing-here.reu"));
  EXPECT_EQ(r.code, 3);
  EXPECT_NE(r.out.find("nothing-here.reu"), std::string::npos) << r.out;

  EXPECT_EQ(Run("replace --folder " + Quote(dir / "no-such-folder")).code, 3);
}

TEST_F(Kymigwiz, AnOriginalThatCannotBeReplacedLeavesEveryOriginal) {
  testutil::ImmutableGuard stuck(app + "/Main.pas");
  if (!stuck.IsSet()) GTEST_SKIP() << "the file system does not keep files from being replaced";
  Result r = Run("replace --folder " + Quote(app));
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.out, "Cannot replace " + app + "/Main.pas: Operation not permitted\n");
  ExpectOriginals();
  EXPECT_FALSE(Exists(app + "/RBackup/ROvorad.reu"));
}

TEST_F(Kymigwiz, WrongUsageShowsTheUsage) {
  for (const char* args :
       {"", "replace", "replace --folder a --project b.dpr",
        "replace --folder a --no-backup --backup-dir b", "frobnicate", "restore"}) {
    Result r = Run(args);
    EXPECT_EQ(r.code, 2) << args;
    EXPECT_NE(r.out.find("kymigwiz"), std::string::npos) << args << r.out;
  }
  Result version = Run("--version");
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "kymigwiz " MIGWIZ_VERSION "\n");
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

// A user not sure the first run went through runs again, converting more units: nothing is
// converted twice, the first run's backups stay, and one restore gives back the state before
// the first run.
TEST_F(Kymigwiz, ASecondRunIsHarmless) {
  const std::string project = Quote(app + "/Orders.dpr");
  ASSERT_EQ(Run("replace --project " + project + " --units Main.pas").code, 0);
  auto first = Snapshot(app);
  const std::string firstUndo = first["RBackup/ROvorad.reu"];
  ASSERT_NE(firstUndo.find(Native("/Main.pas=")), std::string::npos);

  Result r = Run("replace --project " + project);
  ASSERT_EQ(r.code, 0) << r.out;
  auto second = Snapshot(app);
  EXPECT_EQ(second["Main.pas"], first["Main.pas"]);  // the uses addition is not made again
  EXPECT_EQ(second["Main.dfm"], first["Main.dfm"]);
  EXPECT_NE(second["DataMod.pas"], original["DataMod.pas"]);
  EXPECT_EQ(second["RBackup/Main.~pas"], original["Main.pas"]);
  EXPECT_EQ(second["RBackup/Main.~dfm"], original["Main.dfm"]);
  const std::string undo = second["RBackup/ROvorad.reu"];
  EXPECT_EQ(undo.rfind(firstUndo, 0), 0u) << undo;  // the earlier lines first
  EXPECT_NE(undo.find(Native("/DataMod.pas=")), std::string::npos);
  EXPECT_EQ(undo.find(Native("/Main.pas="), undo.find(Native("/Main.pas=")) + 1),
            std::string::npos);

  ASSERT_EQ(Run("replace --project " + project).code, 0);  // a third run changes nothing
  EXPECT_EQ(Snapshot(app)["RBackup/ROvorad.reu"], undo);
  ASSERT_EQ(Run("restore " + Quote(app + "/RBackup/ROvorad.reu")).code, 0);
  ExpectOriginals();
}

// A damaged form and an undecodable unit: the default stops the run with everything as it
// was; --keep-going leaves them (and the damaged form's unit) untouched and converts the rest
// exactly as a run without them does.
TEST_F(Kymigwiz, KeepGoingSkipsWhatCannotBeConvertedWithItsPartner) {
  const std::string reference = dir / "Reference";
  fs::copy(testutil::U8(app), testutil::U8(reference), fs::copy_options::recursive);
  WriteFile(app + "/Bad.pas", "unit Bad;\r\ninterface\r\nuses DBTables;\r\n{$R *.dfm}\r\nend.\r\n");
  // A binary form whose FF bytes an editor turned into EF BF BD: read as text, with zero bytes.
  WriteFile(app + "/Bad.dfm", std::string("\xEF\xBF\xBD\x0A\x00TBAD\x00\x30\x10", 12));
  WriteFile(app + "/Wide.pas", std::string("\xFF\xFEu\x00\x00\xD8n\x00", 8));
  auto damaged = Snapshot(app);

  Result r = Run("replace --folder " + Quote(app) + " --subdirs");
  EXPECT_EQ(r.code, 3) << r.out;
  auto failed = Snapshot(app);
  for (const auto& [rel, bytes] : damaged)
    if (rel != "Wiz_Log.txt") {
      EXPECT_EQ(failed[rel], bytes) << rel;
    }
  EXPECT_FALSE(Exists(app + "/RBackup/ROvorad.reu"));

  r = Run("replace --folder " + Quote(app) + " --subdirs --keep-going");
  EXPECT_EQ(r.code, 4) << r.out;
  EXPECT_NE(r.out.find("Skipped file: " + Native(app + "/Bad.dfm: ")), std::string::npos) << r.out;
  EXPECT_NE(
      r.out.find("Skipped file: " + Native(app + "/Bad.pas: goes with " + app + "/Bad.dfm\n")),
      std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Skipped file: " + Native(app + "/Wide.pas: ")), std::string::npos) << r.out;
  const std::string log = ReadFile(app + "/Wiz_Log.txt");
  EXPECT_NE(log.find("Skipped file: " + Native(app + "/Bad.pas: goes with")), std::string::npos);
  auto after = Snapshot(app);
  for (const char* rel : {"Bad.pas", "Bad.dfm", "Wide.pas"}) {
    EXPECT_EQ(after[rel], damaged[rel]) << rel;
    EXPECT_EQ(after["RBackup/ROvorad.reu"].find(rel), std::string::npos) << rel;
  }
  EXPECT_FALSE(Exists(app + "/RBackup/Bad.~pas"));

  ASSERT_EQ(Run("replace --folder " + Quote(reference) + " --subdirs").code, 0);
  auto expected = Snapshot(reference);
  for (const auto& [rel, bytes] : expected)
    if (rel.rfind("RBackup/", 0) != 0 && rel != "Wiz_Log.txt") {
      EXPECT_EQ(after[rel], bytes) << rel;
    }
  ASSERT_EQ(Run("restore " + Quote(app + "/RBackup/ROvorad.reu")).code, 0);
  ExpectOriginals();
}

// A form cut off inside a TQuery (an editor crash): the run ends naming the form, the object
// and its line, before anything is replaced; with --keep-going the form goes with its unit, and
// neither is converted while the rest is.
TEST_F(Kymigwiz, AFormCutInsideAnObjectIsAnErrorOfThatForm) {
  const std::string main = ReadFile(app + "/Main.dfm");
  WriteFile(app + "/Main.dfm",
            main.substr(0, main.find("    SQL.Strings", main.find("object SearchQuery"))));
  auto cut = Snapshot(app);
  for (const std::string& mode :
       {"--project " + Quote(app + "/Orders.dpr"), "--folder " + Quote(app)}) {
    Result r = Run("replace " + mode);
    EXPECT_EQ(r.code, 3) << r.out;
    EXPECT_EQ(r.out, "Form \"" + Native(app + "/Main.dfm") +
                         "\": object SearchQuery: TQuery at line 96 is not valid form text and "
                         "cannot be converted\n");
    auto failed = Snapshot(app);
    for (const auto& [rel, bytes] : cut)
      if (rel != "Wiz_Log.txt") {
        EXPECT_EQ(failed[rel], bytes) << rel;
      }
    const std::string log = ReadFile(app + "/Wiz_Log.txt");
    EXPECT_EQ(log.find("sucessfully"), std::string::npos) << log;
  }
  Result r = Run("replace --project " + Quote(app + "/Orders.dpr") + " --keep-going");
  EXPECT_EQ(r.code, 4) << r.out;
  EXPECT_NE(r.out.find("Skipped file: " + Native(app + "/Main.dfm: Form \"")), std::string::npos)
      << r.out;
  EXPECT_NE(
      r.out.find("Skipped file: " + Native(app + "/Main.pas: goes with " + app + "/Main.dfm\n")),
      std::string::npos)
      << r.out;
  auto after = Snapshot(app);
  EXPECT_EQ(after["Main.pas"], cut["Main.pas"]);
  EXPECT_EQ(after["Main.dfm"], cut["Main.dfm"]);
  EXPECT_NE(after["DataMod.pas"], cut["DataMod.pas"]);
}

// A run holds its folder: a second one started meanwhile ends at once and touches nothing; a
// lock file left by a killed run blocks nobody.
TEST_F(Kymigwiz, ASecondRunAtTheSameTimeIsRefused) {
  {
    testutil::HeldFileLock held(app + "/migwiz.lock");
    Result r = Run("replace --folder " + Quote(app));
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out, "Another replace run is using " + app + ".\n");
    EXPECT_FALSE(Exists(app + "/Wiz_Log.txt"));
    ExpectOriginals();
  }
  WriteFile(app + "/migwiz.lock", "");  // no process holds it
  ASSERT_EQ(Run("replace --folder " + Quote(app) + " --scan-aliases").code, 0);
  EXPECT_FALSE(Exists(app + "/migwiz.lock"));
  // With the alias scan a folder run resolves aliases as a project run does.
  EXPECT_NE(ReadFile(app + "/Main.dfm").find("Connection = OrdersData.OrdersDatabase"),
            std::string::npos);

  testutil::HeldFileLock held(app + "/RBackup/migwiz.lock");
  Result r = Run("restore " + Quote(app + "/RBackup/ROvorad.reu"));
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.out, "Another replace run is using " + Native(app + "/RBackup") + ".\n");
}

namespace {

// The sections of a diff by file, each with the note line before its header (if any).
struct DiffSection {
  std::string note, text;
};
std::vector<DiffSection> SplitDiff(const std::string& diff) {
  std::vector<DiffSection> sections;
  std::string note;
  size_t pos = 0;
  while (pos < diff.size()) {
    size_t end = diff.find('\n', pos);
    end = end == std::string::npos ? diff.size() : end + 1;
    const std::string line = diff.substr(pos, end - pos);
    pos = end;
    if (line.rfind("# ", 0) == 0) {
      note = line;
    } else if (line.rfind("--- a/", 0) == 0) {
      sections.push_back({note, line});
      note.clear();
    } else if (!sections.empty() && (line[0] == '+' || line[0] == '-' || line[0] == ' ' ||
                                     line[0] == '@' || line[0] == '\\')) {
      sections.back().text += line;
    }
  }
  return sections;
}

}  // namespace

// A dry run writes nothing; its diff applied by patch gives what a real run writes (the text of
// a binary form and the UTF-8 text of a UTF-16 unit where patch cannot go), and its report names
// what was dropped and which aliases found no connection.
TEST_F(Kymigwiz, DryRunShowsTheChangesAndReportsWhatNeedsAPerson) {
#ifdef _WIN32
  GTEST_SKIP() << "checks the diff with patch and iconv through sh, which Windows does not have";
#endif
  std::string mainForm = ReadFile(app + "/Main.dfm");
  const std::string table = "  object StatusTable: TTable\r\n";
  mainForm.insert(mainForm.find(table) + table.size(), "    TableType = ttParadox\r\n");
  WriteFile(app + "/Main.dfm", mainForm);
  original = Snapshot(app);

  const std::string report = dir / "report.json";
  Result r =
      Run("replace --folder " + Quote(app) + " --subdirs --dry-run --report " + Quote(report));
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(Snapshot(app), original);  // nothing written, nothing created
  EXPECT_TRUE(fs::is_empty(tmp));
  const std::string summary = r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
  EXPECT_EQ(summary,
            "7 units and 3 forms changed, 14 objects converted, 16 properties dropped, 8 aliases "
            "without a connection, 1 code references to revise, 0 objects left on the BDE (see " +
                report + ")\n");

  // The real run the diff is held against, on a copy.
  const std::string real = dir / "real", patched = dir / "patched";
  fs::copy(app, real, fs::copy_options::recursive);
  fs::copy(app, patched, fs::copy_options::recursive);
  ASSERT_EQ(Run("replace --folder " + Quote(real) + " --subdirs --no-backup --no-log").code, 0);
  std::string plain;
  std::map<std::string, DiffSection> shown;
  for (const DiffSection& s : SplitDiff(r.out)) {
    const std::string rel = s.text.substr(6, s.text.find('\n') - 6);
    if (s.note.empty())
      plain += s.text;
    else
      shown[rel] = s;
  }
  WriteFile(dir / "plain.diff", plain);
  ASSERT_EQ(testutil::RunShell("cd " + Quote(patched) + " && patch -s -p1 --binary < " +
                               Quote(dir / "plain.diff"))
                .exitCode,
            0);
  for (const char* rel : {"DataMod.pas", "Main.pas", "Reports.pas", "Orders.dpr", "Main.dfm",
                          "Archive/Archive.dfm", "Archive/Archive.pas", "Shared/Utils.pas"})
    EXPECT_EQ(ReadFile(patched + "/" + rel), ReadFile(real + "/" + rel)) << rel;
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown["DataMod.dfm"].note, "# binary form, shown as text\n");
  EXPECT_EQ(shown["Legacy.pas"].note, "# UTF-16 file, shown as UTF-8\n");
  // Those two sections hold the change of the texts the files are shown as.
  const std::pair<const char*, std::string> asText[] = {
      {"DataMod.dfm", Quote(MIGWIZ_BIN_DIR "/kymigwiz") + " form-to-text"},
      {"Legacy.pas", "iconv -f UTF-16 -t UTF-8 <"}};
  for (const auto& [rel, convert] : asText) {
    const std::string before = dir / "t/before", after = dir / "t/after";
    fs::create_directories(dir / "t/a");
    ASSERT_EQ(testutil::RunShell(convert + " " + Quote(app + "/" + rel) + " > " +
                                 Quote(dir / "t/a/" + rel))
                  .exitCode,
              0);
    ASSERT_EQ(
        testutil::RunShell(convert + " " + Quote(real + "/" + rel) + " > " + Quote(after)).exitCode,
        0);
    WriteFile(dir / "t/one.diff", shown[rel].text);
    ASSERT_EQ(testutil::RunShell("cd " + Quote(dir / "t/a") + " && patch -s -p1 --binary < " +
                                 Quote(dir / "t/one.diff"))
                  .exitCode,
              0)
        << rel;
    EXPECT_EQ(ReadFile(dir / "t/a/" + rel), ReadFile(after)) << rel;
    fs::remove_all(dir / "t");
  }

  // The report: every object with its place, what it lost and what became of it.
  auto json = nlohmann::json::parse(ReadFile(report));
  EXPECT_EQ(json["mode"], "folder");
  EXPECT_EQ(json["dry_run"], true);
  std::map<std::string, nlohmann::json> objects, files;
  int dropped = 0, unresolved = 0, converted = 0, unitsChanged = 0, formsChanged = 0;
  for (const auto& f : json["files"]) {
    files[f["path"]] = f;
    if (f["changes"] > 0) ++(f["kind"] == "form" ? formsChanged : unitsChanged);
    for (const auto& o : f["objects"]) {
      objects[o["path"]] = o;
      ++converted;
      dropped += static_cast<int>(o["dropped"].size());
      unresolved += o["unresolved_alias"].is_null() ? 0 : 1;
    }
  }
  EXPECT_EQ(files["Legacy.pas"]["format"], "utf16");
  EXPECT_EQ(files["Reports.pas"]["format"], "utf8");
  EXPECT_EQ(files["DataMod.dfm"]["format"], "binary");
  EXPECT_EQ(files["Archive/Archive.dfm"]["kind"], "form");
  const auto& query = objects["ArchiveForm/ArchiveQuery"];
  EXPECT_EQ(query["old_class"], "TwwQuery");
  EXPECT_EQ(query["new_class"], "TKyQuery");
  const std::string archive = ReadFile(app + "/Archive/Archive.dfm");
  EXPECT_EQ(query["line"],
            1 + std::count(archive.begin(),
                           archive.begin() + static_cast<long>(archive.find("object ArchiveQuery")),
                           '\n'));
  EXPECT_NE(query["dropped"].dump().find("{\"property\":\"ValidateWithMask\",\"value\":\"True\"}"),
            std::string::npos)
      << query.dump();
  EXPECT_EQ(query["unresolved_alias"], "ORDERS_DB");
  EXPECT_NE(objects["MainForm/StatusTable"]["dropped"].dump().find("\"TableType\""),
            std::string::npos);
  const auto& database = objects["OrdersData/OrdersDatabase"];
  EXPECT_TRUE(database["unresolved_alias"].is_null());  // it defines the alias
  EXPECT_NE(
      database["renamed"].dump().find("{\"from\":\"TransIsolation\",\"to\":\"IsolationLevel\"}"),
      std::string::npos)
      << database.dump();
  // The connection parameters without a counterpart are dropped one by one, the others mapped.
  const std::string databaseDropped = database["dropped"].dump();
  for (const char* param : {"SQLQRYMODE=SERVER", "BLOB SIZE=64"})
    EXPECT_NE(databaseDropped.find("{\"property\":\"Params.Strings\",\"value\":\"" +
                                   std::string(param) + "\"}"),
              std::string::npos)
        << databaseDropped;
  EXPECT_EQ(databaseDropped.find("USER NAME"), std::string::npos) << databaseDropped;
  const auto& totals = json["totals"];
  EXPECT_EQ(totals["units_changed"], unitsChanged);
  EXPECT_EQ(totals["forms_changed"], formsChanged);
  EXPECT_EQ(totals["objects_converted"], converted);
  EXPECT_EQ(totals["properties_dropped"], dropped);
  EXPECT_EQ(totals["unresolved_aliases"], unresolved);
  EXPECT_EQ(unresolved, 8);

  // With the aliases scanned every query finds its connection; project mode previews as well.
  r = Run("replace --folder " + Quote(app) + " --subdirs --scan-aliases --dry-run --report " +
          Quote(report));
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(nlohmann::json::parse(ReadFile(report))["totals"]["unresolved_aliases"], 0);
  r = Run("replace --project " + Quote(app + "/Orders.dpr") + " --dry-run");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("--- a/Shared/Utils.pas\n+++ b/Shared/Utils.pas\n"), std::string::npos)
      << r.out;
  EXPECT_EQ(Snapshot(app), original);
}

// Files convert on several threads and are committed in the run's order: the outputs, the log
// and the undo file are those of a run on one thread, also when files are skipped.
TEST_F(Kymigwiz, SeveralThreadsWriteWhatOneThreadWrites) {
#ifdef _WIN32
  GTEST_SKIP() << "generates its project with bench_gen, which the Windows build does not make";
#endif
  const std::string corpus = dir / "corpus";
  ASSERT_EQ(testutil::RunShell(Quote(std::string(MIGWIZ_BIN_DIR) + "/bench_gen") + " " +
                               Quote(corpus) + " --megabytes 3 --seed 5 2>&1")
                .exitCode,
            0);
  // A damaged binary form and a unit that names it: skipped together, wherever they fall.
  fs::path damaged;
  for (auto& e : fs::recursive_directory_iterator(corpus))
    if (e.path().extension() == ".dfm" && ReadFile(e.path()).rfind("\xFF\x0A", 0) == 0) {
      damaged = e.path();
      break;
    }
  ASSERT_FALSE(damaged.empty());
  WriteFile(damaged.string(), ReadFile(damaged.string()).substr(0, 40));

  std::map<std::string, std::string> trees[2];
  const char* threads[2] = {"1", "4"};
  for (int k = 0; k < 2; ++k) {
    const std::string copy = dir / ("run" + std::to_string(k));
    fs::copy(corpus, copy, fs::copy_options::recursive);
    testutil::ScopedEnv many("MIGWIZ_THREADS", threads[k]);
    Result r = Run("replace --project " + Quote(copy + "/Project.dpr") + " --keep-going");
    EXPECT_EQ(r.code, 4) << r.out;
    r = Run("replace --folder " + Quote(copy) + " --subdirs --keep-going --backup-dir Again");
    EXPECT_EQ(r.code, 4) << r.out;
    for (auto& [rel, bytes] : Snapshot(copy)) {
      std::string text = bytes;
      // The paths name the copy; the log's second line is the time.
      for (size_t at; (at = text.find(copy)) != std::string::npos;)
        text.replace(at, copy.size(), "COPY");
      if (const size_t at = text.find("Created at: ");
          rel.find("Wiz_Log") != std::string::npos && at != std::string::npos)
        text.erase(at, text.find('\r', at) - at);
      trees[k][rel] = text;
    }
  }
  EXPECT_GT(trees[0].size(), 100u);
  EXPECT_NE(trees[0]["Wiz_Log.txt"].find("Skipped file: COPY/"), std::string::npos);
  EXPECT_EQ(trees[0]["Wiz_Log.txt"].find("Created at: 2"), std::string::npos);  // the time is out
  EXPECT_TRUE(trees[0] == trees[1]);
  for (const auto& [rel, text] : trees[0]) EXPECT_EQ(trees[1][rel], text) << rel;
}

// A project in folders named in Cyrillic and Chinese: the same bytes as in a plain folder, the
// undo file and the log name the files in the platform's paths, and everything comes back.
TEST_F(Kymigwiz, FoldersNamedBeyondAsciiConvertAndRestore) {
  const std::string project = dir / "Заказы/订单";
  fs::create_directories(testutil::U8(dir / "Заказы"));
  fs::copy(testutil::U8(app), testutil::U8(project), fs::copy_options::recursive);
  Result r = Run("replace --project " + Quote(project + testutil::kSep + "Orders.dpr"));
  ASSERT_EQ(r.code, 0) << r.out;
  ASSERT_EQ(Run("replace --project " + Quote(app + testutil::kSep + "Orders.dpr")).code, 0);
  auto converted = Snapshot(project), reference = Snapshot(app);
  EXPECT_EQ(converted.size(), reference.size());
  for (const auto& [rel, bytes] : reference) {
    if (rel != "Wiz_Log.txt" && rel != "RBackup/ROvorad.reu") {
      EXPECT_EQ(converted[rel], bytes) << rel;
    }
  }
  EXPECT_NE(converted["Main.pas"], original["Main.pas"]);

  const std::string undo = converted["RBackup/ROvorad.reu"];
  for (const char* rel : {"DataMod.pas", "DataMod.dfm", "Main.pas", "Main.dfm"})
    EXPECT_NE(undo.find(Native(project + "/" + rel) + "=" + Native(project + "/RBackup/") +
                        std::string(rel).replace(std::string(rel).find('.') + 1, 0, "~") + "\r\n"),
              std::string::npos)
        << rel << "\n"
        << undo;
  EXPECT_NE(undo.find(Native(project + "/Shared/Utils.pas=" + project + "/RBackup/Utils.~pas\r\n")),
            std::string::npos)
      << undo;
  const std::string log = converted["Wiz_Log.txt"];
  EXPECT_NE(log.find("Processing file: " + Native(project + "/Shared/Utils.pas") + "\r\n"),
            std::string::npos)
      << log;

  std::string text = Run("form-to-text " + Quote(project + testutil::kSep + "DataMod.dfm")).out;
  EXPECT_EQ(text, Run("form-to-text " + Quote(app + testutil::kSep + "DataMod.dfm")).out);
  EXPECT_EQ(text.rfind("object OrdersData: TOrdersData\r\n", 0), 0u) << text.substr(0, 80);

  r = Run("restore " + Quote(Native(project + "/RBackup/ROvorad.reu")));
  ASSERT_EQ(r.code, 0) << r.out;
  auto restored = Snapshot(project);
  for (const auto& [rel, bytes] : original) EXPECT_EQ(restored[rel], bytes) << rel;
}

// A project file an older IDE saved names its units in the machine's 8-bit code page: GBK and
// cp1251 paths are found in the code page named, and the log says which one found them; without
// one the warning says why the unit is missing.
TEST_F(Kymigwiz, UnitPathsWrittenInACodePageAreFound) {
  const std::string unit = "unit U;\r\ninterface\r\nuses DBTables;\r\nimplementation\r\nend.\r\n";
  struct Case {
    std::string folder, project, codePage;
  };
  const std::vector<Case> cases{
      {"程序13-1",
       "program P;\r\nuses\r\n  U in '..\\\xB3\xCC\xD0\xF2"
       "13-1\\U.pas';\r\nbegin\r\nend.\r\n",
       "CP936"},
      {"Формы", "program P;\r\nuses U in '..\\\xD4\xEE\xF0\xEC\xFB\\U.pas';\r\nbegin\r\nend.\r\n",
       "CP1251"}};
  for (const Case& c : cases) {
    const std::string root = dir / c.codePage;
    WriteFile(root + "/" + c.folder + "/U.pas", unit);
    WriteFile(root + "/Proj/P.dpr", c.project);
    const std::string dpr = Quote(Native(root + "/Proj/P.dpr"));
    Result r = Run("replace --project " + dpr + " --no-backup");
    EXPECT_EQ(r.code, 3) << r.out;
    EXPECT_NE(r.out.find("U.pas\" not found"), std::string::npos) << r.out;
#ifndef _WIN32
    EXPECT_NE(r.out.find("(the path is not UTF-8: set the code page it is written in)"),
              std::string::npos)
        << r.out;
#endif
    EXPECT_EQ(ReadFile(root + "/" + c.folder + "/U.pas"), unit);

    r = Run("replace --project " + dpr + " --no-backup --codepage " + c.codePage);
    ASSERT_EQ(r.code, 0) << c.codePage << ": " << r.out;
    EXPECT_NE(ReadFile(root + "/" + c.folder + "/U.pas").find("KyAccess"), std::string::npos);
    EXPECT_NE(ReadFile(root + "/Proj/Wiz_Log.txt")
                  .find("Unit path read in code page " + c.codePage + ": " +
                        Native(root + "/" + c.folder + "/U.pas") + "\r\n"),
              std::string::npos)
        << ReadFile(root + "/Proj/Wiz_Log.txt");
  }
  Result r = Run("replace --project " + Quote(Native(dir / "CP936/Proj/P.dpr")) +
                 " --codepage NOSUCHPAGE");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.out.find("Unknown code page NOSUCHPAGE"), std::string::npos) << r.out;
#ifdef _WIN32
  // Windows reads the path in the ANSI code page unless told otherwise, as the IDE does.
  if (GetACP() == 1252) {
    WriteFile(dir / "Tést/U.pas", unit);
    WriteFile(dir / "Ansi/P.dpr",
              "program P;\r\nuses U in '..\\T\xE9st\\U.pas';\r\nbegin\r\nend.\r\n");
    r = Run("replace --project " + Quote(Native(dir / "Ansi/P.dpr")) + " --no-backup");
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(ReadFile(dir / "Ansi/Wiz_Log.txt").find("Unit path read in code page CP1252: "),
              std::string::npos);
  }
#endif
}

// Data sets of other libraries converted through a rules file, as the table's own: aliases to
// connections, DataSource to MasterSource, ParamData kept, connection parameters, properties the
// new class lacks dropped and reported; in a text, a binary and an inherited form, an "[n]"
// object, and the units, whose clauses without DBTables take the addition after the rules' unit.
TEST_F(Kymigwiz, ARulesFileConvertsOtherLibrariesDataSetsAsTheTablesOwn) {
  const std::string stock = dir / "Stock";
  fs::copy(testutil::U8(testutil::SourcePath("tests/data/rules/Stock")), testutil::U8(stock),
           fs::copy_options::recursive);
  const auto before = Snapshot(stock);
  const std::string rules = Native(testutil::SourcePath("tests/data/rules/stock-rules.json"));
  const std::string report = dir / "stock.json";
  Result r = Run("replace --project " + Quote(stock + "/Stock.dpr") + " --rules " + Quote(rules) +
                 " --report " + Quote(report));
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("3 units and 3 forms changed, 7 objects converted, 6 properties dropped, "
                       "0 aliases without a connection"),
            std::string::npos)
      << r.out;
  EXPECT_NE(ReadFile(stock + "/Wiz_Log.txt").find("Rules file: " + rules + "\r\n"),
            std::string::npos);

  const std::map<std::string, std::string> forms = {
      {"StockData.dfm", ReadFile(stock + "/StockData.dfm")},
      {"Browse.dfm", migwiz::ConvertFormToText(stock + "/Browse.dfm")},
      {"BrowseMore.dfm", ReadFile(stock + "/BrowseMore.dfm")}};
  // Each object by what it must and must not carry.
  const std::vector<
      std::tuple<const char*, const char*, std::vector<const char*>, std::vector<const char*>>>
      objects = {
          {"StockData.dfm",
           "object StockDatabase: TKyConnection\r\n",
           {"Username = 'keeper'", "Server = 'stock.example'",
            "IsolationLevel = ilReadUnCommitted"},
           {"AliasName", "Params", "SessionName"}},
          {"StockData.dfm",
           "object ItemsQuery: TKyQuery\r\n",
           {"Connection = StockDM.StockDatabase", "SQL.Strings"},
           {"Macros", "RequestLive", "DatabaseName"}},
          {"StockData.dfm",
           "object PricesQuery: TKyQuery\r\n",
           {"Connection = StockDM.StockDatabase", "MasterSource = ItemsSource", "ParamData = <"},
           {"DataSource", "DatabaseName"}},
          {"StockData.dfm",
           "object RecountProc: TKyStoredProc\r\n",
           {"Connection = StockDM.StockDatabase", "ParamData = <", "StoredProcName"},
           {"DatabaseName"}},
          {"StockData.dfm",
           "object Cache: TMemoryTable\r\n",
           {"DatabaseName = 'STOCK'"},
           {"Connection"}},
          {"Browse.dfm",
           "object BrowseQuery: TKyQuery\r\n",
           {"Connection = StockDM.StockDatabase", "UniDirectional = True"},
           {"DatabaseName"}},
          {"BrowseMore.dfm",
           "inherited BrowseQuery: TKyQuery\r\n",
           {"SQL.Strings"},
           {"DatabaseName"}},
          {"BrowseMore.dfm",
           "object MoreQuery: TKyQuery [2]\r\n",
           {"Connection = StockDM.StockDatabase"},
           {"DatabaseName"}}};
  for (const auto& [form, header, has, lacks] : objects) {
    const std::string& text = forms.at(form);
    const size_t at = text.find(header);
    ASSERT_NE(at, std::string::npos) << header << text;
    const size_t end = text.find("\r\n  end\r\n", at);
    const std::string object = text.substr(at, end - at);
    for (const char* p : has) EXPECT_NE(object.find(p), std::string::npos) << header << p;
    for (const char* p : lacks) EXPECT_EQ(object.find(p), std::string::npos) << header << p;
  }
  const std::string added = "KyAccess, KyClasses, KyCall, ZelAccess, ZelMem";
  EXPECT_NE(ReadFile(stock + "/StockData.pas").find("DBTables, " + added + ", RxQuery, Wwstorprc"),
            std::string::npos);
  for (const char* unit : {"/Browse.pas", "/BrowseMore.pas"})
    EXPECT_NE(ReadFile(stock + unit).find("RxQuery, " + added), std::string::npos) << unit;
  for (const char* declaration :
       {"ItemsQuery: TKyQuery;", "RecountProc: TKyStoredProc;", "Cache: TMemoryTable;"})
    EXPECT_NE(ReadFile(stock + "/StockData.pas").find(declaration), std::string::npos)
        << declaration;
  const auto json = nlohmann::json::parse(ReadFile(report));
  std::map<std::string, std::string> dropped;
  for (const auto& f : json["files"])
    for (const auto& o : f["objects"]) dropped[o["path"]] = o["dropped"].dump();
  EXPECT_NE(dropped["StockDM/ItemsQuery"].find("\"property\":\"Macros\""), std::string::npos);
  EXPECT_NE(dropped["StockDM/ItemsQuery"].find("\"property\":\"RequestLive\""), std::string::npos);
  EXPECT_NE(dropped["StockDM/StockDatabase"].find("\"value\":\"LANGDRIVER=ascii\""),
            std::string::npos);

#ifndef _WIN32
  // Free Pascal's reader takes every converted form.
  const testutil::Oracle& oracle = testutil::FormOracle();
  ASSERT_EQ(oracle.error, "");
  for (const auto& [name, text] : forms) {
    if (oracle.exe.empty()) break;
    WriteFile(dir / "form.txt", text);
    const testutil::ShellResult t2b =
        testutil::RunShell(Quote(oracle.exe) + " t2b " + Quote(dir / "form.txt") + " " +
                           Quote(dir / "form.bin") + " 2>&1");
    EXPECT_EQ(t2b.exitCode, 0) << name << t2b.output;
    const testutil::ShellResult tree =
        testutil::RunShell(Quote(oracle.exe) + " tree " + Quote(dir / "form.bin") + " 2>&1");
    EXPECT_NE(tree.output.find("TKyQuery"), std::string::npos) << name << tree.output;
  }
#endif

  // A second run changes nothing; the restore gives every file back.
  auto converted = Snapshot(stock);
  r = Run("replace --project " + Quote(stock + "/Stock.dpr") + " --rules " + Quote(rules));
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("0 units and 0 forms changed"), std::string::npos) << r.out;
  auto again = Snapshot(stock);
  again.erase("Wiz_Log.txt");
  converted.erase("Wiz_Log.txt");
  EXPECT_EQ(again, converted);
  ASSERT_EQ(Run("restore " + Quote(stock + "/RBackup/ROvorad.reu")).code, 0);
  for (const auto& [rel, bytes] : before) EXPECT_EQ(ReadFile(stock + "/" + rel), bytes) << rel;

  // migwiz-rules.json in the folder applies without --rules.
  fs::remove_all(testutil::U8(stock + "/RBackup"));
  fs::copy_file(testutil::U8(rules), testutil::U8(stock + "/migwiz-rules.json"));
  r = Run("replace --folder " + Quote(stock) + " --scan-aliases");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_NE(ReadFile(stock + "/BrowseMore.dfm").find("object MoreQuery: TKyQuery [2]"),
            std::string::npos);
  EXPECT_NE(
      ReadFile(stock + "/Wiz_Log.txt").find("Rules file: " + Native(stock + "/migwiz-rules.json")),
      std::string::npos);
}

// A rules file that cannot be used ends the command before anything is locked, logged, backed
// up or written.
TEST_F(Kymigwiz, ABadRulesFileTouchesNothing) {
  const std::pair<const char*, const char*> files[] = {
      {"{\"classes\": [", "not JSON, line 1, column 14: "},
      {"{\"classes\": [{\"class\": \"TRxQuery\", \"like\": \"TRxTable\"}]}",
       "classes[0]: \"TRxTable\" is no old class of the table"},
      {"{\"classes\": [{\"class\": \"TTable\", \"like\": \"TQuery\"}]}",
       "classes[0]: the table maps \"TTable\" already"}};
  for (const auto& [text, reason] : files) {
    WriteFile(app + "/migwiz-rules.json", text);
    Result r = Run("replace --folder " + Quote(app) + " --subdirs");
    EXPECT_EQ(r.code, 2) << r.out;
    EXPECT_EQ(r.out.rfind("Rules file " + app + Native("/migwiz-rules.json: ") + reason, 0), 0u)
        << r.out;
    auto now = Snapshot(app);
    EXPECT_EQ(now.erase("migwiz-rules.json"), 1u);
    EXPECT_EQ(now, original);
  }
  Result r = Run("replace --project " + Quote(app + "/Orders.dpr") + " --rules " +
                 Quote(dir / "none.json"));
  EXPECT_EQ(r.code, 2) << r.out;
  EXPECT_NE(r.out.find("Rules file " + Native(dir / "none.json") + ": Cannot open file"),
            std::string::npos)
      << r.out;
}

// What is left for a person, read entry by entry: properties the new class lacks used on a field,
// on a local variable, on a function's result, bare inside "with" (a block and one statement)
// and on another unit's data module object; the BDE's session, one of its functions and its unit.
// Not listed: a constructor, methods, a property the new class has, an object no rule converts,
// comments and strings. The form's memory table stays on the BDE; the InterBase database does
// not count. A dry run reports the same.
TEST_F(Kymigwiz, TheReportListsWhatIsLeftForAPersonWhereItStands) {
  const std::string stock = dir / "Stock";
  fs::copy(testutil::U8(testutil::SourcePath("tests/data/rules/Stock")), testutil::U8(stock),
           fs::copy_options::recursive);
  const std::string rules = Native(testutil::SourcePath("tests/data/rules/stock-rules.json"));
  const std::string project = Quote(stock + "/Stock.dpr") + " --rules " + Quote(rules);
  Result dry =
      Run("replace --project " + project + " --dry-run --report " + Quote(dir / "dry.json"));
  ASSERT_EQ(dry.code, 0) << dry.out;
  Result r = Run("replace --project " + project + " --report " + Quote(dir / "real.json"));
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find(", 10 code references to revise, 1 objects left on the BDE (see "),
            std::string::npos)
      << r.out;

  const auto real = nlohmann::json::parse(ReadFile(dir / "real.json"));
  const auto preview = nlohmann::json::parse(ReadFile(dir / "dry.json"));
  std::vector<std::string> code, left;
  for (size_t i = 0; i < real["files"].size(); ++i) {
    const auto& f = real["files"][i];
    EXPECT_EQ(f.value("code", nlohmann::json()),
              preview["files"][i].value("code", nlohmann::json()));
    EXPECT_EQ(f.value("left", nlohmann::json()),
              preview["files"][i].value("left", nlohmann::json()));
    for (const auto& c : f.value("code", nlohmann::json::array()))
      code.push_back(f["path"].get<std::string>() + ":" + std::to_string(c["line"].get<int>()) +
                     ":" + std::to_string(c["column"].get<int>()) + " " +
                     c["kind"].get<std::string>() + " " + c["name"].get<std::string>() + " " +
                     c["class"].get<std::string>() + " " + c["member"].get<std::string>());
    for (const auto& l : f.value("left", nlohmann::json::array())) left.push_back(l.dump());
  }
  EXPECT_EQ(code, (std::vector<std::string>{
                      "StockData.pas:32:3 property ItemsQuery TKyQuery RequestLive",
                      "StockData.pas:35:3 property Extra TKyQuery DatabaseName",
                      "StockData.pas:39:5 property PricesQuery TKyQuery RequestLive",
                      "StockData.pas:40:5 property PricesQuery TKyQuery DataSource",
                      "StockData.pas:43:23 property PricesQuery TKyQuery RequestLive",
                      "StockData.pas:46:3 property StockDatabase TKyConnection Params",
                      "StockData.pas:47:3 bde_api Session  ", "StockWork.pas:10:13 bde_api BDE  ",
                      "StockWork.pas:17:3 property ItemsQuery TKyQuery RequestLive",
                      "StockWork.pas:20:13 bde_api DbiSaveChanges  "}));
  const auto& first = real["files"][0]["code"][0];
  EXPECT_EQ(first["text"], "ItemsQuery.RequestLive := True;");
  EXPECT_EQ(first["note"], "TKyQuery has no RequestLive");
  EXPECT_EQ(left, (std::vector<std::string>{
                      "{\"class\":\"TMemoryTable\",\"database\":\"STOCK\",\"line\":71,"
                      "\"name\":\"Cache\",\"path\":\"StockDM/Cache\"}"}));
  EXPECT_EQ(real["totals"]["code_to_revise"], code.size());
  EXPECT_EQ(real["totals"]["objects_left"], left.size());
}
