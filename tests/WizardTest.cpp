// The wizard dialog driven as a user would: buttons, typed keys and scripted pickers and messages,
// with a scripted IDE behind it.
#include "MigWizard/ui/Wizard.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "MigWizard/Dialogs.h"
#include "MigWizard/ReplaceRequest.h"
#include "MigWizard/ui/QtActions.h"
#include "support/QtTestApp.h"
#include "support/ScriptedIDE.h"
#include "support/TestUtil.h"

namespace {

using migwiz::TMsgIcon;
using migwiz::TWizardForm;

std::string Str(const QString& text) {
  return text.toStdString();
}

// Keys typed into a widget, each press followed by its release, as input events.
void Type(QWidget* widget, const QString& text) {
  for (QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QCoreApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
    QCoreApplication::sendEvent(widget, &release);
  }
  QCoreApplication::processEvents();
}

// The space bar on a button: a click that comes from input.
void Press(QWidget* button) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
  QCoreApplication::sendEvent(button, &press);
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ");
  QCoreApplication::sendEvent(button, &release);
  QCoreApplication::processEvents();
}

// Records the order of the keys written and read.
class RecordingStore : public rtl::TSettingsStore {
 public:
  int ReadInteger(const std::string& s, const std::string& k, int d) override {
    keys.push_back(k);
    return values.ReadInteger(s, k, d);
  }
  std::string ReadString(const std::string& s, const std::string& k,
                         const std::string& d) override {
    keys.push_back(k);
    return values.ReadString(s, k, d);
  }
  bool ReadBool(const std::string& s, const std::string& k, bool d) override {
    keys.push_back(k);
    return values.ReadBool(s, k, d);
  }
  void WriteInteger(const std::string& s, const std::string& k, int v) override {
    keys.push_back(k);
    values.WriteInteger(s, k, v);
  }
  void WriteString(const std::string& s, const std::string& k, const std::string& v) override {
    keys.push_back(k);
    values.WriteString(s, k, v);
  }
  void WriteBool(const std::string& s, const std::string& k, bool v) override {
    keys.push_back(k);
    values.WriteBool(s, k, v);
  }
  std::string Raw(const std::string& s, const std::string& k) const { return values.Raw(s, k); }

  rtl::TMemorySettingsStore values;
  std::vector<std::string> keys;
};

const std::vector<std::string> kKeyOrder{"Left",           "Top",         "DirHistory",
                                         "BackDirHistory", "ReplaceMode", "LastUndo"};

class WizardTest : public qttest::QtTest {
 protected:
  void SetUp() override {
    migwiz::SetDialogs(&dialogs);
    testutil::WriteFile(app + "/App.dpr", "program App;");
    testutil::WriteFile(src + "/Unit1.pas", "unit Unit1;");
  }
  void TearDown() override {
    form.reset();
    migwiz::SetDialogs(nullptr);
  }

  void OpenProject(std::vector<std::string> modules) {
    ide.reset();  // the old IDE unregisters itself when it goes
    ide = std::make_unique<testutil::ScriptedIDE>(app + "/App.dpr", std::move(modules));
  }
  void Show() {
    if (!ide) ide = std::make_unique<testutil::ScriptedIDE>();
    form = std::make_unique<TWizardForm>();
    form->FProductName = "Kyzel";
    form->FOptions = &options;
    form->show();
    QCoreApplication::processEvents();
  }
  void Next(int times = 1) {
    for (int i = 0; i < times; ++i) {
      form->btNext->click();
      QCoreApplication::processEvents();
    }
  }
  void Back() {
    form->btPrev->click();
    QCoreApplication::processEvents();
  }
  QWidget* Page() { return form->StepsPageControl->currentWidget(); }
  bool HasFocus(QWidget* widget) {
    QWidget* focused = form->focusWidget();
    return focused == widget || widget->isAncestorOf(focused);
  }
  std::string Caption() { return Str(form->windowTitle()); }
  std::vector<std::string> Units() {
    std::vector<std::string> units;
    for (int i = 0; i < form->lbModules->count(); ++i)
      units.push_back(Str(form->lbModules->item(i)->text()) +
                      (form->lbModules->item(i)->checkState() == Qt::Checked ? "+" : "-"));
    return units;
  }
  std::vector<std::string> Items(QComboBox* combo) {
    std::vector<std::string> items;
    for (int i = 0; i < combo->count(); ++i) items.push_back(Str(combo->itemText(i)));
    return items;
  }

