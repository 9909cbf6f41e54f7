// What the host reads from Pascal sources: the units a project file names with "in '...'", and
// the form a unit names with {$R *.dfm}.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace hosts {

struct TUsesEntry {
  std::string UnitName;  // as written, dotted names joined
  std::string InPath;    // the text of the "in" string, quotes removed; "" without "in"
};

struct TUsesClause {
  std::vector<TUsesEntry> Entries;  // in the order written
  std::vector<std::string> Problems;
};

// The first uses clause of a project file's text. Comments and compiler directives are skipped;
// reading stops at its ";" or at the end of the text. An "in" without a complete string
// literal is reported in Problems and its entry has no InPath.
TUsesClause ReadUsesClause(std::string_view text);

// The first form file a unit's resource directives name that exists, or "" (the same reading as
// the replace run's).
std::string FormOfUnit(std::string_view text, const std::string& unitPath);

}  // namespace hosts
