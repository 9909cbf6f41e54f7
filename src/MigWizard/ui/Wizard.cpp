#include "MigWizard/ui/Wizard.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>

#include "MigWizard/Dialogs.h"
#include "MigWizard/ReplaceRequest.h"
#include "MigWizard/FileUtils.h"
#include "MigWizard/IDEUtils.h"
#include "MigWizard/ui/QtActions.h"
#include "MigWizard/ROvoradRes.h"
#include "rtl/FileIO.h"
#include "rtl/SysUtils.h"

namespace migwiz {

namespace {

constexpr int kDialogWidth = 560;
constexpr int kMinDialogHeight = 360;
constexpr int kPictureWidth = 120;
constexpr int kPictureHeight = 260;
constexpr int kHistoryLimit = 10;
// Room below the mode buttons on the first page, where a product form may put a link (its top
// edge at 248).
constexpr int kStep1FreeBandTop = 244;

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}
std::string S(const QString& text) {
  return text.toStdString();
}

template <class W, class Parent>
W* Make(Parent* parent, const char* name) {
  W* widget = new W(parent);
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

enum class LabelStyle { Plain, Bold, BoldCentred, Wrapped };

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, LabelStyle style) {
  QLabel* label = Make<QLabel>(parent, name);
  // Plain text: paths and names shown here must never be read as markup.
  label->setTextFormat(Qt::PlainText);
  label->setText(QString::fromUtf8(text));
  if (style == LabelStyle::Bold || style == LabelStyle::BoldCentred) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
  }
  if (style == LabelStyle::BoldCentred) label->setAlignment(Qt::AlignCenter);
  if (style == LabelStyle::Wrapped) label->setWordWrap(true);
  return label;
}

template <class W>
W* MakeButton(QWidget* parent, const char* name, const char* text) {
  W* button = Make<W>(parent, name);
  button->setText(QString::fromUtf8(text));
  return button;
}

QComboBox* MakeHistoryCombo(QWidget* parent, const char* name) {
  QComboBox* combo = Make<QComboBox>(parent, name);
  combo->setEditable(true);
  // Enter must not slip the typed text into the history: only Finish adds to it.
  combo->setInsertPolicy(QComboBox::NoInsert);
  combo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  return combo;
}

// A page's layout: heading first, controls below, free space at the bottom.
QVBoxLayout* PageLayout(QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(8, 4, 4, 4);
  return layout;
}

// Exactly one of the pair checked (which 0 or 1), or neither (any other value). Auto-exclusive
// buttons refuse to be unchecked, hence the detour.
void SetRadioPair(QRadioButton* first, QRadioButton* second, int which) {
  first->setAutoExclusive(false);
  second->setAutoExclusive(false);
  first->setChecked(which == 0);
  second->setChecked(which == 1);
  first->setAutoExclusive(true);
  second->setAutoExclusive(true);
}

// The items of a drop-down list, keeping the text of its field.
void SetHistory(QComboBox* combo, const std::string& historyText) {
  const QString text = combo->currentText();
  combo->clear();
  for (const std::string& line : rtl::SplitLines(historyText)) combo->addItem(Q(line));
  combo->setEditText(text);
}

std::string HistoryText(const QComboBox* combo) {
  std::string text;
  for (int i = 0; i < combo->count(); ++i) text += S(combo->itemText(i)) + "\r\n";
  return text;
}

// A frame whose top edge runs through the middle of a title widget sitting on it, as a group box
// draws its title; the title is an ordinary (check box) control of its own.
void SetFrameTitle(QFrame* frame, QWidget* title, QVBoxLayout* inner) {
  const QSize hint = title->sizeHint();
  title->setAutoFillBackground(true);  // hides the line behind the title
  title->setGeometry(8, 0, hint.width() + 4, hint.height());
  title->raise();
  // The frame is drawn around the contents rectangle widened by the frame's width.
  const int width = frame->frameWidth();
  frame->setContentsMargins(width, hint.height() / 2 + width, width, width);
  inner->setContentsMargins(10, hint.height() / 2 + 4, 10, 8);
}

// A file or folder the page names does not exist: say so and send the user back to the field.
void ReportMissing(const TReplaceOptions* options, const char* message, const std::string& name,
                   QWidget* field) {
  rtl::Assert(options != nullptr, "the wizard has no options");
  Dialogs().MessageBox(rtl::Format(message, {name}), options->GetTitle(), TMsgIcon::Information);
  field->setFocus();
}

}  // namespace

