#include "MigWizard/ReplaceRequest.h"

#include <unordered_set>

#include "MigWizard/FileUtils.h"
#include "MigWizard/IDEUtils.h"
#include "MigWizard/ROvoradRes.h"
#include "MigWizard/UnifiedDiff.h"
#include "rtl/FileIO.h"
#include "rtl/SysUtils.h"

namespace migwiz {

std::string ResolveBackupDir(const std::string& text, const std::string& base) {
  if (!text.empty() && HasDrivePart(text)) return text;
  return JoinPath(base, text);
}

std::string RestoreFolder(const std::string& undoFile) {
  rtl::TStringList lines;
  try {
    lines.SetText(rtl::ReadFileBytes(undoFile));
  } catch (const rtl::Exception&) {
    return {};
  }
  std::string common;
  for (int i = 0; i < lines.Count(); ++i) {
    const std::string folder = ExtractFilePath(lines.Names(i));
    if (folder.empty()) continue;
    if (common.empty()) {
      common = folder;
      continue;
    }
    // The longest beginning both share that ends at a separator.
    size_t n = 0;
    while (n < common.size() && n < folder.size() && common[n] == folder[n]) ++n;
    common.resize(n);
    const size_t sep = common.find_last_of(PathDelim);
    common.resize(sep == std::string::npos ? 0 : sep + 1);
  }
  if (common.size() > 1 && common.back() == PathDelim) return ExtractFileDir(common + "x");
  return common;
}

std::string ProjectUndoFile(const std::string& projectFile) {
  if (projectFile.empty()) return {};
  const std::string undo =
      JoinPath(JoinPath(ExtractFileDir(projectFile), res::sDefaultBackupDir), res::sUndoFileName);
  return rtl::FileExists(undo) ? undo : std::string();
}

std::vector<std::string> ProjectUnitFiles() {
  std::vector<std::string> units;
  const int count = TIDEUtils::GetProjectModuleCount();
  for (int i = 0; i < count; ++i) {
    std::string name = TIDEUtils::GetProjectModuleFileName(i);
    if (rtl::EndsText(".PAS", name)) units.push_back(std::move(name));
  }
  return units;
}

std::string UnitListText(const std::vector<std::string>& units) {
  std::string text;
  for (const std::string& unit : units) text += unit + "\r\n";
  return text;
}

TReplaceOutcome RunReplaceInIDE(TComponentReplacer& replacer,
                                const std::function<void()>& beforeRun, const TRunRequest& host,
                                TRunResult* result) {
  const TRunDiffs& hostDiffs = host.Diffs;
  TRunRequest request = host;
  TRunResult own;
  TRunResult& found = result ? *result : own;
  const std::string& rulesFile = replacer.Options->RulesFile;
  replacer.SetRules(rulesFile.empty() ? TReplacementRules()
                                      : ReadReplacementRules(rulesFile, replacer));
  const bool projectMode = replacer.Options->Dest == TReplaceOptions::kDestProject;
  if (projectMode) {
    if (!TIDEUtils::SaveProject()) return TReplaceOutcome::NotSaved;
    if (auto notes = ota::Supports<IProjectNotes>(ota::BorlandIDEServices))
      request.LogNotes = notes->ProjectNotes();
    if (beforeRun) beforeRun();
  }
  // The diff is only made when someone will look at it.
  auto resultsView = ota::Supports<IRunResultsView>(ota::BorlandIDEServices);
  std::vector<TFileDiff> diffs, later;
  TRunDiffs& sink = request.Diffs;
  if (resultsView) {
    sink.OnDiff = [&diffs, &hostDiffs](const std::string& rel, std::string section) {
      if (hostDiffs.OnDiff) hostDiffs.OnDiff(rel, section);
      diffs.push_back({rel, std::move(section), {}, {}, true});
    };
    // The files backed up are diffed when the view shows them, not all in the run.
    if (!hostDiffs.OnDiff)
      sink.OnDeferredDiff = [&later](const std::string& rel, const std::string& backup,
                                     const std::string& file, bool unit) {
        later.push_back({rel, {}, backup, file, unit});
      };
  }

  bool ok;
  try {
    ok = replacer.Execute(request, &found);
  } catch (const EReplaceCancelled&) {
    return TReplaceOutcome::Cancelled;
  }
  if (!ok) return TReplaceOutcome::Failed;
  if (projectMode) {
    std::unordered_set<std::string> changed;
    for (const std::string& unit : found.ChangedUnits) changed.insert(rtl::UpperCase(unit));
    for (const std::string& unit : ProjectUnitFiles())
      if (changed.count(rtl::UpperCase(unit))) TIDEUtils::ReloadFile(unit);
  }
  if (resultsView) {
    // Both lists are in the run's order, which the report's files have too.
    std::vector<TFileDiff> all;
    size_t now = 0, next = 0;
    for (const TFileReport& file : found.Report.Files) {
      if (now < diffs.size() && diffs[now].Rel == file.Rel)
        all.push_back(std::move(diffs[now++]));
      else if (next < later.size() && later[next].Rel == file.Rel)
        all.push_back(std::move(later[next++]));
    }
    resultsView->ShowRunResults(found.Report, std::move(all));
  }
  return TReplaceOutcome::Succeeded;
}

const std::string& DiffTextOf(TFileDiff& diff) {
  if (diff.Backup.empty()) return diff.Text;
  try {
    diff.Text = FileDiff(diff.Backup, diff.File, diff.Unit, diff.Rel);
  } catch (const std::exception& e) {
    diff.Text = std::string("# ") + e.what() + "\n";
  }
  diff.Backup.clear();
  return diff.Text;
}

}  // namespace migwiz
