// The expert and the plug-in entry against a scripted IDE: its menu item, each path of a click
// and the settings around it.
#include "MigWizard/plugin/ReplaceExpert.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "MigWizard/Dialogs.h"
#include "MigWizard/ui/SaveWarn.h"
#include "ota/Application.h"
#include "product/KyMenu.h"
#include "product/KyReplacer.h"
#include "product/plugin/KyMigWizard100.h"
#include "support/QtTestApp.h"
#include "support/ScriptedIDE.h"
#include "support/TestUtil.h"

namespace {

using migwiz::TCompReplaceExpert;
using migwiz::TMsgIcon;

std::vector<std::string>* gLog = nullptr;
void Note(const std::string& line) {
  if (gLog) gLog->push_back(line);
}

class FakeEditor : public ota::IOTASourceEditor {
 public:
  FakeEditor(std::string name, bool source) : name_(std::move(name)), source_(source) {}
  std::string FileName() override { return name_; }
  void Show() override { Note("show " + name_); }
  ota::IInterface* QueryInterface(const ota::TGUID& iid) override {
    if (!source_ && iid == ota::IOTASourceEditor::IID) return nullptr;
    if (auto* found = ota::QueryFor<ota::IOTASourceEditor, ota::IOTAEditor>(this, iid))
      return found;
    return IInterface::QueryInterface(iid);
  }

 private:
  std::string name_;
  bool source_;
};

template <class I>
class FakeModuleOf : public I {
 public:
  std::string FileName() override { return fileName; }
  int ModuleFileCount() override { return static_cast<int>(editors.size()); }
  std::shared_ptr<ota::IOTAEditor> ModuleFileEditors(int i) override { return editors.at(i); }
  int OwnerCount() override { return static_cast<int>(owners.size()); }
  std::shared_ptr<ota::IOTAProject> Owners(int i) override { return owners.at(i); }
  bool Close() override {
    Note("close " + fileName);
    return true;
  }
  ota::IInterface* QueryInterface(const ota::TGUID& iid) override {
    if (auto* found = ota::QueryFor<I, ota::IOTAModule>(this, iid)) return found;
    return ota::IInterface::QueryInterface(iid);
  }

