// migwiz-ide [--print-state | --screenshot FILE.png | --script FILE] [PROJECT.dpr]: the desktop
// host standing in for the IDE. --help and --version answer on the terminal, without a display.
// --print-state prints the menu tree and the module list after start-up and quits; --screenshot
// writes a picture of the window after start-up and quits;
// --script plays a user's session from a file (see UiScript.h) and prints each step done.
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QMessageBox>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "MigWizard/ui/QtDialogs.h"
#include "hosts/ide/IdeWindow.h"
#include "hosts/ide/UiScript.h"
#include "ota/Application.h"
#include "ota/ToolsAPI.h"
#include "product/plugin/KyMigWizard100.h"
#include "rtl/Shell.h"

namespace {

std::shared_ptr<ota::IOTAWizard> gWizard;

void RegisterWizard(std::shared_ptr<ota::IOTAWizard> wizard) {
  gWizard = std::move(wizard);
}

// Beside the host in a build; in an installation in lib/kymigwiz beside the host's bin.
QString PluginPath() {
#ifdef _WIN32
  return QCoreApplication::applicationDirPath() + "/KyMigWizard100.dll";
#else
  const QString beside = QCoreApplication::applicationDirPath() + "/libKyMigWizard100.so";
  const QString installed =
      QCoreApplication::applicationDirPath() + "/../lib/kymigwiz/libKyMigWizard100.so";
  return QFile::exists(beside) || !QFile::exists(installed) ? beside : QDir::cleanPath(installed);
#endif
}

// Never unloaded: the menu items it inserted carry its code until the process ends.
bool LoadPlugin(QLibrary& library, const std::shared_ptr<ota::IInterface>& services,
                void** terminateProc, std::string& error) {
  library.setFileName(PluginPath());
  if (!library.load()) {
    error = library.errorString().toStdString();
    return false;
  }
  using TInit = decltype(&INITWIZARD0001);
  auto init = reinterpret_cast<TInit>(library.resolve("INITWIZARD0001"));
  if (!init) {
    error = PluginPath().toStdString() + ": no entry INITWIZARD0001";
    return false;
  }
  if (!init(&services, &RegisterWizard, terminateProc)) {
    error = PluginPath().toStdString() + ": INITWIZARD0001 failed";
    return false;
  }
  return true;
}

constexpr const char* kUsage =
    "usage: migwiz-ide [--print-state | --screenshot FILE.png | --script FILE] [PROJECT.dpr]\n"
    "       migwiz-ide --help | --version\n";

constexpr const char* kHelp =
    "The desktop host of the BDE Migration Wizard: opens a Delphi project and offers the\n"
    "wizard in its menu.\n\n"
    "  PROJECT.dpr          project to open at start-up\n"
    "  --print-state        print the menu tree and the module list after start-up and quit\n"
    "  --screenshot FILE    write a picture of the window after start-up and quit\n"
    "  --script FILE        play a user's session from FILE, printing each step done\n"
    "  --help               print this help and quit\n"
    "  --version            print the version and quit\n";

}  // namespace

int main(int argc, char** argv) {
  // Answered before Qt starts, which needs a display.
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage << "\n" << kHelp;
      return 0;
    }
    if (arg == "--version") {
      std::cout << "migwiz-ide " MIGWIZ_VERSION "\n";
      return 0;
    }
    // An unknown option is not a project name to look for.
    if (arg.rfind("--", 0) == 0 && arg != "--print-state" && arg != "--screenshot" &&
        arg != "--script") {
      std::cerr << "migwiz-ide: unknown option " << arg << "\n" << kUsage;
      return 2;
    }
  }
  QApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  const bool printState = args.removeAll("--print-state") > 0;
  QString screenshot;
  if (int at = static_cast<int>(args.indexOf("--screenshot")); at >= 0 && at + 1 < args.size()) {
    screenshot = args.at(at + 1);
    args.remove(at, 2);
  }
  QString scriptFile;
  if (int at = static_cast<int>(args.indexOf("--script")); at >= 0 && at + 1 < args.size()) {
    scriptFile = args.at(at + 1);
    args.remove(at, 2);
  }
  const int modes = int(printState) + int(!screenshot.isEmpty()) + int(!scriptFile.isEmpty());
  if (args.size() > 1 || modes > 1 || args.contains("--screenshot") || args.contains("--script")) {
    std::cerr << kUsage;
    return 2;
  }
  std::vector<hosts::TScriptStep> script;
  if (!scriptFile.isEmpty()) {
    QFile file(scriptFile);
    std::string error;
    if (!file.open(QIODevice::ReadOnly)) {
      std::cerr << "migwiz-ide: cannot read " << scriptFile.toStdString() << ": "
                << file.errorString().toStdString() << "\n";
      return 2;
    }
    if (!hosts::ParseUiScript(file.readAll().toStdString(), script, error)) {
      std::cerr << "migwiz-ide: " << scriptFile.toStdString() << ": " << error << "\n";
      return 2;
    }
    // A played session opens nothing on the desktop; it says what it would have opened.
    rtl::SetShellOpenHandler([](const std::string& target) {
      std::cout << "shell-open " << target << "\n" << std::flush;
    });
  }

  migwiz::TQtDialogs dialogs;
  migwiz::SetDialogs(&dialogs);
  auto services = std::make_shared<hosts::TProjectServices>();
  ota::BorlandIDEServices = services;
  int status = 0;
  {
    hosts::TIdeWindow window(services);
    const bool playing = !printState && screenshot.isEmpty() && !scriptFile.isEmpty();
    ota::SetApplicationExceptionHandler(
        [&window, printState, playing](const std::exception& error) {
          // A script's log says why a box it did not expect came up.
          if (printState || playing) std::cerr << error.what() << "\n";
          if (!printState)
            QMessageBox::critical(&window, "Error", QString::fromStdString(error.what()));
        });
    // The script plays from the start, so a box raised while the plug-in or the project loads
    // is in its way like any other, and a script that cannot go on ends naming its line instead
    // of waiting for a hand that never comes.
    if (playing) {
      auto* player = new hosts::TUiScript(window, std::move(script), std::cout,
                                          std::chrono::seconds(30));  // owned by the window
      player->Start();
    }

    QLibrary plugin;
    void* terminateProc = nullptr;
    std::string pluginError;
    if (!LoadPlugin(plugin, services, &terminateProc, pluginError))
      ota::ApplicationHandleException(std::runtime_error(pluginError));

    if (!args.isEmpty() && !window.OpenProject(args.front().toStdString(), !printState)) {
      std::cerr << services->LastError() << "\n";
      if (printState) status = 1;
    }
    if (printState) {
      QCoreApplication::processEvents();  // lets the queued menu mirror run
      std::cout << window.StateText() << std::flush;
    } else if (!screenshot.isEmpty()) {
      window.show();
      QCoreApplication::processEvents();
      if (!window.grab().save(screenshot)) {
        std::cerr << "Cannot write " << screenshot.toStdString() << "\n";
        status = 1;
      }
    } else {
      window.show();
      status = app.exec();
    }
    if (terminateProc) reinterpret_cast<void (*)()>(terminateProc)();
    gWizard.reset();
    services->CloseAll();
    ota::SetApplicationExceptionHandler(nullptr);
  }
  ota::BorlandIDEServices.reset();
  migwiz::SetDialogs(nullptr);
  return status;
}
