#include "hosts/ide/IdeWindow.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QSyntaxHighlighter>
#include <QTabWidget>
#include <QTextBlock>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <stdexcept>

#include "MigWizard/FileUtils.h"
#include "MigWizard/ui/QtSettingsStore.h"
#include "hosts/ide/PascalHighlighter.h"
#include "ota/Application.h"
#include "rtl/Encoding.h"
#include "rtl/FileIO.h"

namespace hosts {

namespace {

// The host's own settings, beside the wizard's in the user's store.
constexpr const char* kHostSection = "migwiz-ide";
constexpr const char* kCodePageKey = "UnitPathCodePage";

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

bool TreeHolds(const ota::TMenuItem* node, const ota::TMenuItem* item) {
  if (node == item) return true;
  for (int i = 0; i < node->Count(); ++i)
    if (TreeHolds(node->Items(i), item)) return true;
  return false;
}

void AddActionLines(const QList<QAction*>& actions, int depth, std::string& out) {
  for (QAction* action : actions) {
    out += std::string(2 * depth, ' ') + "menu " + action->text().toStdString() + "\n";
    if (action->menu()) AddActionLines(action->menu()->actions(), depth + 1, out);
  }
}

ota::TMenuItem* NewItem(ota::TMainMenu& menu, ota::TMenuItem* parent, const std::string& name,
                        const std::string& caption, ota::TNotifyEvent onClick = nullptr) {
  ota::TMenuItem* item = ota::TMenuItem::Create(menu);
  item->SetName(name);
  item->SetCaption(caption);
  item->OnClick = std::move(onClick);
  parent->Add(item);
  return item;
}

// Colours the lines of a unified diff.
class TDiffHighlighter : public QSyntaxHighlighter {
 public:
  using QSyntaxHighlighter::QSyntaxHighlighter;

 protected:
  void highlightBlock(const QString& text) override {
    if (text.isEmpty()) return;
    QTextCharFormat format;
    if (text.startsWith("+++") || text.startsWith("---") || text.startsWith('#')) {
      format.setFontWeight(QFont::Bold);
    } else if (text.startsWith("@@")) {
      format.setForeground(QColor(0x00, 0x66, 0x99));
    } else if (text.startsWith('+')) {
      format.setForeground(QColor(0x00, 0x77, 0x00));
    } else if (text.startsWith('-')) {
      format.setForeground(QColor(0xaa, 0x00, 0x00));
    } else {
      return;
    }
    setFormat(0, static_cast<int>(text.size()), format);
  }
};

// A report row's place: its file, line and column (0: the whole line).
enum ReportRole { kFileRole = Qt::UserRole, kLineRole, kColumnRole };

// The host's icon, drawn: a page with a "K" on it.
QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 32, 64}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x1f, 0x5f, 0xa8));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), size / 6.0, size / 6.0);
    QFont font;
    font.setBold(true);
    font.setPixelSize(size * 3 / 4);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("K"));
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace

