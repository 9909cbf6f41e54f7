// The IDE services over a Delphi project on disk, for the hosts that stand in for the IDE.
//
// Opening a project file (.dpr) gives these modules, in this order:
//   0  the project group (IOTAProjectGroup), which has no file on disk and no editors;
//   1  the project (IOTAProject) with the source editor of the project file;
//   2+ one module per unit that the project's uses clause names with "in '...'" and that exists
//      on disk, in the order written, each with a source editor and, when the unit names its form
//      with {$R *.dfm} (or *.nfm) and that file exists beside it, a form editor; the project is
//      its one owner.
// Units named without "in" (Forms, DBTables) are library units, not modules. The project's own
// module list (GetModuleCount / GetModule) holds every unit named with "in", also one whose file
// is missing (under the path as written, resolved against the project's folder); the project file
// itself is not in it. Paths are found without regard to letter case, "\" counts as a separator,
// and every file name handed out is absolute.
//
// The host holds one project group with one project: opening a project closes the open one first.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "MigWizard/ReplaceRequest.h"
#include "ota/Menus.h"
#include "ota/ToolsAPI.h"

namespace hosts {

class TProjectServices;
class TProjectModule;

// An editor over one file on disk; it holds the file's text as last read (UTF-16 as UTF-8, a
// binary form as form text).
class TDiskEditor : public virtual ota::IOTAEditor {
 public:
  ~TDiskEditor() override = default;
  std::string FileName() override { return fileName_; }
  void Show() override;
  ota::IInterface* QueryInterface(const ota::TGUID& iid) override;

  // The text is read when first asked for, so a project of thousands of files holds only the
  // texts someone looks at.
  const std::string& Text() const;
  bool Loaded() const { return loaded_; }
  // Why the last read failed, naming the file; "" after a good read.
  const std::string& LoadError() const { return loadError_; }
  // Reads the file again; false (the text kept) when it cannot be read. A text nobody asked for
  // yet is not read, only looked for.
  bool Reload();
  // Reads the file into text without keeping it; false with LoadError when it cannot be read.
  bool Peek(std::string& text);

  // Observer hooks for a desktop host.
  std::function<void(TDiskEditor&)> OnShow;
  std::function<void(TDiskEditor&)> OnTextChanged;

 protected:
  explicit TDiskEditor(std::string fileName) : fileName_(std::move(fileName)) {}
  // The file's text; raises an rtl::Exception naming the file when it cannot be read.
  virtual std::string ReadText() = 0;

 private:
  std::string fileName_;
  mutable std::string text_;
  mutable std::string loadError_;
  mutable bool loaded_ = false;
};

// The code editor of a unit or project file.
class TSourceEditor : public TDiskEditor, public ota::IOTASourceEditor {
 public:
  explicit TSourceEditor(std::string fileName) : TDiskEditor(std::move(fileName)) {}
  ota::IInterface* QueryInterface(const ota::TGUID& iid) override;

 protected:
  std::string ReadText() override;
};

// The form designer of a unit's form file, text or binary.
class TFormEditor : public TDiskEditor {
 public:
  explicit TFormEditor(std::string fileName) : TDiskEditor(std::move(fileName)) {}

 protected:
  std::string ReadText() override;
};

class TModuleInfo : public ota::IOTAModuleInfo {
 public:
  TModuleInfo(std::string unitName, std::string fileName)
      : unitName_(std::move(unitName)), fileName_(std::move(fileName)) {}
  std::string FileName() override { return fileName_; }
  const std::string& UnitName() const { return unitName_; }
  ota::IInterface* QueryInterface(const ota::TGUID& iid) override;

 private:
  std::string unitName_;
  std::string fileName_;
};

// A module open in the host: a unit, or the base of the project and the project group.
class TDiskModule : public virtual ota::IOTAModule {
 public:
  TDiskModule(std::string fileName, TProjectServices* services)
      : fileName_(std::move(fileName)), services_(services) {}
  std::string FileName() override { return fileName_; }
  int ModuleFileCount() override { return static_cast<int>(editors_.size()); }
  std::shared_ptr<ota::IOTAEditor> ModuleFileEditors(int index) override;
  int OwnerCount() override;
  std::shared_ptr<ota::IOTAProject> Owners(int index) override;
  // A unit closes alone; the project and the group close the whole group. False when the
  // module was no longer open.
  bool Close() override;
  ota::IInterface* QueryInterface(const ota::TGUID& iid) override;

  bool IsOpen() const { return services_ != nullptr; }
  const std::vector<std::shared_ptr<TDiskEditor>>& Editors() const { return editors_; }
  // Reads every editor's file again; false when one of them cannot be read.
  bool Reload();

  // Observer hook for a desktop host: called after Reload.
  std::function<void(TDiskModule&)> OnReload;

 private:
  friend class TProjectServices;
  std::string fileName_;
  std::vector<std::shared_ptr<TDiskEditor>> editors_;
  std::weak_ptr<TProjectModule> owner_;
  TProjectServices* services_;  // nullptr once closed
};

class TProjectModule : public TDiskModule, public ota::IOTAProject {
 public:
  using TDiskModule::TDiskModule;
  // Nothing to write: the host holds no unsaved changes. True while the project is open.
  bool Save(bool changeName, bool forceSave) override;
  int GetModuleCount() override { return static_cast<int>(infos_.size()); }
  std::shared_ptr<ota::IOTAModuleInfo> GetModule(int index) override;
  ota::IInterface* QueryInterface(const ota::TGUID& iid) override;

