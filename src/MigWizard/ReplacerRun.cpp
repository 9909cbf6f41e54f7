// The replace run and the restore from an undo file.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <filesystem>
#include <future>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "MigWizard/FileSniff.h"
#include "MigWizard/FileSwap.h"
#include "MigWizard/FileUtils.h"
#include "MigWizard/IDEUtils.h"
#include "MigWizard/OutputWriter.h"
#include "MigWizard/ROvoradRes.h"
#include "MigWizard/Replacer.h"
#include "MigWizard/RunState.h"
#include "MigWizard/UnifiedDiff.h"
#include "MigWizard/WorkPool.h"
#include "rtl/Shell.h"
#include "rtl/SysUtils.h"
#include "zel/ZelWait.h"

namespace migwiz {

namespace {

bool HasExtension(std::string_view path, std::string_view upperExt) {
  return path.size() >= upperExt.size() &&
         rtl::UpperCase(path.substr(path.size() - upperExt.size())) == upperExt;
}

}  // namespace

bool IsUnit(std::string_view path) {
  return HasExtension(path, ".PAS") || HasExtension(path, ".DPR");
}

void TComponentReplacer::ScanFolder(const std::string& folder, bool includeSubDirs) {
  // In byte order, so the file list is the same on every run. A link to a folder is no folder
  // here: not followed; named like a unit it is listed and its read fails, naming it.
  std::vector<TFolderEntry> entries;
  ListFolder(folder, entries);
  for (const TFolderEntry& e : entries) {
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
  // Full paths are the modules already; only bare names are looked up among them.
  bool bareNames = false;
  for (int i = 0; i < FileList.Count() && !bareNames; ++i) bareNames = !HasDrivePart(FileList[i]);
  if (!bareNames) return;
  int count = TIDEUtils::GetProjectModuleCount();
  for (int i = 0; i < count; ++i) {
    std::string name = TIDEUtils::GetProjectModuleFileName(i);
    if (name.empty() || !HasExtension(name, ".PAS")) continue;
    int index = FileList.IndexOf(ExtractFileName(name));
    if (index >= 0) FileList.SetString(index, name);
  }
}

void TComponentReplacer::PrepareChecks(TRunState& run) {
  const bool reviewing = !revisionRules_.OldClasses.empty() || !revisionRules_.Api.empty();
  if (reviewing) run.revisions.Build(table_, rules_, revisionRules_, UsesUnit);
  std::vector<std::string> formWords, unitWords;
  for (int i = 0; i < SourceClasses.Count(); ++i)
    formWords.push_back(rtl::UpperCase(SourceClasses[i]));
  unitWords = formWords;
  unitWords.push_back(UsesUnit);
  for (const std::string& unit : rulesUses_) unitWords.push_back(unit);
  unitWords.push_back("$R");  // a resource directive names the unit's form
  if (reviewing) {
    // A form that names a database is read for the objects left on the old library.
    for (const std::string& p : revisionRules_.LeftProperties)
      formWords.push_back(rtl::UpperCase(p));
    // A unit is read for what is left when it is read at all; one that names none of the above
    // may still reach another unit's objects (DM.Query1.RequestLive) or the API's unit. Those
    // words are looked for too, as far as they keep the search on its fast path: starting with
    // the letters searched for already, or with a few frequent ones.
    std::string firsts = "RSPB";
    for (const std::string& w : unitWords)
      if (!w.empty()) firsts += w[0];
    size_t prefixes = 0;
    for (const std::string& w : run.revisions.CodeWords(prefixes))
      if (!w.empty() && firsts.find(w[0]) != std::string::npos) unitWords.push_back(w);
    run.checks.Revisions = &run.revisions;
  }
  run.checks.FormWords = TWordSearch(formWords);
  run.checks.UnitWords = TWordSearch(unitWords);
  run.checks.DatabaseWords = DatabaseWords();
}

void TComponentReplacer::ProcessFile(const std::string& path, const std::string& destFolder,
                                     TFileWork& work) {
  work.Lines.push_back(rtl::Format(res::sProcessingFile, {path}));
  std::string bytes;
  {
    rtl::TFileStream file(path, rtl::TFileStream::Mode::OpenRead);
    bytes = file.ReadRest();
  }
  const std::string output = JoinPath(destFolder, ExtractFileName(path));
  // Work only where there is work: a file whose bytes name no old class (nor, for a unit, the
  // BDE unit or a resource directive) comes out as it went in, so it is not parsed. UTF-16 text
  // holds its words in other bytes and is always parsed.
  const TFileSniff sniff = SniffBytes(bytes);
  const bool utf16 = sniff.Utf16Le;
  auto unchanged = [&](bool form, const char* format) {
    work.Lines.push_back(ChangeCountText(0));
    if (TFileReport* report = work.ReportOrNull()) {
      report->Form = form;
      report->Format = format;
      report->Changes = 0;
    }
  };
  const TRunChecks* checks = work.Checks;
  if (IsUnit(path)) {
    if (checks && !utf16 && !checks->UnitWords.FoundIn(bytes))
      return unchanged(false, sniff.Utf8 ? "utf8" : "8bit");
    TSourceText source = ReadSourceText(std::move(bytes), path);
    ProcessUnit(source.Text, path, source.Encoding, output, work);
    return;
  }
  const bool binary = sniff.BinaryForm;
  const bool hasWords = !checks || utf16 || checks->FormWords.FoundIn(bytes);
  // A text form is only checked for the zero byte reading it would reject; a binary form is
  // still read, which checks its stream.
  if (!hasWords && !binary && bytes.find('\0') == std::string::npos) return unchanged(true, "text");
  TFormSource form = ReadForm(std::move(bytes), path);
  if (!hasWords) return unchanged(true, "binary");
  ProcessForm(form.Text, output, form.Encoding, form.Binary, form.RCData, path, work);
}

std::string TComponentReplacer::LogFolder() const {
  return FolderMode() ? Options->Directory : ExtractFileDir(TIDEUtils::GetProjectFileName());
}

void LockRunFolder(rtl::TFileLock& lock, const std::string& folder) {
  if (lock.TryLock(JoinPath(folder, res::sLockFileName)) == rtl::TFileLock::Result::Busy)
    throw rtl::EInOutError(rtl::Format(res::sAnotherRun, {folder}));
}

bool TComponentReplacer::Execute(const TRunRequest& request, TRunResult* result) {
  BackupList.Clear();
  ChangedCount = 0;
  TRunResult found;
  TFinally handOver([&] {
    if (result) *result = std::move(found);
  });
  const bool dry = Options->DryRun;
  // A dry run leaves the folder as it is, also when it cannot be written to.
  rtl::TFileLock folderLock;
  if (!dry) LockRunFolder(folderLock, LogFolder());
  if (Options->WriteLog && !dry) Log.Open(JoinPath(LogFolder(), res::sLogFileName));
  CancelRequested = false;
  bool ok;
  {
    TFinally closeLog([this] { Log.Close(); });
    zel::TWaitCursor wait;
    try {
      ok = RunSteps(request, found);
    } catch (const std::exception& e) {
      // The log says how the run ended before it closes.
      Log.WriteLine(e.what());
      throw;
    }
  }
  folderLock.Release();
  // The log opens in the IDE's editor, or with the desktop's viewer where there is no IDE.
  if (Options->WriteLog && Options->ViewLog && !dry) {
    const std::string log = JoinPath(LogFolder(), res::sLogFileName);
    if (!TIDEUtils::OpenFile(log)) rtl::ShellOpen(log);
  }
  return ok;
}

bool TComponentReplacer::RunSteps(const TRunRequest& request, TRunResult& result) {
  const TRunDiffs& diffs = request.Diffs;
  Log.WriteLine(res::sInitializingUnitList);
  if (!rules_.File.empty()) Log.WriteLine(rtl::Format(res::sRulesFileLine, {rules_.File}));
  for (const std::string& note : request.LogNotes) Log.WriteLine(note);
  TFinally emptyList([this] { FileList.Clear(); });
  BuildFileList();

  // A run that fails takes away the backup folders it made (once its lock there is released);
  // a folder that was there before stays.
  std::vector<std::string> madeBackupFolders;  // outermost of each path made, in order
  bool succeeded = false;
  TFinally removeMadeBackups([&] {
    if (succeeded) return;
    for (auto it = madeBackupFolders.rbegin(); it != madeBackupFolders.rend(); ++it)
      RemoveEmptyDirTree(*it);
  });
  rtl::TFileLock backupLock;
  const std::string undoFile = JoinPath(Options->BackupDir, res::sUndoFileName);
  rtl::TStringList earlierUndo;
  std::optional<std::string> earlierUndoBytes;  // put back when the run fails after writing it
  const bool dry = Options->DryRun;
  if (Options->MakeBackup && !dry) {
    Log.WriteLine(res::sCreatingBackupFolder);
    if (std::string missing = OutermostMissingFolder(Options->BackupDir); !missing.empty())
      madeBackupFolders.push_back(std::move(missing));
    if (std::string reason; !CreateDirPath(Options->BackupDir, &reason))
      throw rtl::EFCreateError(std::string(res::sFailedToCreateDir) + "\n" + Options->BackupDir +
                               ": " + reason);
    if (!rtl::SameFile(Options->BackupDir, LogFolder()))
      LockRunFolder(backupLock, Options->BackupDir);
    if (rtl::FileExists(undoFile)) {
      earlierUndoBytes = rtl::ReadFileBytes(undoFile);
      earlierUndo.SetText(*earlierUndoBytes);
    }
  }

  Log.WriteLine(res::sAllocatingTempFolder);
  const std::string temp = CreateTempDir(res::sTempPrefix, 1);
  // Without a work folder the outputs would land in, and the clean-up would empty, the current
  // folder: stop before the first file is read.
  if (temp.empty()) {
    std::string where = TempFolder();
    if (where.size() > 1) where.pop_back();  // the separator at its end
    throw rtl::EFCreateError(std::string(res::sFailedToCreateDir) + "\n" + where);
  }
  TFinally removeTemp([&temp] { DeleteDirTree(temp); });

  TRunState run(temp, Options->BackupDir);
  run.result = &result;
  run.createdFolders = &madeBackupFolders;
  run.folderRoot = JoinPath(Options->Directory, "");
  run.scanAliases = !FolderMode() || Options->ScanAliases;
  run.unitCount = FileList.Count();
  for (int i = 0; i < earlierUndo.Count(); ++i) {
    const std::string& line = earlierUndo[i];
    BackupList.Add(line);
    run.backupIndex.emplace(rtl::UpperCase(earlierUndo.Names(i)), i);
    run.earlierBackups.insert(rtl::UpperCase(earlierUndo.ValueFromIndex(i)));
  }
  run.earlierLines = earlierUndo.Count();
  DatabaseAliases.Clear();
  PrepareChecks(run);
  run.checks.KeepDetail = request.KeepReportDetail;
  // Destroyed before the work folder is removed, so no write lands in a folder being emptied.
  TOutputWriter writer;
  run.writer = &writer;
  // Files convert on several threads, each with a form parser of its own; the pool goes before
  // the writer, so no conversion outlives the run.
  std::unique_ptr<TWorkPool> pool;
  if (const int threads = RunThreadCount(Options->Threads); threads > 1) {
    for (int k = 0; k < threads; ++k) {
      run.parsers.push_back(formParserClass_());
      run.parsers.back()->OnDatabaseName = FormParser->OnDatabaseName;
      run.parsers.back()->ClassRoles = FormParser->ClassRoles;
    }
    pool = std::make_unique<TWorkPool>(threads);
    run.pool = pool.get();
  }

  ProcessUnits(run);
  RewriteForms(run);
  if (OnProgress) OnProgress(FileList.Count(), FileList.Count(), std::string());

  // Every work file is complete before anything refers to it; those of skipped files go.
  writer.Drain();
  run.writer = nullptr;
  for (const TFileState& f : run.files)
    if (f.Skipped && f.Changed) rtl::RemoveFile(f.Output);
  if (diffs.OnDiff) EmitDiffs(run, diffs);
  BuildReport(run, result);
  if (dry) return true;
  // The last moment a cancel is honoured: from here the backups, the undo file and the
  // replacing must not be left half done.
  if (CancelRequested) throw EReplaceCancelled();
  if (OnReplacing) OnReplacing();
  // Every original is replaced, or none: nothing is backed up before each can be, and a failure
  // later puts back what was done.
  CheckReplaceable(PlannedSwaps(run), run.pool);
  bool undoWritten = false;
  try {
    CommitBackups(run);
    // The undo file exists before the first original is replaced, so an interrupted replacement
    // can still be restored.
    if (Options->MakeBackup) {
      rtl::WriteFileAtomic(undoFile, BackupList.Text());
      undoWritten = true;
    }
    ReplaceOriginals(run);
  } catch (...) {
    UndoBackups(run, undoWritten ? undoFile : std::string(), earlierUndoBytes);
    throw;
  }
  for (int i = 0; i < FileList.Count(); ++i) {
    const TFileState& f = run.At(i);
    if (!f.Changed || f.Skipped) continue;
    if (i < run.unitCount)
      result.ChangedUnits.push_back(FileList[i]);
    else
      for (int unit : f.Partners) result.ChangedUnits.push_back(FileList[unit]);
  }
  if (diffs.OnDiff && diffs.OnDeferredDiff) EmitDeferredDiffs(run, diffs);
  if (Options->MakeBackup) Log.WriteLine(rtl::Format(res::sBackupFile, {undoFile}));
  Log.WriteLine(res::sRemovingTempFolder);
  DeleteDirTree(temp);
  FileList.Clear();
  Log.WriteLine(res::sReplaceSucceeded);
  succeeded = true;
  return true;
}

std::string TComponentReplacer::PrepareEntry(TRunState& run, int i) {
  const std::string& entry = FileList[i];
  TFileState& f = run.At(i);
  if (!FolderMode()) return run.outputs.FolderFor(entry, ExtractFileName(entry));
  f.Rel = entry.compare(0, run.folderRoot.size(), run.folderRoot) == 0
              ? entry.substr(run.folderRoot.size())
              : ExtractFileName(entry);
  f.RelFolder = ExtractFilePath(f.Rel);
  std::string dest = JoinPath(run.temp, f.RelFolder);
  run.MakeFolder(dest);
  return dest;
}

// Runs on any thread: reads and converts one file, the run's state untouched.
void TComponentReplacer::Convert(const std::string& entry, const std::string& dest,
                                 TFileWork& work) {
  try {
    ProcessFile(entry, dest, work);
  } catch (...) {
    work.Error = std::current_exception();
  }
}

bool TComponentReplacer::Commit(TRunState& run, int i, const std::string& dest, TFileWork& work) {
  if (OnProgress) OnProgress(run.processed, FileList.Count(), FileList[i]);
  if (CancelRequested) throw EReplaceCancelled();
  Log.WriteLines(work.Lines);
  const int listBefore = FileList.Count();
  for (const std::string& form : work.Forms) FileList.Add(form);
  // The forms a unit names go with it, also when it cannot be converted.
  for (int k = listBefore; k < FileList.Count(); ++k) {
    run.At(k).Partners.push_back(i);
    run.At(i).Partners.push_back(k);
  }
  if (work.Error) {
    try {
      std::rethrow_exception(work.Error);
    } catch (const rtl::EAssertionFailed&) {
      throw;
    } catch (const EReplaceCancelled&) {
      throw;
    } catch (const std::exception& e) {
      if (!Options->KeepGoing) throw;
      SkipGroup(run, i, e.what());
      return false;
    }
  }
  TFileState& f = run.At(i);
  f.Report = std::move(work.Report);
  f.Processed = true;
  f.Changed = work.Changed;
  if (work.Changed) {
    // A work file that cannot be written is the run's trouble, not this file's: it ends the run.
    run.writer->Write(work.OutputPath, std::move(work.Output));
    ++ChangedCount;
    f.Output = JoinPath(dest, ExtractFileName(FileList[i]));
  }
  ++run.processed;
  return true;
}

bool TComponentReplacer::ConvertInOrder(
    TRunState& run, const std::vector<int>& entries,
    const std::function<bool(int, const std::string&, TFileWork&)>& commit) {
  auto workFor = [&run](TFormParser* parser) {
    TFileWork work;
    work.Reported = true;
    work.Parser = parser;
    work.Checks = &run.checks;
    return work;
  };
  if (!run.pool) {
    for (int i : entries) {
      if (run.At(i).Skipped) continue;
      const std::string dest = PrepareEntry(run, i);
      TFileWork work = workFor(FormParser.get());
      Convert(FileList[i], dest, work);
      if (!commit(i, dest, work)) return false;
    }
    return true;
  }
  // A few files in flight per thread keep the threads busy; memory stays bounded by the files
  // in flight.
  struct TSlot {
    int index;
    std::string dest;
    TFileWork work;
    std::future<void> done;
  };
  const size_t window = static_cast<size_t>(run.pool->Threads()) * 3;
  std::deque<TSlot> slots;
  size_t next = 0;
  auto dispatch = [&] {
    while (slots.size() < window && next < entries.size()) {
      const int i = entries[next++];
      if (run.At(i).Skipped) continue;
      slots.push_back({i, PrepareEntry(run, i), workFor(nullptr), {}});
      TSlot& slot = slots.back();
      slot.done = run.pool->Submit([this, &run, &slot, entry = FileList[i]](int worker) {
        slot.work.Parser = run.parsers[static_cast<size_t>(worker)].get();
        Convert(entry, slot.dest, slot.work);
      });
    }
  };
  // Whatever way this ends, no thread may still be working on a slot.
  TFinally wait([&slots] {
    for (TSlot& slot : slots)
      if (slot.done.valid()) slot.done.wait();
  });
  dispatch();
  while (!slots.empty()) {
    TSlot& slot = slots.front();
    // Woken for a few files rather than for each: when the first is not done, this thread waits
    // for a later one of the first half, and the threads go on with the other half meanwhile.
    if (slot.done.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
      slots[std::min(slots.size(), window / 2) - 1].done.wait();
    slot.done.get();
    // Skipped with a partner since it was handed out.
    if (run.At(slot.index).Skipped) {
      slots.pop_front();
      dispatch();
      continue;
    }
    // Skipping a file may change what the others are converted with (the aliases): nothing may
    // be in flight then.
    if (slot.work.Error)
      for (TSlot& other : slots)
        if (other.done.valid()) other.done.wait();
    if (!commit(slot.index, slot.dest, slot.work)) return false;
    slots.pop_front();
    dispatch();
  }
  return true;
}

void TComponentReplacer::ProcessUnits(TRunState& run) {
  std::vector<int> units;
  for (int i = 0; i < run.unitCount; ++i) units.push_back(i);
  ConvertInOrder(run, units, [&](int i, const std::string& dest, TFileWork& work) {
    Commit(run, i, dest, work);
    return true;
  });
}

void TComponentReplacer::RewriteForms(TRunState& run) {
  const int count = FileList.Count();
  if (run.scanAliases) {
    // The forms are read on the pool; what they define is taken in the file list's order.
    struct TRead {
      std::vector<TAliasDefinition> definitions;
      std::exception_ptr error;
    };
    std::vector<TRead> reads(static_cast<size_t>(std::max(0, count - run.unitCount)));
    auto read = [&](size_t from, size_t to) {
      for (size_t k = from; k < to; ++k) {
        try {
          reads[k].definitions = ReadAliasDefinitions(FileList[run.unitCount + static_cast<int>(k)],
                                                      run.checks.DatabaseWords);
        } catch (...) {
          reads[k].error = std::current_exception();
        }
      }
    };
    if (run.pool)
      run.pool->ForEachRange(reads.size(), read);
    else
      read(0, reads.size());
    for (int i = run.unitCount; i < count; ++i) {
      if (run.At(i).Skipped) continue;
      TRead& r = reads[static_cast<size_t>(i - run.unitCount)];
      if (r.error) {
        try {
          std::rethrow_exception(r.error);
        } catch (const rtl::EAssertionFailed&) {
          throw;
        } catch (const std::exception& e) {
          if (!Options->KeepGoing) throw;
          SkipGroup(run, i, e.what());
          continue;
        }
      }
      const std::string before = Options->KeepGoing ? DatabaseAliases.Text() : std::string();
      AddAliases(r.definitions);
      run.At(i).Scanned = true;
      run.At(i).GaveAliases = Options->KeepGoing && DatabaseAliases.Text() != before;
    }
  }
  while (true) {
    std::vector<int> forms;
    for (int i = run.unitCount; i < count; ++i) forms.push_back(i);
    int restartAt = -1;
    const bool whole =
        ConvertInOrder(run, forms, [&](int i, const std::string& dest, TFileWork& work) {
          // Only a run that may skip files needs to see whether a skip took aliases with it.
          const std::string aliases = Options->KeepGoing ? DatabaseAliases.Text() : std::string();
          if (Commit(run, i, dest, work) || DatabaseAliases.Text() == aliases) return true;
          restartAt = i;
          return false;
        });
    if (whole) return;
    // A skipped form took aliases with it that forms before it were rewritten with: they are
    // rewritten again without them.
    run.writer->Drain();
    for (int k = run.unitCount; k < restartAt; ++k) {
      TFileState& f = run.At(k);
      if (!f.Processed || f.Skipped) continue;
      if (f.Changed) {
        rtl::RemoveFile(f.Output);
        --ChangedCount;
      }
      --run.processed;
      f.Processed = f.Changed = false;
    }
  }
}

void TComponentReplacer::SkipGroup(TRunState& run, int index, const std::string& reason) {
  const std::string failed = FileList[index];
  std::vector<int> pending{index};
  bool aliasesGone = false;
  while (!pending.empty()) {
    const int j = pending.back();
    pending.pop_back();
    TFileState& f = run.At(j);
    if (f.Skipped) continue;
    f.Skipped = true;
    if (f.Processed && f.Changed) --ChangedCount;
    aliasesGone = aliasesGone || f.GaveAliases;
    const std::string why = j == index ? reason : rtl::Format(res::sGoesWith, {failed});
    run.result->Skipped.push_back({FileList[j], why});
    Log.WriteLine(rtl::Format(res::sSkippedFile, {FileList[j], why}));
    pending.insert(pending.end(), f.Partners.begin(), f.Partners.end());
    // The same file named twice is skipped as a whole.
    for (int k = 0; k < FileList.Count(); ++k)
      if (k != j && rtl::SameText(FileList[k], FileList[j])) pending.push_back(k);
  }
  if (!aliasesGone) return;
  // The aliases are read again from the forms that stay.
  DatabaseAliases.Clear();
  for (int k = run.unitCount; k < FileList.Count(); ++k) {
    TFileState& f = run.At(k);
    if (f.Scanned && !f.Skipped)
      AddAliases(ReadAliasDefinitions(FileList[k], run.checks.DatabaseWords));
  }
}

EReplaceCancelled::EReplaceCancelled() : rtl::Exception(res::sReplaceCancelled) {}

}  // namespace migwiz