TIdeWindow::TIdeWindow(std::shared_ptr<TProjectServices> services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)) {
  setWindowTitle("migwiz-ide");
  setWindowIcon(AppIcon());
  auto* splitter = new QSplitter(this);
  moduleList_ = new QListWidget(splitter);
  moduleViews_ = new QStackedWidget(splitter);
  splitter->setStretchFactor(1, 3);
  setCentralWidget(splitter);
  connect(moduleList_, &QListWidget::currentRowChanged, this, [this](int row) { ShowRow(row); });
  resize(1200, 800);

  reportView_ = new QTreeWidget;
  reportView_->setObjectName("ConversionReport");
  reportView_->setHeaderLabels({"What", "Why", "File", "Line"});
  reportView_->setRootIsDecorated(false);
  reportView_->setAlternatingRowColors(true);
  // Columns are fitted once per run, to the first rows: fitting thousands of rows to their
  // contents on every change takes longer than the run.
  reportView_->setUniformRowHeights(true);
  reportView_->header()->setResizeContentsPrecision(200);
  // What and why share the width the file and line leave, so no column hides to the right.
  reportView_->header()->setStretchLastSection(false);
  reportView_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  reportView_->header()->setSectionResizeMode(1, QHeaderView::Stretch);
  connect(reportView_, &QTreeWidget::itemActivated, this,
          [this](QTreeWidgetItem* row) { OpenReportRow(row); });
  reportSummary_ = new QLabel;
  auto* reportPane = new QWidget;
  auto* reportLayout = new QVBoxLayout(reportPane);
  reportLayout->setContentsMargins(0, 0, 0, 0);
  reportLayout->addWidget(reportSummary_);
  reportLayout->addWidget(reportView_);
  reportDock_ = new QDockWidget("Conversion report", this);
  reportDock_->setObjectName("ConversionReportDock");
  reportDock_->setWidget(reportPane);
  changesView_ = new QPlainTextEdit;
  changesView_->setObjectName("Changes");
  changesView_->setReadOnly(true);
  changesView_->setLineWrapMode(QPlainTextEdit::NoWrap);
  changesView_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  new TDiffHighlighter(changesView_->document());
  // A run over a large project changes thousands of files: the view shows one file's diff at
  // a time, picked from the list of changed files.
  changedFiles_ = new QListWidget;
  changedFiles_->setObjectName("ChangedFiles");
  changedFiles_->setUniformItemSizes(true);
  connect(changedFiles_, &QListWidget::currentRowChanged, this, [this](int row) {
    changesView_->setPlainText(row >= 0 && row < static_cast<int>(diffs_.size())
                                   ? Q(migwiz::DiffTextOf(diffs_[static_cast<size_t>(row)]))
                                   : QString());
  });
  auto* changesPane = new QSplitter;
  changesPane->addWidget(changedFiles_);
  changesPane->addWidget(changesView_);
  changesPane->setStretchFactor(1, 3);
  changesDock_ = new QDockWidget("Changes", this);
  changesDock_->setObjectName("ChangesDock");
  changesDock_->setWidget(changesPane);
  // The report and the changes take the window's whole width, one in front of the other: a
  // line of code and a diff need it.
  addDockWidget(Qt::BottomDockWidgetArea, reportDock_);
  addDockWidget(Qt::BottomDockWidgetArea, changesDock_);
  tabifyDockWidget(reportDock_, changesDock_);
  reportDock_->hide();
  changesDock_->hide();
  services_->OnRunResults = [this](const migwiz::TRunReport& report,
                                   std::vector<migwiz::TFileDiff> diffs) {
    ShowRunResults(report, std::move(diffs));
  };
  services_->OnClearRunResults = [this] {
    reportView_->clear();
    reportSummary_->clear();
    diffs_.clear();
    changedFiles_->clear();
    changesView_->clear();
  };

  services_->MainMenu()->OnChange = [this](ota::TMenuItem*, bool) { ScheduleMenuRebuild(); };
  services_->OnModulesChanged = [this] { RebuildModules(); };
  // A file the plug-in opens (the log after a run) shows in a view of its own, in front.
  services_->OnOpenFile = [this](TDiskModule& module) {
    auto row = rows_.find(&module);
    if (row == rows_.end()) return;
    moduleList_->setCurrentRow(row->second);
    ShowRow(row->second);
  };
  CreateHostMenu();
  try {
    services_->SetCodePage(migwiz::TQtSettingsStore().ReadString(kHostSection, kCodePageKey, ""));
  } catch (const rtl::EEncodingError&) {
    // A name this machine does not know: none, until one is chosen again.
  }
  RebuildMenu();
  RebuildModules();
}

TIdeWindow::~TIdeWindow() {
  services_->MainMenu()->OnChange = nullptr;
  services_->OnModulesChanged = nullptr;
  services_->OnOpenFile = nullptr;
  services_->OnRunResults = nullptr;
}

