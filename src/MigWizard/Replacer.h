// The replacement engine: the options of a run and the replacer with its rule table.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "MigWizard/FileSwap.h"
#include "MigWizard/FileUtils.h"
#include "MigWizard/FormFile.h"
#include "MigWizard/FormParser.h"
#include "MigWizard/ReplaceRules.h"
#include "MigWizard/Revisions.h"
#include "MigWizard/RunReport.h"
#include "MigWizard/SourceText.h"
#include "rtl/Classes.h"
#include "rtl/FileIO.h"
#include "rtl/Settings.h"

namespace migwiz {

// The settings of a replace run; the hand-over object between wizard, expert and run.
class TReplaceOptions {
 public:
  explicit TReplaceOptions(std::string sourceName) : SourceName(std::move(sourceName)) {}

  std::string SourceName;
  std::uint8_t Dest = 0;  // 0: units of the open project; 1: files of a disk folder
  std::string Directory;
  bool IncludeSubDirs = false;
  bool MakeBackup = true;
  std::string BackupDir;  // not persisted: set by the wizard for each run
  bool WriteLog = true;
  // Not persisted: the units, each followed by CR LF; full paths, or bare names that are looked
  // up among the project's modules.
  std::string Units;
  bool ViewLog = false;
  bool KeepGoing = false;    // a file that cannot be read or converted is skipped with its partner
  bool ScanAliases = false;  // folder mode scans the forms for aliases as project mode does
  // Not persisted, set by a host for one run:
  // Everything is converted in the temporary folder, and then nothing is replaced: no original,
  // backup, undo file, log or lock file is written.
  bool DryRun = false;
  // The rules file the run applies on top of the table ("" for none); see ReplaceRules.h.
  std::string RulesFile;

  void LoadSettings(rtl::TSettingsStore& store, const std::string& section);
  void SaveSettings(rtl::TSettingsStore& store, const std::string& section) const;
  std::string GetTitle() const;
};

// Work folders of a run by original: an output or backup goes into the root under its file name,
// and a second original of the same name (from another folder) into a folder of its own, so one
// never overwrites the other.
class TRunFolders {
 public:
  explicit TRunFolders(std::string root) : root_(std::move(root)) {}
  std::string FolderFor(const std::string& original, const std::string& name);
  std::string FolderOf(const std::string& original) const;

 private:
  std::string root_;
  std::map<std::string, std::string> owner_;     // upper-cased name -> first original
  std::map<std::string, std::string> folderOf_;  // original -> its folder
  int collisions_ = 0;
};

// The one object of the replacement engine.
class TComponentReplacer {
 public:
  TComponentReplacer(const TFormParserClass& formParserClass, std::string usesUnit,
                     std::string usesAddition, TReplaceOptions* options);
  virtual ~TComponentReplacer();
  TComponentReplacer(const TComponentReplacer&) = delete;
  TComponentReplacer& operator=(const TComponentReplacer&) = delete;

  void AddReplacement(const std::string& oldClass, const std::string& newClass);
  // The table as registered with AddReplacement: old class, new class.
  const std::vector<std::pair<std::string, std::string>>& Table() const { return table_; }
  // Puts rules on top of the table for the runs to come, in place of those set before (empty
  // rules: the table alone). Their classes are converted as their like-classes are, with the same
  // roles in the conversion rules; a uses clause that does not name UsesUnit gets the addition
  // after the first of their units it names.
  void SetRules(TReplacementRules rules);
  const TReplacementRules& Rules() const { return rules_; }
  // The registered new class for an old class name (any letter case), or nullptr.
  const std::string* FindReplacement(std::string_view identifier) const;

  // The text that replaces a class identifier in code; the base keeps the target as registered.
  virtual std::string AdjustName(std::string_view identifier, const std::string& target);

  // Rewrites one unit into outputPath when anything changed; logs the count line.
  void ProcessUnit(std::string_view text, const std::string& unitPath, TTextEncoding encoding,
                   const std::string& outputPath);
  // The comment lexeme with old class names replaced, nothing when none was; adds the names
  // replaced to changeCount and the form named by a resource directive to FileList.
  std::optional<std::string> ProcessComment(std::string_view comment, const std::string& unitPath,
                                            int& changeCount);

