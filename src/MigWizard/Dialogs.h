// Message boxes, the pickers and the shell's "open" behind one interface, so the user interface
// can be driven by script in tests.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace migwiz {

enum class TMsgIcon { None, Information, Error, Question };

// The window that shows a run's progress; it goes when the object goes.
class IRunProgress {
 public:
  virtual ~IRunProgress() = default;
  // Shows the file being processed and the files done of the total; false once the user asked
  // to cancel.
  virtual bool Update(int done, int total, const std::string& file) = 0;
  // From now on the run cannot be cancelled.
  virtual void DisableCancel() = 0;
};

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
  // Hands a file or a link to the desktop; never fails the caller (a desktop that cannot open it
  // is told to the user).
  virtual void ShellOpen(const std::string& target) = 0;
  // A progress window for a run with a Cancel button; nullptr shows none.
  virtual std::unique_ptr<IRunProgress> BeginProgress(const std::string& title) {
    (void)title;
    return nullptr;
  }
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
  // Records "Progress" with the title, each update as "Update" with "done/total file" and
  // "DisableCancel"; answers cancel at the update whose done count is cancelAt.
  std::unique_ptr<IRunProgress> BeginProgress(const std::string& title) override;
  int cancelAt = -1;

  // The next picker answers with this path; "" stands for Cancel. Unscripted pickers cancel.
  void QueuePick(const std::string& path) { picks.push_back(path); }

  std::vector<Call> calls;
  std::deque<std::string> picks;
};

}  // namespace migwiz