void TIdeWindow::ShowRunResults(const migwiz::TRunReport& report,
                                std::vector<migwiz::TFileDiff> diffs) {
  reportView_->clear();
  reportSummary_->setText(Q(report.Summary()));
  QList<QTreeWidgetItem*> rows;
  auto add = [&](const migwiz::TFileReport& file, const std::string& what, const std::string& why,
                 int line, int column, const QString& tip) {
    auto* row =
        new QTreeWidgetItem(QStringList{Q(what), Q(why), Q(file.Rel), QString::number(line)});
    row->setToolTip(0, Q(what));
    row->setToolTip(1, tip.isEmpty() ? Q(why) : tip);
    row->setData(0, kFileRole, Q(file.Path));
    row->setData(0, kLineRole, line);
    row->setData(0, kColumnRole, column);
    rows << row;
  };
  for (const migwiz::TFileReport& file : report.Files) {
    // Objects rebuilt with a loss, objects left on the old library, code to revise.
    for (const migwiz::TConvertedObject& object : file.Objects) {
      if (object.Dropped.empty() && !object.UnresolvedAlias) continue;
      std::string why;
      QStringList values;
      for (const migwiz::TDroppedProperty& d : object.Dropped) {
        // A property dropped in parts (a connection's parameters) is named with each part.
        const bool parts = std::count_if(object.Dropped.begin(), object.Dropped.end(),
                                         [&](const migwiz::TDroppedProperty& o) {
                                           return o.Property == d.Property;
                                         }) > 1;
        why += (why.empty() ? "dropped " : ", ") + d.Property + (parts ? " " + d.Value : "");
        values << Q(d.Property + " = " + d.Value);
      }
      if (object.UnresolvedAlias)
        why +=
            (why.empty() ? "" : "; ") + ("alias " + *object.UnresolvedAlias + " has no connection");
      add(file, object.Path + ": " + object.OldClass + " -> " + object.NewClass, why, object.Line,
          0, values.join("\n"));
    }
    for (const migwiz::TLeftObject& left : file.Left)
      add(file, left.Path + ": " + left.Class,
          "left on the " + report.SourceName +
              (left.Database.empty() ? std::string() : " (database " + left.Database + ")"),
          left.Line, 0, {});
    for (const migwiz::TCodeReference& code : file.Code)
      add(file, code.Text, code.Note, code.Line, code.Column, {});
  }
  // The files a run skipped are left as they were: what a person has to mend first.
  for (const migwiz::TSkippedFile& skipped : report.Skipped) {
    auto* row = new QTreeWidgetItem(
        QStringList{Q("skipped " + skipped.Path), Q(skipped.Reason), Q(skipped.Path), QString()});
    row->setToolTip(1, Q(skipped.Reason));
    rows << row;
  }
  reportView_->addTopLevelItems(rows);
  for (int c = 2; c < reportView_->columnCount(); ++c) reportView_->resizeColumnToContents(c);
  diffs_ = std::move(diffs);
  changedFiles_->clear();
  for (const migwiz::TFileDiff& d : diffs_) changedFiles_->addItem(Q(d.Rel));
  changedFiles_->setCurrentRow(diffs_.empty() ? -1 : 0);
  const bool firstShown = reportDock_->isHidden();
  reportDock_->show();
  changesDock_->show();
  reportDock_->raise();
  if (firstShown) resizeDocks({reportDock_}, {height() / 3}, Qt::Vertical);
}

bool TIdeWindow::ChangesHold(const std::string& text) {
  for (migwiz::TFileDiff& d : diffs_)
    if (migwiz::DiffTextOf(d).find(text) != std::string::npos) return true;
  return false;
}

bool TIdeWindow::OpenReportRow(QTreeWidgetItem* row) {
  if (!row) return false;
  const std::string file = row->data(0, kFileRole).toString().toStdString();
  const int line = row->data(0, kLineRole).toInt();
  const int column = row->data(0, kColumnRole).toInt();
  auto module = services_->FindModule(file);
  if (!module) {
    statusBar()->showMessage(Q("The file " + file + " is not open."));
    return false;
  }
  for (const auto& editor : module->Editors()) {
    if (!rtl::SameFile(editor->FileName(), file)) continue;
    editor->Show();
    auto row = rows_.find(module.get());
    QTabWidget* tabs = row == rows_.end() ? nullptr : ViewOfRow(row->second);
    if (tabs) moduleViews_->setCurrentWidget(tabs);
    auto* view = tabs ? qobject_cast<QPlainTextEdit*>(tabs->currentWidget()) : nullptr;
    if (!view) return false;
    // The place is selected, so the eye finds it in a view without a visible cursor: a code
    // reference from its column to the end of the name there, an object's whole line.
    QTextBlock block = view->document()->findBlockByLineNumber(line - 1);
    QTextCursor cursor(block);
    if (column > 0 && column <= block.length()) {
      const QString text = block.text();
      int end = column - 1;
      while (end < text.size() &&
             (text[end].isLetterOrNumber() || text[end] == '_' || text[end] == '.'))
        ++end;
      cursor.setPosition(block.position() + column - 1);
      cursor.setPosition(block.position() + end, QTextCursor::KeepAnchor);
    } else {
      cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    }
    view->setTextCursor(cursor);
    view->centerCursor();
    view->setFocus();
    return true;
  }
  return false;
}

