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

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "MigWizard/FileSwap.h"
#include "MigWizard/FileUtils.h"
#include "MigWizard/IDEUtils.h"
#include "MigWizard/OutputWriter.h"
#include "MigWizard/ROvoradRes.h"
#include "MigWizard/Replacer.h"
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

namespace {

bool StartsWith(std::string_view bytes, std::string_view mark) {
  return bytes.substr(0, mark.size()) == mark;
}

unsigned char UpperAscii(unsigned char c) {
  return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

unsigned char LowerAscii(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

}  // namespace

void TComponentReplacer::TWordSearch::Prepare() {
  pairs_.fill(0);
  pairBucket_.assign(256 * 256, 0);
  buckets_.clear();
  firsts_.clear();
  anyEmpty_ = false;
  auto add = [this](unsigned c0, unsigned c1, int word) {
    const unsigned pair = c0 * 256u + c1;
    pairs_[pair / 64] |= std::uint64_t{1} << (pair % 64);
    if (pairBucket_[pair] == 0) {
      buckets_.emplace_back();
      pairBucket_[pair] = static_cast<std::uint16_t>(buckets_.size());
    }
    std::vector<int>& bucket = buckets_[pairBucket_[pair] - 1u];
    if (bucket.empty() || bucket.back() != word) bucket.push_back(word);
  };
  for (size_t k = 0; k < Words.size(); ++k) {
    const std::string& w = Words[k];
    if (w.empty()) {
      anyEmpty_ = true;  // every text holds it
      continue;
    }
    const auto word = static_cast<int>(k);
    const auto c0 = static_cast<unsigned char>(w[0]);
    for (unsigned char x : {UpperAscii(c0), LowerAscii(c0)})
      if (std::find(firsts_.begin(), firsts_.end(), x) == firsts_.end()) firsts_.push_back(x);
    for (unsigned char x : {UpperAscii(c0), LowerAscii(c0)}) {
      if (w.size() < 2) {  // every pair starting with its letter
        for (unsigned d = 0; d < 256; ++d) add(x, d, word);
        continue;
      }
      const auto c1 = static_cast<unsigned char>(w[1]);
      for (unsigned char y : {UpperAscii(c1), LowerAscii(c1)}) add(x, y, word);
    }
  }
}

// Compared without regard to letter case; a pair of bytes no word starts with is passed at once,
// and at a pair only the words starting with it are compared.
bool TComponentReplacer::TWordSearch::WordAt(const unsigned char* p, size_t i, size_t n) const {
  const unsigned pair = p[i] * 256u + (i + 1 < n ? p[i + 1] : 0u);
  if (!((pairs_[pair / 64] >> (pair % 64)) & 1)) return false;
  for (int k : buckets_[pairBucket_[pair] - 1u]) {
    const std::string& w = Words[static_cast<size_t>(k)];
    if (w.size() > n - i) continue;
    size_t j = 1;
    while (j < w.size() && UpperAscii(p[i + j]) == static_cast<unsigned char>(w[j])) ++j;
    if (j == w.size()) return true;
  }
  return false;
}

bool TComponentReplacer::TWordSearch::FoundIn(std::string_view bytes) const {
  if (anyEmpty_) return true;
  if (pairBucket_.empty()) return false;
  const auto* const p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = 0;
#if defined(__SSE2__)
  // Sixteen bytes at a time are compared with every byte a word may start with; only where one
  // of them stands is the pair looked at.
  if (firsts_.size() <= kMaxVectorFirsts) {
    __m128i wanted[kMaxVectorFirsts];
    for (size_t f = 0; f < firsts_.size(); ++f)
      wanted[f] = _mm_set1_epi8(static_cast<char>(firsts_[f]));
    for (; i + 16 <= n; i += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      __m128i hits = _mm_setzero_si128();
      for (size_t f = 0; f < firsts_.size(); ++f)
        hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, wanted[f]));
      for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0;
           mask &= mask - 1)
        if (WordAt(p, i + static_cast<size_t>(__builtin_ctz(mask)), n)) return true;
    }
  }
#endif
  for (; i < n; ++i)
    if (WordAt(p, i, n)) return true;
  return false;
}