  testutil::TempDir tmp;
  std::string app = tmp / "App";
  std::string src = tmp / "Src";
  migwiz::TScriptedDialogs dialogs;
  migwiz::TReplaceOptions options{"BDE"};
  std::unique_ptr<testutil::ScriptedIDE> ide;
  std::unique_ptr<TWizardForm> form;
};

// ---- Frame and controls ----

TEST_F(WizardTest, FrameHasAFixedSizeAndTheFocusOrder) {
  Show();
  EXPECT_EQ(form->minimumSize(), form->maximumSize());
  EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(form->Image1->size(), QSize(120, 260));
  ASSERT_EQ(form->StepsPageControl->count(), 7);
  EXPECT_EQ(form->StepsPageControl->widget(6), form->FinalStepSheet);
  EXPECT_EQ(form->findChild<QComboBox*>("cbBackupDir"), form->cbBackupDir);
  EXPECT_EQ(form->lSource->buddy(), form->cbDirectory);
  EXPECT_EQ(form->lBackupFolder->buddy(), form->cbBackupDir);
  EXPECT_EQ(form->lUndo->buddy(), form->edUndoFile);
  // The pages first, then Next, Finish, Back, Cancel.
  EXPECT_EQ(form->btNext->nextInFocusChain(), form->btFinish);
  EXPECT_EQ(form->btFinish->nextInFocusChain(), form->btPrev);
  EXPECT_EQ(form->btPrev->nextInFocusChain(), form->btCancel);
  EXPECT_EQ(form->btPrev->text(), "< Bac&k");
  EXPECT_EQ(form->chMakeBackup->text(), "&Make backup");
  EXPECT_EQ(form->lSummary->textFormat(), Qt::PlainText);  // paths are never markup

  form->SetWelcomeText("BDE", "Kyzel");
  EXPECT_EQ(Str(form->Label2->text()),
            "Wizard facilitates converting your application to Kyzel. It replaces all standard "
            "BDE components to corresponding Kyzel components. You may need to make some changes "
            "manually to compile your application successfully.");
}

// Enter presses the page's default button, Next and on the last page Finish, from a field too;
// no two controls a page shows share a mnemonic with each other or with the buttons below.
TEST_F(WizardTest, EnterMovesOnAndFinishesAndMnemonicsAreUnique) {
  options.Dest = 1;
  options.Directory = src;
  Show();
  auto enter = [&](QWidget* target) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, "\r");
    QCoreApplication::sendEvent(target, &release);
    // The default button clicks itself as a user sees it: after a short press.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 250) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  };
  auto mnemonics = [&](QWidget* page) {
    std::vector<QString> texts{form->btNext->text(), form->btFinish->text(), form->btPrev->text(),
                               form->btCancel->text()};
    for (QAbstractButton* b : page->findChildren<QAbstractButton*>())
      if (b->isVisibleTo(form.get())) texts.push_back(b->text());
    for (QLabel* l : page->findChildren<QLabel*>())
      if (l->buddy()) texts.push_back(l->text());
    std::vector<QChar> keys;
    for (const QString& t : texts) {
      const qsizetype at = t.indexOf('&');
      if (at < 0 || at + 1 >= t.size()) continue;
      const QChar key = t[at + 1].toUpper();
      EXPECT_EQ(std::count(keys.begin(), keys.end(), key), 0)
          << Str(t) << " on " << Str(page->objectName());
      keys.push_back(key);
    }
  };
  const std::vector<QWidget*> pages{form->Step2ReplaceSheet, form->Step3DirSheet, form->Step4Sheet,
                                    form->FinalStepSheet};
  for (QWidget* expected : pages) {
    mnemonics(Page());
    EXPECT_TRUE(form->btNext->isDefault());
    enter(Page() == form->Step3DirSheet ? static_cast<QWidget*>(form->cbDirectory) : form.get());
    EXPECT_EQ(Page(), expected);
  }
  mnemonics(Page());
  EXPECT_TRUE(form->btFinish->isDefault());
  EXPECT_FALSE(form->btNext->isDefault());
  enter(form.get());
  EXPECT_EQ(form->result(), QDialog::Accepted);
  EXPECT_EQ(options.Dest, 1);
  OpenProject({app + "/Main.pas"});
  options.Dest = 0;
  Show();
  Next(2);
  ASSERT_EQ(Page(), form->Step3ProjSheet) << Str(Page()->objectName());
  mnemonics(Page());
  EXPECT_EQ(form->btSelect->text(), "&Select All");
}