void TIdeWindow::CreateHostMenu() {
  ota::TMainMenu& menu = *services_->MainMenu();
  ota::TMenuItem* file = NewItem(menu, menu.Items(), "FileMenu", "&File");
  NewItem(menu, file, "FileOpenProjectItem", "&Open Project...", [this](ota::TMenuItem*) {
    // Next to the open project, where the next one most likely is.
    const auto open = services_->Project();
    const QString start = open ? Q(migwiz::ExtractFileDir(open->FileName())) : QString();
    const QString name = QFileDialog::getOpenFileName(this, "Open Project", start,
                                                      "Delphi projects (*.dpr);;All files (*)");
    if (!name.isEmpty()) OpenProject(name.toStdString(), true);
  });
  NewItem(menu, file, "FileCloseAllItem", "C&lose All",
          [this](ota::TMenuItem*) { services_->CloseAll(); });
  NewItem(menu, file, "FileExitItem", "E&xit", [this](ota::TMenuItem*) { close(); });
  ota::TMenuItem* tools = NewItem(menu, menu.Items(), "ToolsMenu", "&Tools");
  NewItem(menu, tools, "ToolsCodePageItem", "Unit Path &Code Page...",
          [this](ota::TMenuItem*) { ChooseCodePage(); });
  ota::TMenuItem* help = NewItem(menu, menu.Items(), "HelpMenu", "&Help");
  NewItem(menu, help, "HelpAboutItem", "&About...", [this](ota::TMenuItem*) {
    QMessageBox::about(this, "About migwiz-ide",
                       "The desktop host of the migration wizard: it opens a Delphi project "
                       "and loads the wizard's plug-in.");
  });
}

void TIdeWindow::ChooseCodePage() {
  QDialog dialog(this);
  dialog.setObjectName("CodePageDialog");
  dialog.setWindowTitle("Unit Path Code Page");
  auto* layout = new QVBoxLayout(&dialog);
  auto* label = new QLabel(
      "Code page of the unit paths a project file does not write in UTF-8 (older IDEs wrote\n"
      "them in the machine's code page); empty for none:",
      &dialog);
  auto* combo = new QComboBox(&dialog);
  combo->setObjectName("cbCodePage");
  combo->setEditable(true);
  combo->addItems({"", "CP936", "CP950", "CP932", "CP949", "CP874", "CP1250", "CP1251", "CP1252",
                   "CP1253", "CP1254", "CP1255", "CP1256", "CP1257", "CP1258"});
  combo->setEditText(Q(services_->CodePage()));
  label->setBuddy(combo);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("btOk");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("btCancel");
  connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
    try {
      services_->SetCodePage(combo->currentText().trimmed().toStdString());
      dialog.accept();
    } catch (const rtl::EEncodingError& e) {
      QMessageBox::warning(&dialog, windowTitle(), Q(e.what()));
    }
  });
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(label);
  layout->addWidget(combo);
  layout->addWidget(buttons);
  if (dialog.exec() != QDialog::Accepted) return;
  try {
    migwiz::TQtSettingsStore().WriteString(kHostSection, kCodePageKey, services_->CodePage());
  } catch (const std::exception& e) {
    QMessageBox::warning(this, windowTitle(), Q(e.what()));  // applies to this session only
  }
  if (const auto project = services_->Project()) OpenProject(project->FileName(), true);
}

// Rebuilding from inside a QAction's trigger would delete that action under Qt's feet.
void TIdeWindow::ScheduleMenuRebuild() {
  if (menuRebuildPending_) return;
  menuRebuildPending_ = true;
  QTimer::singleShot(0, this, [this] { RebuildMenu(); });
}

