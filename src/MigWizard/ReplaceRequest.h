// What both hosts do around one replace run, so the wizard in the IDE and the command line fill
// the options and treat the project alike.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "MigWizard/Replacer.h"

namespace migwiz {

// The backup folder a host's text names: kept when absolute, else below base (the folder of a
// folder run, the project's folder of a project run).
std::string ResolveBackupDir(const std::string& text, const std::string& base);

// The Pascal units (.pas) of the open project, full paths, in module order.
std::vector<std::string> ProjectUnitFiles();
// The units as TReplaceOptions::Units holds them: one a line, each ended by CR LF.
std::string UnitListText(const std::vector<std::string>& units);

enum class TReplaceOutcome { NotSaved, Failed, Succeeded };

// A replace run in the IDE: in project mode the project is saved first (NotSaved when it cannot
// be) and beforeRun is called (the expert puts the form units' code in front); after a run that
// replaced every changed file, the project's modules whose unit or form changed are reloaded.
// Errors of the run pass to the caller.
TReplaceOutcome RunReplaceInIDE(TComponentReplacer& replacer,
                                const std::function<void()>& beforeRun = {});

}  // namespace migwiz