// A project of hundreds of units: the summary scrolls inside the fixed window.
TEST_F(WizardTest, SummaryOfHundredsOfUnitsScrolls) {
  std::vector<std::string> units;
  for (int i = 0; i < 400; ++i) units.push_back(app + "/Unit" + std::to_string(i) + ".pas");
  OpenProject(units);
  Show();
  Next(4);
  ASSERT_EQ(Page(), form->FinalStepSheet);
  QCoreApplication::processEvents();
  EXPECT_GT(form->sbSummary->verticalScrollBar()->maximum(), 0);
  EXPECT_TRUE(form->sbSummary->viewport()->height() < form->lSummary->height());
  EXPECT_EQ(form->minimumSize(), form->maximumSize());
  EXPECT_NE(Str(form->lSummary->text()).find("Unit399.pas\n"), std::string::npos);
}

// ---- Page sequences and captions ----

TEST_F(WizardTest, ReplaceInTheOpenProjectWalksFivePagesAndBack) {
  OpenProject({app + "/Main.pas"});
  Show();
  EXPECT_EQ(Caption(), "Kyzel Migration Wizard - Step 1 of 5");
  EXPECT_FALSE(form->btPrev->isEnabled());
  EXPECT_FALSE(form->btFinish->isEnabled());
  EXPECT_TRUE(form->rbDestProject->isEnabled() && form->rbDestProject->isChecked());

  const std::vector<std::pair<QWidget*, const char*>> forward{
      {form->Step2ReplaceSheet, "Kyzel Migration Wizard - Step 2 of 5"},
      {form->Step3ProjSheet, "Kyzel Migration Wizard - Step 3 of 5"},
      {form->Step4Sheet, "Kyzel Migration Wizard - Step 4 of 5"},
      {form->FinalStepSheet, "Kyzel Migration Wizard - Step 5 of 5"}};
  for (const auto& [page, caption] : forward) {
    Next();
    EXPECT_EQ(Page(), page);
    EXPECT_EQ(Caption(), caption);
    EXPECT_TRUE(form->btPrev->isEnabled());
  }
  EXPECT_FALSE(form->btNext->isEnabled());
  EXPECT_TRUE(form->btFinish->isEnabled());

  for (QWidget* page :
       {form->Step4Sheet, form->Step3ProjSheet, form->Step2ReplaceSheet, form->Step1Sheet}) {
    Back();
    EXPECT_EQ(Page(), page);
    EXPECT_FALSE(form->btFinish->isEnabled());
  }
  EXPECT_EQ(Caption(), "Kyzel Migration Wizard - Step 1 of 5");
}

