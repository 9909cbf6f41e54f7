// The Kyzel product layer's rules: what replaces what, and the uses-clause addition.
#pragma once

#include <memory>

#include "MigWizard/Replacer.h"

namespace ky {

inline constexpr const char* kSourceName = "BDE";
inline constexpr const char* kUsesUnit = "DBTables";
inline constexpr const char* kUsesAddition = ", KyAccess, KyClasses, KyCall, ZelAccess, ZelMem";

struct TClassReplacement {
  const char* OldClass;
  const char* NewClass;
};

// The ten replacements, in the order they are registered.
inline constexpr TClassReplacement kReplacements[] = {
    {"TDatabase", "TKyConnection"}, {"TQuery", "TKyQuery"},
    {"TwwQuery", "TKyQuery"},       {"TTable", "TKyTable"},
    {"TwwTable", "TKyTable"},       {"TwwDataSource", "TKyDataSource"},
    {"TUpdateSQL", "TKyUpdateSQL"}, {"TStoredProc", "TKyStoredProc"},
    {"EDBEngineError", "EKyError"}, {"TBatchMove", "TXnBatchMove"},
};

// The BDE classes whose properties the conversion rules read: the database (alias, login,
// isolation), the queries (master link) and the datasets with parameters.
inline constexpr const char* kDatabaseClass = "TDatabase";
migwiz::TClassRoles BdeClassRoles();

void RegisterReplacements(migwiz::TComponentReplacer& replacer);

// What the BDE has that KyZel lacks, for the report of what is left for a person: the BDE
// classes' published properties, the BDE's own API (Session, Dbi... functions, unit BDE), and
// which form objects stay on it.
migwiz::TRevisionRules BdeRevisionRules();

// A replacer with the product's form parser, uses rule and replacements, over the given options;
// the product classes are registered first.
std::unique_ptr<migwiz::TComponentReplacer> CreateReplacer(migwiz::TReplaceOptions* options);

}  // namespace ky
