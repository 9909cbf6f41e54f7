// kymigwiz: the command-line host. It fills the options the wizard fills and calls the same
// replace and restore runs, and converts single forms between binary and text.
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "MigWizard/FileUtils.h"
#include "MigWizard/IDEUtils.h"
#include "MigWizard/ROvoradRes.h"
#include "MigWizard/ReplaceRequest.h"
#include "MigWizard/Replacer.h"
#include "MigWizard/WorkPool.h"
#include "hosts/common/ProjectServices.h"
#include "ota/ToolsAPI.h"
#include "product/KyReplacer.h"
#include "rtl/Encoding.h"
#include "rtl/FaultSeams.h"
#include "rtl/FileIO.h"
#include "rtl/SysUtils.h"

namespace fs = std::filesystem;

namespace {

enum ExitCode { kOk = 0, kRunFailed = 1, kUsage = 2, kError = 3, kSkipped = 4 };

// The run a Ctrl-C cancels.
std::atomic<bool>* gCancel = nullptr;

// An absolute path without "." and ".." parts and without a trailing separator.
std::string Absolute(const std::string& path) {
  std::string s = rtl::FsUtf8(fs::absolute(rtl::FsPath(path)).lexically_normal());
  // A root keeps its separator ("/", "C:\\").
  const size_t root = migwiz::HasDrivePart(s) && s.size() > 1 && s[1] == ':' ? 3 : 1;
  while (s.size() > root && s.back() == migwiz::PathDelim) s.pop_back();
  return s;
}

struct ReplaceArgs {
  std::string folder;
  bool subdirs = false;
  std::string project;
  std::vector<std::string> units;
  std::string backupDir;
  bool noBackup = false;
  bool noLog = false;
  bool viewLog = false;
  bool keepGoing = false;
  bool scanAliases = false;
  bool dryRun = false;
  std::string report;
  std::string rules;
  std::string codePage;
};

class Progress {
 public:
  explicit Progress(bool shown) : shown_(shown) {}
  ~Progress() {
    if (shown_ && drawn_) std::fputc('\n', stderr);
  }
  void Show(int done, int total) {
    if (!shown_) return;
    std::fprintf(stderr, "\r%s", rtl::Format(migwiz::res::sFilesDone, {done, total}).c_str());
    std::fflush(stderr);
    drawn_ = true;
  }