TWizardForm::TWizardForm(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("WizardForm"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  FActionUpdater = new TActionUpdater(this);

  // Creation order is the focus order: the pages first, then Next, Finish, Back, Cancel.
  BuildFrame();
  BuildStep1();
  BuildStep2Restore();
  BuildStep2Replace();
  BuildStep3Proj();
  BuildStep3Dir();
  BuildStep4();
  BuildFinalStep();
  BuildButtons();
  BuildActions();

  // Enter presses the page's default button (Next, Finish on the last page), as in every
  // wizard; no other button takes it.
  for (QPushButton* button : findChildren<QPushButton*>()) {
    button->setAutoDefault(false);
    button->setDefault(false);
  }

  StepsPageControl->setCurrentWidget(Step1Sheet);
  const int height = std::max(kMinDialogHeight, layout()->totalHeightForWidth(kDialogWidth));
  setFixedSize(kDialogWidth, height);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

TWizardForm::~TWizardForm() {
  // The update handlers reach into the controls: stop them before the controls go.
  delete FActionUpdater;
  FActionUpdater = nullptr;
}

// ---- Layout ----

void TWizardForm::BuildFrame() {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(8, 8, 8, 8);
  auto* top = new QHBoxLayout;
  outer->addLayout(top, 1);

  Bevel1 = Make<QFrame>(this, "Bevel1");
  Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* pictureLayout = new QVBoxLayout(Bevel1);
  pictureLayout->setContentsMargins(0, 0, 0, 0);
  Image1 = Make<QLabel>(Bevel1, "Image1");
  Image1->setFixedSize(kPictureWidth, kPictureHeight);
  Image1->setAlignment(Qt::AlignCenter);
  pictureLayout->addWidget(Image1);
  top->addWidget(Bevel1, 0, Qt::AlignTop);

  StepsPageControl = Make<QStackedWidget>(this, "StepsPageControl");
  top->addWidget(StepsPageControl, 1);

  Bevel2 = Make<QFrame>(this, "Bevel2");
  Bevel2->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  outer->addWidget(Bevel2);
}

void TWizardForm::BuildStep1() {
  Step1Sheet = Make<QWidget>(StepsPageControl, "Step1Sheet");
  StepsPageControl->addWidget(Step1Sheet);
  auto* layout = PageLayout(Step1Sheet);
  Label1 = MakeLabel(Step1Sheet, "Label1", "Welcome to Migration Wizard", LabelStyle::BoldCentred);
  Label2 = MakeLabel(Step1Sheet, "Label2", "", LabelStyle::Wrapped);
  Label11 = MakeLabel(Step1Sheet, "Label11",
                      "If any problem occurs during the migration process, you can restore your "
                      "project from backup files. However, it is highly recommended to make a "
                      "reserved copy of your project before running the migration process.",
                      LabelStyle::Wrapped);
  Label3 = MakeLabel(Step1Sheet, "Label3", "Step 1 - Select mode", LabelStyle::Bold);
  rbModeReplace = MakeButton<QRadioButton>(Step1Sheet, "rbModeReplace", "&Replace components");
  rbModeRestore =
      MakeButton<QRadioButton>(Step1Sheet, "rbModeRestore", "R&estore original files from backup");
  rbModeReplace->setChecked(true);
  layout->addWidget(Label1);
  layout->addSpacing(6);
  layout->addWidget(Label2);
  layout->addSpacing(4);
  layout->addWidget(Label11);
  layout->addSpacing(8);
  layout->addWidget(Label3);
  layout->addWidget(rbModeReplace);
  layout->addWidget(rbModeRestore);
  layout->addStretch(1);
  layout->addSpacing(30);
  Step1Sheet->setMinimumHeight(kStep1FreeBandTop + 30);
  connect(rbModeReplace, &QRadioButton::clicked, this, &TWizardForm::rbModeReplaceClick);
  connect(rbModeRestore, &QRadioButton::clicked, this, &TWizardForm::rbModeReplaceClick);
}

void TWizardForm::BuildStep2Restore() {
  Step2RestoreSheet = Make<QWidget>(StepsPageControl, "Step2RestoreSheet");
  StepsPageControl->addWidget(Step2RestoreSheet);
  auto* layout = PageLayout(Step2RestoreSheet);
  Label4 = MakeLabel(Step2RestoreSheet, "Label4", "Step 2 - Select backup file", LabelStyle::Bold);
  lUndo = MakeLabel(Step2RestoreSheet, "lUndo", "&Backup file:", LabelStyle::Plain);
  edUndoFile = Make<QLineEdit>(Step2RestoreSheet, "edUndoFile");
  btRestoreBrowse = MakeButton<QPushButton>(Step2RestoreSheet, "btRestoreBrowse", "Bro&wse...");
  Label5 = MakeLabel(Step2RestoreSheet, "Label5",
                     "Note: Backup file is created while replacing if 'Make backup' option is "
                     "selected.",
                     LabelStyle::Wrapped);
  lUndo->setBuddy(edUndoFile);
  layout->addWidget(Label4);
  layout->addSpacing(12);
  layout->addWidget(lUndo);
  auto* row = new QHBoxLayout;
  row->addWidget(edUndoFile, 1);
  row->addWidget(btRestoreBrowse);
  layout->addLayout(row);
  layout->addSpacing(12);
  layout->addWidget(Label5);
  layout->addStretch(1);
  connect(btRestoreBrowse, &QPushButton::clicked, this, &TWizardForm::btRestoreBrowseClick);
}

void TWizardForm::BuildStep2Replace() {
  Step2ReplaceSheet = Make<QWidget>(StepsPageControl, "Step2ReplaceSheet");
  StepsPageControl->addWidget(Step2ReplaceSheet);
  auto* layout = PageLayout(Step2ReplaceSheet);
  Label6 = MakeLabel(Step2ReplaceSheet, "Label6", "Step 2 - Select location of files to search",
                     LabelStyle::Bold);
  rbDestProject =
      MakeButton<QRadioButton>(Step2ReplaceSheet, "rbDestProject", "&Current open project");
  rbDestFolder = MakeButton<QRadioButton>(Step2ReplaceSheet, "rbDestFolder", "&Disk folder");
  rbDestProject->setChecked(true);
  Label7 = MakeLabel(Step2ReplaceSheet, "Label7",
                     "Note: Using 'Current open project' option gives more information about "
                     "files.",
                     LabelStyle::Wrapped);
  layout->addWidget(Label6);
  layout->addSpacing(12);
  layout->addWidget(rbDestProject);
  layout->addWidget(rbDestFolder);
  layout->addSpacing(12);
  layout->addWidget(Label7);
  layout->addStretch(1);
}

void TWizardForm::BuildStep3Proj() {
  Step3ProjSheet = Make<QWidget>(StepsPageControl, "Step3ProjSheet");
  StepsPageControl->addWidget(Step3ProjSheet);
  auto* layout = PageLayout(Step3ProjSheet);
  Label8 = MakeLabel(Step3ProjSheet, "Label8", "Step 3 - Select units to replace components",
                     LabelStyle::Bold);
  lbModules = Make<QListWidget>(Step3ProjSheet, "lbModules");
  btSelect = MakeButton<QPushButton>(Step3ProjSheet, "btSelect", "&Select All");
  btDeselect = MakeButton<QPushButton>(Step3ProjSheet, "btDeselect", "&Deselect All");
  layout->addWidget(Label8);
  layout->addSpacing(4);
  auto* row = new QHBoxLayout;
  row->addWidget(lbModules, 1);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(btSelect);
  buttons->addWidget(btDeselect);
  buttons->addStretch(1);
  row->addLayout(buttons);
  layout->addLayout(row, 1);
  connect(btSelect, &QPushButton::clicked, this, &TWizardForm::btSelectClick);
  connect(btDeselect, &QPushButton::clicked, this, &TWizardForm::btDeselectClick);
}

void TWizardForm::BuildStep3Dir() {
  Step3DirSheet = Make<QWidget>(StepsPageControl, "Step3DirSheet");
  StepsPageControl->addWidget(Step3DirSheet);
  auto* layout = PageLayout(Step3DirSheet);
  Label9 = MakeLabel(Step3DirSheet, "Label9", "Step 3 - Select folder to search units",
                     LabelStyle::Bold);
  lSource = MakeLabel(Step3DirSheet, "lSource", "Target &folder:", LabelStyle::Plain);
  cbDirectory = MakeHistoryCombo(Step3DirSheet, "cbDirectory");
  btBrowseFolder = MakeButton<QPushButton>(Step3DirSheet, "btBrowseFolder", "&Browse...");
  chSubDirs = MakeButton<QCheckBox>(Step3DirSheet, "chSubDirs", "Include &subfolders");
  lSource->setBuddy(cbDirectory);
  layout->addWidget(Label9);
  layout->addSpacing(12);
  layout->addWidget(lSource);
  auto* row = new QHBoxLayout;
  row->addWidget(cbDirectory, 1);
  row->addWidget(btBrowseFolder);
  layout->addLayout(row);
  layout->addSpacing(4);
  layout->addWidget(chSubDirs);
  layout->addStretch(1);
  connect(btBrowseFolder, &QPushButton::clicked, this, &TWizardForm::btBrowseFolderClick);
}

void TWizardForm::BuildStep4() {
  Step4Sheet = Make<QWidget>(StepsPageControl, "Step4Sheet");
  StepsPageControl->addWidget(Step4Sheet);
  auto* layout = PageLayout(Step4Sheet);
  Label10 = MakeLabel(Step4Sheet, "Label10", "Step 4 - Set advanced options", LabelStyle::Bold);
  layout->addWidget(Label10);
  layout->addSpacing(6);

  Bevel3 = Make<QFrame>(Step4Sheet, "Bevel3");
  Bevel3->setFrameStyle(QFrame::Box | QFrame::Sunken);
  chMakeBackup = MakeButton<QCheckBox>(Bevel3, "chMakeBackup", "&Make backup");
  lBackupFolder = MakeLabel(Bevel3, "lBackupFolder", "Backup &folder:", LabelStyle::Plain);
  cbBackupDir = MakeHistoryCombo(Bevel3, "cbBackupDir");
  btBrowseBackFolder = MakeButton<QPushButton>(Bevel3, "btBrowseBackFolder", "&Browse...");
  lBackupFolder->setBuddy(cbBackupDir);
  auto* backup = new QVBoxLayout(Bevel3);
  SetFrameTitle(Bevel3, chMakeBackup, backup);
  backup->addWidget(lBackupFolder);
  auto* row = new QHBoxLayout;
  row->addWidget(cbBackupDir, 1);
  row->addWidget(btBrowseBackFolder);
  backup->addLayout(row);
  layout->addWidget(Bevel3);
  layout->addSpacing(6);

  Bevel4 = Make<QFrame>(Step4Sheet, "Bevel4");
  Bevel4->setFrameStyle(QFrame::Box | QFrame::Sunken);
  chWriteLog = MakeButton<QCheckBox>(Bevel4, "chWriteLog", "&Write log");
  lblLogNote = MakeLabel(Bevel4, "lblLogNote",
                         "Note: Log file will be placed in project folder or target folder you "
                         "selected.",
                         LabelStyle::Wrapped);
  chViewLog = MakeButton<QCheckBox>(Bevel4, "chViewLog", "&View log after replace");
  auto* log = new QVBoxLayout(Bevel4);
  SetFrameTitle(Bevel4, chWriteLog, log);
  log->addWidget(lblLogNote);
  log->addWidget(chViewLog);
  layout->addWidget(Bevel4);
  layout->addSpacing(6);
  chKeepGoing =
      MakeButton<QCheckBox>(Step4Sheet, "chKeepGoing", "&Skip files that cannot be converted");
  chScanAliases =
      MakeButton<QCheckBox>(Step4Sheet, "chScanAliases", "&Resolve database aliases across forms");
  layout->addWidget(chKeepGoing);
  layout->addWidget(chScanAliases);
  layout->addStretch(1);

  // Only the user's edits and picks count; text the dialog puts in does not.
  connect(cbBackupDir->lineEdit(), &QLineEdit::textEdited, this, &TWizardForm::cbBackupDirChange);
  connect(cbBackupDir, &QComboBox::activated, this, &TWizardForm::cbBackupDirChange);
  connect(btBrowseBackFolder, &QPushButton::clicked, this, &TWizardForm::btBrowseBackFolderClick);
}

void TWizardForm::BuildFinalStep() {
  FinalStepSheet = Make<QWidget>(StepsPageControl, "FinalStepSheet");
  StepsPageControl->addWidget(FinalStepSheet);
  auto* layout = PageLayout(FinalStepSheet);
  Label13 =
      MakeLabel(FinalStepSheet, "Label13", "Step 5 - Start units converting", LabelStyle::Bold);
  Label15 = MakeLabel(FinalStepSheet, "Label15",
                      "If you want to review or change any settings, click Back. Otherwise click "
                      "Finish to start replacing.",
                      LabelStyle::Wrapped);
  Label14 = MakeLabel(FinalStepSheet, "Label14", "Summary:", LabelStyle::Plain);
  sbSummary = Make<QScrollArea>(FinalStepSheet, "sbSummary");
  sbSummary->setWidgetResizable(true);
  lSummary = MakeLabel(sbSummary, "lSummary", "", LabelStyle::Plain);
  lSummary->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lSummary->setContentsMargins(4, 4, 4, 4);
  lSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
  sbSummary->setWidget(lSummary);
  layout->addWidget(Label13);
  layout->addSpacing(6);
  layout->addWidget(Label15);
  layout->addSpacing(6);
  layout->addWidget(Label14);
  layout->addWidget(sbSummary, 1);
}

void TWizardForm::BuildButtons() {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  // Created in focus order; placed Back, Next, Finish, Cancel from left to right.
  btNext = Make<QPushButton>(this, "btNext");
  btFinish = Make<QPushButton>(this, "btFinish");
  btPrev = Make<QPushButton>(this, "btPrev");
  btCancel = MakeButton<QPushButton>(this, "btCancel", "C&ancel");
  row->addWidget(btPrev);
  row->addWidget(btNext);
  row->addSpacing(8);
  row->addWidget(btFinish);
  row->addSpacing(8);
  row->addWidget(btCancel);
  static_cast<QVBoxLayout*>(layout())->addLayout(row);
  connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TWizardForm::BuildActions() {
  auto makeAction = [this](const char* name, const char* text, void (TWizardForm::*execute)(),
                           void (TWizardForm::*update)()) {
    auto* action = new QAction(QString::fromUtf8(text), this);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, execute);
    FActionUpdater->Register(action, [this, update] { (this->*update)(); });
    return action;
  };
  actBack =
      makeAction("actBack", "< Bac&k", &TWizardForm::actBackExecute, &TWizardForm::actBackUpdate);
  actNext =
      makeAction("actNext", "&Next >", &TWizardForm::actNextExecute, &TWizardForm::actNextUpdate);
  actFinish = makeAction("actFinish", "F&inish", &TWizardForm::actFinishExecute,
                         &TWizardForm::actFinishUpdate);
  actMakeBackup = makeAction("actMakeBackup", "&Make backup", &TWizardForm::actMakeBackupExecute,
                             &TWizardForm::actMakeBackupUpdate);
  actWriteLog = makeAction("actWriteLog", "&Write log", &TWizardForm::actWriteLogExecute,
                           &TWizardForm::actWriteLogUpdate);
  BindToAction(btPrev, actBack);
  BindToAction(btNext, actNext);
  BindToAction(btFinish, actFinish);
  BindToAction(chMakeBackup, actMakeBackup);
  BindToAction(chWriteLog, actWriteLog);
}

// ---- Settings ----

void TWizardForm::LoadSettings(rtl::TSettingsStore& store, const std::string& section) {
  const int left = store.ReadInteger(section, "Left", x());
  const int top = store.ReadInteger(section, "Top", y());
  move(left, top);
  // A position kept from a screen that is gone would hide the dialog: centre it instead.
  if (QScreen* primary = QGuiApplication::primaryScreen();
      primary && !QGuiApplication::screenAt(frameGeometry().center()))
    move(primary->availableGeometry().center() - rect().center());
  SetHistory(cbDirectory, store.ReadString(section, "DirHistory", ""));
  SetHistory(cbBackupDir, store.ReadString(section, "BackDirHistory", ""));
  const bool replace = store.ReadBool(section, "ReplaceMode", rbModeReplace->isChecked());
  SetRadioPair(rbModeReplace, rbModeRestore, replace ? 0 : 1);
  edUndoFile->setText(Q(store.ReadString(section, "LastUndo", "")));
}

void TWizardForm::SaveSettings(rtl::TSettingsStore& store, const std::string& section) {
  store.WriteInteger(section, "Left", x());
  store.WriteInteger(section, "Top", y());
  store.WriteString(section, "DirHistory", HistoryText(cbDirectory));
  store.WriteString(section, "BackDirHistory", HistoryText(cbBackupDir));
  store.WriteBool(section, "ReplaceMode", rbModeReplace->isChecked());
  // After a restore the undo file restored from; after a replace the one the run wrote.
  std::string lastUndo;
  if (rbModeRestore->isChecked())
    lastUndo = edUndoFile->text().toStdString();
  else if (chMakeBackup->isChecked())
    lastUndo = JoinPath(GetBackupDir(), res::sUndoFileName);
  store.WriteString(section, "LastUndo", lastUndo);
}

void TWizardForm::AddToHistory(QComboBox* comboBox) {
  const QString text = comboBox->currentText();
  if (text.isEmpty()) return;
  for (int i = 0; i < comboBox->count(); ++i)
    if (comboBox->itemText(i).compare(text, Qt::CaseInsensitive) == 0) return;
  comboBox->insertItem(0, text);
  if (comboBox->count() > kHistoryLimit) comboBox->removeItem(comboBox->count() - 1);
  comboBox->setEditText(text);
}

// ---- Backup folder and summary ----

std::string TWizardForm::ProjectFolder() const {
  return ExtractFileDir(FProjectFileName);
}

std::string TWizardForm::BaseFolder() {
  return rbDestProject->isChecked() ? ProjectFolder() : S(cbDirectory->currentText());
}

void TWizardForm::SetDefaultBackupDir() {
  if (FBackupDirChanged) return;
  cbBackupDir->setEditText(Q(JoinPath(BaseFolder(), res::sDefaultBackupDir)));
}

std::string TWizardForm::RulesFile() {
  return DefaultRulesFile(BaseFolder());
}

std::string TWizardForm::GetBackupDir() {
  return ResolveBackupDir(S(cbBackupDir->currentText()), BaseFolder());
}

void TWizardForm::BuildReplaceSummary() {
  rtl::Assert(FOptions != nullptr, "the wizard has no options");
  std::string text = res::sSumMode;
  text += rtl::Format(res::sSumReplace, {FOptions->SourceName});
  text += res::sSumDestination;
  if (rbDestProject->isChecked())
    text += res::sSumProject;
  else
    text += rtl::Format(res::sSumFolder, {S(cbDirectory->currentText())});
  if (chMakeBackup->isChecked()) text += rtl::Format(res::sSumBackupDir, {GetBackupDir()});
  if (const std::string rules = RulesFile(); !rules.empty())
    text += rtl::Format(res::sSumRulesFile, {rules});
  if (chWriteLog->isChecked()) {
    text += res::sSumWriteLog;
    if (chViewLog->isChecked()) text += res::sSumViewLog;
  }
  if (chKeepGoing->isChecked()) text += res::sSumKeepGoing;
  if (!rbDestProject->isChecked() && chScanAliases->isChecked()) text += res::sSumScanAliases;
  if (rbDestProject->isChecked()) {
    text += res::sSumUnits;
    for (int i = 0; i < lbModules->count(); ++i)
      if (lbModules->item(i)->checkState() == Qt::Checked)
        text += S(lbModules->item(i)->text()) + "\n";
  }
  lSummary->setText(Q(text));
}

void TWizardForm::BuildRestoreSummary() {
  lSummary->setText(Q(std::string(res::sSumMode) + res::sSumRestore +
                      rtl::Format(res::sSumUndoFile, {S(edUndoFile->text())})));
}

// ---- Steps and navigation ----

int TWizardForm::GetActionIndex() {
  return rbModeRestore->isChecked() ? RestoreAction : 0;
}

void TWizardForm::SetWelcomeText(const std::string& sourceName, const std::string& productName) {
  Label2->setText(Q(rtl::Format(res::sWelcomeText, {productName, sourceName, productName})));
}

int TWizardForm::GetStepNumber() {
  QWidget* page = StepsPageControl->currentWidget();
  if (page == Step1Sheet) return 1;
  if (page == Step2RestoreSheet || page == Step2ReplaceSheet) return 2;
  if (page == Step3ProjSheet || page == Step3DirSheet) return 3;
  if (page == Step4Sheet) return 4;
  return rbModeRestore->isChecked() ? 3 : 5;
}

int TWizardForm::GetStepCount() {
  return rbModeRestore->isChecked() ? 3 : StepsPageControl->count() - 2;
}

void TWizardForm::UpdateCaption() {
  setWindowTitle(Q(rtl::Format(res::sStepCaption, {FProductName, std::int64_t{GetStepNumber()},
                                                   std::int64_t{GetStepCount()}})));
  // Enter moves on, and on the last page finishes.
  const bool last = StepsPageControl->currentWidget() == FinalStepSheet;
  btFinish->setDefault(last);
  btNext->setDefault(!last);
  // The alias scan is a folder run's choice: a project run always makes it.
  chScanAliases->setVisible(!rbDestProject->isChecked());
}

void TWizardForm::GoNext() {
  QWidget* page = StepsPageControl->currentWidget();
  QWidget* next = nullptr;
  if (page == Step1Sheet) {
    next = rbModeRestore->isChecked() ? Step2RestoreSheet : Step2ReplaceSheet;
  } else if (page == Step2RestoreSheet) {
    const std::string undoFile = S(edUndoFile->text());
    if (!rtl::FileExists(undoFile)) {
      ReportMissing(FOptions, res::sUndoFileMissing, undoFile, edUndoFile);
      return;
    }
    BuildRestoreSummary();
    next = FinalStepSheet;
  } else if (page == Step2ReplaceSheet) {
    if (rbDestProject->isChecked()) {
      FillUnitList();
      next = Step3ProjSheet;
    } else {
      next = Step3DirSheet;
    }
  } else if (page == Step3ProjSheet) {
    if (!CheckUnitsSelected()) return;
    SetDefaultBackupDir();
    next = Step4Sheet;
  } else if (page == Step3DirSheet) {
    const std::string folder = S(cbDirectory->currentText());
    if (!rtl::DirectoryExists(folder)) {
      ReportMissing(FOptions, res::sTargetDirMissing, folder, cbDirectory);
      return;
    }
    SetDefaultBackupDir();
    next = Step4Sheet;
  } else if (page == Step4Sheet) {
    BuildReplaceSummary();
    next = FinalStepSheet;
  }
  if (!next) return;
  StepsPageControl->setCurrentWidget(next);
  UpdateCaption();
}

void TWizardForm::GoBack() {
  QWidget* page = StepsPageControl->currentWidget();
  QWidget* previous = nullptr;
  if (page == Step2RestoreSheet || page == Step2ReplaceSheet)
    previous = Step1Sheet;
  else if (page == Step3ProjSheet || page == Step3DirSheet)
    previous = Step2ReplaceSheet;
  else if (page == Step4Sheet)
    previous = rbDestProject->isChecked() ? Step3ProjSheet : Step3DirSheet;
  else if (page == FinalStepSheet)
    previous = rbModeRestore->isChecked() ? Step2RestoreSheet : Step4Sheet;
  if (!previous) return;
  StepsPageControl->setCurrentWidget(previous);
  UpdateCaption();
}

bool TWizardForm::CheckUnitsSelected() {
  for (int i = 0; i < lbModules->count(); ++i)
    if (lbModules->item(i)->checkState() == Qt::Checked) return true;
  Dialogs().ShowMessage(res::sNoUnitSelected);
  lbModules->setFocus();
  return false;
}

void TWizardForm::FillUnitList() {
  // Filled once: going back and forward keeps the user's check marks.
  if (lbModules->count() > 0) return;
  const int count = TIDEUtils::GetProjectModuleCount();
  for (int i = 0; i < count; ++i) {
    const std::string fileName = TIDEUtils::GetProjectModuleFileName(i);
    if (fileName.empty()) continue;
    const std::string tail = fileName.size() > 4 ? fileName.substr(fileName.size() - 4) : fileName;
    if (rtl::UpperCase(tail) != ".PAS") continue;
    auto* item = new QListWidgetItem(Q(ExtractFileName(fileName)), lbModules);
    item->setData(Qt::UserRole, Q(fileName));  // handed over whole at Finish
    item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setCheckState(Qt::Unchecked);
  }
  SetAllChecks(true);
}

void TWizardForm::SetAllChecks(bool checked) {
  for (int i = 0; i < lbModules->count(); ++i)
    lbModules->item(i)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void TWizardForm::UpdateActions() {
  FActionUpdater->UpdateActions();
}

// ---- Handlers ----

void TWizardForm::showEvent(QShowEvent* event) {
  // A window restored by the system is shown again without being opened again.
  if (!event->spontaneous()) FormShow();
  QDialog::showEvent(event);
}

void TWizardForm::done(int result) {
  FormClose();
  QDialog::done(result);
}

void TWizardForm::FormShow() {
  rtl::Assert(FOptions != nullptr, "the wizard has no options");
  FProjectFileName = TIDEUtils::GetProjectFileName();
  const bool hasProject = !FProjectFileName.empty();
  rbDestProject->setEnabled(hasProject);
  SetRadioPair(rbDestProject, rbDestFolder,
               hasProject ? FOptions->Dest : TReplaceOptions::kDestFolder);
  cbDirectory->setEditText(Q(FOptions->Directory));
  chSubDirs->setChecked(FOptions->IncludeSubDirs);
  chMakeBackup->setChecked(FOptions->MakeBackup);
  chWriteLog->setChecked(FOptions->WriteLog);
  chViewLog->setChecked(FOptions->ViewLog);
  chKeepGoing->setChecked(FOptions->KeepGoing);
  chScanAliases->setChecked(FOptions->ScanAliases);
  FDeclined = false;
  cbBackupDir->setEditText(QString());
  OfferProjectUndoFile();
  StepsPageControl->setCurrentWidget(Step1Sheet);
  UpdateCaption();
  UpdateActions();
}

void TWizardForm::OfferProjectUndoFile() {
  // The undo file remembered may be another project's: the open project's own is offered
  // instead, unless the remembered one restores into the project's folder too.
  const std::string own = ProjectUndoFile(FProjectFileName);
  if (own.empty()) return;
  const std::string remembered = S(edUndoFile->text());
  const std::string target = remembered.empty() ? std::string() : RestoreFolder(remembered);
  const std::string folder = JoinPath(ProjectFolder(), "");
  if (target.empty() || JoinPath(target, "").rfind(folder, 0) != 0) edUndoFile->setText(Q(own));
}

void TWizardForm::FormClose() {
  lbModules->clear();
}

void TWizardForm::rbModeReplaceClick() {
  UpdateCaption();
}

void TWizardForm::btRestoreBrowseClick() {
  std::string fileName;
  if (Dialogs().OpenFile(res::sUndoFilter, ExtractFileDir(S(edUndoFile->text())), fileName))
    edUndoFile->setText(Q(fileName));
}

void TWizardForm::btSelectClick() {
  SetAllChecks(true);
}

void TWizardForm::btDeselectClick() {
  SetAllChecks(false);
}

void TWizardForm::btBrowseFolderClick() {
  std::string folder;
  if (Dialogs().SelectDirectory(res::sSelectDirectory, folder)) cbDirectory->setEditText(Q(folder));
}

void TWizardForm::btBrowseBackFolderClick() {
  std::string folder;
  if (!Dialogs().SelectDirectory(res::sSelectDirectory, folder)) return;
  cbBackupDir->setEditText(Q(folder));
  FBackupDirChanged = true;
}

void TWizardForm::cbBackupDirChange() {
  FBackupDirChanged = true;
}

void TWizardForm::actNextExecute() {
  GoNext();
}

void TWizardForm::actNextUpdate() {
  QWidget* page = StepsPageControl->currentWidget();
  bool enabled = true;
  if (page == Step2RestoreSheet)
    enabled = !edUndoFile->text().isEmpty();
  else if (page == Step3DirSheet)
    enabled = !cbDirectory->currentText().isEmpty();
  else if (page == FinalStepSheet)
    enabled = false;
  actNext->setEnabled(enabled);
}

void TWizardForm::actBackExecute() {
  GoBack();
}

void TWizardForm::actBackUpdate() {
  actBack->setEnabled(StepsPageControl->currentWidget() != Step1Sheet);
}

void TWizardForm::actFinishExecute() {
  rtl::Assert(FOptions != nullptr, "the wizard has no options");
  TReplaceOptions& options = *FOptions;
  // A rules file that cannot be used stops Finish before anything is handed over.
  const std::string rulesFile = rbModeReplace->isChecked() ? RulesFile() : std::string();
  if (!rulesFile.empty() && FCheckRules) {
    try {
      FCheckRules(rulesFile);
    } catch (const ERulesError& e) {
      Dialogs().MessageBox(e.what(), options.GetTitle(), TMsgIcon::Error);
      return;
    }
  }
  // The question before the project is touched; Escape on it returns here.
  if (FConfirm) {
    const TConfirm answer = FConfirm(*this);
    if (answer == TConfirm::Back) return;
    FDeclined = answer == TConfirm::Decline;
  }
  options.RulesFile = rulesFile;
  options.KeepGoing = chKeepGoing->isChecked();
  options.ScanAliases = !rbDestProject->isChecked() && chScanAliases->isChecked();
  if (rbDestProject->isChecked()) {
    options.Dest = TReplaceOptions::kDestProject;
    for (int i = lbModules->count() - 1; i >= 0; --i)
      if (lbModules->item(i)->checkState() != Qt::Checked) delete lbModules->takeItem(i);
    std::vector<std::string> units;
    for (int i = 0; i < lbModules->count(); ++i)
      units.push_back(S(lbModules->item(i)->data(Qt::UserRole).toString()));
    options.Units = UnitListText(units);
  } else {
    options.Dest = TReplaceOptions::kDestFolder;
  }
  options.Directory = S(cbDirectory->currentText());
  options.IncludeSubDirs = chSubDirs->isChecked();
  options.MakeBackup = chMakeBackup->isChecked();
  options.BackupDir = GetBackupDir();
  options.WriteLog = chWriteLog->isChecked();
  options.ViewLog = chViewLog->isChecked();
  AddToHistory(cbDirectory);
  AddToHistory(cbBackupDir);
  accept();
}

void TWizardForm::actFinishUpdate() {
  actFinish->setEnabled(StepsPageControl->currentWidget() == FinalStepSheet);
}

// The check boxes keep their own state; Finish reads it.
void TWizardForm::actMakeBackupExecute() {}

void TWizardForm::actMakeBackupUpdate() {
  const bool on = chMakeBackup->isChecked();
  lBackupFolder->setEnabled(on);
  cbBackupDir->setEnabled(on);
  btBrowseBackFolder->setEnabled(on);
}

void TWizardForm::actWriteLogExecute() {}

void TWizardForm::actWriteLogUpdate() {
  const bool on = chWriteLog->isChecked();
  chViewLog->setEnabled(on);
  lblLogNote->setEnabled(on);
}

}  // namespace migwiz
