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
#include "MigWizard/WordSearch.h"
#include "rtl/Classes.h"
#include "rtl/FileIO.h"
#include "rtl/Settings.h"

namespace migwiz {

// The settings of a replace run; the hand-over object between wizard, expert and run.
class TReplaceOptions {
 public:
  explicit TReplaceOptions(std::string sourceName) : SourceName(std::move(sourceName)) {}

  // The two destinations of a run.
  static constexpr std::uint8_t kDestProject = 0;  // the units of the open project
  static constexpr std::uint8_t kDestFolder = 1;   // the files of a disk folder

  std::string SourceName;
  std::uint8_t Dest = kDestProject;
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
  // The threads files convert on (1 to 8), 0 for the machine's cores: what the host was told.
  int Threads = 0;

  void LoadSettings(rtl::TSettingsStore& store, const std::string& section);
  void SaveSettings(rtl::TSettingsStore& store, const std::string& section) const;
  std::string GetTitle() const;
};

// What one run hands out besides the replacer's own callbacks: the diffs of the files it changes,
// for a host that shows or prints them.
struct TRunDiffs {
  // When set, called with the unified diff of each file the run changes (but those left to
  // OnDeferredDiff), in the run's order, before any original is replaced: rel is the path below
  // the folder or the project's folder, which the diff names with "a/" and "b/" before it.
  std::function<void(const std::string& rel, std::string diff)> OnDiff;
  // When set too, a file whose original this run backs up is not diffed during the run: once
  // the originals are replaced, this names the backup (the original as it was) and the file (as
  // converted), in the run's order, so that FileDiff makes its diff when someone looks at it.
  std::function<void(const std::string& rel, const std::string& backup, const std::string& file,
                     bool unit)>
      OnDeferredDiff;
};

// What one Execute is asked besides the options.
struct TRunRequest {
  TRunRequest() = default;
  TRunRequest(TRunDiffs diffs) : Diffs(std::move(diffs)) {}  // NOLINT: a run asked for its diffs
  TRunDiffs Diffs;
  // Lines the run's log gives after its start: what the host noted reading the project.
  std::vector<std::string> LogNotes;
  // Whether the report keeps every rebuilt object (for a report or a results view), or counts.
  bool KeepReportDetail = true;
};

// What one run found.
struct TRunResult {
  // The files it skipped (KeepGoing), in the order they were given up.
  std::vector<TSkippedFile> Skipped;
  // The units that changed themselves or in a form they name, full paths.
  std::vector<std::string> ChangedUnits;
  // What it converted, and what is left for a person.
  TRunReport Report;
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