void TIdeWindow::RebuildMenu() {
  menuRebuildPending_ = false;
  QMenuBar* bar = menuBar();
  bar->clear();
  ota::TMenuItem* root = services_->MainMenu()->Items();
  std::function<void(ota::TMenuItem*, QWidget*)> mirror = [&](ota::TMenuItem* item, QWidget* into) {
    if (item->Count() > 0) {
      auto* sub = new QMenu(Q(item->Caption()), into);
      for (int i = 0; i < item->Count(); ++i) mirror(item->Items(i), sub);
      if (auto* menu = qobject_cast<QMenu*>(into))
        menu->addMenu(sub);
      else
        bar->addMenu(sub);
      return;
    }
    auto* action = new QAction(Q(item->Caption()), into);
    into->addAction(action);
    connect(action, &QAction::triggered, this, [this, item] {
      // The item may have gone since the menu was mirrored.
      if (!TreeHolds(services_->MainMenu()->Items(), item)) return;
      try {
        item->Click();
      } catch (const std::exception& error) {
        ota::ApplicationHandleException(error);
      } catch (...) {
        ota::ApplicationHandleException(std::runtime_error("Unknown error"));
      }
    });
  };
  for (int i = 0; i < root->Count(); ++i) mirror(root->Items(i), bar);
}

void TIdeWindow::RebuildModules() {
  const auto project = services_->Project();
  setWindowTitle(project
                     ? Q(migwiz::ChangeFileExt(migwiz::ExtractFileName(project->FileName()), "") +
                         " - migwiz-ide")
                     : QStringLiteral("migwiz-ide"));
  moduleList_->clear();
  while (moduleViews_->count() > 0) {
    QWidget* view = moduleViews_->widget(0);
    moduleViews_->removeWidget(view);
    view->deleteLater();
  }
  rows_.clear();
  views_.clear();
  frontEditor_.clear();
  rowModules_.clear();
  // A view is made when its module is first shown: opening a project of a thousand units reads
  // the list, not a thousand documents.
  std::unordered_map<std::string, int> nameCount;
  for (int i = 0; i < services_->ModuleCount(); ++i) {
    auto module = std::dynamic_pointer_cast<TDiskModule>(services_->Modules(i));
    if (!module || module->Editors().empty()) continue;
    rowModules_.push_back(module);
    ++nameCount[migwiz::ExtractFileName(module->FileName())];
  }
  const std::string base = services_->Project()
                               ? migwiz::ExtractFilePath(services_->Project()->FileName())
                               : std::string();
  for (size_t row = 0; row < rowModules_.size(); ++row) {
    const auto& module = rowModules_[row];
    rows_.emplace(module.get(), static_cast<int>(row));
    QPointer<TIdeWindow> window(this);
    for (const auto& editor : module->Editors()) {
      editor->OnTextChanged = [window](TDiskEditor& changed) {
        if (window) window->EditorTextChanged(changed);
      };
      editor->OnShow = [window](TDiskEditor& shown) {
        if (window) window->ShowEditor(shown);
      };
    }
    module->OnReload = [window](TDiskModule& reloaded) {
      if (window) window->ModuleReloaded(reloaded);
    };
    // Units of the same name in two folders show the folder they are in.
    const std::string name = migwiz::ExtractFileName(module->FileName());
    std::string caption = name;
    if (nameCount[name] > 1) {
      std::string folder = migwiz::ExtractFileDir(module->FileName());
      if (!base.empty() && folder.rfind(base, 0) == 0) folder = folder.substr(base.size());
      caption += "  (" + (folder.empty() ? std::string(".") : folder) + ")";
    }
    auto* item = new QListWidgetItem(Q(caption), moduleList_);
    item->setToolTip(Q(module->FileName()));
  }
  if (moduleList_->count() > 0) moduleList_->setCurrentRow(0);
}

QTabWidget* TIdeWindow::ViewOfRow(int row) {
  if (row < 0 || row >= static_cast<int>(rowModules_.size())) return nullptr;
  TDiskModule* module = rowModules_[static_cast<size_t>(row)].get();
  auto known = views_.find(module);
  if (known != views_.end()) return known->second;
  auto* tabs = new QTabWidget;
  for (const auto& editor : module->Editors()) {
    auto* view = new QPlainTextEdit;
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Pascal and form text are highlighted; a log or any other text stays plain.
    const std::string ext = rtl::UpperCase(migwiz::ExtractFileExt(editor->FileName()));
    if (ext == ".PAS" || ext == ".DPR" || ext == ".DPK" || ext == ".INC" || ext == ".DFM" ||
        ext == ".NFM")
      new TPascalHighlighter(view->document());
    view->setPlainText(Q(editor->Text()));
    const bool isCode = dynamic_cast<TSourceEditor*>(editor.get()) != nullptr;
    tabs->addTab(view, isCode ? "Code" : "Form");
  }
  if (auto front = frontEditor_.find(module); front != frontEditor_.end())
    tabs->setCurrentIndex(front->second);
  moduleViews_->addWidget(tabs);
  views_.emplace(module, tabs);
  return tabs;
}