TEST_F(WizardTest, ModeButtonsSwitchTheStepCountAndRestoreWalksThreePages) {
  Show();
  form->rbModeRestore->click();
  EXPECT_EQ(Caption(), "Kyzel Migration Wizard - Step 1 of 3");
  form->rbModeReplace->click();
  EXPECT_EQ(Caption(), "Kyzel Migration Wizard - Step 1 of 5");
  form->rbModeRestore->click();
  EXPECT_EQ(form->GetActionIndex(), TWizardForm::RestoreAction);

  Next();
  EXPECT_EQ(Page(), form->Step2RestoreSheet);
  EXPECT_EQ(Caption(), "Kyzel Migration Wizard - Step 2 of 3");
  EXPECT_FALSE(form->btNext->isEnabled());  // no undo file named yet

  const std::string missing = app + "/none.reu";
  Type(form->edUndoFile, QString::fromStdString(missing));
  EXPECT_TRUE(form->btNext->isEnabled());
  Next();
  EXPECT_EQ(Page(), form->Step2RestoreSheet);
  ASSERT_EQ(dialogs.calls.size(), 1u);
  EXPECT_EQ(dialogs.calls[0].Kind, "MessageBox");
  EXPECT_EQ(dialogs.calls[0].Text, "Undo file \"" + missing + "\" does not exist.");
  EXPECT_EQ(dialogs.calls[0].Caption, "BDE Migration Wizard");
  EXPECT_EQ(dialogs.calls[0].Icon, TMsgIcon::Information);
  EXPECT_TRUE(HasFocus(form->edUndoFile));
  EXPECT_EQ(Caption(), "Kyzel Migration Wizard - Step 2 of 3");

  const std::string undo = app + "/RBackup/ROvorad.reu";
  testutil::WriteFile(undo, "");
  form->edUndoFile->setText(QString::fromStdString(undo));
  Next();
  EXPECT_EQ(Page(), form->FinalStepSheet);
  EXPECT_EQ(Caption(), "Kyzel Migration Wizard - Step 3 of 3");
  EXPECT_EQ(Str(form->lSummary->text()),
            "Mode: Restore original files from backup\n\nUndo file: \"" + undo + "\"\n\n");
  Back();
  EXPECT_EQ(Page(), form->Step2RestoreSheet);
}

TEST_F(WizardTest, WithoutAProjectTheFolderIsScannedAndMustExist) {
  options.Dest = 0;
  Show();
  EXPECT_FALSE(form->rbDestProject->isEnabled());
  EXPECT_TRUE(form->rbDestFolder->isChecked());
  Next(2);
  EXPECT_EQ(Page(), form->Step3DirSheet);
  EXPECT_FALSE(form->btNext->isEnabled());

  Type(form->cbDirectory->lineEdit(), "nowhere");
  ASSERT_TRUE(form->btNext->isEnabled());
  Next();
  EXPECT_EQ(Page(), form->Step3DirSheet);
  ASSERT_EQ(dialogs.calls.size(), 1u);
  EXPECT_EQ(dialogs.calls[0].Text, "Target directory \"nowhere\" does not exist.");
  EXPECT_EQ(dialogs.calls[0].Caption, "BDE Migration Wizard");
  EXPECT_TRUE(HasFocus(form->cbDirectory));

  form->cbDirectory->setEditText(QString::fromStdString(src));
  Next();
  EXPECT_EQ(Page(), form->Step4Sheet);
  EXPECT_EQ(Str(form->cbBackupDir->currentText()), src + "/RBackup");
  Next();
  Back();
  Back();
  EXPECT_EQ(Page(), form->Step3DirSheet);
}

// ---- Units of the project ----

TEST_F(WizardTest, UnitListHoldsPascalUnitsByNameAndIsFilledOnce) {
  OpenProject({app + "/Main.pas", app + "/Data.PAS", app + "/App.dpr", "", tmp / "Lib/Main.pas",
               app + "/Notes.pas.txt"});
  Show();
  Next(2);
  EXPECT_EQ(Units(), (std::vector<std::string>{"Main.pas+", "Data.PAS+", "Main.pas+"}));

  form->lbModules->item(1)->setCheckState(Qt::Unchecked);
  Back();
  Next();
  EXPECT_EQ(Units(), (std::vector<std::string>{"Main.pas+", "Data.PAS-", "Main.pas+"}));
  EXPECT_EQ(ide->project->moduleCountQueries, 1);

  form->btDeselect->click();
  Next();
  EXPECT_EQ(Page(), form->Step3ProjSheet);
  EXPECT_EQ(Caption(), "Kyzel Migration Wizard - Step 3 of 5");
  ASSERT_EQ(dialogs.calls.size(), 1u);
  EXPECT_EQ(dialogs.calls[0].Kind, "ShowMessage");
  EXPECT_EQ(dialogs.calls[0].Text, "At least one unit should be selected.");
  EXPECT_TRUE(HasFocus(form->lbModules));

  form->btSelect->click();
  EXPECT_EQ(Units(), (std::vector<std::string>{"Main.pas+", "Data.PAS+", "Main.pas+"}));
}

// ---- Options page ----

