// The wizard's calls into the IDE: the active project and its modules, saving, closing, opening
// and reloading, and the wizard's menu item under the product's top-level menu. Everything goes
// through ota::BorlandIDEServices.
#pragma once

#include <memory>
#include <string>

#include "ota/Menus.h"
#include "ota/ToolsAPI.h"

namespace migwiz {

// What the wizard reads of the product's menu descriptor.
struct TProductMenu {
  std::string Name;        // component name of the product's top-level menu item
  std::string Caption;     // its caption, with accelerator
  std::string AltCaption;  // used when another top-level item already reads Caption; may be ""
};

class TIDEUtils {
 public:
  TIDEUtils() = delete;

  // Service queries of BorlandIDEServices; ota::EIntfCastError when it does not answer (or is
  // empty).
  static std::shared_ptr<ota::IOTAModuleServices> GetModuleServices();
  static std::shared_ptr<ota::IOTAActionServices> GetActionServices();
  // The first module in module order that is a project group; nullptr when there is none or
  // BorlandIDEServices is empty.
  static std::shared_ptr<ota::IOTAProjectGroup> GetProjectGroup();
  static std::shared_ptr<ota::IOTAProject> GetActiveProject();

  // "" when no project is open.
  static std::string GetProjectFileName();
  // Saves under the same name, also when unchanged; false when no project is open.
  static bool SaveProject();
  // True when there is no project group.
  static bool CloseProjectGroup();
  // 0 when no project is open.
  static int GetProjectModuleCount();
  // The file name of the active project's module at index (0-based); "" when no project is open.
  static std::string GetProjectModuleFileName(int index);
  // Opens the project in a new project group.
  static bool OpenProject(const std::string& fileName);
  static bool ReloadFile(const std::string& fileName);
  // Opens the file in the IDE's editor; false when there is no IDE or it cannot.
  static bool OpenFile(const std::string& fileName);

  // Adds a menu item (caption, component name, click handler) as the last child of the product's
  // top-level menu; the product menu is created in front of the last top-level item when the
  // main menu does not hold an item of its name.
  static void AddMenuItem(const TProductMenu& productMenu, const std::string& caption,
                          const std::string& name, ota::TNotifyEvent onClick);
  // A menu item owned by the IDE's main menu: the last child of parent, or without a parent a
  // top-level item in front of the one at position (appended when there is none there).
  static ota::TMenuItem* CreateMenuItem(const std::string& caption, const std::string& name,
                                        int position, ota::TNotifyEvent onClick,
                                        ota::TMenuItem* parent);
};

}  // namespace migwiz