  std::string fileName;
  std::vector<std::shared_ptr<ota::IOTAEditor>> editors;
  std::vector<std::shared_ptr<ota::IOTAProject>> owners;
};

class FakeProject : public FakeModuleOf<ota::IOTAProject> {
 public:
  bool Save(bool, bool) override {
    Note("save");
    return saveResult;
  }
  int GetModuleCount() override { return static_cast<int>(units.size()); }
  std::shared_ptr<ota::IOTAModuleInfo> GetModule(int i) override {
    return std::make_shared<testutil::ScriptedModuleInfo>(units.at(i));
  }
  std::vector<std::string> units;
  bool saveResult = true;
};

class FakeGroup : public FakeModuleOf<ota::IOTAProjectGroup> {
 public:
  std::shared_ptr<ota::IOTAProject> ActiveProject() override { return active; }
  std::shared_ptr<FakeProject> active;
};

class FakeServices : public ota::IOTAModuleServices,
                     public ota::IOTAActionServices,
                     public ota::INTAServices {
 public:
  ota::IInterface* QueryInterface(const ota::TGUID& iid) override {
    if (!answerMenus && iid == ota::INTAServices::IID) return nullptr;
    if (auto* found =
            ota::QueryFor<ota::IOTAModuleServices, ota::IOTAActionServices, ota::INTAServices>(this,
                                                                                               iid))
      return found;
    return IInterface::QueryInterface(iid);
  }
  int ModuleCount() override { return static_cast<int>(modules.size()); }
  std::shared_ptr<ota::IOTAModule> Modules(int i) override { return modules.at(i); }
  bool OpenProject(const std::string& fileName, bool) override {
    Note("open " + fileName);
    return true;
  }
  bool OpenFile(const std::string&) override { return false; }
  bool ReloadFile(const std::string& fileName) override {
    Note("reload " + fileName);
    return true;
  }
  ota::TMainMenu* MainMenu() override { return &menu; }
  void InsertMenuItem(const std::string& target, ota::TBasicAction*, ota::TMenuItem* item,
                      bool after, bool child) override {
    ota::InsertMenuItemByName(menu, target, item, after, child);
  }
  void AddTop(const std::string& name, const std::string& caption) {
    ota::TMenuItem* item = ota::TMenuItem::Create(menu);
    item->SetName(name);
    item->SetCaption(caption);
    menu.Items()->Add(item);
  }
  std::vector<std::string> TopCaptions() const {
    std::vector<std::string> captions;
    for (int i = 0; i < menu.Items()->Count(); ++i)
      captions.push_back(menu.Items()->Items(i)->Caption());
    return captions;
  }

  std::vector<std::shared_ptr<ota::IOTAModule>> modules;
  ota::TMainMenu menu;
  bool answerMenus = true;
};

class ReplaceExpertTest : public qttest::QtTest {
 protected:
  void SetUp() override {
    gLog = &log;
    services->AddTop("FileItem", "&File");
    services->AddTop("HelpItem", "&Help");
    ota::BorlandIDEServices = services;
    migwiz::SetDialogs(&dialogs);
    seams.Store = [this] {
      ++storeOpens;
      return std::make_unique<SharedStore>(store);
    };
    seams.Run = [this](migwiz::TWizardForm& form) { return modal(form); };
    seams.SaveWarn.Store = [] { return std::make_shared<rtl::TMemorySettingsStore>(); };
    seams.SaveWarn.Run = [this](migwiz::TSaveWarnForm& form) {
      Note("warn");
      warnNote = form.lblNote->text().toStdString();
      return warnAnswer;
    };
    options.MakeBackup = false;
    options.WriteLog = false;
    replacer = ky::CreateReplacer(&options);
  }
  void TearDown() override {
    expert.reset();
    migwiz::SetDialogs(nullptr);
    ota::BorlandIDEServices.reset();
    gLog = nullptr;
  }

  // Forwards to the fixture's store, so what a click wrote can be read afterwards.
  struct SharedStore : rtl::TSettingsStore {
    explicit SharedStore(rtl::TMemorySettingsStore& s) : s(s) {}
    int ReadInteger(const std::string& a, const std::string& b, int d) override {
      return s.ReadInteger(a, b, d);
    }
    std::string ReadString(const std::string& a, const std::string& b,
                           const std::string& d) override {
      return s.ReadString(a, b, d);
    }
    bool ReadBool(const std::string& a, const std::string& b, bool d) override {
      return s.ReadBool(a, b, d);
    }
    void WriteInteger(const std::string& a, const std::string& b, int v) override {
      s.WriteInteger(a, b, v);
    }
    void WriteString(const std::string& a, const std::string& b, const std::string& v) override {
      s.WriteString(a, b, v);
    }
    void WriteBool(const std::string& a, const std::string& b, bool v) override {
      s.WriteBool(a, b, v);
    }
    rtl::TMemorySettingsStore& s;
  };

  // An open project App.dpr with a form unit Main.pas (code and form editors) and a plain unit.
  void OpenProject(std::vector<std::string> units) {
    project = std::make_shared<FakeProject>();
    project->fileName = dir / "App.dpr";
    project->units = std::move(units);
    auto group = std::make_shared<FakeGroup>();
    group->fileName = "Group";
    group->active = project;
    auto formUnit = std::make_shared<FakeModuleOf<ota::IOTAModule>>();
    formUnit->editors = {std::make_shared<FakeEditor>("Main.dfm", false),
                         std::make_shared<FakeEditor>("Main.pas", true)};
    formUnit->owners = {project};
    auto plainUnit = std::make_shared<FakeModuleOf<ota::IOTAModule>>();
    plainUnit->editors = {std::make_shared<FakeEditor>("Util.pas", true)};
    plainUnit->owners = {project};
    services->modules = {group, project, formUnit, plainUnit};
  }

