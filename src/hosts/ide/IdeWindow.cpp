#include "hosts/ide/IdeWindow.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <stdexcept>

#include "ota/Application.h"

namespace hosts {

namespace {

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

}  // namespace

TIdeWindow::TIdeWindow(std::shared_ptr<TProjectServices> services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)) {
  setWindowTitle("migwiz-ide");
  auto* splitter = new QSplitter(this);
  moduleList_ = new QListWidget(splitter);
  moduleViews_ = new QStackedWidget(splitter);
  splitter->setStretchFactor(1, 3);
  setCentralWidget(splitter);
  connect(moduleList_, &QListWidget::currentRowChanged, moduleViews_,
          &QStackedWidget::setCurrentIndex);
  resize(1000, 700);

  services_->MainMenu()->OnChange = [this](ota::TMenuItem*, bool) { ScheduleMenuRebuild(); };
  services_->OnModulesChanged = [this] { RebuildModules(); };
  CreateHostMenu();
  RebuildMenu();
  RebuildModules();
}

TIdeWindow::~TIdeWindow() {
  services_->MainMenu()->OnChange = nullptr;
  services_->OnModulesChanged = nullptr;
}

void TIdeWindow::CreateHostMenu() {
  ota::TMainMenu& menu = *services_->MainMenu();
  ota::TMenuItem* file = NewItem(menu, menu.Items(), "FileMenu", "&File");
  NewItem(menu, file, "FileOpenProjectItem", "&Open Project...", [this](ota::TMenuItem*) {
    const QString name = QFileDialog::getOpenFileName(this, "Open Project", QString(),
                                                      "Delphi projects (*.dpr);;All files (*)");
    if (!name.isEmpty()) OpenProject(name.toStdString(), true);
  });
  NewItem(menu, file, "FileCloseAllItem", "C&lose All",
          [this](ota::TMenuItem*) { services_->CloseAll(); });
  NewItem(menu, file, "FileExitItem", "E&xit", [this](ota::TMenuItem*) { close(); });
  ota::TMenuItem* help = NewItem(menu, menu.Items(), "HelpMenu", "&Help");
  NewItem(menu, help, "HelpAboutItem", "&About...", [this](ota::TMenuItem*) {
    QMessageBox::about(this, "About migwiz-ide",
                       "The desktop host of the migration wizard: it opens a Delphi project "
                       "and loads the wizard's plug-in.");
  });
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
  moduleList_->clear();
  while (moduleViews_->count() > 0) {
    QWidget* view = moduleViews_->widget(0);
    moduleViews_->removeWidget(view);
    view->deleteLater();
  }
  for (int i = 0; i < services_->ModuleCount(); ++i) {
    auto module = std::dynamic_pointer_cast<TDiskModule>(services_->Modules(i));
    if (!module || module->Editors().empty()) continue;
    auto* tabs = new QTabWidget;
    for (const auto& editor : module->Editors()) {
      auto* view = new QPlainTextEdit;
      view->setReadOnly(true);
      view->setLineWrapMode(QPlainTextEdit::NoWrap);
      view->setPlainText(Q(editor->Text()));
      const bool isCode = dynamic_cast<TSourceEditor*>(editor.get()) != nullptr;
      tabs->addTab(view, isCode ? "Code" : "Form");
      QPointer<QPlainTextEdit> guarded(view);
      editor->OnTextChanged = [guarded](TDiskEditor& changed) {
        if (guarded) guarded->setPlainText(Q(changed.Text()));
      };
      QPointer<TIdeWindow> window(this);
      editor->OnShow = [window](TDiskEditor& shown) {
        if (window) window->ShowEditor(shown);
      };
    }
    QPointer<QTabWidget> guardedTabs(tabs);
    module->OnReload = [guardedTabs](TDiskModule& reloaded) {
      if (!guardedTabs) return;
      for (int e = 0; e < guardedTabs->count() && e < reloaded.ModuleFileCount(); ++e)
        if (auto* view = qobject_cast<QPlainTextEdit*>(guardedTabs->widget(e)))
          view->setPlainText(Q(reloaded.Editors()[e]->Text()));
    };
    moduleViews_->addWidget(tabs);
    auto* row = new QListWidgetItem(Q(module->FileName()), moduleList_);
    row->setData(Qt::UserRole, QVariant::fromValue(static_cast<void*>(module.get())));
  }
  if (moduleList_->count() > 0) moduleList_->setCurrentRow(0);
}

void TIdeWindow::ShowEditor(TDiskEditor& editor) {
  auto module = services_->FindModule(editor.FileName());
  if (!module) return;
  for (int row = 0; row < moduleList_->count(); ++row) {
    if (moduleList_->item(row)->data(Qt::UserRole).value<void*>() != module.get()) continue;
    moduleList_->setCurrentRow(row);
    auto* tabs = qobject_cast<QTabWidget*>(moduleViews_->widget(row));
    for (int e = 0; tabs && e < module->ModuleFileCount(); ++e)
      if (module->Editors()[e].get() == &editor) tabs->setCurrentIndex(e);
    raise();
    return;
  }
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
  const QString wanted = Q(name);
  for (int row = 0; row < moduleList_->count(); ++row) {
    const QString file = moduleList_->item(row)->text();
    if (file == wanted || file.endsWith(QLatin1Char('/') + wanted)) return row;
  }
  return -1;
}

QTabWidget* TIdeWindow::ModuleView(const std::string& name) const {
  const int row = ModuleRow(name);
  return row < 0 ? nullptr : qobject_cast<QTabWidget*>(moduleViews_->widget(row));
}

bool TIdeWindow::SelectModule(const std::string& name) {
  const int row = ModuleRow(name);
  if (row >= 0) moduleList_->setCurrentRow(row);
  return row >= 0;
}

std::string TIdeWindow::StateText() const {
  std::string out;
  AddActionLines(menuBar()->actions(), 0, out);
  for (int row = 0; row < moduleList_->count(); ++row) {
    out += "module " + moduleList_->item(row)->text().toStdString();
    auto* tabs = qobject_cast<QTabWidget*>(moduleViews_->widget(row));
    for (int e = 0; tabs && e < tabs->count(); ++e)
      out += (e == 0 ? " " : ",") + tabs->tabText(e).toStdString();
    out += "\n";
  }
  return out;
}

}  // namespace hosts