void TComponentReplacer::PrepareQuickChecks() {
  reviewing_ = !Revisions.OldClasses.empty() || !Revisions.Api.empty();
  if (reviewing_) revisionIndex_.Build(table_, rules_, Revisions, UsesUnit);
  formWords_.Words.clear();
  for (int i = 0; i < SourceClasses.Count(); ++i)
    formWords_.Words.push_back(rtl::UpperCase(SourceClasses[i]));
  unitWords_.Words = formWords_.Words;
  unitWords_.Words.push_back(UsesUnit);
  for (const std::string& unit : rulesUses_) unitWords_.Words.push_back(unit);
  unitWords_.Words.push_back("$R");  // a resource directive names the unit's form
  if (reviewing_) {
    // A form that names a database is read for the objects left on the old library.
    for (const std::string& p : Revisions.LeftProperties)
      formWords_.Words.push_back(rtl::UpperCase(p));
    // A unit is read for what is left when it is read at all; one that names none of the above
    // may still reach another unit's objects (DM.Query1.RequestLive) or the API's unit. Those
    // words are looked for too, as far as they keep the search on its fast path: starting with
    // the letters searched for already, or with a few frequent ones.
    std::string firsts = "RSPB";
    for (const std::string& w : unitWords_.Words)
      if (!w.empty()) firsts += w[0];
    size_t prefixes = 0;
    for (const std::string& w : revisionIndex_.CodeWords(prefixes))
      if (!w.empty() && firsts.find(w[0]) != std::string::npos) unitWords_.Words.push_back(w);
  }
  formWords_.Prepare();
  unitWords_.Prepare();
  quickChecks_ = true;
}

void TComponentReplacer::ProcessFile(const std::string& path, const std::string& destFolder) {
  NoteLine(rtl::Format(res::sProcessingFile, {path}));
  std::string bytes;
  {
    rtl::TFileStream file(path, rtl::TFileStream::Mode::OpenRead);
    bytes = file.ReadRest();
  }
  const std::string output = JoinPath(destFolder, ExtractFileName(path));
  // Work only where there is work: a file whose bytes name no old class (nor, for a unit, the
  // BDE unit or a resource directive) comes out as it went in, so it is not parsed. UTF-16 text
  // holds its words in other bytes and is always parsed.
  const bool utf16 = StartsWith(bytes, "\xFF\xFE");
  auto unchanged = [&](bool form, const char* format) {
    NoteLine(ChangeCountText(0));
    if (TFileReport* report = CurrentReport()) {
      report->Form = form;
      report->Format = format;
      report->Changes = 0;
    }
  };
  if (IsUnit(path)) {
    if (quickChecks_ && !utf16 && !unitWords_.FoundIn(bytes))
      return unchanged(false, StartsWith(bytes, "\xEF\xBB\xBF") ? "utf8" : "8bit");
    TSourceText source = ReadSourceText(std::move(bytes), path);
    ProcessUnit(source.Text, path, source.Encoding, output);
    return;
  }
  const bool binary = StartsWith(bytes, std::string_view("\xFF\x0A\x00", 3));
  const bool hasWords = !quickChecks_ || utf16 || formWords_.FoundIn(bytes);
  // A text form is only checked for the zero byte reading it would reject; a binary form is
  // still read, which checks its stream.
  if (!hasWords && !binary && bytes.find('\0') == std::string::npos) return unchanged(true, "text");
  TFormSource form = ReadForm(std::move(bytes), path);
  if (!hasWords) return unchanged(true, "binary");
  ProcessForm(form.Text, output, form.Encoding, form.Binary, form.RCData, path);
}

