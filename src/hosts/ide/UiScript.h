// A script that drives the desktop host the way a user would: menu commands, clicks and typing in
// the dialogs that come up, answers to message boxes, checks of what the views show. It exists so
// that a whole session with the plug-in can run unattended (offscreen, in the tests).
//
// One command per line; blank lines and lines starting with '#' are skipped. NAME is a widget's
// object name inside the dialog in front (or the main window when none is), FILE a module's file
// name or its last path components, TAB "Code" or "Form", TEXT the rest of the line with \n for a
// line break and \\ for a backslash.
//   menu CAPTION > CAPTION ...   trigger a main menu command (captions without '&')
//   dialog NAME                  wait for the modal dialog of that object name
//   page NAME                    wait until the dialog in front shows the page of that name
//   click NAME                   click the button
//   check NAME | uncheck NAME    set a check box or radio button by clicking it
//   type NAME TEXT               replace the text of an edit or editable drop-down by typing
//   message TEXT                 wait for a message box saying exactly TEXT and press its button
//   message-with TEXT            the same for a message box whose text holds TEXT
//   show FILE TAB                bring a module's view and tab to the front
//   front FILE TAB               wait until that module's view has that tab in front
//   view FILE TAB TEXT           wait until that view's text holds TEXT
//   view-lacks FILE TAB TEXT     wait until that view's text no longer holds TEXT
//   cursor FILE TAB LINE         wait until that view is in front with its cursor on LINE
//   selection FILE TAB TEXT      wait until that view is in front with TEXT selected
//   report TEXT                  wait for a row of the conversion report holding TEXT
//   open-report TEXT             open the file of the report row holding TEXT at its line
//   changes TEXT                 wait until the diff of a changed file holds TEXT
//   screenshot FILE              write a picture of the main window
//   quit                         leave the host with status 0
// Each step waits at most a set time for what it needs; a step that cannot be done ends the host
// with status 3 and a message naming the line.
#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <iosfwd>
#include <string>
#include <vector>

class QTimer;
class QWidget;

namespace hosts {

class TIdeWindow;

struct TScriptStep {
  int Line = 0;
  std::string Command;
  std::vector<std::string> Args;  // the last one is the rest of the line where a TEXT is taken
  std::string Source;             // the line as written, for messages
};

// Reads a script; false with a message naming the line when a command is unknown or short of
// arguments.
bool ParseUiScript(const std::string& text, std::vector<TScriptStep>& steps, std::string& error);

class TUiScript : public QObject {
 public:
  TUiScript(TIdeWindow& window, std::vector<TScriptStep> steps, std::ostream& log,
            std::chrono::milliseconds stepTimeout);
  void Start();

 private:
  enum class TState { NotYet, Done };
  void Tick();
  TState Try(const TScriptStep& step);
  [[noreturn]] void Fail(const TScriptStep& step, const std::string& why);
  QWidget* Front() const;
  QWidget* FindIn(QWidget* root, const std::string& name, std::string& why) const;

  TIdeWindow& window_;
  std::vector<TScriptStep> steps_;
  std::ostream& log_;
  std::chrono::milliseconds timeout_;
  std::chrono::steady_clock::time_point stepStarted_;
  size_t next_ = 0;
  std::string waitingFor_;
  QTimer* timer_;
};

}  // namespace hosts