  TCompReplaceExpert& MakeExpert() {
    expert = std::make_shared<TCompReplaceExpert>(
        [](QWidget* owner) { return std::make_unique<migwiz::TWizardForm>(owner); }, "&Kyzel",
        ky::Menu, replacer.get(), seams);
    return *expert;
  }

  // The dialog closes with result, after script has set it up as the user would.
  void Click(int result, std::function<void(migwiz::TWizardForm&)> script = nullptr) {
    modal = [result, script](migwiz::TWizardForm& form) {
      Note("dialog");
      if (script) script(form);
      return result;
    };
    expert->MenuItemClick(nullptr);
  }

  // What the dialogs said, without the progress window's updates.
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const auto& call : dialogs.calls)
      if (call.Kind != "Progress" && call.Kind != "Update" && call.Kind != "DisableCancel")
        texts.push_back(call.Text + (call.Icon == TMsgIcon::Error ? " [error]" : ""));
    return texts;
  }

  // A click as the user makes it: the buttons' states follow the page first.
  static void Press(QAbstractButton* button) {
    QCoreApplication::processEvents();
    button->click();
  }

  std::string WriteUnit(const std::string& name) {
    std::string path = dir / name;
    testutil::WriteFile(path, "unit X;\ninterface\nuses DBTables;\nimplementation\nend.\n");
    return path;
  }

  testutil::TempDir dir;
  // The runs' work folders go below the test's folder, out of the way of other tests' runs.
  std::string tmp = [this] {
    std::filesystem::create_directories(dir / "tmp");
    return dir / "tmp";
  }();
  testutil::ScopedEnv tmpEnv{"TMPDIR", tmp};
  std::vector<std::string> log;
  std::shared_ptr<FakeServices> services = std::make_shared<FakeServices>();
  std::shared_ptr<FakeProject> project;
  // Notes the cursor each dialog comes up under.
  struct CursorDialogs : migwiz::TScriptedDialogs {
    static std::string Cursor() {
      const QCursor* c = QGuiApplication::overrideCursor();
      return !c                             ? "arrow"
             : c->shape() == Qt::WaitCursor ? "wait"
             : c->shape() == Qt::BusyCursor ? "busy"
                                            : "other";
    }
    std::unique_ptr<migwiz::IRunProgress> BeginProgress(const std::string& title) override {
      cursors.push_back("progress " + Cursor());
      return TScriptedDialogs::BeginProgress(title);
    }
    void MessageBox(const std::string& text, const std::string& caption,
                    migwiz::TMsgIcon icon) override {
      cursors.push_back("message " + Cursor());
      TScriptedDialogs::MessageBox(text, caption, icon);
    }
    std::vector<std::string> cursors;
  } dialogs;
  rtl::TMemorySettingsStore store;
  int storeOpens = 0;
  int warnAnswer = 1;
  std::string warnNote;
  migwiz::TExpertSeams seams;
  std::function<int(migwiz::TWizardForm&)> modal;
  migwiz::TReplaceOptions options{"BDE"};
  std::unique_ptr<migwiz::TComponentReplacer> replacer;
  std::shared_ptr<TCompReplaceExpert> expert;
};

// ---- Identity and menu ----

TEST_F(ReplaceExpertTest, MenuItemIdentityAndInterfaces) {
  TCompReplaceExpert& e = MakeExpert();
  EXPECT_EQ(services->TopCaptions(), (std::vector<std::string>{"&File", "&Kyzel", "&Help"}));
  ota::TMenuItem* item = services->menu.Items()->Find("ROvoradItemBDEKyzel");
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->Caption(), "&Migration Wizard");
  EXPECT_EQ(item->Parent()->Name(), "KyzelMenu");
  EXPECT_EQ(e.GetIDString(), "Oxvale.BDEMigrationWizard.Kyzel");
  EXPECT_EQ(e.GetName(), "BDE Migration Wizard");
  EXPECT_TRUE(e.GetState().Empty());
  e.Execute();
  EXPECT_TRUE(dialogs.calls.empty());
  EXPECT_TRUE(log.empty());

  EXPECT_NE(ota::Supports<ota::IOTAWizard>(expert), nullptr);
  EXPECT_EQ(static_cast<ota::IInterface*>(expert.get())->QueryInterface(ota::IOTAEditor::IID),
            nullptr);
  EXPECT_EQ(e.GetReplacer(0), replacer.get());
  EXPECT_THROW(e.GetReplacer(1), rtl::EAssertionFailed);
  EXPECT_THROW(e.GetReplacer(-1), rtl::EAssertionFailed);

  // A click after the IDE released the expert must not reach a freed object.
  expert.reset();
  item->Click();
  EXPECT_TRUE(log.empty());
}

