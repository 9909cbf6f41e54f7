// What a run hands out once its files are converted: the report of what it converted and what
// is left for a person, and the diffs of the files it changed.
#include <deque>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "MigWizard/FileUtils.h"
#include "MigWizard/Replacer.h"
#include "MigWizard/RunState.h"
#include "MigWizard/UnifiedDiff.h"
#include "MigWizard/WorkPool.h"
#include "rtl/FileIO.h"

namespace migwiz {

namespace {

// A path below base as a diff and a report name it, with "/" between its parts.
std::string RelativeTo(const std::string& path, const std::string& base) {
  namespace fs = std::filesystem;
  const fs::path relPath = rtl::FsPath(path).lexically_relative(rtl::FsPath(base));
  std::string rel = rtl::FsUtf8(relPath.generic_string<char8_t>());
  return rel.empty() ? path : rel;
}

}  // namespace

void TComponentReplacer::BuildReport(TRunState& run, TRunResult& result) {
  TRunReport& report = result.Report;
  report.FolderMode = FolderMode();
  report.DryRun = Options->DryRun;
  report.SourceName = Options->SourceName;
  const std::string base = FolderMode() ? Options->Directory : LogFolder();
  for (int i = 0; i < FileList.Count(); ++i) {
    TFileState& f = run.At(i);
    if (!f.Processed || f.Skipped) continue;
    TFileReport& r = f.Report;
    r.Path = FileList[i];
    r.Rel = RelativeTo(FileList[i], base);
    r.Changed = f.Changed;
    report.Files.push_back(std::move(r));
  }
  for (const TSkippedFile& s : result.Skipped)
    report.Skipped.push_back({RelativeTo(s.Path, base), s.Reason});
  if (run.checks.Revisions) {
    std::vector<TFileReport*> files;
    for (TFileReport& f : report.Files) files.push_back(&f);
    SettleReferences(files, *run.checks.Revisions, run.checks.KeepDetail);
  }
}

void TComponentReplacer::EmitDiffs(TRunState& run, const TRunDiffs& diffs) {
  const std::string base = FolderMode() ? Options->Directory : LogFolder();
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
    if (!job.section.empty()) diffs.OnDiff(job.rel, std::move(job.section));
    jobs.pop_front();
  };
  TFinally wait([&jobs] {
    for (TDiffJob& job : jobs)
      if (job.done.valid()) job.done.wait();
  });
  const size_t window = run.pool ? static_cast<size_t>(run.pool->Threads()) * 3 : 1;
  // A file this run backs up can be diffed later from that copy, when someone looks at it.
  const bool later = diffs.OnDeferredDiff && Options->MakeBackup && !Options->DryRun;
  for (int i = 0; i < FileList.Count(); ++i) {
    const TFileState& f = run.At(i);
    if (!f.Processed || f.Skipped || !f.Changed) continue;
    // Left to EmitDeferredDiffs: CommitBackups backs it up.
    if (later && !run.KeptFromEarlierRun(rtl::UpperCase(FileList[i]))) continue;
    const bool unit = !f.Report.Form;
    jobs.push_back({RelativeTo(FileList[i], base), {}, {}});
    TDiffJob& job = jobs.back();
    if (run.pool)
      job.done = run.pool->Submit([&job, &make, original = FileList[i], work = f.Output,
                                   unit](int) { make(original, work, unit, job); });
    else
      make(FileList[i], f.Output, unit, job);
    if (jobs.size() >= window) emit();
  }
  while (!jobs.empty()) emit();
}

void TComponentReplacer::EmitDeferredDiffs(TRunState& run, const TRunDiffs& diffs) {
  const std::string base = FolderMode() ? Options->Directory : LogFolder();
  for (int i = 0; i < FileList.Count(); ++i) {
    const TFileState& f = run.At(i);
    // The files EmitDiffs left out are those backed up in this run.
    if (!f.Backup.empty())
      diffs.OnDeferredDiff(RelativeTo(FileList[i], base), f.Backup, FileList[i],
                           IsUnit(FileList[i]));
  }
}

}  // namespace migwiz
