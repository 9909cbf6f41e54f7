#include "MigWizard/plugin/ReplaceExpert.h"

#include <QLineEdit>
#include <QRadioButton>
#include <algorithm>
#include <utility>

#include "MigWizard/Dialogs.h"
#include "MigWizard/ROvoradRes.h"
#include "MigWizard/ReplaceRequest.h"
#include "MigWizard/ui/QtSettingsStore.h"
#include "MigWizard/ui/SaveWarn.h"
#include "rtl/SysUtils.h"
#include "zel/ZelMenu.h"

namespace migwiz {

namespace {

TExpertStoreFactory& StoreFactory() {
  static TExpertStoreFactory factory;
  return factory;
}

TExpertModalRunner& ModalRunner() {
  static TExpertModalRunner runner;
  return runner;
}

std::unique_ptr<rtl::TSettingsStore> OpenStore() {
  if (StoreFactory()) return StoreFactory()();
  return std::make_unique<TQtSettingsStore>();
}

}  // namespace

void SetExpertStoreFactory(TExpertStoreFactory factory) {
  StoreFactory() = std::move(factory);
}

void SetExpertModalRunner(TExpertModalRunner runner) {
  ModalRunner() = std::move(runner);
}

TCompReplaceExpert::TCompReplaceExpert(TWizardFormClass wizardFormClass, std::string menuCaption,
                                       const TProductMenu& productMenu,
                                       TComponentReplacer* replacer)
    : FMenuCaption(std::move(menuCaption)),
      FWizardFormClass(std::move(wizardFormClass)),
      FAlive(std::make_shared<TCompReplaceExpert*>(this)) {
  rtl::Assert(replacer != nullptr, "replacer");
  AddReplacer(replacer);
  std::string source = replacer->Options->SourceName;
  std::replace(source.begin(), source.end(), '/', '_');
  const std::string name = "ROvoradItem" + source + zel::RemoveAmpersands(FMenuCaption);
  std::weak_ptr<TCompReplaceExpert*> alive = FAlive;
  TIDEUtils::AddMenuItem(productMenu, "&Migration Wizard", name, [alive](ota::TMenuItem* sender) {
    if (auto self = alive.lock()) (*self)->MenuItemClick(sender);
  });
}

TCompReplaceExpert::~TCompReplaceExpert() = default;

ota::IInterface* TCompReplaceExpert::QueryInterface(const ota::TGUID& iid) {
  if (auto* found = ota::QueryFor<ota::IOTAWizard, ota::IOTANotifier>(this, iid)) return found;
  return ota::IInterface::QueryInterface(iid);
}

std::string TCompReplaceExpert::GetIDString() {
  return rtl::Format("Oxvale.%sMigrationWizard", {GetReplacer(0)->Options->SourceName}) + "." +
         ProductName();
}

std::string TCompReplaceExpert::GetName() {
  return Title();
}

void TCompReplaceExpert::AddReplacer(TComponentReplacer* replacer) {
  FReplacers.push_back(replacer);
}

TComponentReplacer* TCompReplaceExpert::GetReplacer(int index) {
  rtl::Assert(index >= 0 && index < ReplacerCount(), "replacer index out of range");
  return FReplacers[static_cast<size_t>(index)];
}

std::string TCompReplaceExpert::ProductName() const {
  return zel::RemoveAmpersands(FMenuCaption);
}

std::string TCompReplaceExpert::Title() {
  return GetReplacer(0)->Options->GetTitle();
}

void TCompReplaceExpert::MenuItemClick(ota::TMenuItem*) {
  std::unique_ptr<TWizardForm> form = FWizardFormClass(nullptr);
  FCurrentForm = form.get();
  // The current form is only meaningful during the click, also when the run raises.
  struct ResetCurrent {
    TWizardForm*& current;
    ~ResetCurrent() { current = nullptr; }
  } reset{FCurrentForm};

  TReplaceOptions* options = GetReplacer(0)->Options;
  form->FProductName = ProductName();
  form->FOptions = options;
  form->SetWelcomeText(options->SourceName, ProductName());
  form->rbModeReplace->setText(
      QString::fromStdString(rtl::Format("&Replace %s components", {options->SourceName})));
  TComponentReplacer* replacer = GetReplacer(0);
  form->FCheckRules = [replacer](const std::string& file) { ReadReplacementRules(file, *replacer); };
  LoadSettings();
  const int result = ModalRunner() ? ModalRunner()(*form) : form->exec();
  if (result != QDialog::Accepted) return;
  const int action = form->GetActionIndex();
  if (action == TWizardForm::RestoreAction)
    RunRestore(form->edUndoFile->text().toStdString());
  else
    RunReplace(GetReplacer(action));
  SaveSettings();
}

void TCompReplaceExpert::LoadSettings() {
  const std::string section = Title();
  std::unique_ptr<rtl::TSettingsStore> store = OpenStore();
  GetReplacer(0)->Options->LoadSettings(*store, section);
  if (FCurrentForm) FCurrentForm->LoadSettings(*store, section);
}

void TCompReplaceExpert::SaveSettings() {
  const std::string section = Title();
  std::unique_ptr<rtl::TSettingsStore> store = OpenStore();
  GetReplacer(0)->Options->SaveSettings(*store, section);
  if (FCurrentForm) FCurrentForm->SaveSettings(*store, section);
}

void TCompReplaceExpert::RunReplace(TComponentReplacer* replacer) {
  const std::string title = Title();
  const bool projectMode = replacer->Options->Dest == 0;
  if (!TIDEUtils::GetProjectFileName().empty() && projectMode &&
      !ShowSaveWarning(title, true, false))
    return;
  // The progress window comes up with the first file and shows the file being converted; its
  // Cancel is honoured until the originals are replaced. It closes before the message about
  // the outcome.
  TReplaceOutcome outcome;
  {
    std::unique_ptr<IRunProgress> progress;
    replacer->OnProgress = [&](int done, int total, const std::string& file) {
      if (!progress) progress = Dialogs().BeginProgress(title);
      if (progress && !progress->Update(done, total, file)) replacer->CancelRequested = true;
    };
    replacer->OnReplacing = [&] {
      if (progress) progress->DisableCancel();
    };
    struct Unhook {
      TComponentReplacer* r;
      ~Unhook() {
        r->OnProgress = nullptr;
        r->OnReplacing = nullptr;
      }
    } unhook{replacer};
    outcome = RunReplaceInIDE(*replacer, [this] { HideProjectForms(); });
  }
  switch (outcome) {
    case TReplaceOutcome::Cancelled:
      Dialogs().MessageBox(res::sReplaceCancelled, title, TMsgIcon::Information);
      break;
    case TReplaceOutcome::NotSaved:
      Dialogs().MessageBox(std::string(res::sCannotStartReplace) + "\n" + res::sProjectNotSaved,
                           title, TMsgIcon::Information);
      break;
    case TReplaceOutcome::Failed:
      Dialogs().MessageBox(res::sReplaceFailed, title, TMsgIcon::Error);
      break;
    case TReplaceOutcome::Succeeded:
      Dialogs().MessageBox(res::sReplaceSucceeded, title, TMsgIcon::Information);
      break;
  }
}

void TCompReplaceExpert::RunRestore(const std::string& undoFile) {
  const std::string title = Title();
  // The question names what will be restored, and where.
  const std::string target = RestoreFolder(undoFile);
  if (!ShowSaveWarning(title, false, true,
                       rtl::Format(res::sRestoreTarget, {undoFile, target.empty() ? "?" : target})))
    return;
  const std::string projectName = TIDEUtils::GetProjectFileName();
  TIDEUtils::CloseProjectGroup();  // the restore goes on whatever the IDE says
  TComponentReplacer* replacer = GetReplacer(0);
  if (replacer->Restore(undoFile))
    Dialogs().MessageBox(res::sRestoreSucceeded, title, TMsgIcon::Information);
  else
    Dialogs().MessageBox(replacer->RestoreError.empty()
                             ? std::string(res::sRestoreFailed)
                             : std::string(res::sRestoreFailed) + "\n" + replacer->RestoreError,
                         title, TMsgIcon::Error);
  TIDEUtils::OpenProject(projectName);
}

void TCompReplaceExpert::HideProjectForms() {
  auto services = TIDEUtils::GetModuleServices();
  auto active = TIDEUtils::GetActiveProject();
  const int moduleCount = services->ModuleCount();
  for (int m = 0; m < moduleCount; ++m) {
    auto module = services->Modules(m);
    if (!module) continue;
    const int fileCount = module->ModuleFileCount();
    std::shared_ptr<ota::IOTAEditor> source;
    for (int e = 0; e < fileCount && !source; ++e) {
      auto editor = module->ModuleFileEditors(e);
      if (ota::Supports<ota::IOTASourceEditor>(editor)) source = editor;
    }
    // Only a unit with a form has a designer to put behind its code.
    if (!source || fileCount <= 1) continue;
    const int ownerCount = module->OwnerCount();
    for (int o = 0; o < ownerCount; ++o) {
      auto owner = module->Owners(o);
      if (owner && active &&
          static_cast<ota::IInterface*>(owner.get()) ==
              static_cast<ota::IInterface*>(active.get())) {
        source->Show();
        break;
      }
    }
  }
}

}  // namespace migwiz