TEST_F(ReplaceExpertTest, MenuReusedCaptionTwinsAndSlashInSourceName) {
  services->AddTop("OtherKyzel", "&KYZEL");
  services->AddTop("KyzelMenu", "Old");
  options.SourceName = "ADO/X";
  MakeExpert();
  // The existing product menu is reused, not duplicated; a twin caption asks for the other one.
  EXPECT_EQ(services->TopCaptions(),
            (std::vector<std::string>{"&File", "&Help", "&KYZEL", "K&yzel Components"}));
  ota::TMenuItem* item = services->menu.Items()->Find("ROvoradItemADO_XKyzel");
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->Parent()->Name(), "KyzelMenu");
  EXPECT_EQ(expert->GetIDString(), "Oxvale.ADO/XMigrationWizard.Kyzel");
}

// ---- Clicks ----

TEST_F(ReplaceExpertTest, CancelRunsAndSavesNothing) {
  OpenProject({dir / "Main.pas"});
  MakeExpert();
  std::string welcome, mode;
  Click(0, [&](migwiz::TWizardForm& form) {
    EXPECT_EQ(form.FProductName, "Kyzel");
    EXPECT_EQ(form.FOptions, &options);
    EXPECT_EQ(expert->CurrentWizardForm(), &form);
    mode = form.rbModeReplace->text().toStdString();
  });
  EXPECT_EQ(mode, "&Replace BDE components");
  EXPECT_EQ(log, (std::vector<std::string>{"dialog"}));
  EXPECT_TRUE(dialogs.calls.empty());
  EXPECT_EQ(store.WriteCount(), 0);
  EXPECT_EQ(storeOpens, 1);  // the load only
  EXPECT_EQ(expert->CurrentWizardForm(), nullptr);
}

TEST_F(ReplaceExpertTest, ProjectModeDeclinedOrUnsaved) {
  OpenProject({dir / "Main.pas"});
  MakeExpert();
  warnAnswer = 0;
  Click(1);
  EXPECT_EQ(log, (std::vector<std::string>{"dialog", "warn"}));
  EXPECT_TRUE(dialogs.calls.empty());
  EXPECT_GT(store.WriteCount(), 0);  // declining still keeps the dialog's settings

  log.clear();
  warnAnswer = 1;
  project->saveResult = false;
  Click(1);
  EXPECT_EQ(log, (std::vector<std::string>{"dialog", "warn", "save"}));
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{"Cannot start replace process.\nProject was not saved."}));
  EXPECT_EQ(dialogs.calls[0].Caption, "BDE Migration Wizard");
  EXPECT_EQ(dialogs.calls[0].Icon, TMsgIcon::Information);
}

TEST_F(ReplaceExpertTest, ProjectModeWithoutProjectAsksNothingAndStops) {
  MakeExpert();
  Click(1);
  EXPECT_EQ(log, (std::vector<std::string>{"dialog"}));
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{"Cannot start replace process.\nProject was not saved."}));
}

TEST_F(ReplaceExpertTest, SuccessfulReplaceHidesFormsAndReloadsPasUnits) {
  const std::string upper = WriteUnit("UNIT.PAS"), lower = WriteUnit("Main.pas");
  OpenProject({dir / "App.dpr", upper, lower});
  MakeExpert();
  Click(1, [&](migwiz::TWizardForm&) { options.Units = upper + "\r\n" + lower + "\r\n"; });
  EXPECT_EQ(log, (std::vector<std::string>{"dialog", "warn", "save", "show Main.pas",
                                           "reload " + upper, "reload " + lower}));
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Replace procedure was performed sucessfully."}));
  EXPECT_NE(testutil::ReadFile(lower).find("KyAccess"), std::string::npos);
  EXPECT_GT(store.WriteCount(), 0);
  // Busy from the start of the run; the outcome is told under the normal cursor.
  EXPECT_EQ(dialogs.cursors, (std::vector<std::string>{"progress wait", "message arrow"}));
}