  // The replace run: true when every changed file replaced its original.
  bool Execute();
  // Puts back the originals named in an undo file: true when every copy was restored.
  bool Restore(const std::string& undoFile);
  // Called before each file of the run with the files done, the files in the list and the file
  // about to be converted, and once after the last with "" as the file.
  std::function<void(int done, int total, const std::string& file)> OnProgress;
  // Set, from the progress callback or from a signal handler, to end the run before the
  // originals are replaced: Execute then raises EReplaceCancelled, having touched no original
  // and written no undo file.
  std::atomic<bool> CancelRequested{false};
  // Called once no more cancelling is honoured: the backups and the replacing begin.
  std::function<void()> OnReplacing;
  // Why the last Restore failed: the copy that could not be made or the backup that is missing.
  std::string RestoreError;
  // The files the last run skipped (KeepGoing), in the order they were given up.
  std::vector<TSkippedFile> Skipped;
  // The units of the last run that changed themselves or in a form they name, full paths.
  std::vector<std::string> ChangedUnits;
  // What the last run converted; filled once every file is converted.
  TRunReport Report;
  // Lines the run's log gives after its start: what the host noted reading the project.
  std::vector<std::string> LogNotes;
  // Whether Report keeps every rebuilt object (for a report or a results view), or counts only.
  bool KeepReportDetail = true;
  // What the old library has that the new one lacks, for the report of what is left for a person;
  // the product layer fills it. Empty: nothing is looked for.
  TRevisionRules Revisions;
  // When set, called with the unified diff of each file the run changes (but those left to
  // OnDeferredDiff), in the run's order, before any original is replaced: rel is the path below the
  // folder or the project's folder, which the diff names with "a/" and "b/" before it.
  std::function<void(const std::string& rel, std::string diff)> OnDiff;
  // When set too, a file whose original this run backs up is not diffed during the run: once
  // the originals are replaced, this names the backup (the original as it was) and the file (as
  // converted), in the run's order, so that FileDiff makes its diff when someone looks at it.
  std::function<void(const std::string& rel, const std::string& backup, const std::string& file,
                     bool unit)>
      OnDeferredDiff;

  // Rewrites every replaceable object of a form text into outputPath when at least one object
  // was rebuilt; logs the count line. An object of a replaceable class that the form parser
  // rejects raises EConvertError naming the form (formPath), the object and its line: the form is
  // damaged, and rebuilding the others would leave it inconsistent with its unit.
  void ProcessForm(std::string_view text, const std::string& outputPath, TTextEncoding encoding,
                   bool binary, const TRCData& rcData, const std::string& formPath = {});
  void WriteForm(const std::string& outputPath, std::string output, TTextEncoding encoding,
                 bool binary, const TRCData& rcData);
  // Adds the TDatabase aliases of a form file to DatabaseAliases.
  void ScanDatabaseAliases(const std::string& path);
  // An alias a form's database defines; Own: an "object", not an inherited or inline one.
  struct TAliasDefinition {
    std::string Alias, Connection;
    bool Own;
  };
  // The aliases the form defines, in its order; reads nothing of the run, so any thread may.
  std::vector<TAliasDefinition> ReadAliasDefinitions(const std::string& path) const;
  void AddAliases(const std::vector<TAliasDefinition>& definitions);
  // The form parser's question: the connection that stands for a DatabaseName alias.
  void ResolveDatabaseName(const std::string& propName, const std::string& value,
                           std::string& newValue);

  rtl::TStringList SourceClasses{true};
  rtl::TStringList TargetClasses;
  rtl::TStringList FileList;
  TLogWriter Log;
  int ChangedCount = 0;
  rtl::TStringList BackupList;
  rtl::TStringList DatabaseAliases;
  std::unique_ptr<TFormParser> FormParser;
  std::string UsesUnit;
  std::string UsesAddition;
  TReplaceOptions* Options;

 private:
  bool FolderMode() const { return Options->Dest == 1; }
  std::string LogFolder() const;
  bool RunSteps();
  void BuildFileList();
  void ScanFolder(const std::string& folder, bool includeSubDirs);
  void ProcessFile(const std::string& path, const std::string& destFolder);
  // A work file of the rewriting: queued on the run's writer during a run, written at once
  // otherwise.
  void WriteOutput(const std::string& path, std::string bytes);
  // The uses addition's units stand right at the start of rest (a clause converted before).
  bool AdditionFollows(std::string_view rest) const;
  struct TRunState;
  // The work files to put in place of the originals, with the backups made of them.
  std::vector<TFileSwap> PlannedSwaps(TRunState& run);
  void ReplaceOriginals(TRunState& run);
  // What converting one file produced, kept apart from the run's state so that files convert on
  // several threads and are committed in the run's order.
  struct TFileWork {
    std::vector<std::string> Lines;  // for the log
    std::vector<std::string> Forms;  // named by a unit's resource directive
    std::string OutputPath, Output;  // the new bytes, when Changed
    bool Changed = false;
    TFileReport Report;
    std::exception_ptr Error;  // why it could not be converted
    TFormParser* Parser = nullptr;
  };
  // The work of the file being converted on this thread; none outside a run's conversion.
  static thread_local TFileWork* work_;
  TFormParser& Parser() { return work_ && work_->Parser ? *work_->Parser : *FormParser; }
  void NoteLine(const std::string& line);
  void NoteForm(const std::string& form);
  void NoteOutput(const std::string& path, std::string bytes);
  TFileReport* CurrentReport() { return work_ ? &work_->Report : nullptr; }
  // The work folder of an entry, made on the run's thread in the run's order.
  std::string PrepareEntry(TRunState& run, int index);
  void Convert(const std::string& entry, const std::string& dest, TFileWork& work);
  // Takes one file's work into the run; false when it was skipped (KeepGoing).
  bool Commit(TRunState& run, int index, const std::string& dest, TFileWork& work);
  // Converts the entries in order, on the pool when there is one, committing each in that order;
  // stops after an entry whose commit answers false. Answers whether it went through them all.
  bool ConvertInOrder(TRunState& run, const std::vector<int>& entries,
                      const std::function<bool(int, const std::string&, TFileWork&)>& commit);
  void ProcessUnits(TRunState& run);
  void RewriteForms(TRunState& run);
  void SkipGroup(TRunState& run, int index, const std::string& reason);
  void CommitBackups(TRunState& run);
  // After a failure: the backups this run made and its undo file go, the earlier undo file comes
  // back; undoFile is empty when none was written.
  void UndoBackups(TRunState& run, const std::string& undoFile,
                   const std::optional<std::string>& earlierUndo);
  void BuildReport(TRunState& run);
  // Adds the object the form parser just parsed to the file's report.
  void ReportObject(const std::vector<std::string>& names, int line);
  void EmitDiffs(TRunState& run);
  void EmitDeferredDiffs(TRunState& run);

