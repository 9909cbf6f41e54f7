#include "hosts/common/ProjectServices.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <unordered_map>
#include <unordered_set>

#include "MigWizard/FileUtils.h"
#include "MigWizard/ROvoradRes.h"
#include "MigWizard/Replacer.h"
#include "MigWizard/WorkPool.h"
#include "hosts/common/ProjectUses.h"
#include "rtl/Encoding.h"
#include "rtl/FileIO.h"
#include "rtl/SysUtils.h"

namespace hosts {

using ota::QueryFor;

namespace {

// The group of a project opened on its own, as the IDE names it; it is never written.
constexpr const char* kGroupFileName = "ProjectGroup1.bdsgroup";

void CheckIndex(int index, size_t count, const char* what) {
  if (index < 0 || static_cast<size_t>(index) >= count)
    throw rtl::EAssertionFailed(rtl::Format("%s index %d out of range (count %d)",
                                            {what, index, static_cast<std::int64_t>(count)}));
}

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(rtl::FsPath(path), ec);
  if (ec) absolute = rtl::FsPath(path);
  return rtl::FsUtf8(absolute.lexically_normal());
}

// The path with its links resolved, as far as the file system knows it.
std::string CanonicalPath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(rtl::FsPath(path), ec);
  return ec ? AbsolutePath(path) : rtl::FsUtf8(canonical);
}

// Canonical paths of many files in a few folders: each folder's links are resolved once, and
// a file costs one status call (is it a link itself?), where the whole path costs one per part.
class TCanonicalPaths {
 public:
  std::string Of(const std::string& path) {
    const std::string absolute = AbsolutePath(path);
    const std::string dir = migwiz::ExtractFileDir(absolute);
    const std::string name = migwiz::ExtractFileName(absolute);
    if (dir.empty() || name.empty() || name == "." || name == "..") return CanonicalPath(absolute);
    auto known = dirs_.find(dir);
    if (known == dirs_.end()) known = dirs_.emplace(dir, CanonicalPath(dir)).first;
    std::string joined = migwiz::JoinPath(known->second, name);
    std::error_code ec;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(rtl::FsPath(joined), ec)))
      return CanonicalPath(joined);
    return joined;
  }

 private:
  std::unordered_map<std::string, std::string> dirs_;
};

std::string NativeSeparators(std::string path) {
  std::replace(path.begin(), path.end(), '\\', migwiz::PathDelim);
  return path;
}

}  // namespace

// ---- Editors ----

void TDiskEditor::Show() {
  if (OnShow) OnShow(*this);
}

ota::IInterface* TDiskEditor::QueryInterface(const ota::TGUID& iid) {
  if (auto* found = QueryFor<ota::IOTAEditor>(this, iid)) return found;
  return IInterface::QueryInterface(iid);
}

bool TDiskEditor::Peek(std::string& text) {
  try {
    text = ReadText();
    loadError_.clear();
    return true;
  } catch (const std::exception& e) {
    std::string reason = e.what();
    loadError_ = reason.find(fileName_) != std::string::npos
                     ? reason
                     : rtl::Format(migwiz::res::sFileProblem, {fileName_, reason});
    return false;
  }
}

const std::string& TDiskEditor::Text() const {
  if (!loaded_) {
    // Read once; a file that cannot be read shows as empty, with its LoadError.
    loaded_ = true;
    const_cast<TDiskEditor*>(this)->Peek(text_);
  }
  return text_;
}

bool TDiskEditor::Reload() {
  // A text nobody has looked at yet is read when someone does.
  if (!loaded_) {
    if (rtl::FileExists(fileName_)) return true;
    loadError_ = rtl::Format(migwiz::res::sFileGone, {fileName_});
    return false;
  }
  std::string text;
  if (!Peek(text)) return false;
  if (!loaded_ || text == text_) return true;
  text_ = std::move(text);
  if (OnTextChanged) OnTextChanged(*this);
  return true;
}

ota::IInterface* TSourceEditor::QueryInterface(const ota::TGUID& iid) {
  if (auto* found = QueryFor<ota::IOTASourceEditor>(this, iid)) return found;
  return TDiskEditor::QueryInterface(iid);
}