  // The replace run: true when every changed file replaced its original. What it found goes to
  // result, when given, however it ended.
  bool Execute(const TRunRequest& request = {}, TRunResult* result = nullptr);
  // Puts back the originals named in an undo file: true when every copy was restored; else
  // error, when given, says which copy could not be made or which backup is missing.
  bool Restore(const std::string& undoFile, std::string* error = nullptr);
  // Called before each file of the run with the files done, the files in the list and the file
  // about to be converted, and once after the last with "" as the file.
  std::function<void(int done, int total, const std::string& file)> OnProgress;
  // Set, from the progress callback or from a signal handler, to end the run before the
  // originals are replaced: Execute then raises EReplaceCancelled, having touched no original
  // and written no undo file.
  std::atomic<bool> CancelRequested{false};
  // Called once no more cancelling is honoured: the backups and the replacing begin.
  std::function<void()> OnReplacing;
  // What the old library has that the new one lacks, for the report of what is left for a person;
  // the product layer sets it. Empty: nothing is looked for.
  void SetRevisionRules(TRevisionRules rules) { revisionRules_ = std::move(rules); }
  struct TRunChecks;  // what a run looks for in every file (RunState.h)
  // What converting one file gives, kept apart from the run's state so that files convert on
  // several threads and are committed in the run's order: the run writes the log lines, adds the
  // forms to FileList, and puts the output in place.
  struct TFileWork {
    std::vector<std::string> Lines;  // for the log
    std::vector<std::string> Forms;  // named by a unit's resource directive
    std::string OutputPath, Output;  // the new bytes, when Changed
    bool Changed = false;
    TFileReport Report;
    bool Reported = false;               // Report is kept: the file belongs to a run
    std::exception_ptr Error;            // why it could not be converted
    TFormParser* Parser = nullptr;       // the thread's; none: the replacer's FormParser
    const TRunChecks* Checks = nullptr;  // a run's quick checks; none outside a run
    TFileReport* ReportOrNull() { return Reported ? &Report : nullptr; }
  };
  // Rewrites one unit into work: the count line, the forms its resource directives name, and
  // when anything changed, the new bytes to be written to outputPath.
  void ProcessUnit(std::string_view text, const std::string& unitPath, TTextEncoding encoding,
                   const std::string& outputPath, TFileWork& work);
  // The comment lexeme with old class names replaced, nothing when none was; adds the names
  // replaced to changeCount and the form named by a resource directive to work.
  std::optional<std::string> ProcessComment(std::string_view comment, const std::string& unitPath,
                                            int& changeCount, TFileWork& work);
  // Rewrites every replaceable object of a form text into work when at least one object was
  // rebuilt, with the count line. An object of a replaceable class that the form parser rejects
  // raises EConvertError naming the form (formPath), the object and its line: the form is
  // damaged, and rebuilding the others would leave it inconsistent with its unit.
  void ProcessForm(std::string_view text, const std::string& outputPath, TTextEncoding encoding,
                   bool binary, const TRCData& rcData, const std::string& formPath,
                   TFileWork& work);
  // The form's new text as the bytes of its format (binary forms with their resource header).
  void WriteForm(const std::string& outputPath, std::string output, TTextEncoding encoding,
                 bool binary, const TRCData& rcData, TFileWork& work);
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
  struct TRunState;  // RunState.h
  bool FolderMode() const { return Options->Dest == TReplaceOptions::kDestFolder; }
  std::string LogFolder() const;
  bool RunSteps(const TRunRequest& request, TRunResult& result);
  void BuildFileList();
  void ScanFolder(const std::string& folder, bool includeSubDirs);
  // The uses addition's units stand right at the start of rest (a clause converted before).
  bool AdditionFollows(std::string_view rest) const;

  // Adds the object the work's form parser just parsed to the file's report.
  void ReportObject(const std::vector<std::string>& names, int line, TFileWork& work);
  // The aliases a form defines, when its bytes name one of databaseWords.
  std::vector<TAliasDefinition> ReadAliasDefinitions(const std::string& path,
                                                     const TWordSearch& databaseWords) const;
  TWordSearch DatabaseWords() const;

  // The run, in the order it goes (ReplacerRun.cpp).
  void PrepareChecks(TRunState& run);
  void ProcessFile(const std::string& path, const std::string& destFolder, TFileWork& work);
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
  void BuildReport(TRunState& run, TRunResult& result);
  void EmitDiffs(TRunState& run, const TRunDiffs& diffs);
  void EmitDeferredDiffs(TRunState& run, const TRunDiffs& diffs);

  // Backups, replacing the originals and putting them back (ReplacerBackups.cpp).
  void CommitBackups(TRunState& run);
  // After a failure: the backups this run made and its undo file go, the earlier undo file comes
  // back; undoFile is empty when none was written.
  void UndoBackups(TRunState& run, const std::string& undoFile,
                   const std::optional<std::string>& earlierUndo);
  // The work files to put in place of the originals, with the backups made of them.
  std::vector<TFileSwap> PlannedSwaps(TRunState& run);
  void ReplaceOriginals(TRunState& run);

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
  TFormParserClass formParserClass_;
  TRevisionRules revisionRules_;
  std::vector<std::string> additionTokens_;  // UsesAddition's identifiers and symbols
};

// The identifiers and symbols of a uses addition, in order.
std::vector<std::string> UsesAdditionTokens(std::string_view addition);

// What a class name at `at` in a unit's text stands for.
enum class TClassNameRole {
  Use,           // a use of the class: converted
  Definition,    // the name a type declaration defines, the class of a method heading: kept
  DeclaredName,  // a field, variable, parameter or constant of that name: kept, and its uses
};
TClassNameRole ClassNameRole(std::string_view text, size_t at, size_t length);

// The run was cancelled before any original was replaced.
class EReplaceCancelled : public rtl::Exception {
 public:
  EReplaceCancelled();
};

// Count line of a processed file: "3 change(s)" or "No changes".
std::string ChangeCountText(int changes);

}  // namespace migwiz
