// An IDE answered by script: one project group whose active project has a file name and a list of
// module file names, installed as ota::BorlandIDEServices for the life of a ScriptedIDE.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ota/ToolsAPI.h"

namespace testutil {

// Module behaviour shared by the scripted project and group.
template <class I>
class ScriptedModuleOf : public I {
 public:
  std::string FileName() override { return fileName; }
  int ModuleFileCount() override { return 0; }
  std::shared_ptr<ota::IOTAEditor> ModuleFileEditors(int) override { return nullptr; }
  int OwnerCount() override { return 0; }
  std::shared_ptr<ota::IOTAProject> Owners(int) override { return nullptr; }
  bool Close() override { return true; }
  ota::IInterface* QueryInterface(const ota::TGUID& iid) override {
    if (auto* found = ota::QueryFor<I, ota::IOTAModule>(this, iid)) return found;
    return ota::IInterface::QueryInterface(iid);
  }

  std::string fileName;
};

class ScriptedModuleInfo : public ota::IOTAModuleInfo {
 public:
  explicit ScriptedModuleInfo(std::string name) : name_(std::move(name)) {}
  std::string FileName() override { return name_; }

 private:
  std::string name_;
};

class ScriptedProject : public ScriptedModuleOf<ota::IOTAProject> {
 public:
  bool Save(bool, bool) override {
    ++saves;
    return true;
  }
  int GetModuleCount() override {
    ++moduleCountQueries;
    return static_cast<int>(modules.size());
  }
  std::shared_ptr<ota::IOTAModuleInfo> GetModule(int index) override {
    return std::make_shared<ScriptedModuleInfo>(modules.at(static_cast<size_t>(index)));
  }

  std::vector<std::string> modules;
  int saves = 0;
  int moduleCountQueries = 0;
};

class ScriptedGroup : public ScriptedModuleOf<ota::IOTAProjectGroup> {
 public:
  std::shared_ptr<ota::IOTAProject> ActiveProject() override { return project; }
  std::shared_ptr<ScriptedProject> project;
};

class ScriptedModuleServices : public ota::IOTAModuleServices {
 public:
  ota::IInterface* QueryInterface(const ota::TGUID& iid) override {
    if (auto* found = ota::QueryFor<ota::IOTAModuleServices>(this, iid)) return found;
    return IInterface::QueryInterface(iid);
  }
  int ModuleCount() override { return group ? 1 : 0; }
  std::shared_ptr<ota::IOTAModule> Modules(int) override { return group; }

  std::shared_ptr<ScriptedGroup> group;
};

// Installs the IDE for its lifetime. Without a project file name no project is open.
class ScriptedIDE {
 public:
  explicit ScriptedIDE(std::string projectFileName = "", std::vector<std::string> modules = {}) {
    if (!projectFileName.empty()) {
      project = std::make_shared<ScriptedProject>();
      project->fileName = std::move(projectFileName);
      project->modules = std::move(modules);
      services->group = std::make_shared<ScriptedGroup>();
      services->group->project = project;
    }
    ota::BorlandIDEServices = services;
  }
  ~ScriptedIDE() { ota::BorlandIDEServices.reset(); }
  ScriptedIDE(const ScriptedIDE&) = delete;
  ScriptedIDE& operator=(const ScriptedIDE&) = delete;

  std::shared_ptr<ScriptedModuleServices> services = std::make_shared<ScriptedModuleServices>();
  std::shared_ptr<ScriptedProject> project;  // nullptr when no project is open
};

}  // namespace testutil
