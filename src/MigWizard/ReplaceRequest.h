// What both hosts do around one replace run, so the wizard in the IDE and the command line fill
// the options and treat the project alike.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "MigWizard/Replacer.h"
#include "ota/ToolsAPI.h"

namespace migwiz {

// The backup folder a host's text names: kept when absolute, else below base (the folder of a
// folder run, the project's folder of a project run).
std::string ResolveBackupDir(const std::string& text, const std::string& base);

// The folder that every original an undo file names lies in, the deepest such: where a restore
// from it writes. "" when the file cannot be read or names no original.
std::string RestoreFolder(const std::string& undoFile);
// The undo file a run over the project with the default backup folder leaves, when there is one.
std::string ProjectUndoFile(const std::string& projectFile);

// The Pascal units (.pas) of the open project, full paths, in module order.
std::vector<std::string> ProjectUnitFiles();
// The units as TReplaceOptions::Units holds them: one a line, each ended by CR LF.
std::string UnitListText(const std::vector<std::string>& units);

// A host that shows what a run converted answers this from BorlandIDEServices: after every run
// that went through it is handed the run's report and the diff of every file it changed (those
// of the files the run backed up are made from the backups when asked for: DiffTextOf).
// One changed file's part of a run's diff.
struct TFileDiff {
  std::string Rel;   // below the folder or the project's folder
  std::string Text;  // its unified diff; made by DiffTextOf where Backup is named
  // The run left the diff to be made when shown: from the backup it made of the original and
  // the converted file (File), a unit or a form.
  std::string Backup, File;
  bool Unit = true;
};

// The file's diff, made from its backup the first time it is asked for; a backup or file that
// cannot be read says so in the text.
const std::string& DiffTextOf(TFileDiff& diff);

class IRunResultsView : public virtual ota::IInterface {
 public:
  static constexpr ota::TGUID IID = ota::StringToGUID("{6F1C2E0A-53B4-4C8E-9D27-0B8A41E5C3D9}");
  virtual void ShowRunResults(const TRunReport& report, std::vector<TFileDiff> diffs) = 0;
  // The run shown was undone by a restore.
  virtual void ClearRunResults() = 0;
};

// What a host noted while reading the open project, for the log of a project-mode run (a unit
// path it could only read in a code page).
class IProjectNotes : public virtual ota::IInterface {
 public:
  static constexpr ota::TGUID IID = ota::StringToGUID("{0D7E4B91-2A6C-4F3E-8B15-C94E3A7D2F60}");
  virtual std::vector<std::string> ProjectNotes() = 0;
};

enum class TReplaceOutcome { NotSaved, Failed, Succeeded, Cancelled };

// A replace run in the IDE: the options' rules file is read and applied first (ERulesError,
// before anything is saved or written, when it cannot be); in project mode the project is saved
// (NotSaved when it cannot be) and beforeRun is called (the expert puts the form units' code in
// front); after a run that replaced every changed file, the project's modules whose unit or form
// changed are reloaded and a host's IRunResultsView is shown the results. A run cancelled
// (CancelRequested) before the replacing is Cancelled. host is the caller's own part of the
// request (diff sinks: the command line prints them; whether the report keeps every object);
// result, when given, gets what the run found. Errors of the run pass to the caller.
TReplaceOutcome RunReplaceInIDE(TComponentReplacer& replacer,
                                const std::function<void()>& beforeRun = {},
                                const TRunRequest& host = {}, TRunResult* result = nullptr);

}  // namespace migwiz
