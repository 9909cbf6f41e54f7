#include "MigWizard/IDEUtils.h"

#include <utility>

#include "rtl/SysUtils.h"
#include "zel/ZelMenu.h"

namespace migwiz {

using ota::As;
using ota::Supports;

std::shared_ptr<ota::IOTAModuleServices> TIDEUtils::GetModuleServices() {
  return As<ota::IOTAModuleServices>(ota::BorlandIDEServices);
}

std::shared_ptr<ota::IOTAActionServices> TIDEUtils::GetActionServices() {
  return As<ota::IOTAActionServices>(ota::BorlandIDEServices);
}

std::shared_ptr<ota::IOTAProjectGroup> TIDEUtils::GetProjectGroup() {
  if (!ota::BorlandIDEServices) return nullptr;
  auto services = GetModuleServices();
  for (int i = 0, count = services->ModuleCount(); i < count; ++i)
    if (auto group = Supports<ota::IOTAProjectGroup>(services->Modules(i))) return group;
  return nullptr;
}

std::shared_ptr<ota::IOTAProject> TIDEUtils::GetActiveProject() {
  auto group = GetProjectGroup();
  return group ? group->ActiveProject() : nullptr;
}

std::string TIDEUtils::GetProjectFileName() {
  auto project = GetActiveProject();
  return project ? project->FileName() : std::string();
}

bool TIDEUtils::SaveProject() {
  auto project = GetActiveProject();
  return project && project->Save(false, true);
}

bool TIDEUtils::CloseProjectGroup() {
  auto group = GetProjectGroup();
  return !group || group->Close();
}

int TIDEUtils::GetProjectModuleCount() {
  auto project = GetActiveProject();
  return project ? project->GetModuleCount() : 0;
}

std::string TIDEUtils::GetProjectModuleFileName(int index) {
  auto project = GetActiveProject();
  if (!project) return std::string();
  auto info = project->GetModule(index);
  return info ? info->FileName() : std::string();
}

bool TIDEUtils::OpenProject(const std::string& fileName) {
  return GetActionServices()->OpenProject(fileName, true);
}

bool TIDEUtils::ReloadFile(const std::string& fileName) {
  return GetActionServices()->ReloadFile(fileName);
}

bool TIDEUtils::OpenFile(const std::string& fileName) {
  auto actions = ota::Supports<ota::IOTAActionServices>(ota::BorlandIDEServices);
  return actions && actions->OpenFile(fileName);
}

namespace {

std::string MenuKey(std::string_view caption) {
  return rtl::UpperCase(zel::RemoveAmpersands(caption));
}

}  // namespace

void TIDEUtils::AddMenuItem(const TProductMenu& productMenu, const std::string& caption,
                            const std::string& name, ota::TNotifyEvent onClick) {
  ota::TMenuItem* top = As<ota::INTAServices>(ota::BorlandIDEServices)->MainMenu()->Items();
  ota::TMenuItem* product = nullptr;
  bool twin = false;
  const std::string key = MenuKey(productMenu.Caption);
  for (int i = 0; i < top->Count(); ++i) {
    ota::TMenuItem* item = top->Items(i);
    if (item->Name() == productMenu.Name) {
      product = item;
      break;
    }
    // Two top-level menus must not show the same text.
    if (!productMenu.AltCaption.empty() && MenuKey(item->Caption()) == key) twin = true;
  }
  const std::string& topCaption = twin ? productMenu.AltCaption : productMenu.Caption;
  if (product)
    product->SetCaption(topCaption);
  else
    product = CreateMenuItem(topCaption, productMenu.Name, top->Count() - 1, nullptr, nullptr);
  CreateMenuItem(caption, name, 0, std::move(onClick), product);
}

ota::TMenuItem* TIDEUtils::CreateMenuItem(const std::string& caption, const std::string& name,
                                          int position, ota::TNotifyEvent onClick,
                                          ota::TMenuItem* parent) {
  auto services = As<ota::INTAServices>(ota::BorlandIDEServices);
  ota::TMainMenu* menu = services->MainMenu();
  // Named before the menu takes it, so a rejected name leaves nothing behind.
  auto owned = std::make_unique<ota::TMenuItem>();
  owned->SetName(name);
  owned->SetCaption(caption);
  owned->OnClick = std::move(onClick);
  ota::TMenuItem* item = menu->InsertComponent(std::move(owned));
  if (parent) {
    services->InsertMenuItem(parent->Name(), nullptr, item, true, true);
  } else {
    ota::TMenuItem* top = menu->Items();
    // An empty main menu has no item to go in front of: the target "" appends.
    std::string target =
        position >= 0 && position < top->Count() ? top->Items(position)->Name() : std::string();
    services->InsertMenuItem(target, nullptr, item, false, false);
  }
  return item;
}

}  // namespace migwiz