TEST_F(WizardTest, OptionsPageEnablingFollowsTheCheckBoxes) {
  OpenProject({app + "/Main.pas"});
  options.ViewLog = true;
  Show();
  Next(3);
  ASSERT_EQ(Page(), form->Step4Sheet);
  const QString proposed = form->cbBackupDir->currentText();

  Press(form->chMakeBackup);
  EXPECT_FALSE(form->cbBackupDir->isEnabled());
  EXPECT_FALSE(form->btBrowseBackFolder->isEnabled());
  EXPECT_FALSE(form->lBackupFolder->isEnabled());
  EXPECT_EQ(form->cbBackupDir->currentText(), proposed);
  Press(form->chMakeBackup);
  EXPECT_TRUE(form->cbBackupDir->isEnabled());

  Press(form->chWriteLog);
  EXPECT_FALSE(form->chViewLog->isEnabled());
  EXPECT_FALSE(form->lblLogNote->isEnabled());
  EXPECT_TRUE(form->chViewLog->isChecked());
  EXPECT_FALSE(form->FBackupDirChanged);  // the proposal and the clicks are not user edits

  Next();
  EXPECT_EQ(Str(form->lSummary->text()),
            "Mode: Replace BDE components\n\nScan destination: Current open project\n\n"
            "Backup dir: \"" +
                app + "/RBackup\"\n\nUnits list:\nMain.pas\n");
}

TEST_F(WizardTest, BackupFolderIsProposedUntilTheUserChangesIt) {
  OpenProject({app + "/Main.pas"});
  options.Directory = src;
  Show();
  Next(3);
  EXPECT_EQ(Str(form->cbBackupDir->currentText()), app + "/RBackup");
  Back();
  Back();
  form->rbDestFolder->click();
  Next(2);
  EXPECT_EQ(Str(form->cbBackupDir->currentText()), src + "/RBackup");

  dialogs.QueuePick("");  // cancelled: nothing changes
  form->btBrowseBackFolder->click();
  EXPECT_FALSE(form->FBackupDirChanged);
  EXPECT_EQ(dialogs.calls.back().Text, "Select directory");

  form->cbBackupDir->setEditText("");
  Type(form->cbBackupDir->lineEdit(), "Save");
  EXPECT_TRUE(form->FBackupDirChanged);
  Back();
  Back();
  form->rbDestProject->click();
  Next(2);
  EXPECT_EQ(Str(form->cbBackupDir->currentText()), "Save");
  EXPECT_EQ(form->GetBackupDir(), app + "/Save");
  form->cbBackupDir->setEditText(QString::fromStdString(tmp / "Elsewhere"));
  EXPECT_EQ(form->GetBackupDir(), tmp / "Elsewhere");
  form->cbBackupDir->setEditText("");
  EXPECT_EQ(form->GetBackupDir(), app + "/");
}

TEST_F(WizardTest, PickersFillTheirFieldsAndCancellingKeepsThem) {
  Show();
  form->edUndoFile->setText("/old/place/ROvorad.reu");
  dialogs.QueuePick("");
  form->btRestoreBrowse->click();
  EXPECT_EQ(form->edUndoFile->text(), "/old/place/ROvorad.reu");
  ASSERT_EQ(dialogs.calls.size(), 1u);
  EXPECT_EQ(dialogs.calls[0].Text, "Undo files (*.reu)|*.reu|All files (*.*)|*.*");
  EXPECT_EQ(dialogs.calls[0].Caption, "/old/place");
  dialogs.QueuePick("/new/ROvorad.reu");
  form->btRestoreBrowse->click();
  EXPECT_EQ(form->edUndoFile->text(), "/new/ROvorad.reu");

  form->cbDirectory->setEditText("keep");
  dialogs.QueuePick("");
  form->btBrowseFolder->click();
  EXPECT_EQ(form->cbDirectory->currentText(), "keep");
  dialogs.QueuePick(src);
  form->btBrowseFolder->click();
  EXPECT_EQ(Str(form->cbDirectory->currentText()), src);
  dialogs.QueuePick(tmp / "B");
  form->btBrowseBackFolder->click();
  EXPECT_TRUE(form->FBackupDirChanged);
  EXPECT_EQ(Str(form->cbBackupDir->currentText()), tmp / "B");
}

// ---- Finish and the hand-over ----

