// The desktop host's main window: the services' main menu mirrored into a QMenuBar and a view of
// the open project's modules with one tab per file editor.
#pragma once

#include <QMainWindow>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "hosts/common/ProjectServices.h"

class QDockWidget;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QStackedWidget;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace hosts {

class TIdeWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit TIdeWindow(std::shared_ptr<TProjectServices> services, QWidget* parent = nullptr);
  ~TIdeWindow() override;

  // Opens the project; false when it cannot, with the reason in the services' LastError,
  // also shown in a message box when reportError.
  bool OpenProject(const std::string& fileName, bool reportError);
  // The mirrored menu bar and the module list with each module's tabs, one line each, for
  // diagnostics.
  std::string StateText() const;
  // The tabbed view of the module whose file name is name or ends with "/" + name; null when
  // there is none.
  QTabWidget* ModuleView(const std::string& name);
  // Puts that module in front, as a click on it in the project view does.
  bool SelectModule(const std::string& name);
  // The views of the last run's results: the objects that need a person's look, and the diff.
  QTreeWidget* ReportView() const { return reportView_; }
  // Whether the diff of some changed file holds text.
  bool ChangesHold(const std::string& text);
  // Opens the unit or form a report row names at its line, the place selected; false when the
  // row names none or its file is no open module.
  bool OpenReportRow(QTreeWidgetItem* row);

 private:
  void CreateHostMenu();
  // Asks for the code page of unit paths an older IDE wrote, keeps it in the host's settings and
  // opens the open project again in it.
  void ChooseCodePage();
  void ScheduleMenuRebuild();
  void RebuildMenu();
  void RebuildModules();
  void ShowEditor(TDiskEditor& editor);
  void EditorTextChanged(TDiskEditor& editor);
  void ModuleReloaded(TDiskModule& module);
  int ModuleRow(const std::string& name) const;
  // The tabbed view of a row's module, made when first asked for.
  QTabWidget* ViewOfRow(int row);
  void ShowRow(int row);
  void ShowRunResults(const migwiz::TRunReport& report, std::vector<migwiz::TFileDiff> diffs);

  std::shared_ptr<TProjectServices> services_;
  QListWidget* moduleList_;
  QStackedWidget* moduleViews_;
  QDockWidget* reportDock_;
  QTreeWidget* reportView_;
  QLabel* reportSummary_;
  QDockWidget* changesDock_;
  QPlainTextEdit* changesView_;
  QListWidget* changedFiles_;
  std::vector<migwiz::TFileDiff> diffs_;
  std::vector<std::shared_ptr<TDiskModule>> rowModules_;  // the module of each row
  std::unordered_map<TDiskModule*, int> rows_;
  std::unordered_map<TDiskModule*, QTabWidget*> views_;
  std::unordered_map<TDiskModule*, int> frontEditor_;  // the tab a module shows in front
  int pendingRow_ = -1;
  bool showPending_ = false;
  int pendingSelect_ = -1;  // the module list's row to select once the events run
  bool selectPending_ = false;
  bool menuRebuildPending_ = false;
};

}  // namespace hosts
