#include "hosts/ide/UiScript.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextBlock>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <ostream>
#include <sstream>

#include "hosts/ide/IdeWindow.h"

namespace hosts {

namespace {

// The words a command takes, and whether the rest of the line follows them as a text.
struct TCommandShape {
  int Words;
  bool Text;
};

const std::map<std::string, TCommandShape>& Commands() {
  static const std::map<std::string, TCommandShape> commands = {
      {"menu", {0, true}},       {"dialog", {1, false}},    {"page", {1, false}},
      {"click", {1, false}},     {"check", {1, false}},     {"uncheck", {1, false}},
      {"type", {1, true}},       {"message", {0, true}},    {"message-with", {0, true}},
      {"show", {2, false}},      {"front", {2, false}},     {"view", {2, true}},
      {"view-lacks", {2, true}}, {"quit", {0, false}},      {"cursor", {3, false}},
      {"selection", {2, true}},  {"report", {0, true}},     {"open-report", {0, true}},
      {"changes", {0, true}},    {"screenshot", {0, true}},
  };
  return commands;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'n' || text[i + 1] == '\\')) {
      out += text[i + 1] == 'n' ? '\n' : '\\';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string Trim(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

QString Plain(const QString& caption) {
  QString text = caption;
  text.remove(QLatin1Char('&'));
  return text;
}

// A press and a release at the point, as the window system delivers them: the application's event
// filters (the wizard's action updates) see them as they see a user's click.
void MouseClick(QWidget* widget, QPoint at) {
  const QPointF local(at);
  const QPointF global(widget->mapToGlobal(at));
  QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &release);
}

QPoint ClickPoint(QAbstractButton* button) {
  // Check boxes and radio buttons take clicks on their box and caption only, which start at the
  // left edge.
  if (button->isCheckable() && !button->inherits("QPushButton"))
    return QPoint(std::min(8, button->width() / 2), button->height() / 2);
  return button->rect().center();
}

void TypeKey(QWidget* target, int key, const QString& text, Qt::KeyboardModifiers mods = {}) {
  QKeyEvent press(QEvent::KeyPress, key, mods, text);
  QCoreApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, mods, text);
  QCoreApplication::sendEvent(target, &release);
}

void TypeText(QLineEdit* edit, const QString& text) {
  edit->setFocus(Qt::OtherFocusReason);
  TypeKey(edit, Qt::Key_A, QString(), Qt::ControlModifier);
  TypeKey(edit, Qt::Key_Delete, QString());
  for (QChar c : text) TypeKey(edit, 0, QString(c));
}

QAction* FindMenuAction(const QList<QAction*>& actions, const QStringList& path, int at) {
  for (QAction* action : actions) {
    if (Plain(action->text()) != path.at(at)) continue;
    if (at + 1 == path.size()) return action;
    if (action->menu()) return FindMenuAction(action->menu()->actions(), path, at + 1);
  }
  return nullptr;
}

QString ViewText(QTabWidget* tabs, const std::string& tab) {
  for (int i = 0; i < tabs->count(); ++i)
    if (tabs->tabText(i).toStdString() == tab)
      if (auto* view = qobject_cast<QPlainTextEdit*>(tabs->widget(i))) return view->toPlainText();
  return QString();
}

bool HasTab(QTabWidget* tabs, const std::string& tab) {
  for (int i = 0; i < tabs->count(); ++i)
    if (tabs->tabText(i).toStdString() == tab) return true;
  return false;
}

// Runs the action from the event loop, after the current step: an action that opens a modal
// dialog runs that dialog's loop, in which the script goes on.
template <class F>
void Later(QObject* context, F action) {
  QTimer::singleShot(0, context, std::move(action));
}

}  // namespace

bool ParseUiScript(const std::string& text, std::vector<TScriptStep>& steps, std::string& error) {
  std::istringstream in(text);
  std::string raw;
  int line = 0;
  while (std::getline(in, raw)) {
    ++line;
    const std::string source = Trim(raw);
    if (source.empty() || source[0] == '#') continue;
    TScriptStep step;
    step.Line = line;
    step.Source = source;
    std::string rest = source;
    auto word = [&rest]() {
      const size_t end = rest.find_first_of(" \t");
      std::string w = rest.substr(0, end);
      rest = end == std::string::npos ? std::string() : Trim(rest.substr(end));
      return w;
    };
    step.Command = word();
    auto shape = Commands().find(step.Command);
    if (shape == Commands().end()) {
      error = "line " + std::to_string(line) + ": unknown command \"" + step.Command + "\"";
      return false;
    }
    for (int i = 0; i < shape->second.Words; ++i) {
      std::string w = word();
      if (w.empty()) {
        error = "line " + std::to_string(line) + ": \"" + step.Command + "\" needs more arguments";
        return false;
      }
      step.Args.push_back(std::move(w));
    }
    if (shape->second.Text) {
      if (rest.empty()) {
        error = "line " + std::to_string(line) + ": \"" + step.Command + "\" needs a text";
        return false;
      }
      step.Args.push_back(Unescape(rest));
    } else if (!rest.empty()) {
      error = "line " + std::to_string(line) + ": unexpected \"" + rest + "\"";
      return false;
    }
    steps.push_back(std::move(step));
  }
  return true;
}

