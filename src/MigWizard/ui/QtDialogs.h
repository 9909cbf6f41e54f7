// The dialogs of the desktop host and the plug-in: Qt's message boxes, pickers and the desktop's
// opener behind migwiz::IDialogs.
#pragma once

#include <QString>
#include <QUrl>
#include <string>

#include "MigWizard/Dialogs.h"

namespace migwiz {

class TQtDialogs : public IDialogs {
 public:
  void MessageBox(const std::string& text, const std::string& caption, TMsgIcon icon) override;
  void ShowMessage(const std::string& text) override;
  bool SelectDirectory(const std::string& title, std::string& folder) override;
  bool OpenFile(const std::string& filter, const std::string& startFolder,
                std::string& fileName) override;
  void ShellOpen(const std::string& target) override;
  // A modal QProgressDialog "ProgressForm" with the Cancel button "btCancelRun"; it lets the
  // events through at each update, so the window paints and the button answers.
  std::unique_ptr<IRunProgress> BeginProgress(const std::string& title) override;
};

// "Undo files (*.reu)|*.reu|All files (*.*)|*.*" in Qt's notation:
// "Undo files (*.reu);;All files (*)". "*.*" becomes "*", which also matches names without a dot.
QString QtFileFilter(const std::string& filter);
// A link with a scheme ("mailto:...", "https://...") as a URL, anything else as a local file.
QUrl ShellUrl(const std::string& target);

}  // namespace migwiz