std::string TSourceEditor::ReadText() {
  rtl::TFileStream in(FileName(), rtl::TFileStream::Mode::OpenRead);
  return migwiz::ReadSourceText(in, FileName()).Text;
}

std::string TFormEditor::ReadText() {
  rtl::TFileStream in(FileName(), rtl::TFileStream::Mode::OpenRead);
  return migwiz::ReadForm(in, FileName()).Text;
}

ota::IInterface* TModuleInfo::QueryInterface(const ota::TGUID& iid) {
  if (auto* found = QueryFor<ota::IOTAModuleInfo>(this, iid)) return found;
  return IInterface::QueryInterface(iid);
}

// ---- Modules ----

std::shared_ptr<ota::IOTAEditor> TDiskModule::ModuleFileEditors(int index) {
  CheckIndex(index, editors_.size(), "Module file editor");
  return editors_[static_cast<size_t>(index)];
}

int TDiskModule::OwnerCount() {
  return owner_.expired() ? 0 : 1;
}

std::shared_ptr<ota::IOTAProject> TDiskModule::Owners(int index) {
  std::shared_ptr<TProjectModule> owner = owner_.lock();
  CheckIndex(index, owner ? 1 : 0, "Module owner");
  return owner;
}

bool TDiskModule::Close() {
  return services_ && services_->CloseModule(this);
}

ota::IInterface* TDiskModule::QueryInterface(const ota::TGUID& iid) {
  if (auto* found = QueryFor<ota::IOTAModule>(this, iid)) return found;
  return IInterface::QueryInterface(iid);
}

bool TDiskModule::Reload() {
  bool ok = true;
  for (const auto& editor : editors_) ok = editor->Reload() && ok;
  if (OnReload) OnReload(*this);
  return ok;
}

bool TProjectModule::Save(bool /*changeName*/, bool /*forceSave*/) {
  return IsOpen();
}

std::shared_ptr<ota::IOTAModuleInfo> TProjectModule::GetModule(int index) {
  CheckIndex(index, infos_.size(), "Project module");
  return infos_[static_cast<size_t>(index)];
}

ota::IInterface* TProjectModule::QueryInterface(const ota::TGUID& iid) {
  if (auto* found = QueryFor<ota::IOTAProject>(this, iid)) return found;
  return TDiskModule::QueryInterface(iid);
}

std::shared_ptr<ota::IOTAProject> TProjectGroupModule::ActiveProject() {
  if (!IsOpen()) return nullptr;
  return project_;
}

ota::IInterface* TProjectGroupModule::QueryInterface(const ota::TGUID& iid) {
  if (auto* found = QueryFor<ota::IOTAProjectGroup>(this, iid)) return found;
  return TDiskModule::QueryInterface(iid);
}

// ---- Services ----

TProjectServices::~TProjectServices() {
  OnModulesChanged = nullptr;
  CloseAll();
}

ota::IInterface* TProjectServices::QueryInterface(const ota::TGUID& iid) {
  if (auto* found =
          QueryFor<ota::IOTAModuleServices, ota::IOTAActionServices, ota::INTAServices>(this, iid))
    return found;
  if (OnRunResults)
    if (auto* found = QueryFor<migwiz::IRunResultsView>(this, iid)) return found;
  if (auto* found = QueryFor<migwiz::IProjectNotes>(this, iid)) return found;
  return IInterface::QueryInterface(iid);
}

void TProjectServices::ShowRunResults(const migwiz::TRunReport& report,
                                      std::vector<migwiz::TFileDiff> diffs) {
  if (OnRunResults) OnRunResults(report, std::move(diffs));
}

std::shared_ptr<ota::IOTAModule> TProjectServices::Modules(int index) {
  CheckIndex(index, modules_.size(), "Module");
  return modules_[static_cast<size_t>(index)];
}

void TProjectServices::SetCodePage(const std::string& codePage) {
  if (!codePage.empty()) rtl::CheckCodePage(codePage);
  codePage_ = codePage;
}

