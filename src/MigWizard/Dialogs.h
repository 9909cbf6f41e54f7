// Message boxes, the pickers and the shell's "open" behind one interface, so the user interface
// can be driven by script in tests.
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace migwiz {

enum class TMsgIcon { None, Information, Error, Question };

class IDialogs {
 public:
  virtual ~IDialogs() = default;
  // The standard modal message box with one OK button.
  virtual void MessageBox(const std::string& text, const std::string& caption, TMsgIcon icon) = 0;
  // The platform's standard information message (its own caption).
  virtual void ShowMessage(const std::string& text) = 0;
  // The folder picker; false when cancelled. No folder is preselected.
  virtual bool SelectDirectory(const std::string& title, std::string& folder) = 0;
  // The file-open dialog with a filter in the toolkit notation ("Undo files (*.reu)|*.reu|...");
  // the chosen file and its folder must exist. False when cancelled.
  virtual bool OpenFile(const std::string& filter, const std::string& startFolder,
                        std::string& fileName) = 0;
  // Hands a file or a link to the desktop; never blocks, never fails the caller.
  virtual void ShellOpen(const std::string& target) = 0;
};

// The dialogs the system uses; the desktop host and the plug-in install the Qt ones.
IDialogs& Dialogs();
// Installs dialogs (not owned); nullptr installs the default, which shows nothing and cancels.
void SetDialogs(IDialogs* dialogs);

// Answers by script and records what was asked, for tests.
class TScriptedDialogs : public IDialogs {
 public:
  struct Call {
    std::string Kind;  // "MessageBox", "ShowMessage", "SelectDirectory", "OpenFile", "ShellOpen"
    std::string Text;  // the text, title, filter or target
    std::string Caption;  // the caption, or the start folder of OpenFile
    TMsgIcon Icon = TMsgIcon::None;
  };

  void MessageBox(const std::string& text, const std::string& caption, TMsgIcon icon) override;
  void ShowMessage(const std::string& text) override;
  bool SelectDirectory(const std::string& title, std::string& folder) override;
  bool OpenFile(const std::string& filter, const std::string& startFolder,
                std::string& fileName) override;
  void ShellOpen(const std::string& target) override;

  // The next picker answers with this path; "" stands for Cancel. Unscripted pickers cancel.
  void QueuePick(const std::string& path) { picks.push_back(path); }

  std::vector<Call> calls;
  std::deque<std::string> picks;
};

}  // namespace migwiz
