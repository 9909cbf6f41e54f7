// The wizard dialog: leads the user through the pages that choose a replace or a restore run and
// collect its settings, and hands them over in the run's TReplaceOptions. It never starts a run.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "MigWizard/Replacer.h"
#include "rtl/Settings.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QStackedWidget;

namespace migwiz {

class TActionUpdater;

class TWizardForm : public QDialog {
  Q_OBJECT

 public:
  // GetActionIndex's answer for a restore run; any other value indexes the caller's replacers.
  static constexpr int RestoreAction = 100;

  explicit TWizardForm(QWidget* owner = nullptr);
  ~TWizardForm() override;

  virtual int GetActionIndex();
  virtual void SetWelcomeText(const std::string& sourceName, const std::string& productName);

  // Position, folder histories, mode and last undo file, under section in store.
  void LoadSettings(rtl::TSettingsStore& store, const std::string& section);
  void SaveSettings(rtl::TSettingsStore& store, const std::string& section);

  std::string FProjectFileName, FProductName;
  TReplaceOptions* FOptions = nullptr;  // not owned
  // Checks the rules file a replace run would apply, raising ERulesError when it cannot be used;
  // Finish then says why and stays. Set by the expert, which knows the replacer's table.
  std::function<void(const std::string& rulesFile)> FCheckRules;
  // Asked at Finish before anything is handed over: the question before a run touches the
  // project. Back keeps the wizard open; Decline closes it with no run (FDeclined).
  enum class TConfirm { Go, Decline, Back };
  std::function<TConfirm(TWizardForm& form)> FConfirm;
  bool FDeclined = false;
  bool FBackupDirChanged = false;

  // ---- Frame ----
  QLabel* Image1 = nullptr;  // the side picture, 120 x 260; empty here
  QFrame* Bevel1 = nullptr;  // frames Image1
  QStackedWidget* StepsPageControl = nullptr;
  QFrame* Bevel2 = nullptr;  // line above the buttons
  QPushButton* btPrev = nullptr;
  QPushButton* btNext = nullptr;
  QPushButton* btFinish = nullptr;
  QPushButton* btCancel = nullptr;

  // ---- Pages, in page order ----
  QWidget* Step1Sheet = nullptr;
  QWidget* Step2RestoreSheet = nullptr;
  QWidget* Step2ReplaceSheet = nullptr;
  QWidget* Step3ProjSheet = nullptr;
  QWidget* Step3DirSheet = nullptr;
  QWidget* Step4Sheet = nullptr;
  QWidget* FinalStepSheet = nullptr;

  // Step1Sheet
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;  // welcome text
  QLabel* Label11 = nullptr;
  QLabel* Label3 = nullptr;
  QRadioButton* rbModeReplace = nullptr;
  QRadioButton* rbModeRestore = nullptr;
  // Step2RestoreSheet
  QLabel* Label4 = nullptr;
  QLabel* lUndo = nullptr;
  QLineEdit* edUndoFile = nullptr;
  QPushButton* btRestoreBrowse = nullptr;
  QLabel* Label5 = nullptr;
  // Step2ReplaceSheet
  QLabel* Label6 = nullptr;
  QRadioButton* rbDestProject = nullptr;
  QRadioButton* rbDestFolder = nullptr;
  QLabel* Label7 = nullptr;
  // Step3ProjSheet
  QLabel* Label8 = nullptr;
  QListWidget* lbModules = nullptr;  // checkable entries
  QPushButton* btSelect = nullptr;
  QPushButton* btDeselect = nullptr;
  // Step3DirSheet
  QLabel* Label9 = nullptr;
  QLabel* lSource = nullptr;
  QComboBox* cbDirectory = nullptr;  // editable
  QPushButton* btBrowseFolder = nullptr;
  QCheckBox* chSubDirs = nullptr;
  // Step4Sheet
  QLabel* Label10 = nullptr;
  QFrame* Bevel3 = nullptr;  // backup group, titled by chMakeBackup
  QCheckBox* chMakeBackup = nullptr;
  QLabel* lBackupFolder = nullptr;
  QComboBox* cbBackupDir = nullptr;  // editable
  QPushButton* btBrowseBackFolder = nullptr;
  QFrame* Bevel4 = nullptr;  // log group, titled by chWriteLog
  QCheckBox* chWriteLog = nullptr;
  QLabel* lblLogNote = nullptr;
  QCheckBox* chViewLog = nullptr;
  // What real applications need: skip the files that cannot be converted; in folder mode, read
  // the aliases every form defines first, as project mode does.
  QCheckBox* chKeepGoing = nullptr;
  QCheckBox* chScanAliases = nullptr;
  // FinalStepSheet
  QLabel* Label13 = nullptr;
  QLabel* Label15 = nullptr;
  QLabel* Label14 = nullptr;
  QScrollArea* sbSummary = nullptr;
  QLabel* lSummary = nullptr;

  // ---- Actions ----
  QAction* actBack = nullptr;
  QAction* actNext = nullptr;
  QAction* actFinish = nullptr;
  QAction* actMakeBackup = nullptr;
  QAction* actWriteLog = nullptr;

  // ---- Steps and navigation ----
  int GetStepNumber();
  int GetStepCount();
  void UpdateCaption();
  void GoNext();
  void GoBack();
  bool CheckUnitsSelected();
  void FillUnitList();

  // ---- Backup folder, histories, summary ----
  void SetDefaultBackupDir();
  std::string GetBackupDir();
  // The rules file a replace run over the chosen files applies: the folder's migwiz-rules.json.
  std::string RulesFile();
  void AddToHistory(QComboBox* comboBox);
  void BuildReplaceSummary();
  void BuildRestoreSummary();

  // Runs every action's update handler now, as the idle update does after an input event.
  void UpdateActions();

  // ---- Handlers ----
  void FormShow();
  // The open project's own undo file on the restore page, in place of another project's.
  void OfferProjectUndoFile();
  void FormClose();
  void rbModeReplaceClick();
  void btRestoreBrowseClick();
  void btSelectClick();
  void btDeselectClick();
  void btBrowseFolderClick();
  void btBrowseBackFolderClick();
  void cbBackupDirChange();
  void actNextExecute();
  void actNextUpdate();
  void actBackExecute();
  void actBackUpdate();
  void actFinishExecute();
  void actFinishUpdate();
  void actMakeBackupExecute();
  void actMakeBackupUpdate();
  void actWriteLogExecute();
  void actWriteLogUpdate();

  // Every way of closing (Finish, Cancel, Escape, the close button) passes here.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildFrame();
  void BuildStep1();
  void BuildStep2Restore();
  void BuildStep2Replace();
  void BuildStep3Proj();
  void BuildStep3Dir();
  void BuildStep4();
  void BuildFinalStep();
  void BuildButtons();
  void BuildActions();
  void SetAllChecks(bool checked);
  std::string ProjectFolder() const;
  std::string BaseFolder();

  TActionUpdater* FActionUpdater = nullptr;
};

}  // namespace migwiz
