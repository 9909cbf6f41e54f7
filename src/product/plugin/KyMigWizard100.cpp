#include "product/plugin/KyMigWizard100.h"

#include <cstdlib>
#include <stdexcept>

#include "MigWizard/WorkPool.h"
#include "MigWizard/plugin/ReplaceExpert.h"
#include "ota/Application.h"
#include "product/KyMenu.h"
#include "product/KyReplacer.h"
#include "product/ui/KyWizard.h"

namespace ky {

namespace {

// Made once at library load, freed at unload: the replacer before its options.
class TLibraryEngine {
 public:
  TLibraryEngine() {
    // An error here must not abort the loading host; the entry reports it instead.
    try {
      options_ = std::make_unique<migwiz::TReplaceOptions>(kSourceName);
      // The host's environment, read where the plug-in is loaded, never by the engine.
      options_->Threads = migwiz::ThreadsWanted(std::getenv("MIGWIZ_THREADS"));
      replacer_ = CreateReplacer(options_.get());
    } catch (const std::exception& error) {
      error_ = error.what();
      replacer_.reset();
    }
  }
  ~TLibraryEngine() {
    replacer_.reset();
    options_.reset();
  }

  migwiz::TComponentReplacer* Replacer() const { return replacer_.get(); }
  const std::string& Error() const { return error_; }

 private:
  std::unique_ptr<migwiz::TReplaceOptions> options_;
  std::unique_ptr<migwiz::TComponentReplacer> replacer_;
  std::string error_;
};

TLibraryEngine gEngine;

}  // namespace

migwiz::TComponentReplacer* LibraryReplacer() {
  return gEngine.Replacer();
}

}  // namespace ky

extern "C" bool INITWIZARD0001(const std::shared_ptr<ota::IInterface>* services,
                               TWizardRegisterProc registerProc, void** /*terminateProc*/) {
  try {
    // This library's own copy of the services variable; the host's may be a different one.
    if (!ota::BorlandIDEServices && services) ota::BorlandIDEServices = *services;
    if (!ky::LibraryReplacer())
      throw std::runtime_error("The migration engine could not be created: " + ky::gEngine.Error());
    auto expert = std::make_shared<migwiz::TCompReplaceExpert>(
        [](QWidget* owner) { return std::make_unique<ky::TKyWizardForm>(owner); }, "&Kyzel",
        ky::Menu, ky::LibraryReplacer());
    if (registerProc) registerProc(expert);
  } catch (const std::exception& error) {
    ota::ApplicationHandleException(error);
  } catch (...) {
    ota::ApplicationHandleException(std::runtime_error("Unknown error in INITWIZARD0001"));
  }
  return true;
}