TUiScript::TUiScript(TIdeWindow& window, std::vector<TScriptStep> steps, std::ostream& log,
                     std::chrono::milliseconds stepTimeout)
    : QObject(&window),
      window_(window),
      steps_(std::move(steps)),
      log_(log),
      timeout_(stepTimeout),
      timer_(new QTimer(this)) {
  connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
}

void TUiScript::Start() {
  stepStarted_ = std::chrono::steady_clock::now();
  timer_->start(10);
}

void TUiScript::Tick() {
  if (next_ >= steps_.size()) {
    timer_->stop();
    return;
  }
  const TScriptStep& step = steps_[next_];
  if (Try(step) == TState::Done) {
    log_ << "ok " << step.Line << ": " << step.Source << "\n" << std::flush;
    ++next_;
    waitingFor_.clear();
    stepStarted_ = std::chrono::steady_clock::now();
    // The next step is tried as soon as the events this one caused are handled; only a step
    // that waits for something polls.
    QTimer::singleShot(0, this, [this] { Tick(); });
    return;
  }
  if (std::chrono::steady_clock::now() - stepStarted_ > timeout_)
    Fail(step, "timed out waiting for " + waitingFor_);
}

void TUiScript::Fail(const TScriptStep& step, const std::string& why) {
  log_ << std::flush;
  std::fprintf(stderr, "migwiz-ide: script line %d (%s): %s\n", step.Line, step.Source.c_str(),
               why.c_str());
  std::fflush(stdout);
  std::fflush(stderr);
  // Modal loops may be open below this point; nothing in them is worth unwinding.
  std::_Exit(3);
}

QWidget* TUiScript::Front() const {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return &window_;
}

QWidget* TUiScript::FindIn(QWidget* root, const std::string& name, std::string& why) const {
  const QString objectName = QString::fromStdString(name);
  for (QWidget* w : root->findChildren<QWidget*>(objectName)) {
    if (w->isVisible() && w->isEnabled()) return w;
  }
  why = "\"" + name + "\" shown and enabled in \"" + root->objectName().toStdString() + "\"";
  return nullptr;
}