 private:
  bool shown_;
  bool drawn_ = false;
};

int RunReplace(const ReplaceArgs& args) {
  migwiz::TReplaceOptions options(ky::kSourceName);
  options.Threads = migwiz::ThreadsWanted(std::getenv("MIGWIZ_THREADS"));
  auto replacer = ky::CreateReplacer(&options);
  std::shared_ptr<hosts::TProjectServices> services;
  std::string base;
  if (!args.project.empty()) {
    services = std::make_shared<hosts::TProjectServices>();
    services->SetCodePage(args.codePage);
    ota::BorlandIDEServices = services;
    std::string project = Absolute(args.project);
    if (!services->OpenProject(project, true))
      throw rtl::EFOpenError(services->LastError().empty()
                                 ? rtl::Format(migwiz::res::sCannotOpenProject, {project})
                                 : services->LastError());
    for (const std::string& problem : services->Problems())
      std::cerr << rtl::Format(migwiz::res::sWarning, {problem}) << "\n";
    options.Dest = migwiz::TReplaceOptions::kDestProject;
    // All units of the project, as the wizard ticks them all, unless some are named.
    options.Units =
        migwiz::UnitListText(args.units.empty() ? migwiz::ProjectUnitFiles() : args.units);
    base = migwiz::ExtractFileDir(project);
  } else {
    options.Dest = migwiz::TReplaceOptions::kDestFolder;
    options.Directory = Absolute(args.folder);
    if (!rtl::DirectoryExists(options.Directory))
      throw rtl::EFOpenError(rtl::Format(migwiz::res::sTargetDirMissing, {options.Directory}));
    options.IncludeSubDirs = args.subdirs;
    base = options.Directory;
  }
  options.MakeBackup = !args.noBackup;
  options.BackupDir = migwiz::ResolveBackupDir(
      args.backupDir.empty() && !args.noBackup ? migwiz::res::sDefaultBackupDir : args.backupDir,
      base);
  options.WriteLog = !args.noLog;
  options.ViewLog = args.viewLog;
  options.KeepGoing = args.keepGoing;
  options.ScanAliases = args.scanAliases;
  options.DryRun = args.dryRun;
  // A rules file in the folder applies unless one is named.
  options.RulesFile = args.rules.empty() ? migwiz::DefaultRulesFile(base) : Absolute(args.rules);

#ifdef _WIN32
  Progress progress(_isatty(_fileno(stderr)));
#else
  Progress progress(::isatty(STDERR_FILENO));
#endif
  replacer->OnProgress = [&progress](int done, int total, const std::string&) {
    progress.Show(done, total);
  };
  // Ctrl-C ends the run as a cancel does, with the temporary folder removed, while no original
  // is touched yet; later it waits for the replacing to finish.
  gCancel = &replacer->CancelRequested;
  std::signal(SIGINT, [](int) {
    if (gCancel) gCancel->store(true);
  });
  replacer->OnReplacing = [] { std::signal(SIGINT, SIG_IGN); };
  migwiz::TRunRequest request;
  // The objects' details are only kept for a report file.
  request.KeepReportDetail = !args.report.empty();
  if (args.dryRun)
    request.Diffs.OnDiff = [](const std::string&, const std::string& diff) {
      std::cout.write(diff.data(), static_cast<std::streamsize>(diff.size()));
    };
  migwiz::TRunResult found;
  const migwiz::TReplaceOutcome outcome = migwiz::RunReplaceInIDE(*replacer, {}, request, &found);
  std::signal(SIGINT, SIG_DFL);
  gCancel = nullptr;
  replacer->OnProgress = nullptr;
  std::cout.flush();
  for (const migwiz::TSkippedFile& skipped : found.Skipped)
    std::cout << rtl::Format(migwiz::res::sSkippedFile, {skipped.Path, skipped.Reason}) << "\n";
  switch (outcome) {
    case migwiz::TReplaceOutcome::NotSaved:
      std::cout << migwiz::res::sCannotStartReplace << "\n"
                << migwiz::res::sProjectNotSaved << "\n";
      return kRunFailed;
    case migwiz::TReplaceOutcome::Cancelled:
      std::cout << migwiz::res::sReplaceCancelled << "\n";
      return kRunFailed;
    case migwiz::TReplaceOutcome::Failed:
      // Some originals may be replaced and some not: no count would be true.
      std::cout << migwiz::res::sReplaceFailed << "\n";
      return kRunFailed;
    case migwiz::TReplaceOutcome::Succeeded:
      break;
  }
  std::cout << migwiz::res::sReplaceSucceeded << "\n";
  // After a dry run's diff patch takes these lines for the trailing text they are.
  if (!args.report.empty()) rtl::WriteFileAtomic(args.report, found.Report.ToJson());
  std::cout << found.Report.Summary()
            << (args.report.empty() ? "" : rtl::Format(migwiz::res::sSeeReport, {args.report}))
            << "\n";
  return found.Skipped.empty() ? kOk : kSkipped;
}

int RunRestore(const std::string& undoFile) {
  migwiz::TReplaceOptions options(ky::kSourceName);
  options.Threads = migwiz::ThreadsWanted(std::getenv("MIGWIZ_THREADS"));
  auto replacer = ky::CreateReplacer(&options);
  std::string error;
  bool ok = replacer->Restore(Absolute(undoFile), &error);
  std::cout << (ok ? migwiz::res::sRestoreSucceeded : migwiz::res::sRestoreFailed) << "\n";
  if (!ok && !error.empty()) std::cout << error << "\n";
  return ok ? kOk : kRunFailed;
}

// The command line as UTF-8 words.
// The robustness tests kill a run at its N-th file-system mutation or fill the disk at its N-th
// write; the environment asks for it, and only this host reads it.
void SetFaultPlanFromEnvironment() {
  auto limit = [](const char* name) {
    const char* value = std::getenv(name);
    return value ? std::strtol(value, nullptr, 10) : 0L;
  };
  rtl::fault::SetPlan(limit("MIGWIZ_FAULT_KILL_AT"), limit("MIGWIZ_FAULT_ENOSPC_AT"));
}

int Main(int argc, char** argv) {
  SetFaultPlanFromEnvironment();
  CLI::App app{"kymigwiz - moves Delphi applications from the BDE components to KyZel", "kymigwiz"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "kymigwiz " MIGWIZ_VERSION);

  ReplaceArgs replace;
  CLI::App* replaceCmd =
      app.add_subcommand("replace", "Replace the BDE components of a folder or a project");
  auto* folderOpt =
      replaceCmd->add_option("--folder", replace.folder, "Folder whose units and forms to convert");
  auto* projectOpt = replaceCmd->add_option("--project", replace.project,
                                            "Delphi project file (.dpr) whose units to convert");
  folderOpt->excludes(projectOpt);
  replaceCmd->add_flag("--subdirs", replace.subdirs, "Include the sub-folders of the folder")
      ->needs(folderOpt);
  replaceCmd
      ->add_option("--units", replace.units,
                   "Units of the project to convert, comma separated (default: all .pas units)")
      ->delimiter(',')
      ->needs(projectOpt);
  auto* backupOpt = replaceCmd->add_option(
      "--backup-dir", replace.backupDir,
      "Backup folder, relative to the folder or the project's folder (default: RBackup)");
  replaceCmd->add_flag("--no-backup", replace.noBackup, "Make no backup and no undo file")
      ->excludes(backupOpt);
  replaceCmd->add_flag("--no-log", replace.noLog, "Write no log file");
  replaceCmd->add_flag("--view-log", replace.viewLog, "Open the log afterwards");
  replaceCmd->add_flag("--keep-going", replace.keepGoing,
                       "Skip a unit or form that cannot be read or converted, with its partner, "
                       "and convert the rest (exit status 4 when anything was skipped)");
  replaceCmd
      ->add_flag("--scan-aliases", replace.scanAliases,
                 "Folder mode: scan the forms for database aliases first, as project mode does")
      ->needs(folderOpt);
  replaceCmd->add_flag("--dry-run", replace.dryRun,
                       "Convert in a temporary folder and print the changes as a unified diff "
                       "(patch -p1 in the folder applies it); nothing is written");
  replaceCmd->add_option("--report", replace.report,
                         "Write a JSON report of the conversion to this file");
  replaceCmd->add_option(
      "--rules", replace.rules,
      "JSON file of further classes to convert and units to follow (default: "
      "migwiz-rules.json in the folder or the project's folder, if there is one)");
  replaceCmd
      ->add_option("--codepage", replace.codePage,
                   "Code page of unit paths the project file does not write in UTF-8 (CP936, "
                   "CP950, CP1251, CP1252, ...): a path whose bytes name no file is read in it. "
                   "On Windows the ANSI code page is used when none is given")
      ->needs(projectOpt);

  std::string undoFile;
  CLI::App* restoreCmd = app.add_subcommand("restore", "Restore the originals of a replace run");
  restoreCmd->add_option("UNDO_FILE", undoFile, "The run's undo file (ROvorad.reu)")->required();

  std::string formIn, formOut;
  CLI::App* toText = app.add_subcommand("form-to-text", "Convert a binary or text form to text");
  toText->add_option("IN", formIn, "Form file")->required();
  toText->add_option("OUT", formOut, "Text form to write (default: standard output)");
  CLI::App* toBinary = app.add_subcommand("form-to-binary", "Convert a text form to a binary form");
  toBinary->add_option("IN", formIn, "Form file")->required();
  toBinary->add_option("OUT", formOut, "Binary form to write")->required();

  try {
    app.parse(argc, argv);
    if (replaceCmd->parsed() && replace.folder.empty() && replace.project.empty())
      throw CLI::RequiredError("--folder or --project");
    if (!replace.codePage.empty()) {
      try {
        rtl::CheckCodePage(replace.codePage);
      } catch (const rtl::EEncodingError& e) {
        throw CLI::ValidationError("--codepage", e.what());
      }
    }
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << e.what() << "\n\n" << app.help();
    return kUsage;
  }

  try {
    if (replaceCmd->parsed()) return RunReplace(replace);
    if (restoreCmd->parsed()) return RunRestore(undoFile);
    if (toText->parsed()) {
      std::string text = migwiz::ConvertFormToText(formIn);
      if (formOut.empty())
        std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
      else
        rtl::WriteFileAtomic(formOut, text);
      return kOk;
    }
    rtl::WriteFileAtomic(formOut, migwiz::ConvertFormToBinary(formIn));
    return kOk;
  } catch (const migwiz::ERulesError& e) {
    // Nothing was locked, logged or written: the command was wrong.
    std::cerr << e.what() << "\n";
    return kUsage;
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return kError;
  }
}

}  // namespace

#ifdef _WIN32
// The arguments as UTF-16, handed on as UTF-8; output is UTF-8 and taken byte for byte (forms
// and diffs keep their CR LF), and a console shows it as UTF-8.
int wmain(int argc, wchar_t** wargv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(rtl::WideToUtf8(wargv[i]));
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  SetConsoleOutputCP(CP_UTF8);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  return Main(argc, argv.data());
}
#else
int main(int argc, char** argv) {
  return Main(argc, argv);
}
#endif