  // Registers one replacement in the lookup (SourceClasses, TargetClasses and what speeds them).
  void Register(const std::string& oldClass, const std::string& newClass);
  void RebuildClassTable();
  // Of a uses clause from `rest` (just after an identifier) to its end: whether it names UsesUnit.
  bool UsesUnitFollows(std::string_view rest) const;
  bool IsRulesUsesUnit(std::string_view identifier) const;
  std::vector<std::pair<std::string, std::string>> table_;
  TReplacementRules rules_;
  std::optional<TClassRoles> baseRoles_;  // the form parser's roles before any rules
  std::vector<std::string> rulesUses_;    // the rules' uses units, upper-cased
  // The old class names hashed without regard to case, filled by AddReplacement with what
  // SourceClasses.Find answers for each: a unit's identifiers are looked up without a search.
  struct TClassEntry {
    std::string Upper;
    int Target;
  };
  std::array<std::vector<TClassEntry>, 256> classTable_;
  static unsigned ClassBucket(std::string_view identifier);
  // Most identifiers of a unit are no class names, and their length or first letter tells so.
  std::uint64_t lengthMask_ = 0;
  bool firstLetter_[256] = {};
  // The first letters of the words a unit's rewrite looks at: "uses", the BDE unit, the classes.
  bool unitWordStarts_[256] = {};
  std::uint64_t unitWordLengths_[256] = {};  // by first letter, a bit for each length
  // The rewrite of units looks at this word (and at none of another length or first letter).
  void NoteUnitWord(std::string_view word);
  class TOutputWriter* writer_ = nullptr;  // set while a run rewrites its files
  TFormParserClass formParserClass_;
  class TWorkPool* pool_ = nullptr;  // set while a run converts on several threads
  std::vector<std::unique_ptr<TFormParser>> workerParsers_;
  bool writeFailed_ = false;                 // a work file could not be written: no file to skip
  std::vector<std::string> additionTokens_;  // UsesAddition's identifiers and symbols
  // The words whose absence from a file's bytes means the file has no work, made at a run's start.
  void PrepareQuickChecks();
  bool quickChecks_ = false;
  // Words whose presence in a file's bytes means it may change, upper-cased, with the pairs of
  // bytes (either case) they start with.
  struct TWordSearch {
    std::vector<std::string> Words;  // upper case
    void Prepare();
    bool FoundIn(std::string_view bytes) const;

   private:
    std::array<std::uint64_t, 1024> pairs_{};  // a bit for each pair of bytes a word starts with
    std::vector<std::uint16_t> pairBucket_;    // by pair of bytes: 1 + index in buckets_
    std::vector<std::vector<int>> buckets_;    // the words starting with a pair
    std::vector<unsigned char> firsts_;        // the bytes a word starts with, in either case
    static constexpr size_t kMaxVectorFirsts = 16;
    bool anyEmpty_ = false;
    bool WordAt(const unsigned char* p, size_t i, size_t n) const;
  };
  TWordSearch formWords_, unitWords_;
  TRevisionIndex revisionIndex_;
  bool reviewing_ = false;  // this run looks for what is left
};

// The identifiers and symbols of a uses addition, in order.
std::vector<std::string> UsesAdditionTokens(std::string_view addition);

// The run was cancelled before any original was replaced.
class EReplaceCancelled : public rtl::Exception {
 public:
  EReplaceCancelled();
};

// Count line of a processed file: "3 change(s)" or "No changes".
std::string ChangeCountText(int changes);

// The diff a run gives for one changed file (OnDiff), from the original's path and the converted
// file's: binary forms as text and UTF-16 files as UTF-8, each with a note line saying so, named
// "a/" and "b/" rel. Empty when the two show the same text.
std::string FileDiff(const std::string& original, const std::string& converted, bool unit,
                     const std::string& rel);

}  // namespace migwiz