bool TProjectServices::OpenProject(const std::string& fileName, bool /*newProjGroup*/) {
  if (fileName.empty()) {
    lastError_ = migwiz::res::sNoProjectFileName;
    return false;
  }
  std::string found = migwiz::ResolvePathNoCase(fileName);
  if (found.empty() || !rtl::FileExists(found)) {
    lastError_ = rtl::Format(migwiz::res::sProjectFileNotFound, {fileName});
    return false;
  }
  const std::string path = AbsolutePath(found);
  auto project = std::make_shared<TProjectModule>(path, this);
  auto projectEditor = std::make_shared<TSourceEditor>(path);
  if (projectEditor->Text(), !projectEditor->LoadError().empty()) {
    lastError_ = projectEditor->LoadError();
    return false;
  }
  project->editors_.push_back(projectEditor);

  std::vector<std::string> problems;
  const std::string folder = migwiz::ExtractFileDir(path);
  TUsesClause uses = ReadUsesClause(projectEditor->Text());
  for (const std::string& problem : uses.Problems)
    problems.push_back(rtl::Format(migwiz::res::sFileProblem, {path, problem}));

  std::vector<std::shared_ptr<TDiskModule>> units;
  std::unordered_set<std::string> named;  // the units' files, links resolved
  TCanonicalPaths canonical;
  struct TUnitRead {
    std::shared_ptr<TDiskModule> unit;
    std::shared_ptr<TSourceEditor> source;
    std::string unitPath;
    size_t problemAt;
    std::string problem, form;
  };
  std::vector<TUnitRead> reads;
  std::vector<std::string> notes;
  std::string codePage = codePage_;
#ifdef _WIN32
  if (codePage.empty()) codePage = rtl::AnsiCodePage();
#endif
  // The file a path written in the project names, or "".
  auto find = [&folder](const std::string& inPath, std::string& written) {
    written =
        migwiz::HasDrivePart(NativeSeparators(inPath)) ? inPath : migwiz::JoinPath(folder, inPath);
    std::string found = migwiz::ResolvePathNoCase(written);
    return !found.empty() && rtl::FileExists(found) ? found : std::string();
  };
  for (const TUsesEntry& entry : uses.Entries) {
    if (entry.InPath.empty()) continue;
    std::string written;
    std::string unitPath = find(entry.InPath, written);
    // An older IDE wrote the path in the machine's code page: decoded before its separators are
    // looked at, as a double-byte character may end in a backslash's byte.
    if (unitPath.empty() && !codePage.empty() && !rtl::IsUtf8(entry.InPath)) {
      try {
        std::string decodedWritten;
        unitPath = find(rtl::CodePageToUtf8(entry.InPath, codePage), decodedWritten);
        if (!unitPath.empty())
          notes.push_back(
              rtl::Format(migwiz::res::sCodePageNote, {codePage, AbsolutePath(unitPath)}));
        else
          written = decodedWritten;
      } catch (const rtl::EEncodingError&) {
        // Not text in that code page either: not found, as written.
      }
    }
    const bool exists = !unitPath.empty();
    unitPath = AbsolutePath(exists ? unitPath : NativeSeparators(written));
    if (!named.insert(canonical.Of(unitPath)).second) {
      problems.push_back(rtl::Format(migwiz::res::sUnitNamedTwice, {path, unitPath}));
      continue;
    }
    project->infos_.push_back(std::make_shared<TModuleInfo>(entry.UnitName, unitPath));
    if (!exists) {
      problems.push_back(
          rtl::Format(migwiz::res::sUnitFileNotFound, {path, unitPath}) +
          (codePage.empty() && !rtl::IsUtf8(entry.InPath) ? migwiz::res::sPathNotUtf8 : ""));
      continue;
    }

    auto unit = std::make_shared<TDiskModule>(unitPath, this);
    unit->owner_ = project;
    auto source = std::make_shared<TSourceEditor>(unitPath);
    unit->editors_.push_back(source);
    // Its read problem, if any, goes here once the units are read.
    reads.push_back({unit, source, unitPath, problems.size(), {}, {}});
    problems.emplace_back();
    units.push_back(unit);
  }
  // Each unit is read to find its form and its problems, and let go: the host reads it again
  // when shown. The units are read on the machine's cores.
  auto read = [&reads](size_t from, size_t to) {
    for (size_t k = from; k < to; ++k) {
      TUnitRead& r = reads[k];
      std::string text;
      if (!r.source->Peek(text)) r.problem = r.source->LoadError();
      r.form = FormOfUnit(text, r.unitPath);
    }
  };
  if (const int threads =
          migwiz::RunThreadCount(migwiz::ThreadsWanted(std::getenv("MIGWIZ_THREADS")));
      threads > 1 && reads.size() >= 64)
    migwiz::TWorkPool(threads).ForEachRange(reads.size(), read);
  else
    read(0, reads.size());
  for (TUnitRead& r : reads) {
    problems[r.problemAt] = std::move(r.problem);
    // The form is read when shown; a damaged one says so then, and in a run.
    if (!r.form.empty()) r.unit->editors_.push_back(std::make_shared<TFormEditor>(r.form));
  }
  problems.erase(std::remove(problems.begin(), problems.end(), std::string()), problems.end());

  // Only now that the new project is read does the open one go.
  for (const auto& module : modules_) module->services_ = nullptr;
  modules_.clear();
  modules_.push_back(std::make_shared<TProjectGroupModule>(migwiz::JoinPath(folder, kGroupFileName),
                                                           this, project));
  modules_.push_back(project);
  modules_.insert(modules_.end(), units.begin(), units.end());
  problems_ = std::move(problems);
  notes_ = std::move(notes);
  lastError_.clear();
  Changed();
  return true;
}