TUiScript::TState TUiScript::Try(const TScriptStep& step) {
  const std::string& cmd = step.Command;
  const auto& a = step.Args;
  QWidget* front = Front();

  if (cmd == "menu") {
    if (QApplication::activeModalWidget()) {
      waitingFor_ = "the dialogs to close";
      return TState::NotYet;
    }
    QStringList path;
    for (const QString& part : QString::fromStdString(a[0]).split(QLatin1Char('>')))
      path << part.trimmed();
    QAction* action = FindMenuAction(window_.menuBar()->actions(), path, 0);
    if (!action || !action->isEnabled()) {
      waitingFor_ = "the menu command \"" + a[0] + "\"";
      return TState::NotYet;
    }
    Later(action, [action] { action->trigger(); });
    return TState::Done;
  }
  if (cmd == "dialog") {
    waitingFor_ = "the dialog \"" + a[0] + "\"";
    return front != &window_ && front->objectName().toStdString() == a[0] ? TState::Done
                                                                          : TState::NotYet;
  }
  if (cmd == "page") {
    waitingFor_ = "the page \"" + a[0] + "\"";
    for (auto* pages : front->findChildren<QStackedWidget*>())
      if (pages->currentWidget() && pages->currentWidget()->objectName().toStdString() == a[0])
        return TState::Done;
    return TState::NotYet;
  }
  if (cmd == "click" || cmd == "check" || cmd == "uncheck") {
    auto* button = qobject_cast<QAbstractButton*>(FindIn(front, a[0], waitingFor_));
    if (!button) return TState::NotYet;
    if (cmd != "click") {
      if (!button->isCheckable()) Fail(step, "\"" + a[0] + "\" cannot be checked");
      if (button->isChecked() == (cmd == "check")) return TState::Done;
    }
    QPointer<QAbstractButton> target(button);
    Later(button, [target] {
      if (target) MouseClick(target, ClickPoint(target));
    });
    return TState::Done;
  }
  if (cmd == "type") {
    QWidget* widget = FindIn(front, a[0], waitingFor_);
    if (!widget) return TState::NotYet;
    QLineEdit* edit = qobject_cast<QLineEdit*>(widget);
    if (auto* combo = qobject_cast<QComboBox*>(widget)) edit = combo->lineEdit();
    if (!edit) Fail(step, "\"" + a[0] + "\" takes no typing");
    TypeText(edit, QString::fromStdString(a[1]));
    // A drop-down may complete what was typed from its history, the rest selected: a user
    // presses Delete to keep only what they typed.
    if (edit->hasSelectedText() && edit->text().toStdString() != a[1])
      TypeKey(edit, Qt::Key_Delete, QString());
    if (edit->text().toStdString() != a[1])
      Fail(step, "\"" + a[0] + "\" holds \"" + edit->text().toStdString() + "\"");
    return TState::Done;
  }
  if (cmd == "message" || cmd == "message-with") {
    waitingFor_ = "a message box saying \"" + a[0] + "\"";
    auto* box = qobject_cast<QMessageBox*>(front);
    if (!box || !box->isVisible()) return TState::NotYet;
    const std::string said = box->text().toStdString();
    const bool matches = cmd == "message" ? said == a[0] : said.find(a[0]) != std::string::npos;
    if (!matches) Fail(step, "the message box says \"" + said + "\"");
    if (box->buttons().isEmpty()) Fail(step, "the message box has no button");
    QPointer<QAbstractButton> button(box->buttons().front());
    Later(box, [button] {
      if (button) MouseClick(button, button->rect().center());
    });
    return TState::Done;
  }
  if (cmd == "show" || cmd == "front" || cmd == "view" || cmd == "view-lacks") {
    QTabWidget* tabs = window_.ModuleView(a[0]);
    waitingFor_ = "the module \"" + a[0] + "\" with a " + a[1] + " view";
    if (!tabs || !HasTab(tabs, a[1])) return TState::NotYet;
    if (cmd == "show") {
      if (QApplication::activeModalWidget()) Fail(step, "a dialog is in front");
      window_.SelectModule(a[0]);
      for (int i = 0; i < tabs->count(); ++i)
        if (tabs->tabText(i).toStdString() == a[1]) tabs->setCurrentIndex(i);
      return TState::Done;
    }
    if (cmd == "front") {
      waitingFor_ = "the " + a[1] + " view of \"" + a[0] + "\" in front";
      return tabs->tabText(tabs->currentIndex()).toStdString() == a[1] ? TState::Done
                                                                       : TState::NotYet;
    }
    const bool holds = ViewText(tabs, a[1]).contains(QString::fromStdString(a[2]));
    waitingFor_ = "the " + a[1] + " view of \"" + a[0] + "\" " +
                  (cmd == "view" ? "to show" : "to stop showing") + " \"" + a[2] + "\"";
    return holds == (cmd == "view") ? TState::Done : TState::NotYet;
  }
  if (cmd == "cursor") {
    QTabWidget* tabs = window_.ModuleView(a[0]);
    waitingFor_ = "the cursor of the " + a[1] + " view of \"" + a[0] + "\" on line " + a[2];
    if (!tabs || tabs->tabText(tabs->currentIndex()).toStdString() != a[1]) return TState::NotYet;
    auto* view = qobject_cast<QPlainTextEdit*>(tabs->currentWidget());
    return view && view->textCursor().blockNumber() + 1 == std::atoi(a[2].c_str()) ? TState::Done
                                                                                   : TState::NotYet;
  }
  if (cmd == "selection") {
    QTabWidget* tabs = window_.ModuleView(a[0]);
    waitingFor_ =
        "the " + a[1] + " view of \"" + a[0] + "\" in front with \"" + a[2] + "\" selected";
    if (!tabs || tabs->tabText(tabs->currentIndex()).toStdString() != a[1]) return TState::NotYet;
    auto* view = qobject_cast<QPlainTextEdit*>(tabs->currentWidget());
    return view && view->textCursor().selectedText().toStdString() == a[2] ? TState::Done
                                                                           : TState::NotYet;
  }
  if (cmd == "report" || cmd == "open-report") {
    waitingFor_ = "a row of the conversion report holding \"" + a[0] + "\"";
    QTreeWidget* report = window_.ReportView();
    for (int i = 0; i < report->topLevelItemCount(); ++i) {
      QTreeWidgetItem* row = report->topLevelItem(i);
      QStringList cells;
      for (int c = 0; c < row->columnCount(); ++c) cells << row->text(c);
      if (!cells.join(" | ").contains(QString::fromStdString(a[0]))) continue;
      if (cmd == "open-report" && !window_.OpenReportRow(row)) Fail(step, "the row opens no file");
      return TState::Done;
    }
    return TState::NotYet;
  }
  if (cmd == "changes") {
    waitingFor_ = "the changes view to show \"" + a[0] + "\"";
    return window_.ChangesHold(a[0]) ? TState::Done : TState::NotYet;
  }
  if (cmd == "screenshot") {
    if (!window_.grab().save(QString::fromStdString(a[0]), "PNG"))
      Fail(step, "the picture cannot be written");
    return TState::Done;
  }
  if (cmd == "quit") {
    if (QApplication::activeModalWidget()) {
      waitingFor_ = "the dialogs to close";
      return TState::NotYet;
    }
    timer_->stop();
    Later(&window_, [] { QCoreApplication::exit(0); });
    return TState::Done;
  }
  Fail(step, "unknown command");
}

}  // namespace hosts