// The summary names the rules file a run over the folder applies; one that cannot be used stops
// Finish with its reason in an error box, and the wizard stays where it is.
TEST_F(WizardTest, TheFoldersRulesFileIsNamedAndCheckedAtFinish) {
  const std::string rules = src + "/migwiz-rules.json";
  testutil::WriteFile(rules, "{}");
  options.Dest = 1;
  options.Directory = src;
  std::vector<std::string> checked;
  auto check = [&](const std::string& file) {
    checked.push_back(file);
    if (testutil::ReadFile(file) != "{}")
      throw migwiz::ERulesError("Rules file " + file + ": broken");
  };
  Show();
  form->FCheckRules = check;
  Next(4);
  ASSERT_EQ(Page(), form->FinalStepSheet);
  EXPECT_NE(Str(form->lSummary->text()).find("Rules file: \"" + rules + "\""), std::string::npos)
      << Str(form->lSummary->text());
  form->btFinish->click();
  EXPECT_EQ(form->result(), QDialog::Accepted);
  EXPECT_EQ(options.RulesFile, rules);
  EXPECT_EQ(checked, std::vector<std::string>{rules});

  testutil::WriteFile(rules, "{");
  options.RulesFile.clear();
  Show();
  form->FCheckRules = check;
  Next(4);
  form->btFinish->click();
  ASSERT_FALSE(dialogs.calls.empty());
  EXPECT_EQ(dialogs.calls.back().Text, "Rules file " + rules + ": broken");
  EXPECT_EQ(dialogs.calls.back().Caption, "BDE Migration Wizard");
  EXPECT_EQ(dialogs.calls.back().Icon, TMsgIcon::Error);
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(Page(), form->FinalStepSheet);
  EXPECT_EQ(options.RulesFile, "");
}

TEST_F(WizardTest, FinishInTheProjectHandsOverTheCheckedUnits) {
  OpenProject({app + "/Main.pas", app + "/Data.pas", app + "/Util.pas"});
  options.Directory = src;
  Show();
  Next(2);
  form->lbModules->item(1)->setCheckState(Qt::Unchecked);
  Next();
  form->chSubDirs->setChecked(true);
  form->chViewLog->setChecked(true);
  Next();
  form->btFinish->click();

  EXPECT_EQ(form->result(), QDialog::Accepted);
  EXPECT_EQ(options.Dest, 0);
  EXPECT_EQ(options.Units, app + "/Main.pas\r\n" + app + "/Util.pas\r\n");  // full paths
  EXPECT_EQ(options.Directory, src);
  EXPECT_TRUE(options.IncludeSubDirs && options.MakeBackup && options.WriteLog && options.ViewLog);
  EXPECT_EQ(options.BackupDir, app + "/RBackup");
  EXPECT_EQ(Items(form->cbDirectory), std::vector<std::string>{src});
  EXPECT_EQ(Items(form->cbBackupDir), std::vector<std::string>{app + "/RBackup"});
  EXPECT_EQ(form->lbModules->count(), 0);  // emptied on closing
  EXPECT_EQ(form->GetActionIndex(), 0);
}

TEST_F(WizardTest, FinishInAFolderKeepsTheUnitsAndInRestoreModeStillWrites) {
  OpenProject({app + "/Main.pas"});
  options.Dest = 1;
  options.Directory = src;
  options.Units = "Kept.pas\r\n";
  Show();
  Next(3);
  form->chMakeBackup->click();
  Next();
  form->btFinish->click();
  EXPECT_EQ(options.Dest, 1);
  EXPECT_EQ(options.Units, "Kept.pas\r\n");
  EXPECT_FALSE(options.MakeBackup);
  EXPECT_EQ(options.BackupDir, src + "/RBackup");

  // Restore never visits the options page: the emptied backup folder resolves to the base.
  options.Dest = 0;
  options.MakeBackup = true;
  Show();
  form->rbModeRestore->click();
  const std::string undo = app + "/RBackup/ROvorad.reu";
  testutil::WriteFile(undo, "");
  form->edUndoFile->setText(QString::fromStdString(undo));
  Next(2);
  form->btFinish->click();
  EXPECT_EQ(form->GetActionIndex(), TWizardForm::RestoreAction);
  EXPECT_EQ(options.Dest, 0);
  EXPECT_EQ(options.Units, "");
  EXPECT_EQ(options.Directory, src);
  EXPECT_EQ(options.BackupDir, app + "/");
  EXPECT_EQ(Items(form->cbDirectory), std::vector<std::string>{src});
  rtl::TMemorySettingsStore store;
  form->SaveSettings(store, "W");
  // The undo file restored from, for the next restore to start with.
  EXPECT_EQ(store.Raw("W", "LastUndo"), undo);
}

