#include "MigWizard/plugin/ReplaceExpert.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <algorithm>
#include <cstdint>
#include <utility>

#include "MigWizard/Dialogs.h"
#include "MigWizard/ROvoradRes.h"
#include "MigWizard/ReplaceRequest.h"
#include "MigWizard/ui/QtSettingsStore.h"
#include "MigWizard/ui/SaveWarn.h"
#include "rtl/SysUtils.h"
#include "zel/ZelMenu.h"
#include "zel/ZelWait.h"

namespace migwiz {

std::unique_ptr<rtl::TSettingsStore> TCompReplaceExpert::OpenStore() const {
  if (FSeams.Store) return FSeams.Store();
  return std::make_unique<TQtSettingsStore>();
}

TCompReplaceExpert::TCompReplaceExpert(TWizardFormClass wizardFormClass, std::string menuCaption,
                                       const TProductMenu& productMenu,
                                       TComponentReplacer* replacer, TExpertSeams seams)
    : FMenuCaption(std::move(menuCaption)),
      FWizardFormClass(std::move(wizardFormClass)),
      FSeams(std::move(seams)),
      FAlive(std::make_shared<TCompReplaceExpert*>(this)) {
  rtl::Assert(replacer != nullptr, "replacer");
  AddReplacer(replacer);
  // Until the progress window comes up (listing the files, reading aliases) and during a
  // restore, which has none, the cursor is all that says the IDE is working.
  zel::SetWaitHandlers([] { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); },
                       [] { QGuiApplication::restoreOverrideCursor(); });
  std::string source = replacer->Options->SourceName;
  std::replace(source.begin(), source.end(), '/', '_');
  const std::string name = "ROvoradItem" + source + zel::RemoveAmpersands(FMenuCaption);
  std::weak_ptr<TCompReplaceExpert*> alive = FAlive;
  TIDEUtils::AddMenuItem(productMenu, "&Migration Wizard", name, [alive](ota::TMenuItem* sender) {
    if (auto self = alive.lock()) (*self)->MenuItemClick(sender);
  });
}

TCompReplaceExpert::~TCompReplaceExpert() {
  zel::SetWaitHandlers(nullptr, nullptr);
}

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
  form->FCheckRules = [replacer](const std::string& file) {
    ReadReplacementRules(file, *replacer);
  };
  // The question is asked at Finish, so Escape on it returns to the wizard.
  bool confirmed = false;
  form->FConfirm = [this, &confirmed](TWizardForm& wizard) {
    const TSaveWarnAnswer answer = AskBeforeRun(wizard);
    confirmed = answer == TSaveWarnAnswer::Yes;
    return answer == TSaveWarnAnswer::Yes  ? TWizardForm::TConfirm::Go
           : answer == TSaveWarnAnswer::No ? TWizardForm::TConfirm::Decline
                                           : TWizardForm::TConfirm::Back;
  };
  LoadSettings();
  const int result = FSeams.Run ? FSeams.Run(*form) : form->exec();
  if (result != QDialog::Accepted) return;
  // Declined: no run, but the choices are kept.
  if (!form->FDeclined) {
    const int action = form->GetActionIndex();
    try {
      if (action == TWizardForm::RestoreAction)
        RunRestore(form->edUndoFile->text().toStdString(), confirmed);
      else
        RunReplace(GetReplacer(action), confirmed);
    } catch (const std::exception& e) {
      // An error that ended the run, under the wizard's title like its other messages; the
      // choices of a run that failed are not kept.
      Dialogs().MessageBox(e.what(), Title(), TMsgIcon::Error);
      return;
    }
  }
  SaveSettings();
}

TSaveWarnAnswer TCompReplaceExpert::AskBeforeRun(TWizardForm& form) {
  const std::string title = Title();
  if (form.GetActionIndex() == TWizardForm::RestoreAction)
    return AskSaveWarning(title, false, true,
                          RestoreQuestionDetail(form.edUndoFile->text().toStdString()),
                          FSeams.SaveWarn);
  if (TIDEUtils::GetProjectFileName().empty() || !form.rbDestProject->isChecked())
    return TSaveWarnAnswer::Yes;
  return AskSaveWarning(title, true, false, {}, FSeams.SaveWarn);
}

std::string TCompReplaceExpert::RestoreQuestionDetail(const std::string& undoFile) {
  // The question names what will be restored, and where.
  const std::string target = RestoreFolder(undoFile);
  return rtl::Format(res::sRestoreTarget, {undoFile, target.empty() ? "?" : target});
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

void TCompReplaceExpert::RunReplace(TComponentReplacer* replacer, bool confirmed) {
  const std::string title = Title();
  const bool projectMode = replacer->Options->Dest == TReplaceOptions::kDestProject;
  if (!confirmed && !TIDEUtils::GetProjectFileName().empty() && projectMode &&
      !ShowSaveWarning(title, true, false, {}, FSeams.SaveWarn))
    return;
  // The progress window comes up with the first file and shows the file being converted; its
  // Cancel is honoured until the originals are replaced. It closes before the message about
  // the outcome.
  TReplaceOutcome outcome;
  TRunResult found;
  {
    std::unique_ptr<IRunProgress> progress;
    replacer->OnProgress = [&](int done, int total, const std::string& file) {
      if (!progress) {
        progress = Dialogs().BeginProgress(title);
        // The window's Cancel can be pressed: busy, not blocked.
        if (QGuiApplication::overrideCursor())
          QGuiApplication::changeOverrideCursor(QCursor(Qt::BusyCursor));
      }
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
    outcome = RunReplaceInIDE(
        *replacer, [this] { HideProjectForms(); }, {}, &found);
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
    case TReplaceOutcome::Succeeded: {
      // Files skipped (the option to skip what cannot be converted) are counted; the report
      // names them.
      std::string text = res::sReplaceSucceeded;
      if (!found.Skipped.empty())
        text += "\n" +
                rtl::Format(res::sFilesSkipped, {static_cast<std::int64_t>(found.Skipped.size())});
      Dialogs().MessageBox(text, title, TMsgIcon::Information);
      break;
    }
  }
}

void TCompReplaceExpert::RunRestore(const std::string& undoFile, bool confirmed) {
  const std::string title = Title();
  if (!confirmed &&
      !ShowSaveWarning(title, false, true, RestoreQuestionDetail(undoFile), FSeams.SaveWarn))
    return;
  const std::string projectName = TIDEUtils::GetProjectFileName();
  TIDEUtils::CloseProjectGroup();  // the restore goes on whatever the IDE says
  TComponentReplacer* replacer = GetReplacer(0);
  std::string error;
  if (replacer->Restore(undoFile, &error)) {
    // What the views showed of the run is undone.
    if (auto view = ota::Supports<IRunResultsView>(ota::BorlandIDEServices))
      view->ClearRunResults();
    Dialogs().MessageBox(res::sRestoreSucceeded, title, TMsgIcon::Information);
  } else
    Dialogs().MessageBox(error.empty() ? std::string(res::sRestoreFailed)
                                       : std::string(res::sRestoreFailed) + "\n" + error,
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
