// The IDE wizard (expert): its menu item under the product's menu starts the wizard dialog and
// then a replace or restore run with the IDE steps around it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "MigWizard/IDEUtils.h"
#include "MigWizard/Replacer.h"
#include "MigWizard/ui/SaveWarn.h"
#include "MigWizard/ui/Wizard.h"
#include "ota/ToolsAPI.h"
#include "rtl/Settings.h"

class QWidget;

namespace migwiz {

// Makes the dialog to show (the "wizard form class").
using TWizardFormClass = std::function<std::unique_ptr<TWizardForm>(QWidget* owner)>;

// What the expert reaches outside itself, handed in by its maker (a test, a script).
struct TExpertSeams {
  // Opens the settings store around LoadSettings/SaveSettings; empty: TQtSettingsStore.
  std::function<std::unique_ptr<rtl::TSettingsStore>()> Store;
  // Shows the wizard modally and gives its result; empty: exec().
  std::function<int(TWizardForm&)> Run;
  // The question before a run touches the project.
  TSaveWarnSeams SaveWarn;
};

class TCompReplaceExpert : public ota::IOTAWizard {
 public:
  // The replacer is not owned; it becomes replacer 0. Adds the menu item to the IDE, and shows a
  // busy cursor while a run works.
  TCompReplaceExpert(TWizardFormClass wizardFormClass, std::string menuCaption,
                     const TProductMenu& productMenu, TComponentReplacer* replacer,
                     TExpertSeams seams = {});
  ~TCompReplaceExpert() override;
  TCompReplaceExpert(const TCompReplaceExpert&) = delete;
  TCompReplaceExpert& operator=(const TCompReplaceExpert&) = delete;

  ota::IInterface* QueryInterface(const ota::TGUID& iid) override;

  void AfterSave() override {}
  void BeforeSave() override {}
  void Destroyed() override {}
  void Modified() override {}
  std::string GetIDString() override;
  std::string GetName() override;
  ota::TWizardState GetState() override { return {}; }
  void Execute() override {}

  void AddReplacer(TComponentReplacer* replacer);
  // rtl::EAssertionFailed for an index outside the list.
  TComponentReplacer* GetReplacer(int index);
  int ReplacerCount() const { return static_cast<int>(FReplacers.size()); }

  void MenuItemClick(ota::TMenuItem* sender);
  void LoadSettings();
  void SaveSettings();
  // confirmed: the question before the project is touched was answered Yes at Finish.
  void RunReplace(TComponentReplacer* replacer, bool confirmed = false);
  void RunRestore(const std::string& undoFile, bool confirmed = false);
  void HideProjectForms();

  // The dialog of the click in progress; nullptr outside a click.
  TWizardForm* CurrentWizardForm() const { return FCurrentForm; }

 private:
  std::string ProductName() const;
  std::string Title();
  // The question the run of the form's choices asks before it touches the project.
  TSaveWarnAnswer AskBeforeRun(TWizardForm& form);
  std::string RestoreQuestionDetail(const std::string& undoFile);

  std::unique_ptr<rtl::TSettingsStore> OpenStore() const;

  std::string FMenuCaption;
  TWizardFormClass FWizardFormClass;
  TExpertSeams FSeams;
  std::vector<TComponentReplacer*> FReplacers;  // not owned
  TWizardForm* FCurrentForm = nullptr;
  // The menu item outlives the expert (the IDE's menu owns it): its handler holds only this
  // token, so a click after the expert is gone does nothing.
  std::shared_ptr<TCompReplaceExpert*> FAlive;
};

}  // namespace migwiz
