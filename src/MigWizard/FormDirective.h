// Which form file a unit names in a resource directive: {$R *.dfm}, {$R About.dfm},
// {$RESOURCE ...} and the same written as (*$R ... *). The replace run and the project host both
// ask here, so they agree on which form belongs to a unit.
#pragma once

#include <string>
#include <string_view>

namespace migwiz {

// The comment (delimiters included) is a resource directive; its text is never rewritten.
bool IsResourceDirective(std::string_view comment);

// The path of the form the directive names, beside the unit at unitPath: for "*" the unit's own
// name with the directive's extension in capitals (Main.DFM), else the name as written. Empty
// when the comment names no form (.res, a name that is not all letters, no directive at all).
// The file is not looked for.
std::string FormOfDirective(std::string_view comment, const std::string& unitPath);

}  // namespace migwiz