// The restore page offers the open project's own undo file rather than one remembered from
// another project; one remembered that restores into this project (another backup folder) stays.
TEST_F(WizardTest, RestorePageOffersTheOpenProjectsUndoFile) {
  OpenProject({app + "/Main.pas"});
  const std::string own = app + "/RBackup/ROvorad.reu";
  testutil::WriteFile(own, app + "/Main.pas=" + app + "/RBackup/Main.~pas\r\n");
  const std::string other = tmp / "Other/RBackup/ROvorad.reu";
  testutil::WriteFile(other, tmp / "Other/Main.pas" + "=" + tmp / "Other/RBackup/Main.~pas\r\n");
  const std::string mine = tmp / "Saves/ROvorad.reu";
  testutil::WriteFile(mine, app + "/Sub/Main.pas=" + tmp / "Saves/Main.~pas\r\n");
  const std::pair<std::string, std::string> cases[] = {{other, own}, {mine, mine}, {"", own}};
  for (const auto& [remembered, offered] : cases) {
    rtl::TMemorySettingsStore store;
    store.WriteString("W", "LastUndo", remembered);
    form = std::make_unique<TWizardForm>();
    form->FProductName = "Kyzel";
    form->FOptions = &options;
    form->LoadSettings(store, "W");
    form->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(Str(form->edUndoFile->text()), offered) << remembered;
  }
  EXPECT_EQ(migwiz::RestoreFolder(mine), app + "/Sub");
  EXPECT_EQ(migwiz::RestoreFolder(tmp / "none.reu"), "");
}

TEST_F(WizardTest, CancelAndEscapeLeaveTheOptionsAlone) {
  OpenProject({app + "/Main.pas"});
  options.Directory = src;
  Show();
  Next(2);
  form->btCancel->click();
  EXPECT_EQ(form->result(), QDialog::Rejected);
  EXPECT_EQ(form->lbModules->count(), 0);

  Show();
  Next();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(form.get(), &escape);
  EXPECT_EQ(form->result(), QDialog::Rejected);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(options.Directory, src);
  EXPECT_EQ(options.Units, "");
  EXPECT_TRUE(options.BackupDir.empty());
}

TEST_F(WizardTest, UnknownDestinationChecksNeitherButtonAndFinishWritesFolder) {
  OpenProject({app + "/Main.pas"});
  options.Dest = 7;
  options.Directory = src;
  Show();
  EXPECT_FALSE(form->rbDestProject->isChecked());
  EXPECT_FALSE(form->rbDestFolder->isChecked());
  Next(2);
  EXPECT_EQ(Page(), form->Step3DirSheet);
  Next(2);
  EXPECT_EQ(Str(form->lSummary->text()),
            "Mode: Replace BDE components\n\nScan destination: Folder \"" + src +
                "\"\n\nBackup dir: \"" + src + "/RBackup\"\n\nWrite log file\n\n");
  form->btFinish->click();
  EXPECT_EQ(options.Dest, 1);
}

// ---- Settings and histories ----