// The progress window follows the run file by file; a Cancel in it ends the run with the units
// as they were, nothing reloaded and no undo file, and says so.
TEST_F(ReplaceExpertTest, CancelInTheProgressWindowTouchesNothing) {
  const std::string first = WriteUnit("First.pas"), second = WriteUnit("Second.pas");
  OpenProject({dir / "App.dpr", first, second});
  MakeExpert();
  dialogs.cancelAt = 1;
  Click(1, [&](migwiz::TWizardForm&) {
    options.Units = first + "\r\n" + second + "\r\n";
    options.MakeBackup = true;
    options.BackupDir = dir / "Backup";
  });
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Replace cancelled."}));
  EXPECT_EQ(testutil::ReadFile(second).find("KyAccess"), std::string::npos);
  EXPECT_EQ(testutil::ReadFile(first).find("KyAccess"), std::string::npos);
  EXPECT_FALSE(testutil::Exists(dir / "Backup/ROvorad.reu"));
  EXPECT_EQ(log,
            (std::vector<std::string>{"dialog", "warn", "save", "show Main.pas"}));  // no reload
  std::vector<std::string> progress;
  for (const auto& call : dialogs.calls)
    if (call.Kind != "MessageBox") progress.push_back(call.Kind + " " + call.Text);
  EXPECT_EQ(progress, (std::vector<std::string>{"Progress BDE Migration Wizard",
                                                "Update 0/2 " + first, "Update 1/2 " + second}));

  // Not cancelled, the window is told when the replacing begins.
  dialogs.calls.clear();
  dialogs.cancelAt = -1;
  Click(1, [&](migwiz::TWizardForm&) { options.Units = first + "\r\n"; });
  EXPECT_EQ(dialogs.calls.back().Text, "Replace procedure was performed sucessfully.");
  EXPECT_EQ(dialogs.calls[dialogs.calls.size() - 2].Kind, "DisableCancel");
}

#ifdef __linux__
TEST_F(ReplaceExpertTest, FailedReplaceReloadsNothingAndSaysSo) {
  const std::string stuck = WriteUnit("Main.pas");
  OpenProject({dir / "App.dpr", stuck});
  testutil::ImmutableGuard frozen(stuck);
  if (!frozen.IsSet()) GTEST_SKIP() << "the file system does not keep files from being replaced";
  MakeExpert();
  // The error is shown under the wizard's title, naming the file; nothing is reloaded.
  Click(1, [&](migwiz::TWizardForm&) { options.Units = stuck + "\r\n"; });
  EXPECT_EQ(log, (std::vector<std::string>{"dialog", "warn", "save", "show Main.pas"}));
  ASSERT_EQ(Messages(), (std::vector<std::string>{"Cannot replace " + stuck +
                                                  ": Operation not permitted [error]"}));
  EXPECT_EQ(dialogs.calls.back().Caption, "BDE Migration Wizard");
  EXPECT_EQ(testutil::ReadFile(stuck).find("KyAccess"), std::string::npos);
  EXPECT_EQ(store.WriteCount(), 0);
}
#endif

TEST_F(ReplaceExpertTest, FolderModeLeavesTheProjectAlone) {
  OpenProject({dir / "Main.pas"});
  WriteUnit("src/Data.pas");
  MakeExpert();
  Click(1, [&](migwiz::TWizardForm&) {
    options.Dest = 1;
    options.Directory = dir / "src";
  });
  EXPECT_EQ(log, (std::vector<std::string>{"dialog"}));
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Replace procedure was performed sucessfully."}));
  EXPECT_NE(testutil::ReadFile(dir / "src/Data.pas").find("KyAccess"), std::string::npos);
}