bool TProjectServices::OpenFile(const std::string& fileName) {
  if (!OnOpenFile || !rtl::FileExists(fileName)) return false;
  auto module = FindModule(fileName);
  if (module) {
    module->Reload();
  } else {
    module = std::make_shared<TDiskModule>(AbsolutePath(fileName), this);
    module->editors_.push_back(std::make_shared<TSourceEditor>(AbsolutePath(fileName)));
    modules_.push_back(module);
    Changed();
  }
  OnOpenFile(*module);
  return true;
}

bool TProjectServices::ReloadFile(const std::string& fileName) {
  auto module = FindModule(fileName);
  return module && module->Reload();
}

void TProjectServices::InsertMenuItem(const std::string& targetName, ota::TBasicAction* /*action*/,
                                      ota::TMenuItem* newItem, bool insertAfter,
                                      bool insertAsChild) {
  ota::InsertMenuItemByName(mainMenu_, targetName, newItem, insertAfter, insertAsChild);
}

std::shared_ptr<TProjectModule> TProjectServices::Project() const {
  for (const auto& module : modules_)
    if (auto project = std::dynamic_pointer_cast<TProjectModule>(module)) return project;
  return nullptr;
}

std::shared_ptr<TDiskModule> TProjectServices::FindModule(const std::string& fileName) const {
  if (fileName.empty()) return nullptr;
  auto hit = byPath_.find(AbsolutePath(fileName));
  if (hit != byPath_.end()) return hit->second;
  // Another spelling of a module's file (through a link): the file system is asked, once for
  // the modules and once for the name.
  if (byCanonicalPath_.empty()) {
    TCanonicalPaths canonical;
    for (const auto& module : modules_)
      for (const auto& editor : module->editors_)
        byCanonicalPath_.emplace(canonical.Of(editor->FileName()), module);
  }
  auto found = byCanonicalPath_.find(CanonicalPath(fileName));
  return found == byCanonicalPath_.end() ? nullptr : found->second;
}

bool TProjectServices::CloseAll() {
  if (modules_.empty()) return false;
  for (const auto& module : modules_) module->services_ = nullptr;
  modules_.clear();
  problems_.clear();
  notes_.clear();
  Changed();
  return true;
}

bool TProjectServices::CloseModule(TDiskModule* module) {
  // The project and its group go together.
  if (dynamic_cast<TProjectModule*>(module) || dynamic_cast<TProjectGroupModule*>(module))
    return CloseAll();
  auto it = std::find_if(modules_.begin(), modules_.end(),
                         [&](const auto& open) { return open.get() == module; });
  if (it == modules_.end()) return false;
  module->services_ = nullptr;
  modules_.erase(it);
  Changed();
  return true;
}

void TProjectServices::Changed() {
  byPath_.clear();
  byCanonicalPath_.clear();
  for (const auto& module : modules_)
    for (const auto& editor : module->editors_)
      byPath_.emplace(AbsolutePath(editor->FileName()), module);
  if (OnModulesChanged) OnModulesChanged();
}

}  // namespace hosts
