// Backups of a run, putting its work files in place of the originals, and putting the originals
// back from an undo file: every original is replaced (or restored), or none.
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "MigWizard/FileSwap.h"
#include "MigWizard/FileUtils.h"
#include "MigWizard/ROvoradRes.h"
#include "MigWizard/Replacer.h"
#include "MigWizard/RunState.h"
#include "MigWizard/WorkPool.h"
#include "rtl/FileIO.h"
#include "rtl/SysUtils.h"
#include "zel/ZelWait.h"

namespace migwiz {

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

void TComponentReplacer::CommitBackups(TRunState& run) {
  if (!Options->MakeBackup) return;
  struct TLink {
    int index;
    std::string backup;
  };
  std::vector<TLink> links;
  for (int i = 0; i < FileList.Count(); ++i) {
    TFileState& f = run.At(i);
    if (!f.Changed || f.Skipped) continue;
    const std::string& entry = FileList[i];
    if (run.KeptFromEarlierRun(rtl::UpperCase(entry))) continue;
    std::string backup;
    if (FolderMode()) {
      run.MakeBackupFolder(JoinPath(Options->BackupDir, f.RelFolder));
      backup = BackupFileName(JoinPath(Options->BackupDir, f.Rel));
    } else {
      std::string name = ExtractFileName(BackupFileName(entry));
      backup = JoinPath(run.backups.FolderFor(entry, name), name);
    }
    // Never over a copy an earlier run keeps for another original.
    for (int n = 1; run.earlierBackups.count(rtl::UpperCase(backup)); ++n) {
      const std::string folder = JoinPath(ExtractFileDir(backup), "~" + std::to_string(n));
      run.MakeBackupFolder(folder);
      backup = JoinPath(folder, ExtractFileName(backup));
    }
    links.push_back({i, std::move(backup)});
  }
  // The copies are made on the pool. The original is replaced only later, so a copy that cannot
  // be made ends the run now, while every original is still as it was; the copy named is the
  // first in the run's order that failed.
  std::vector<char> madeNew(links.size(), 0);
  std::string reason;
  constexpr size_t kLinksForThePool = 128;
  const size_t failed = FirstFailure(
      links.size(),
      [&](size_t k) {
        bool fresh = false;
        const bool ok = rtl::LinkOrCopyFile(FileList[links[k].index], links[k].backup, &fresh);
        madeNew[k] = fresh;
        if (!ok) reason = rtl::LastFileError();
        return ok;
      },
      run.pool, kLinksForThePool);
  // What was made is noted even when one failed, so the clean-up finds it.
  for (size_t k = 0; k < links.size(); ++k) {
    if (k == failed) continue;
    TFileState& f = run.At(links[k].index);
    f.Backup = links[k].backup;
    f.BackupMadeNew = madeNew[k];
  }
  if (failed < links.size())
    throw rtl::EFCreateError(rtl::Format(
        res::sBackupCopyFailed, {links[failed].backup, FileList[links[failed].index], reason}));
  for (size_t k = 0; k < links.size(); ++k) {
    const std::string& entry = FileList[links[k].index];
    const std::string& backup = links[k].backup;
    // As BackupList.SetValue, without searching the whole list for every file.
    const std::string key = rtl::UpperCase(entry);
    const std::string line = entry + "=" + backup;
    auto known = run.backupIndex.find(key);
    if (known == run.backupIndex.end()) {
      run.backupIndex.emplace(key, BackupList.Count());
      BackupList.Add(line);
    } else {
      BackupList.SetString(known->second, line);
    }
  }
}

void TComponentReplacer::UndoBackups(TRunState& run, const std::string& undoFile,
                                     const std::optional<std::string>& earlierUndo) {
  if (!undoFile.empty()) {
    try {
      if (earlierUndo)
        rtl::WriteFileAtomic(undoFile, *earlierUndo);
      else
        rtl::RemoveFile(undoFile);
    } catch (const rtl::Exception& e) {
      Log.WriteLine(e.what());
    }
  }
  for (int i = 0; i < FileList.Count(); ++i) {
    TFileState& f = run.At(i);
    if (f.Backup.empty()) continue;
    // A backup that took the place of an older file stays, as a copy of its own: the original
    // must not be a second name of it.
    if (f.BackupMadeNew)
      rtl::RemoveFile(f.Backup);
    else if (rtl::SameFile(FileList[i], f.Backup))
      rtl::CopyFile(FileList[i], f.Backup);
    f.Backup.clear();
  }
}

std::vector<TFileSwap> TComponentReplacer::PlannedSwaps(TRunState& run) {
  std::vector<TFileSwap> swaps;
  // A file named twice has one work file, put in place once.
  std::set<std::string> outputs;
  for (int i = 0; i < FileList.Count(); ++i) {
    const TFileState& f = run.At(i);
    if (f.Changed && !f.Skipped && outputs.insert(f.Output).second)
      swaps.push_back({f.Output, FileList[i], f.Backup});
  }
  return swaps;
}

void TComponentReplacer::ReplaceOriginals(TRunState& run) {
  if (ChangedCount > 0) Log.WriteLine(res::sReplacingOriginals);
  // The outputs reach the disk in one flush before the first original is replaced.
  if (!rtl::FlushFileSystem(run.temp))
    throw ECannotReplace(rtl::Format(res::sCannotFlush, {run.temp, rtl::LastFileError()}));
  SwapAllOrNone(PlannedSwaps(run), TSwapMode::Move, run.pool);
}

bool TComponentReplacer::Restore(const std::string& undoFile, std::string* error) {
  auto fail = [error](std::string why) {
    if (error) *error = std::move(why);
    return false;
  };
  if (error) error->clear();
  zel::TWaitCursor wait;
  rtl::TFileLock lock;
  LockRunFolder(lock, ExtractFileDir(undoFile));
  TFinally emptyList([this] { FileList.Clear(); });
  FileList.LoadFromFile(undoFile);
  for (int i = 0; i < FileList.Count(); ++i) {
    const std::string backup = FileList.ValueFromIndex(i);
    if (!rtl::FileExists(backup)) return fail(rtl::Format(res::sBackupMissing, {backup}));
  }
  const size_t count = static_cast<size_t>(FileList.Count());
  if (count == 0) return fail(rtl::Format(res::sUndoFileEmpty, {undoFile}));
  std::vector<TFileSwap> swaps;  // each backup copied over its original
  swaps.reserve(count);
  for (int i = 0; i < FileList.Count(); ++i)
    swaps.push_back({FileList.ValueFromIndex(i), FileList.Names(i), {}});
  // Every original is restored, or none.
  constexpr size_t kCopiesForThePool = 128;
  std::unique_ptr<TWorkPool> pool;
  if (const int threads = RunThreadCount(Options->Threads);
      threads > 1 && count >= kCopiesForThePool)
    pool = std::make_unique<TWorkPool>(threads);
  try {
    CheckReplaceable(swaps, pool.get());
    SwapAllOrNone(swaps, TSwapMode::Copy, pool.get());
  } catch (const ECannotReplace& e) {
    return fail(e.what());
  }
  return true;
}

}  // namespace migwiz
