// Rules a user adds to the replacement table from a JSON file: classes of other component
// libraries converted as a class of the table is, and units after which the uses addition goes.
//
//   {"classes": [{"class": "TRxQuery", "like": "TQuery"},
//                {"class": "TMyQuery", "like": "TQuery", "new": "TKyQuery"}],
//    "uses": ["RxQuery"]}
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "rtl/SysUtils.h"

namespace migwiz {

class TComponentReplacer;

struct TRuleClass {
  std::string Class;  // as written in the file
  std::string Like;   // an old class of the table, spelled as the table spells it
  std::string New;    // a new class of the table: what Like becomes unless the file says
};

struct TReplacementRules {
  std::string File;  // where they were read; "" for no rules
  std::vector<TRuleClass> Classes;
  std::vector<std::string> Uses;
};

// A rules file that cannot be used: "Rules file FILE: REASON".
class ERulesError : public rtl::Exception {
 public:
  using Exception::Exception;
};

// The name of the rules file a run applies when none is named, in the folder of the run.
inline constexpr const char* kDefaultRulesFile = "migwiz-rules.json";

// Reads a rules file and checks it against the replacer's table (its classes without any rules):
// raises ERulesError when the file cannot be read, is not JSON (with line and column), has a key
// it does not know or a value of the wrong type, names a "like" that is no old class of the table
// or a "new" that is no new class of it, or maps a class that the table or an earlier entry maps
// already (compared without regard to case).
TReplacementRules ReadReplacementRules(const std::string& file, const TComponentReplacer& replacer);

// folder/migwiz-rules.json when there is such a file, else "".
std::string DefaultRulesFile(const std::string& folder);

}  // namespace migwiz
