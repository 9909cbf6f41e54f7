// The question asked before a run touches the open project, with a "Don't ask me this again"
// box remembered per situation in the settings store.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "rtl/Settings.h"

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;

namespace migwiz {

class TSaveWarnForm : public QDialog {
  Q_OBJECT

 public:
  explicit TSaveWarnForm(QWidget* owner = nullptr);

  QLabel* Image1;
  QLabel* lblWarn;
  QLabel* Label2;
  QLabel* lblNote;
  QCheckBox* chkDontAsk;
  QFrame* Bevel1;
  QPushButton* OKBtn;      // Yes: accepts
  QPushButton* CancelBtn;  // No, Escape and the close button: reject

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormCreate();
};

// What the question reaches outside itself, handed in by the caller (a test, a script).
struct TSaveWarnSeams {
  // Opens the store that holds the four flags; empty: the user's store.
  std::function<std::shared_ptr<rtl::TSettingsStore>()> Store;
  // Shows the dialog modally and gives its result; empty: exec().
  std::function<int(TSaveWarnForm&)> Run;
};

// The answer to the question: Yes; No; or Escape and the close button, which leave the choice
// to the caller (the wizard takes them as "back").
enum class TSaveWarnAnswer { Yes, No, Back };
// The dialog's result for No, apart from Escape's.
inline constexpr int kSaveWarnNo = 2;

// Yes when the caller may go on: the flag of the situation says not to ask, or the user said Yes.
// `section` is the settings section and the dialog's caption; `detail`, when given, follows the
// note (what a restore restores, and where).
TSaveWarnAnswer AskSaveWarning(const std::string& section, bool isProject, bool isRestore,
                               const std::string& detail = {}, const TSaveWarnSeams& seams = {});
// The same, any answer but Yes counting as No.
bool ShowSaveWarning(const std::string& section, bool isProject, bool isRestore,
                     const std::string& detail = {}, const TSaveWarnSeams& seams = {});

}  // namespace migwiz
