#include "MigWizard/Dialogs.h"

namespace migwiz {

namespace {

class TSilentDialogs : public IDialogs {
 public:
  void MessageBox(const std::string&, const std::string&, TMsgIcon) override {}
  void ShowMessage(const std::string&) override {}
  bool SelectDirectory(const std::string&, std::string&) override { return false; }
  bool OpenFile(const std::string&, const std::string&, std::string&) override { return false; }
  void ShellOpen(const std::string&) override {}
};

IDialogs* Silent() {
  static TSilentDialogs silent;
  return &silent;
}

IDialogs*& Current() {
  static IDialogs* current = Silent();
  return current;
}

}  // namespace

IDialogs& Dialogs() { return *Current(); }

void SetDialogs(IDialogs* dialogs) { Current() = dialogs ? dialogs : Silent(); }

void TScriptedDialogs::MessageBox(const std::string& text, const std::string& caption,
                                  TMsgIcon icon) {
  calls.push_back({"MessageBox", text, caption, icon});
}

void TScriptedDialogs::ShowMessage(const std::string& text) {
  calls.push_back({"ShowMessage", text, "", TMsgIcon::Information});
}

bool TScriptedDialogs::SelectDirectory(const std::string& title, std::string& folder) {
  calls.push_back({"SelectDirectory", title, "", TMsgIcon::None});
  if (picks.empty()) return false;
  std::string pick = picks.front();
  picks.pop_front();
  if (pick.empty()) return false;
  folder = pick;
  return true;
}

bool TScriptedDialogs::OpenFile(const std::string& filter, const std::string& startFolder,
                                std::string& fileName) {
  calls.push_back({"OpenFile", filter, startFolder, TMsgIcon::None});
  if (picks.empty()) return false;
  std::string pick = picks.front();
  picks.pop_front();
  if (pick.empty()) return false;
  fileName = pick;
  return true;
}

void TScriptedDialogs::ShellOpen(const std::string& target) {
  calls.push_back({"ShellOpen", target, "", TMsgIcon::None});
}

namespace {

class TScriptedProgress : public IRunProgress {
 public:
  explicit TScriptedProgress(TScriptedDialogs& owner) : owner_(owner) {}
  bool Update(int done, int total, const std::string& file) override {
    owner_.calls.push_back(
        {"Update", std::to_string(done) + "/" + std::to_string(total) + " " + file, "", TMsgIcon::None});
    return done != owner_.cancelAt;
  }
  void DisableCancel() override { owner_.calls.push_back({"DisableCancel", "", "", TMsgIcon::None}); }

 private:
  TScriptedDialogs& owner_;
};

}  // namespace

std::unique_ptr<IRunProgress> TScriptedDialogs::BeginProgress(const std::string& title) {
  calls.push_back({"Progress", title, "", TMsgIcon::None});
  return std::make_unique<TScriptedProgress>(*this);
}

}  // namespace migwiz
