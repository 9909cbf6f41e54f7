// The replace run and the restore from an undo file.
#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>
#include <vector>

#include "MigWizard/FileUtils.h"
#include "MigWizard/IDEUtils.h"
#include "MigWizard/OutputWriter.h"
#include "MigWizard/ROvoradRes.h"
#include "MigWizard/Replacer.h"
#include "rtl/Shell.h"
#include "rtl/SysUtils.h"
#include "zel/ZelWait.h"

#ifndef _WIN32
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace migwiz {

namespace {

bool HasExtension(std::string_view path, std::string_view upperExt) {
  return path.size() >= upperExt.size() &&
         rtl::UpperCase(path.substr(path.size() - upperExt.size())) == upperExt;
}

bool IsUnit(std::string_view path) {
  return HasExtension(path, ".PAS") || HasExtension(path, ".DPR");
}

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

// Entries of one folder, names only, in byte order; folders flagged. Folder links are reported
// as links so that the scan does not follow them.
struct TFolderEntry {
  std::string Name;
  bool Folder = false;
};

std::vector<TFolderEntry> ListFolder(const std::string& folder) {
  std::vector<TFolderEntry> entries;
#ifndef _WIN32
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return entries;
  while (const dirent* d = ::readdir(dir)) {
    std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    bool folderEntry = ::lstat(JoinPath(folder, name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    entries.push_back({std::move(name), folderEntry});
  }
  ::closedir(dir);
#endif
  std::sort(entries.begin(), entries.end(),
            [](const TFolderEntry& a, const TFolderEntry& b) { return a.Name < b.Name; });
  return entries;
}

}  // namespace

std::string TRunFolders::FolderFor(const std::string& original, const std::string& name) {
  auto known = folderOf_.find(original);
  if (known != folderOf_.end()) return known->second;
  auto [it, fresh] = owner_.emplace(rtl::UpperCase(name), original);
  std::string folder = root_;
  if (!fresh) {
    folder = JoinPath(root_, "~" + std::to_string(++collisions_));
    CreateDirPath(folder);
  }
  folderOf_.emplace(original, folder);
  return folder;
}

std::string TRunFolders::FolderOf(const std::string& original) const {
  auto it = folderOf_.find(original);
  return it == folderOf_.end() ? root_ : it->second;
}

void TComponentReplacer::ScanFolder(const std::string& folder, bool includeSubDirs) {
  for (const TFolderEntry& e : ListFolder(folder)) {
    std::string path = JoinPath(folder, e.Name);
    if (e.Folder) {
      if (includeSubDirs) ScanFolder(path, true);
    } else if (IsUnit(e.Name)) {
      FileList.Add(path);
    }
  }
}

void TComponentReplacer::BuildFileList() {
  if (FolderMode()) {
    ScanFolder(Options->Directory, Options->IncludeSubDirs);
    return;
  }
  FileList.SetText(Options->Units);
  int count = TIDEUtils::GetProjectModuleCount();
  for (int i = 0; i < count; ++i) {
    std::string name = TIDEUtils::GetProjectModuleFileName(i);
    if (name.empty() || !HasExtension(name, ".PAS")) continue;
    int index = FileList.IndexOf(ExtractFileName(name));
    if (index >= 0) FileList.SetString(index, name);
  }
}

void TComponentReplacer::ProcessFile(const std::string& path, const std::string& destFolder) {
  Log.WriteLine(rtl::Format(res::sProcessingFile, {path}));
  rtl::TFileStream in(path, rtl::TFileStream::Mode::OpenRead);
  std::string output = JoinPath(destFolder, ExtractFileName(path));
  if (IsUnit(path)) {
    TSourceText source = ReadSourceText(in, path);
    ProcessUnit(source.Text, path, source.Encoding, output);
  } else {
    TFormSource form = ReadForm(in, path);
    ProcessForm(form.Text, output, form.Encoding, form.Binary, form.RCData);
  }
}

std::string TComponentReplacer::LogFolder() const {
  return FolderMode() ? Options->Directory : ExtractFileDir(TIDEUtils::GetProjectFileName());
}

bool TComponentReplacer::Execute() {
  BackupList.Clear();
  ChangedCount = 0;
  if (Options->WriteLog) Log.Open(JoinPath(LogFolder(), res::sLogFileName));
  bool result;
  {
    TFinally closeLog([this] { Log.Close(); });
    zel::TWaitCursor wait;
    result = RunSteps();
  }
  if (Options->WriteLog && Options->ViewLog)
    rtl::ShellOpen(JoinPath(LogFolder(), res::sLogFileName));
  return result;
}

bool TComponentReplacer::RunSteps() {
  const bool folderMode = FolderMode();
  Log.WriteLine(res::sInitializingUnitList);
  TFinally emptyList([this] { FileList.Clear(); });
  BuildFileList();

  if (Options->MakeBackup) {
    Log.WriteLine(res::sCreatingBackupFolder);
    if (!CreateDirPath(Options->BackupDir)) throw rtl::EFCreateError(res::sFailedToCreateDir);
  }

  Log.WriteLine(res::sAllocatingTempFolder);
  const std::string temp = CreateTempDir(res::sTempPrefix, 1);
  // Without a work folder the outputs would land in, and the clean-up would empty, the current
  // folder: stop before the first file is read.
  if (temp.empty())
    throw rtl::EFCreateError(std::string(res::sFailedToCreateDir) +
                             " No temporary folder could be allocated.");
  TFinally removeTemp([&temp] { DeleteDirTree(temp); });

  // Destroyed before the work folder is removed, so no write lands in a folder being emptied.
  TOutputWriter writer;
  writer_ = &writer;
  TFinally noWriter([this] { writer_ = nullptr; });

  DatabaseAliases.Clear();
  const int unitCount = FileList.Count();
  bool scanPending = !folderMode;
  TRunFolders outputs(temp), backups(Options->BackupDir);
  const std::string folderRoot = JoinPath(Options->Directory, "");
  // Folders made in this run: a folder of many files is made once, not asked for per file.
  std::set<std::string> madeFolders;
  std::unordered_map<std::string, int> backupIndex;  // upper-cased original -> BackupList line
  auto makeFolder = [&madeFolders](const std::string& folder) {
    if (madeFolders.insert(folder).second) CreateDirPath(folder);
  };

  for (int i = 0; i < FileList.Count();) {
    const std::string entry = FileList[i];
    if (scanPending && i >= unitCount) {
      ScanDatabaseAliases(entry);
      if (i == FileList.Count() - 1) {
        scanPending = false;
        i = unitCount;
      } else {
        ++i;
      }
      continue;
    }
    std::string rel, relFolder, dest;
    if (folderMode) {
      rel = entry.compare(0, folderRoot.size(), folderRoot) == 0 ? entry.substr(folderRoot.size())
                                                                 : ExtractFileName(entry);
      relFolder = ExtractFilePath(rel);
      dest = JoinPath(temp, relFolder);
      makeFolder(dest);
    } else {
      dest = outputs.FolderFor(entry, ExtractFileName(entry));
    }
    const int changedBefore = ChangedCount;
    ProcessFile(entry, dest);
    if (ChangedCount > changedBefore && Options->MakeBackup) {
      std::string backup;
      if (folderMode) {
        makeFolder(JoinPath(Options->BackupDir, relFolder));
        backup = BackupFileName(JoinPath(Options->BackupDir, rel));
      } else {
        std::string name = ExtractFileName(BackupFileName(entry));
        backup = JoinPath(backups.FolderFor(entry, name), name);
      }
      // The original is replaced only later, so a copy that cannot be made ends the run now,
      // while every original is still as it was.
      if (!rtl::LinkOrCopyFile(entry, backup))
        throw rtl::EFCreateError("Cannot make the backup copy \"" + backup + "\" of \"" + entry +
                                 "\".");
      // As BackupList.SetValue, without searching the whole list for every file.
      const std::string line = entry + "=" + backup;
      auto [known, fresh] = backupIndex.emplace(rtl::UpperCase(entry), BackupList.Count());
      if (fresh)
        BackupList.Add(line);
      else
        BackupList.SetString(known->second, line);
    }
    ++i;
    if (OnProgress) OnProgress(i, FileList.Count());
  }

  // Every work file is complete before anything refers to it.
  writer.Drain();
  writer_ = nullptr;

  // The undo file exists before the first original is replaced, so an interrupted replacement
  // can still be restored.
  const std::string undoFile = JoinPath(Options->BackupDir, res::sUndoFileName);
  if (Options->MakeBackup) rtl::WriteFileAtomic(undoFile, BackupList.Text());

  bool result = ReplaceOriginals(temp, outputs);
  if (Options->MakeBackup) Log.WriteLine(rtl::Format(res::sBackupFile, {undoFile}));
  Log.WriteLine(res::sRemovingTempFolder);
  DeleteDirTree(temp);
  FileList.Clear();
  Log.WriteLine(res::sReplaceSucceeded);
  return result;
}

void TComponentReplacer::WriteOutput(const std::string& path, std::string bytes) {
  if (writer_)
    writer_->Write(path, std::move(bytes));
  else
    rtl::WriteFileBytes(path, bytes);
}

bool TComponentReplacer::ReplaceOriginals(const std::string& temp, const TRunFolders& outputs) {
  if (ChangedCount > 0) Log.WriteLine(res::sReplacingOriginals);
  bool ok = true, failed = false;
  if (FolderMode()) {
    ok = MoveDirTree(temp, Options->Directory);
  } else {
    // The outputs reach the disk in one flush before the first original is replaced; one
    // original that cannot be replaced does not keep the others from being replaced.
    ok = rtl::FlushFileSystem(temp);
    for (int i = 0; ok && i < FileList.Count(); ++i) {
      const std::string& entry = FileList[i];
      std::string candidate = JoinPath(outputs.FolderOf(entry), ExtractFileName(entry));
      if (rtl::FileExists(candidate) && !rtl::MoveFileOver(candidate, entry, true)) failed = true;
    }
    if (failed) ok = false;
  }
  if (!ok) {
    // A backup may be a second name of its original; where the original was not replaced, it
    // becomes a copy of its own, so that later edits of the original leave it alone.
    for (int i = 0; i < BackupList.Count(); ++i) {
      const std::string original = BackupList.Names(i);
      const std::string backup = BackupList.ValueFromIndex(i);
      if (rtl::SameFile(original, backup)) rtl::CopyFile(original, backup);
    }
  }
  return ok;
}

bool TComponentReplacer::Restore(const std::string& undoFile) {
  TFinally emptyList([this] { FileList.Clear(); });
  FileList.LoadFromFile(undoFile);
  for (int i = 0; i < FileList.Count(); ++i) {
    if (!rtl::FileExists(FileList.Values(FileList.Names(i)))) return false;
  }
  int copied = 0;
  for (int i = 0; i < FileList.Count(); ++i) {
    std::string original = FileList.Names(i);
    if (!rtl::CopyFile(FileList.Values(original), original)) return false;
    ++copied;
  }
  return copied > 0;
}

}  // namespace migwiz