std::string TComponentReplacer::LogFolder() const {
  return FolderMode() ? Options->Directory : ExtractFileDir(TIDEUtils::GetProjectFileName());
}

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
  explicit TRunState(const std::string& tempFolder, const std::string& backupDir)
      : temp(tempFolder), outputs(tempFolder), backups(backupDir) {}
  bool folderMode = false;
  std::string temp, folderRoot;
  TRunFolders outputs, backups;
  int unitCount = 0;
  int processed = 0;  // files converted so far, for the progress
  bool scanAliases = false;
  std::vector<TFileState> files;
  // Folders made in this run: a folder of many files is made once, not asked for per file.
  std::set<std::string> madeFolders;
  // Lines of an undo file an earlier run left in the backup folder: their copies are the oldest
  // state of those originals and are kept.
  int earlierLines = 0;
  std::set<std::string> earlierBackups;              // upper-cased backup paths named there
  std::unordered_map<std::string, int> backupIndex;  // upper-cased original -> BackupList line

  void MakeFolder(const std::string& folder) {
    if (madeFolders.insert(folder).second) CreateDirPath(folder);
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

namespace {

// Holds the run's lock on a folder; another run holding it ends this one before it touches
// anything.
void LockFolder(rtl::TFileLock& lock, const std::string& folder) {
  if (lock.TryLock(JoinPath(folder, res::sLockFileName)) == rtl::TFileLock::Result::Busy)
    throw rtl::EInOutError(rtl::Format(res::sAnotherRun, {folder}));
}

}  // namespace

bool TComponentReplacer::Execute() {
  BackupList.Clear();
  ChangedCount = 0;
  Skipped.clear();
  ChangedUnits.clear();
  Report = TRunReport();
  const bool dry = Options->DryRun;
  // A dry run leaves the folder as it is, also when it cannot be written to.
  rtl::TFileLock folderLock;
  if (!dry) LockFolder(folderLock, LogFolder());
  if (Options->WriteLog && !dry) Log.Open(JoinPath(LogFolder(), res::sLogFileName));
  CancelRequested = false;
  bool result;
  {
    TFinally closeLog([this] { Log.Close(); });
    zel::TWaitCursor wait;
    try {
      result = RunSteps();
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
  return result;
}

bool TComponentReplacer::RunSteps() {
  Log.WriteLine(res::sInitializingUnitList);
  if (!rules_.File.empty()) Log.WriteLine(rtl::Format(res::sRulesFileLine, {rules_.File}));
  for (const std::string& note : LogNotes) Log.WriteLine(note);
  TFinally emptyList([this] { FileList.Clear(); });
  BuildFileList();

  rtl::TFileLock backupLock;
  const std::string undoFile = JoinPath(Options->BackupDir, res::sUndoFileName);
  rtl::TStringList earlierUndo;
  std::optional<std::string> earlierUndoBytes;  // put back when the run fails after writing it
  const bool dry = Options->DryRun;
  if (Options->MakeBackup && !dry) {
    Log.WriteLine(res::sCreatingBackupFolder);
    if (std::string reason; !CreateDirPath(Options->BackupDir, &reason))
      throw rtl::EFCreateError(std::string(res::sFailedToCreateDir) + "\n" + Options->BackupDir +
                               ": " + reason);
    if (!rtl::SameFile(Options->BackupDir, LogFolder())) LockFolder(backupLock, Options->BackupDir);
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

  // Destroyed before the work folder is removed, so no write lands in a folder being emptied.
  TOutputWriter writer;
  writer_ = &writer;
  writeFailed_ = false;
  TFinally noWriter([this] { writer_ = nullptr; });
  // Files convert on several threads, each with a form parser of its own; the pool goes before
  // the writer, so no conversion outlives the run.
  std::unique_ptr<TWorkPool> pool;
  if (const int threads = RunThreadCount(); threads > 1) {
    workerParsers_.clear();
    for (int k = 0; k < threads; ++k) {
      workerParsers_.push_back(formParserClass_());
      workerParsers_.back()->OnDatabaseName = FormParser->OnDatabaseName;
      workerParsers_.back()->ClassRoles = FormParser->ClassRoles;
    }
    pool = std::make_unique<TWorkPool>(threads);
    pool_ = pool.get();
  }
  TFinally noPool([this] { pool_ = nullptr; });

  DatabaseAliases.Clear();
  PrepareQuickChecks();
  TFinally noQuickChecks([this] { quickChecks_ = false; });
  TRunState run(temp, Options->BackupDir);
  run.folderMode = FolderMode();
  run.folderRoot = JoinPath(Options->Directory, "");
  run.scanAliases = !run.folderMode || Options->ScanAliases;
  run.unitCount = FileList.Count();
  for (int i = 0; i < earlierUndo.Count(); ++i) {
    const std::string& line = earlierUndo[i];
    BackupList.Add(line);
    run.backupIndex.emplace(rtl::UpperCase(earlierUndo.Names(i)), i);
    run.earlierBackups.insert(rtl::UpperCase(earlierUndo.ValueFromIndex(i)));
  }
  run.earlierLines = earlierUndo.Count();

  ProcessUnits(run);
  RewriteForms(run);
  if (OnProgress) OnProgress(FileList.Count(), FileList.Count(), std::string());

  // Every work file is complete before anything refers to it; those of skipped files go.
  writer.Drain();
  writer_ = nullptr;
  for (const TFileState& f : run.files)
    if (f.Skipped && f.Changed) rtl::RemoveFile(f.Output);
  if (OnDiff) EmitDiffs(run);
  BuildReport(run);
  if (dry) return true;
  // The last moment a cancel is honoured: from here the backups, the undo file and the
  // replacing must not be left half done.
  if (CancelRequested) throw EReplaceCancelled();
  if (OnReplacing) OnReplacing();
  // Every original is replaced, or none: nothing is backed up before each can be, and a failure
  // later puts back what was done.
  CheckReplaceable(PlannedSwaps(run), pool_);
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
      ChangedUnits.push_back(FileList[i]);
    else
      for (int unit : f.Partners) ChangedUnits.push_back(FileList[unit]);
  }
  if (OnDiff && OnDeferredDiff) EmitDeferredDiffs(run);
  if (Options->MakeBackup) Log.WriteLine(rtl::Format(res::sBackupFile, {undoFile}));
  Log.WriteLine(res::sRemovingTempFolder);
  DeleteDirTree(temp);
  FileList.Clear();
  Log.WriteLine(res::sReplaceSucceeded);
  return true;
}

thread_local TComponentReplacer::TFileWork* TComponentReplacer::work_ = nullptr;

void TComponentReplacer::NoteLine(const std::string& line) {
  if (work_)
    work_->Lines.push_back(line);
  else
    Log.WriteLine(line);
}

void TComponentReplacer::NoteForm(const std::string& form) {
  if (work_)
    work_->Forms.push_back(form);
  else
    FileList.Add(form);
}

void TComponentReplacer::NoteOutput(const std::string& path, std::string bytes) {
  if (work_) {
    work_->OutputPath = path;
    work_->Output = std::move(bytes);
    work_->Changed = true;
    return;
  }
  WriteOutput(path, std::move(bytes));
  ++ChangedCount;
}

std::string TComponentReplacer::PrepareEntry(TRunState& run, int i) {
  const std::string& entry = FileList[i];
  TFileState& f = run.At(i);
  if (!run.folderMode) return run.outputs.FolderFor(entry, ExtractFileName(entry));
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
  work_ = &work;
  TFinally done([] { work_ = nullptr; });
  try {
    ProcessFile(entry, dest);
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
    WriteOutput(work.OutputPath, std::move(work.Output));
    ++ChangedCount;
    f.Output = JoinPath(dest, ExtractFileName(FileList[i]));
  }
  ++run.processed;
  return true;
}

bool TComponentReplacer::ConvertInOrder(
    TRunState& run, const std::vector<int>& entries,
    const std::function<bool(int, const std::string&, TFileWork&)>& commit) {
  if (!pool_) {
    for (int i : entries) {
      if (run.At(i).Skipped) continue;
      const std::string dest = PrepareEntry(run, i);
      TFileWork work;
      work.Parser = FormParser.get();
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
  const size_t window = static_cast<size_t>(pool_->Threads()) * 3;
  std::deque<TSlot> slots;
  size_t next = 0;
  auto dispatch = [&] {
    while (slots.size() < window && next < entries.size()) {
      const int i = entries[next++];
      if (run.At(i).Skipped) continue;
      slots.push_back({i, PrepareEntry(run, i), TFileWork(), {}});
      TSlot& slot = slots.back();
      slot.done = pool_->Submit([this, &slot, entry = FileList[i]](int worker) {
        slot.work.Parser = workerParsers_[static_cast<size_t>(worker)].get();
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
          reads[k].definitions =
              ReadAliasDefinitions(FileList[run.unitCount + static_cast<int>(k)]);
        } catch (...) {
          reads[k].error = std::current_exception();
        }
      }
    };
    if (pool_)
      pool_->ForEachRange(reads.size(), read);
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
    writer_->Drain();
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
    Skipped.push_back({FileList[j], why});
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
    if (f.Scanned && !f.Skipped) ScanDatabaseAliases(FileList[k]);
  }
}

namespace {

// A path below base as a diff and a report name it, with "/" between its parts.
std::string RelativeTo(const std::string& path, const std::string& base) {
  namespace fs = std::filesystem;
  const fs::path relPath = rtl::FsPath(path).lexically_relative(rtl::FsPath(base));
  std::string rel = rtl::FsUtf8(relPath.generic_string<char8_t>());
  return rel.empty() ? path : rel;
}

// The text of a changed file the diff compares, and the note that says how it is shown.
std::string DiffText(const std::string& path, bool unit, std::string& note) {
  // Read once; only UTF-16 files and binary forms are decoded.
  std::string bytes = rtl::ReadFileBytes(path);
  const bool utf16 = bytes.size() > 1 && StartsWith(bytes, "\xFF\xFE");
  const bool binary = !unit && StartsWith(bytes, std::string_view("\xFF\x0A\x00", 3));
  if (!utf16 && !binary) return bytes;
  note = binary ? "# binary form, shown as text\n" : "# UTF-16 file, shown as UTF-8\n";
  rtl::TMemoryStream in(std::move(bytes));
  if (unit) return std::move(ReadSourceText(in, path).Text);
  return std::move(ReadForm(in, path).Text);
}

}  // namespace

std::string FileDiff(const std::string& original, const std::string& converted, bool unit,
                     const std::string& rel) {
  std::string note, sameNote;
  const std::string before = DiffText(original, unit, note);
  const std::string after = DiffText(converted, unit, sameNote);
  std::string section = note;
  AppendUnifiedDiff(before, after, "a/" + rel, "b/" + rel, section);
  if (section.size() == note.size()) section.clear();  // the same text
  return section;
}

void TComponentReplacer::BuildReport(TRunState& run) {
  Report.FolderMode = run.folderMode;
  Report.DryRun = Options->DryRun;
  Report.SourceName = Options->SourceName;
  const std::string base = run.folderMode ? Options->Directory : LogFolder();
  for (int i = 0; i < FileList.Count(); ++i) {
    TFileState& f = run.At(i);
    if (!f.Processed || f.Skipped) continue;
    TFileReport& r = f.Report;
    r.Path = FileList[i];
    r.Rel = RelativeTo(FileList[i], base);
    r.Changed = f.Changed;
    Report.Files.push_back(std::move(r));
  }
  for (const TSkippedFile& s : Skipped)
    Report.Skipped.push_back({RelativeTo(s.Path, base), s.Reason});
  if (reviewing_) {
    std::vector<TFileReport*> files;
    for (TFileReport& f : Report.Files) files.push_back(&f);
    SettleReferences(files, revisionIndex_, KeepReportDetail);
  }
}

void TComponentReplacer::EmitDiffs(TRunState& run) {
  const std::string base = run.folderMode ? Options->Directory : LogFolder();
  struct TDiffJob {
    std::string rel, section;
    std::future<void> done;
  };
  auto make = [](const std::string& original, const std::string& work, bool unit, TDiffJob& job) {
    job.section = FileDiff(original, work, unit, job.rel);
  };
  // Made on the pool a few at a time, handed out in the run's order.
  std::deque<TDiffJob> jobs;
  auto emit = [&] {
    TDiffJob& job = jobs.front();
    if (job.done.valid()) job.done.get();
    if (!job.section.empty()) OnDiff(job.rel, std::move(job.section));
    jobs.pop_front();
  };
  TFinally wait([&jobs] {
    for (TDiffJob& job : jobs)
      if (job.done.valid()) job.done.wait();
  });
  const size_t window = pool_ ? static_cast<size_t>(pool_->Threads()) * 3 : 1;
  // A file this run backs up can be diffed later from that copy, when someone looks at it.
  const bool later = OnDeferredDiff && Options->MakeBackup && !Options->DryRun;
  for (int i = 0; i < FileList.Count(); ++i) {
    const TFileState& f = run.At(i);
    if (!f.Processed || f.Skipped || !f.Changed) continue;
    // Left to EmitDeferredDiffs: CommitBackups backs it up.
    if (later && !run.KeptFromEarlierRun(rtl::UpperCase(FileList[i]))) continue;
    const bool unit = !f.Report.Form;
    jobs.push_back({RelativeTo(FileList[i], base), {}, {}});
    TDiffJob& job = jobs.back();
    if (pool_)
      job.done = pool_->Submit([&job, &make, original = FileList[i], work = f.Output, unit](int) {
        make(original, work, unit, job);
      });
    else
      make(FileList[i], f.Output, unit, job);
    if (jobs.size() >= window) emit();
  }
  while (!jobs.empty()) emit();
}

void TComponentReplacer::EmitDeferredDiffs(TRunState& run) {
  const std::string base = run.folderMode ? Options->Directory : LogFolder();
  for (int i = 0; i < FileList.Count(); ++i) {
    const TFileState& f = run.At(i);
    // The files EmitDiffs left out are those backed up in this run.
    if (!f.Backup.empty())
      OnDeferredDiff(RelativeTo(FileList[i], base), f.Backup, FileList[i], IsUnit(FileList[i]));
  }
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
    if (run.folderMode) {
      run.MakeFolder(JoinPath(Options->BackupDir, f.RelFolder));
      backup = BackupFileName(JoinPath(Options->BackupDir, f.Rel));
    } else {
      std::string name = ExtractFileName(BackupFileName(entry));
      backup = JoinPath(run.backups.FolderFor(entry, name), name);
    }
    // Never over a copy an earlier run keeps for another original.
    for (int n = 1; run.earlierBackups.count(rtl::UpperCase(backup)); ++n) {
      const std::string folder = JoinPath(ExtractFileDir(backup), "~" + std::to_string(n));
      run.MakeFolder(folder);
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
      pool_, kLinksForThePool);
  // What was made is noted even when one failed, so the clean-up finds it.
  for (size_t k = 0; k < links.size(); ++k) {
    if (k == failed) continue;
    TFileState& f = run.At(links[k].index);
    f.Backup = links[k].backup;
    f.BackupMadeNew = madeNew[k];
  }
  if (failed < links.size())
    throw rtl::EFCreateError("Cannot make the backup copy \"" + links[failed].backup + "\" of \"" +
                             FileList[links[failed].index] + "\": " + reason + ".");
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

void TComponentReplacer::WriteOutput(const std::string& path, std::string bytes) {
  try {
    if (writer_)
      writer_->Write(path, std::move(bytes));
    else
      rtl::WriteFileBytes(path, bytes);
  } catch (...) {
    writeFailed_ = true;
    throw;
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
  SwapAllOrNone(PlannedSwaps(run), TSwapMode::Move, pool_);
}

bool TComponentReplacer::Restore(const std::string& undoFile) {
  RestoreError.clear();
  rtl::TFileLock lock;
  LockFolder(lock, ExtractFileDir(undoFile));
  TFinally emptyList([this] { FileList.Clear(); });
  FileList.LoadFromFile(undoFile);
  for (int i = 0; i < FileList.Count(); ++i) {
    const std::string backup = FileList.ValueFromIndex(i);
    if (!rtl::FileExists(backup)) {
      RestoreError = "The backup \"" + backup + "\" is missing.";
      return false;
    }
  }
  const size_t count = static_cast<size_t>(FileList.Count());
  if (count == 0) {
    RestoreError = "The undo file \"" + undoFile + "\" names no file.";
    return false;
  }
  std::vector<TFileSwap> swaps;  // each backup copied over its original
  swaps.reserve(count);
  for (int i = 0; i < FileList.Count(); ++i)
    swaps.push_back({FileList.ValueFromIndex(i), FileList.Names(i), {}});
  // Every original is restored, or none.
  constexpr size_t kCopiesForThePool = 128;
  std::unique_ptr<TWorkPool> pool;
  if (const int threads = RunThreadCount(); threads > 1 && count >= kCopiesForThePool)
    pool = std::make_unique<TWorkPool>(threads);
  try {
    CheckReplaceable(swaps, pool.get());
    SwapAllOrNone(swaps, TSwapMode::Copy, pool.get());
  } catch (const ECannotReplace& e) {
    RestoreError = e.what();
    return false;
  }
  return true;
}

EReplaceCancelled::EReplaceCancelled() : rtl::Exception(res::sReplaceCancelled) {}

}  // namespace migwiz
