// The plug-in library's start-up and its one export, called by the IDE after loading it.
#pragma once

#include <memory>

#include "MigWizard/Replacer.h"
#include "ota/ToolsAPI.h"

namespace ky {

// The library's replacer, made when the library was loaded; nullptr when that failed.
migwiz::TComponentReplacer* LibraryReplacer();

}  // namespace ky

// The IDE's register procedure: keeps the wizard alive from then on.
using TWizardRegisterProc = void (*)(std::shared_ptr<ota::IOTAWizard> wizard);

// Sets ota::BorlandIDEServices from services when still empty, creates the expert and registers
// it. Errors go to ota::ApplicationHandleException; always true. terminateProc is not touched.
extern "C" __attribute__((visibility("default"))) bool INITWIZARD0001(
    const std::shared_ptr<ota::IInterface>* services, TWizardRegisterProc registerProc,
    void** terminateProc);
