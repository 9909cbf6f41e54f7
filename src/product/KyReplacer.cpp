#include "product/KyReplacer.h"

#include "product/KyClasses.h"
#include "product/KyFormParser.h"

namespace ky {

migwiz::TClassRoles BdeClassRoles() {
  migwiz::TClassRoles roles;
  roles.Databases = {kDatabaseClass};
  roles.Queries = {"TQuery", "TwwQuery"};
  roles.ParamDatasets = {"TQuery", "TwwQuery", "TStoredProc"};
  return roles;
}

void RegisterReplacements(migwiz::TComponentReplacer& replacer) {
  for (const TClassReplacement& r : kReplacements) replacer.AddReplacement(r.OldClass, r.NewClass);
}

std::unique_ptr<migwiz::TComponentReplacer> CreateReplacer(migwiz::TReplaceOptions* options) {
  RegisterKyClasses();
  auto replacer = std::make_unique<migwiz::TComponentReplacer>(KyFormParserClass(), kUsesUnit,
                                                               kUsesAddition, options);
  RegisterReplacements(*replacer);
  return replacer;
}

}  // namespace ky
