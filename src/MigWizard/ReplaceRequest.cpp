#include "MigWizard/ReplaceRequest.h"

#include <unordered_set>

#include "MigWizard/FileUtils.h"
#include "MigWizard/IDEUtils.h"
#include "rtl/SysUtils.h"

namespace migwiz {

std::string ResolveBackupDir(const std::string& text, const std::string& base) {
  if (!text.empty() && HasDrivePart(text)) return text;
  return JoinPath(base, text);
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
                                const std::function<void()>& beforeRun) {
  const bool projectMode = replacer.Options->Dest == 0;
  if (projectMode) {
    if (!TIDEUtils::SaveProject()) return TReplaceOutcome::NotSaved;
    if (beforeRun) beforeRun();
  }
  // The diff is only made when someone will look at it.
  auto resultsView = ota::Supports<IRunResultsView>(ota::BorlandIDEServices);
  std::vector<TFileDiff> diffs;
  auto hostDiff = replacer.OnDiff;
  if (resultsView)
    replacer.OnDiff = [&diffs, &hostDiff](const std::string& rel, std::string section) {
      if (hostDiff) hostDiff(rel, section);
      diffs.push_back({rel, std::move(section)});
    };
  bool ok;
  try {
    ok = replacer.Execute();
  } catch (const EReplaceCancelled&) {
    replacer.OnDiff = hostDiff;
    return TReplaceOutcome::Cancelled;
  } catch (...) {
    replacer.OnDiff = hostDiff;
    throw;
  }
  replacer.OnDiff = hostDiff;
  if (!ok) return TReplaceOutcome::Failed;
  if (projectMode) {
    std::unordered_set<std::string> changed;
    for (const std::string& unit : replacer.ChangedUnits) changed.insert(rtl::UpperCase(unit));
    for (const std::string& unit : ProjectUnitFiles())
      if (changed.count(rtl::UpperCase(unit))) TIDEUtils::ReloadFile(unit);
  }
  if (resultsView) resultsView->ShowRunResults(replacer.Report, std::move(diffs));
  return TReplaceOutcome::Succeeded;
}

}  // namespace migwiz