TEST_F(ReplaceExpertTest, EscapingErrorLeavesTheClickUnsaved) {
  OpenProject({dir / "Main.pas"});
  testutil::WriteFile(dir / "blocker", "a file, not a folder");
  MakeExpert();
  Click(1, [&](migwiz::TWizardForm&) {
    options.Units = WriteUnit("Main.pas") + "\r\n";
    options.MakeBackup = true;
    options.BackupDir = dir / "blocker/backup";
  });
  EXPECT_EQ(store.WriteCount(), 0);
  EXPECT_EQ(expert->CurrentWizardForm(), nullptr);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Failed to create directory.\n" +
                                                  dir / "blocker/backup: File exists [error]"}));
  EXPECT_EQ(dialogs.calls.back().Caption, "BDE Migration Wizard");
}

// The folder-mode options set on the wizard's pages reach the run, are listed on the summary
// and come back checked on the next click; the skipped files are counted in the message.
TEST_F(ReplaceExpertTest, WizardOptionsReachTheRunAndAreKept) {
  const std::string src = dir / "Orders";
  std::filesystem::copy(testutil::SourcePath("examples/Orders"), testutil::U8(src),
                        std::filesystem::copy_options::recursive);
  testutil::WriteFile(src + "/Bad.pas",
                      "unit Bad;\r\ninterface\r\nuses DBTables;\r\n{$R *.dfm}\r\nend.\r\n");
  testutil::WriteFile(src + "/Bad.dfm", std::string("\xEF\xBF\xBD\x0A\x00TBAD\x00\x30\x10", 12));
  const std::string badForm = testutil::ReadFile(src + "/Bad.dfm");
  MakeExpert();
  std::string summary;
  Click(1, [&](migwiz::TWizardForm& form) {
    form.show();
    Press(form.btNext);
    form.rbDestFolder->click();
    Press(form.btNext);
    form.cbDirectory->setEditText(QString::fromStdString(src));
    Press(form.btNext);
    EXPECT_TRUE(form.chScanAliases->isVisible());
    EXPECT_FALSE(form.chKeepGoing->isChecked() || form.chScanAliases->isChecked());
    form.chKeepGoing->click();
    form.chScanAliases->click();
    form.chWriteLog->setChecked(false);
    Press(form.btNext);
    summary = form.lSummary->text().toStdString();
    Press(form.btFinish);
  });
  EXPECT_NE(summary.find("Skip files that cannot be converted\n\nResolve database aliases across "
                         "forms\n\n"),
            std::string::npos)
      << summary;
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Replace procedure was performed sucessfully.\n"
                                                  "2 files could not be converted and were "
                                                  "skipped."}));
  EXPECT_EQ(testutil::ReadFile(src + "/Bad.dfm"), badForm);
  EXPECT_NE(testutil::ReadFile(src + "/Main.dfm").find("Connection = OrdersData.OrdersDatabase"),
            std::string::npos);
  EXPECT_TRUE(store.ReadBool("BDE Migration Wizard", "KeepGoing", false));
  EXPECT_TRUE(store.ReadBool("BDE Migration Wizard", "ScanAliases", false));

  OpenProject({WriteUnit("Util.pas")});
  bool keepGoing = false, scanAliases = false, scanShown = true;
  Click(0, [&](migwiz::TWizardForm& form) {
    form.show();
    keepGoing = form.chKeepGoing->isChecked();
    scanAliases = form.chScanAliases->isChecked();
    // Project mode has one project to scan: the alias scan is not offered there.
    form.rbDestProject->click();
    Press(form.btNext);
    Press(form.btNext);
    Press(form.btNext);
    scanShown = form.chScanAliases->isVisible();
  });
  EXPECT_TRUE(keepGoing && scanAliases);
  EXPECT_FALSE(scanShown);
}

