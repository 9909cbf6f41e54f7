// What one replace run knows while it goes: the entries of its file list, its work folders and
// backups, the threads and writer it converts with, and the quick checks it prepared. Made by
// RunSteps for one run and handed to what needs it; nothing of it outlives the run.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "MigWizard/FileUtils.h"
#include "MigWizard/Replacer.h"
#include "MigWizard/Revisions.h"
#include "MigWizard/WordSearch.h"
#include "rtl/FileIO.h"

namespace migwiz {

class TOutputWriter;
class TWorkPool;

// Work folders of a run by original: an output or backup goes into the root under its file name,
// and a second original of the same name (from another folder) into a folder of its own, so one
// never overwrites the other.
class TRunFolders {
 public:
  explicit TRunFolders(std::string root) : root_(std::move(root)) {}
  std::string FolderFor(const std::string& original, const std::string& name);

 private:
  std::string root_;
  std::map<std::string, std::string> owner_;     // upper-cased name -> first original
  std::map<std::string, std::string> folderOf_;  // original -> its folder
  int collisions_ = 0;
};

// The words whose absence from a file's bytes means it has no work, and what the run looks for
// that is left for a person.
struct TComponentReplacer::TRunChecks {
  TWordSearch FormWords, UnitWords;
  TWordSearch DatabaseWords;  // a form naming none of these defines no alias
  // Set when the run reports what is left for a person.
  const TRevisionIndex* Revisions = nullptr;
  bool KeepDetail = true;  // the report keeps every object, not counts only
};

// What a run knows of each entry of the file list (same index).
struct TFileState {
  std::string Rel, RelFolder;  // folder mode: the path below the folder
  std::string Output;          // the work file, when Changed
  bool Processed = false;
  bool Changed = false;
  bool Skipped = false;
  bool Scanned = false;       // its aliases were read
  bool GaveAliases = false;   // and it defined or replaced one
  std::vector<int> Partners;  // units and the forms they name
  TFileReport Report;
  std::string Backup;          // the copy of the original this run made
  bool BackupMadeNew = false;  // and no file had its name before
};

struct TComponentReplacer::TRunState {
  TRunState(const std::string& tempFolder, const std::string& backupDir)
      : temp(tempFolder), outputs(tempFolder), backups(backupDir) {}
  std::string temp, folderRoot;
  TRunFolders outputs, backups;
  int unitCount = 0;
  int processed = 0;  // files converted so far, for the progress
  bool scanAliases = false;
  std::vector<TFileState> files;
  TRunResult* result = nullptr;  // what the run found so far
  // The work files are written on a thread of their own; files convert on the pool, when there
  // is one, each thread with a form parser of its own (parsers[worker]).
  TOutputWriter* writer = nullptr;
  TWorkPool* pool = nullptr;
  std::vector<std::unique_ptr<TFormParser>> parsers;
  TRevisionIndex revisions;
  TRunChecks checks;
  // Folders made in this run: a folder of many files is made once, not asked for per file.
  std::set<std::string> madeFolders;
  // Lines of an undo file an earlier run left in the backup folder: their copies are the oldest
  // state of those originals and are kept.
  int earlierLines = 0;
  std::set<std::string> earlierBackups;              // upper-cased backup paths named there
  std::unordered_map<std::string, int> backupIndex;  // upper-cased original -> BackupList line

  // Folders of the backup tree this run created, outermost ones: a failed run removes them.
  std::vector<std::string>* createdFolders = nullptr;

  void MakeFolder(const std::string& folder) {
    if (madeFolders.insert(folder).second) CreateDirPath(folder);
  }
  void MakeBackupFolder(const std::string& folder) {
    if (!madeFolders.insert(folder).second) return;
    if (std::string missing = OutermostMissingFolder(folder); !missing.empty())
      createdFolders->push_back(std::move(missing));
    CreateDirPath(folder);
  }
  // Backed up by an earlier run: that copy is the oldest state and stays.
  bool KeptFromEarlierRun(const std::string& key) const {
    auto known = backupIndex.find(key);
    return known != backupIndex.end() && known->second < earlierLines;
  }
  TFileState& At(int i) {
    if (files.size() <= static_cast<size_t>(i)) files.resize(static_cast<size_t>(i) + 1);
    return files[static_cast<size_t>(i)];
  }
};

// A Pascal unit or project file, by its extension.
bool IsUnit(std::string_view path);

// Runs the action when the scope is left, also by an exception.
template <class F>
class TFinally {
 public:
  explicit TFinally(F action) : action_(std::move(action)) {}
  ~TFinally() { action_(); }
  TFinally(const TFinally&) = delete;
  TFinally& operator=(const TFinally&) = delete;

 private:
  F action_;
};

// Holds the run's lock on a folder; another run holding it ends this one before it touches
// anything.
void LockRunFolder(rtl::TFileLock& lock, const std::string& folder);

}  // namespace migwiz