 private:
  friend class TProjectServices;
  std::vector<std::shared_ptr<TModuleInfo>> infos_;
};

class TProjectGroupModule : public TDiskModule, public ota::IOTAProjectGroup {
 public:
  TProjectGroupModule(std::string fileName, TProjectServices* services,
                      std::shared_ptr<TProjectModule> project)
      : TDiskModule(std::move(fileName), services), project_(std::move(project)) {}
  // nullptr once the group is closed.
  std::shared_ptr<ota::IOTAProject> ActiveProject() override;
  ota::IInterface* QueryInterface(const ota::TGUID& iid) override;

 private:
  std::shared_ptr<TProjectModule> project_;
};

// The services object a host puts into ota::BorlandIDEServices. Answers IOTAModuleServices,
// IOTAActionServices and INTAServices. Create it with std::make_shared.
class TProjectServices : public ota::IOTAModuleServices,
                         public ota::IOTAActionServices,
                         public ota::INTAServices,
                         public migwiz::IRunResultsView,
                         public migwiz::IProjectNotes {
 public:
  TProjectServices() = default;
  ~TProjectServices() override;
  TProjectServices(const TProjectServices&) = delete;
  TProjectServices& operator=(const TProjectServices&) = delete;

  ota::IInterface* QueryInterface(const ota::TGUID& iid) override;

  int ModuleCount() override { return static_cast<int>(modules_.size()); }
  std::shared_ptr<ota::IOTAModule> Modules(int index) override;

  // Opens the project file in a new project group, closing the open one; false (the open
  // project left open) for an empty name or a file that cannot be found or read, with the reason
  // in LastError. The project always opens in a new group, whatever newProjGroup says.
  bool OpenProject(const std::string& fileName, bool newProjGroup) override;
  // Reads the files of the open module that fileName (one of its editors' files) belongs to
  // again; true when there is such a module and its files were read.
  bool ReloadFile(const std::string& fileName) override;
  // Opens the file as a module of its own (or reads the open one again) and shows it; only a host
  // with OnOpenFile set has an editor to show it in, otherwise false.
  bool OpenFile(const std::string& fileName) override;
  std::function<void(TDiskModule&)> OnOpenFile;

  ota::TMainMenu* MainMenu() override { return &mainMenu_; }
  void InsertMenuItem(const std::string& targetName, ota::TBasicAction* action,
                      ota::TMenuItem* newItem, bool insertAfter, bool insertAsChild) override;

  // The open project, or nullptr.
  std::shared_ptr<TProjectModule> Project() const;
  // The open module whose editors include fileName (compared as paths), or nullptr.
  std::shared_ptr<TDiskModule> FindModule(const std::string& fileName) const;
  // Closes the project group and every module; false when nothing was open.
  bool CloseAll();

  // Why the last OpenProject failed; "" after a success.
  const std::string& LastError() const { return lastError_; }
  // What was wrong with the open project (a unit file missing, a file that cannot be read),
  // each naming the file; the project opens nevertheless.
  const std::vector<std::string>& Problems() const { return problems_; }

  // The code page a project file's unit paths are read in when their bytes are not UTF-8 and name
  // no file ("CP936", "CP1251": see rtl::CodePageToUtf8); "" for none. On Windows the ANSI code
  // page is used when none is set, as the IDE reads project files. Raises EEncodingError for a
  // name that is no code page. Applies from the next OpenProject on.
  void SetCodePage(const std::string& codePage);
  const std::string& CodePage() const { return codePage_; }
  // The unit paths of the open project found only in the code page: "Unit path read in code page
  // CP936: /full/path.pas".
  std::vector<std::string> ProjectNotes() override { return notes_; }

  // Observer hook for a desktop host: called after modules were opened or closed.
  std::function<void()> OnModulesChanged;
  // A desktop host that shows a run's results sets this; only then is IRunResultsView answered
  // (and a run's diff made).
  std::function<void(const migwiz::TRunReport&, std::vector<migwiz::TFileDiff>)> OnRunResults;
  std::function<void()> OnClearRunResults;
  void ClearRunResults() override {
    if (OnClearRunResults) OnClearRunResults();
  }
  void ShowRunResults(const migwiz::TRunReport& report,
                      std::vector<migwiz::TFileDiff> diffs) override;

 private:
  friend class TDiskModule;
  bool CloseModule(TDiskModule* module);
  void Changed();

  std::vector<std::shared_ptr<TDiskModule>> modules_;
  // The modules by their editors' file names: as given (absolute, normalised), and with links
  // resolved, made on the first miss.
  std::unordered_map<std::string, std::shared_ptr<TDiskModule>> byPath_;
  mutable std::unordered_map<std::string, std::shared_ptr<TDiskModule>> byCanonicalPath_;
  std::vector<std::string> problems_;
  std::vector<std::string> notes_;
  std::string codePage_;
  std::string lastError_;
  ota::TMainMenu mainMenu_;
};

}  // namespace hosts