TEST_F(WizardTest, SettingsRoundTripInOrder) {
  RecordingStore store;
  store.values.WriteString("W", "DirHistory", "a\rb\nc\r\nd\r\n");
  store.values.WriteBool("W", "ReplaceMode", false);
  store.values.WriteString("W", "LastUndo", "/x/ROvorad.reu");
  OpenProject({app + "/Main.pas"});
  form = std::make_unique<TWizardForm>();
  const QPoint centred = form->pos();
  form->LoadSettings(store, "W");
  EXPECT_EQ(store.keys, kKeyOrder);
  EXPECT_EQ(form->pos(), centred);  // no stored position: stays centred
  EXPECT_EQ(Items(form->cbDirectory), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(form->cbBackupDir->count(), 0);
  EXPECT_TRUE(form->rbModeRestore->isChecked() && !form->rbModeReplace->isChecked());
  EXPECT_EQ(form->edUndoFile->text(), "/x/ROvorad.reu");

  form->move(40, 30);
  form->FOptions = &options;
  form->show();
  form->rbModeReplace->click();
  store.keys.clear();
  form->SaveSettings(store, "W");
  EXPECT_EQ(store.keys, kKeyOrder);
  EXPECT_EQ(store.Raw("W", "Left"), "40");
  EXPECT_EQ(store.Raw("W", "Top"), "30");
  EXPECT_EQ(store.Raw("W", "DirHistory"), "a\r\nb\r\nc\r\nd\r\n");
  EXPECT_EQ(store.Raw("W", "BackDirHistory"), "");
  EXPECT_EQ(store.Raw("W", "ReplaceMode"), "1");
  EXPECT_EQ(store.Raw("W", "LastUndo"), app + "/ROvorad.reu");
  form->chMakeBackup->setChecked(false);
  form->SaveSettings(store, "W");
  EXPECT_EQ(store.Raw("W", "LastUndo"), "");

  TWizardForm fresh;
  fresh.LoadSettings(store.values, "W");
  EXPECT_EQ(fresh.pos(), QPoint(40, 30));
  EXPECT_EQ(Items(fresh.cbDirectory), Items(form->cbDirectory));
  EXPECT_TRUE(fresh.rbModeReplace->isChecked());
}

TEST_F(WizardTest, HistoryIgnoresCaseDuplicatesAndHoldsTenAfterAnAddition) {
  form = std::make_unique<TWizardForm>();
  QComboBox* combo = form->cbDirectory;
  combo->addItems({"D:/Old", "C:/work/app"});
  combo->setEditText("C:/Work/App");
  form->AddToHistory(combo);
  EXPECT_EQ(Items(combo), (std::vector<std::string>{"D:/Old", "C:/work/app"}));
  combo->setEditText("");
  form->AddToHistory(combo);
  EXPECT_EQ(combo->count(), 2);

  combo->clear();
  for (int i = 0; i < 10; ++i) combo->addItem(QString::number(i));
  combo->setEditText("new");
  form->AddToHistory(combo);
  ASSERT_EQ(combo->count(), 10);
  EXPECT_EQ(Str(combo->itemText(0)), "new");
  EXPECT_EQ(Str(combo->itemText(9)), "8");
  EXPECT_EQ(Str(combo->currentText()), "new");

  // A longer list read from the store loses only one entry per addition.
  combo->clear();
  for (int i = 0; i < 15; ++i) combo->addItem(QString::number(i));
  combo->setEditText("more");
  form->AddToHistory(combo);
  EXPECT_EQ(combo->count(), 15);
  EXPECT_EQ(Str(combo->itemText(0)), "more");
}

// ---- The idle update of actions ----

TEST_F(WizardTest, ActionUpdaterRunsOnceAfterInputEventsAndButtonsFollowActions) {
  QWidget host;
  QLineEdit field(&host);
  migwiz::TActionUpdater updater;
  QAction action("Go", &host);
  int updates = 0;
  QString seen;
  updater.Register(&action, [&] {
    ++updates;
    seen = field.text();
  });
  QPushButton button(&host);
  migwiz::BindToAction(&button, &action);
  EXPECT_EQ(button.text(), "Go");

  QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, "a");
  QCoreApplication::sendEvent(&field, &press);
  QCoreApplication::sendEvent(&field, &press);
  EXPECT_EQ(updates, 0);  // not before the events are handled
  QCoreApplication::processEvents();
  EXPECT_EQ(updates, 1);
  EXPECT_EQ(seen, "aa");

  int triggered = 0;
  QObject::connect(&action, &QAction::triggered, [&] { ++triggered; });
  action.setEnabled(false);
  action.setText("Stop");
  EXPECT_FALSE(button.isEnabled());
  EXPECT_EQ(button.text(), "Stop");
  action.setEnabled(true);
  button.click();
  EXPECT_EQ(triggered, 1);
}

}  // namespace