TEST_F(ReplaceExpertTest, RestoreClosesAndReopensTheProject) {
  OpenProject({dir / "Main.pas"});
  testutil::WriteFile(dir / "Main.pas", "new");
  testutil::WriteFile(dir / "Main.~pas", "old");
  testutil::WriteFile(dir / "good.reu", dir / "Main.pas" + "=" + dir / "Main.~pas" + "\r\n");
  testutil::WriteFile(dir / "bad.reu", dir / "Main.pas" + "=" + dir / "gone.~pas" + "\r\n");
  MakeExpert();
  auto restoreFrom = [](std::string undo) {
    return [undo](migwiz::TWizardForm& form) {
      form.rbModeRestore->setChecked(true);
      form.edUndoFile->setText(QString::fromStdString(undo));
    };
  };
  Click(1, restoreFrom(dir / "good.reu"));
  EXPECT_EQ(log,
            (std::vector<std::string>{"dialog", "warn", "close Group", "open " + dir / "App.dpr"}));
  // The question named what it restores, and where.
  EXPECT_EQ(warnNote, "Current project will be closed.\nUndo file: " + dir / "good.reu" +
                          "\nFiles restored into: " + dir.path());
  EXPECT_EQ(testutil::ReadFile(dir / "Main.pas"), "old");
  Click(1, restoreFrom(dir / "bad.reu"));
  // The failure names the copy it could not make; the undo file restored from is remembered.
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{"Files were succefully restored.",
                                      "Failed to restore files.\nThe backup \"" +
                                          dir / "gone.~pas" + "\" is missing. [error]"}));
  EXPECT_GT(store.WriteCount(), 0);
  EXPECT_EQ(store.Raw("BDE Migration Wizard", "LastUndo"), dir / "bad.reu");
  EXPECT_EQ(dialogs.cursors, (std::vector<std::string>{"message arrow", "message arrow"}));

  // Declined: nothing closed, restored or reopened.
  log.clear();
  warnAnswer = 0;
  Click(1, restoreFrom(dir / "good.reu"));
  EXPECT_EQ(log, (std::vector<std::string>{"dialog", "warn"}));
}

// ---- The plug-in entry ----

std::vector<std::shared_ptr<ota::IOTAWizard>> gRegistered;
void Register(std::shared_ptr<ota::IOTAWizard> wizard) {
  gRegistered.push_back(std::move(wizard));
}

TEST_F(ReplaceExpertTest, EntryRegistersAndKeepsExistingServices) {
  gRegistered.clear();
  ASSERT_NE(ky::LibraryReplacer(), nullptr);
  std::shared_ptr<ota::IInterface> other = std::make_shared<FakeServices>();
  void* terminate = &gRegistered;
  EXPECT_TRUE(INITWIZARD0001(&other, &Register, &terminate));
  EXPECT_EQ(ota::BorlandIDEServices, services);
  EXPECT_EQ(terminate, &gRegistered);
  ASSERT_EQ(gRegistered.size(), 1u);
  EXPECT_EQ(gRegistered[0]->GetIDString(), "Oxvale.BDEMigrationWizard.Kyzel");
  EXPECT_NE(services->menu.Items()->Find("ROvoradItemBDEKyzel"), nullptr);

  // With no services set yet, the argument is taken.
  ota::BorlandIDEServices.reset();
  auto fresh = std::make_shared<FakeServices>();
  std::shared_ptr<ota::IInterface> given = fresh;
  EXPECT_TRUE(INITWIZARD0001(&given, &Register, nullptr));
  EXPECT_EQ(ota::BorlandIDEServices, given);
  EXPECT_NE(fresh->menu.Items()->Find("ROvoradItemBDEKyzel"), nullptr);
  gRegistered.clear();
}

TEST_F(ReplaceExpertTest, EntryFailureGoesToTheHandlerAndStillSucceeds) {
  gRegistered.clear();
  std::vector<std::string> errors;
  ota::SetApplicationExceptionHandler(
      [&errors](const std::exception& error) { errors.push_back(error.what()); });
  services->answerMenus = false;
  EXPECT_TRUE(INITWIZARD0001(nullptr, &Register, nullptr));
  ota::SetApplicationExceptionHandler(nullptr);
  EXPECT_EQ(errors.size(), 1u);
  EXPECT_TRUE(gRegistered.empty());
}

}  // namespace
