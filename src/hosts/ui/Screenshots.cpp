// wizard_screenshots OUT_DIR [EXAMPLE_DIR]: walks the Kyzel wizard over a copy of the example
// project and writes a PNG of every page and of the save warning into OUT_DIR. Meant for the
// offscreen platform: QT_QPA_PLATFORM=offscreen wizard_screenshots docs/screenshots
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QRadioButton>
#include <QTemporaryDir>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "MigWizard/Dialogs.h"
#include "MigWizard/ROvoradRes.h"
#include "MigWizard/ui/SaveWarn.h"
#include "hosts/common/ProjectServices.h"
#include "ota/ToolsAPI.h"
#include "product/KyMenu.h"
#include "product/KyReplacer.h"
#include "product/ui/KyWizard.h"
#include "rtl/Settings.h"
#include "rtl/SysUtils.h"
#include "zel/ZelMenu.h"

namespace {

namespace fs = std::filesystem;

class TShooter {
 public:
  explicit TShooter(QString outDir) : outDir_(std::move(outDir)) {}

  void Grab(QWidget& widget, const char* name) {
    // Let layouts settle and the idle updates of the actions run before the picture is taken.
    QApplication::processEvents();
    QString file = QDir(outDir_).filePath(QString::fromLatin1(name));
    if (!widget.grab().save(file, "PNG"))
      throw rtl::EFCreateError("Cannot write the picture \"" + file.toStdString() + "\".");
    std::cout << file.toStdString() << "\n";
  }

 private:
  QString outDir_;
};

void Step(migwiz::TWizardForm& form, bool forward) {
  if (forward)
    form.GoNext();
  else
    form.GoBack();
  form.UpdateActions();
}

void ShootWizard(TShooter& shooter, const std::string& folder) {
  migwiz::TReplaceOptions options(ky::kSourceName);
  options.Directory = folder;
  options.ViewLog = true;
  const std::string section = options.GetTitle();
  // What an earlier finished run leaves in the store.
  rtl::TMemorySettingsStore store;
  store.WriteString(section, "DirHistory", folder + "\r\n");
  store.WriteString(section, "LastUndo", folder + "/RBackup/" + migwiz::res::sUndoFileName);

  ky::TKyWizardForm form;
  form.FProductName = zel::RemoveAmpersands(ky::Menu.Caption);
  form.FOptions = &options;
  form.SetWelcomeText(options.SourceName, form.FProductName);
  form.rbModeReplace->setText(
      QString::fromStdString(rtl::Format(migwiz::res::sReplaceComponents, {options.SourceName})));
  form.LoadSettings(store, section);
  form.show();
  form.UpdateActions();
  shooter.Grab(form, "1-welcome.png");

  form.rbModeRestore->click();
  Step(form, true);
  shooter.Grab(form, "2-restore.png");
  Step(form, false);
  form.rbModeReplace->click();

  Step(form, true);
  shooter.Grab(form, "2-location.png");
  Step(form, true);
  // Leave one unit out, as a user would.
  if (form.lbModules->count() > 1)
    form.lbModules->item(form.lbModules->count() - 1)->setCheckState(Qt::Unchecked);
  shooter.Grab(form, "3-units.png");

  Step(form, false);
  form.rbDestFolder->click();
  Step(form, true);
  shooter.Grab(form, "3-folder.png");
  Step(form, false);
  form.rbDestProject->click();
  Step(form, true);
  Step(form, true);
  shooter.Grab(form, "4-options.png");
  Step(form, true);
  shooter.Grab(form, "5-summary.png");
  form.reject();
}

void ShootSaveWarning(TShooter& shooter) {
  migwiz::TSaveWarnForm form;
  form.setWindowTitle(QStringLiteral("BDE Migration Wizard"));
  form.lblWarn->setText(QString::fromUtf8(migwiz::res::sWarnReplace));
  form.lblNote->setText(QString::fromUtf8(migwiz::res::sNoteHideForms));
  form.show();
  shooter.Grab(form, "save-warning.png");
  form.reject();
}

int Run(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::cerr << "usage: wizard_screenshots OUT_DIR [EXAMPLE_DIR]\n";
    return 2;
  }
  const fs::path example =
      argc > 2 ? fs::path(argv[2]) : fs::path(MIGWIZ_SOURCE_DIR) / "examples" / "Orders";
  if (!fs::is_regular_file(example / "Orders.dpr"))
    throw rtl::EFOpenError("No Orders.dpr in \"" + example.string() + "\".");
  const QString outDir = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(outDir))
    throw rtl::EFCreateError("Cannot create the folder \"" + outDir.toStdString() + "\".");

  // The wizard only reads the project, but it gets a copy all the same.
  QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/kyzel-XXXXXX"));
  if (!scratch.isValid())
    throw rtl::EFCreateError("Cannot create a temporary folder: " +
                             scratch.errorString().toStdString());
  const fs::path copy = fs::path(scratch.path().toStdString()) / "Orders";
  fs::copy(example, copy, fs::copy_options::recursive);

  auto services = std::make_shared<hosts::TProjectServices>();
  ota::BorlandIDEServices = services;
  const std::string project = (copy / "Orders.dpr").string();
  if (!services->OpenProject(project, true)) throw rtl::EFOpenError(services->LastError());
  migwiz::TScriptedDialogs dialogs;  // nothing on the way may open a real dialog
  migwiz::SetDialogs(&dialogs);

  TShooter shooter(outDir);
  ShootWizard(shooter, copy.string());
  ShootSaveWarning(shooter);

  migwiz::SetDialogs(nullptr);
  services->CloseAll();
  ota::BorlandIDEServices.reset();
  for (const auto& call : dialogs.calls)
    std::cerr << "warning: unexpected " << call.Kind << ": " << call.Text << "\n";
  return dialogs.calls.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "wizard_screenshots: " << e.what() << "\n";
    return 1;
  }
}