void TIdeWindow::ShowRow(int row) {
  // The view is made once the events are processed: a plug-in that puts a thousand modules in
  // front one after the other makes one view, the last one's.
  pendingRow_ = row;
  if (showPending_) return;
  showPending_ = true;
  QTimer::singleShot(0, this, [this] {
    showPending_ = false;
    if (QTabWidget* tabs = ViewOfRow(pendingRow_)) moduleViews_->setCurrentWidget(tabs);
  });
}

void TIdeWindow::EditorTextChanged(TDiskEditor& editor) {
  auto module = services_->FindModule(editor.FileName());
  if (!module) return;
  auto view = views_.find(module.get());
  if (view == views_.end()) return;  // made with the new text when first shown
  for (int e = 0; e < view->second->count() && e < module->ModuleFileCount(); ++e)
    if (module->Editors()[static_cast<size_t>(e)].get() == &editor)
      if (auto* text = qobject_cast<QPlainTextEdit*>(view->second->widget(e)))
        text->setPlainText(Q(editor.Text()));
}

void TIdeWindow::ModuleReloaded(TDiskModule& module) {
  auto view = views_.find(&module);
  if (view == views_.end()) return;
  for (int e = 0; e < view->second->count() && e < module.ModuleFileCount(); ++e)
    if (auto* text = qobject_cast<QPlainTextEdit*>(view->second->widget(e))) {
      const QString now = Q(module.Editors()[static_cast<size_t>(e)]->Text());
      if (text->toPlainText() != now) text->setPlainText(now);
    }
}

void TIdeWindow::ShowEditor(TDiskEditor& editor) {
  auto module = services_->FindModule(editor.FileName());
  if (!module) return;
  auto row = rows_.find(module.get());
  if (row == rows_.end()) return;
  for (int e = 0; e < module->ModuleFileCount(); ++e)
    if (module->Editors()[static_cast<size_t>(e)].get() == &editor) frontEditor_[module.get()] = e;
  if (auto view = views_.find(module.get()); view != views_.end())
    view->second->setCurrentIndex(frontEditor_[module.get()]);
  // Selected once the events run: a plug-in that puts hundreds of modules in front one after the
  // other selects the last one once, not every one.
  pendingSelect_ = row->second;
  if (selectPending_) return;
  selectPending_ = true;
  QTimer::singleShot(0, this, [this] {
    selectPending_ = false;
    if (pendingSelect_ < moduleList_->count()) moduleList_->setCurrentRow(pendingSelect_);
  });
}

bool TIdeWindow::OpenProject(const std::string& fileName, bool reportError) {
  if (!services_->OpenProject(fileName, true)) {
    if (reportError) QMessageBox::critical(this, "Error", Q(services_->LastError()));
    return false;
  }
  const auto& problems = services_->Problems();
  if (!problems.empty()) statusBar()->showMessage(Q(problems.front()));
  return true;
}

int TIdeWindow::ModuleRow(const std::string& name) const {
  for (size_t row = 0; row < rowModules_.size(); ++row) {
    const std::string file = rowModules_[row]->FileName();
    if (file == name || (file.size() > name.size() &&
                         file.compare(file.size() - name.size(), name.size(), name) == 0 &&
                         file[file.size() - name.size() - 1] == '/'))
      return static_cast<int>(row);
  }
  return -1;
}

QTabWidget* TIdeWindow::ModuleView(const std::string& name) {
  return ViewOfRow(ModuleRow(name));
}

bool TIdeWindow::SelectModule(const std::string& name) {
  const int row = ModuleRow(name);
  if (row >= 0) moduleList_->setCurrentRow(row);
  return row >= 0;
}

std::string TIdeWindow::StateText() const {
  std::string out;
  AddActionLines(menuBar()->actions(), 0, out);
  for (const auto& module : rowModules_) {
    out += "module " + module->FileName();
    bool first = true;
    for (const auto& editor : module->Editors()) {
      out += first ? " " : ",";
      out += dynamic_cast<TSourceEditor*>(editor.get()) ? "Code" : "Form";
      first = false;
    }
    out += "\n";
  }
  return out;
}

}  // namespace hosts
