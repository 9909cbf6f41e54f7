#include "product/KyReplacer.h"

#include "product/BdeClasses.h"
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

migwiz::TRevisionRules BdeRevisionRules() {
  migwiz::TRevisionRules rules;
  rules.SourceName = kSourceName;
  rules.OldClasses = BdeClassInfos();
  // A connection takes the alias and the session in other properties: no new class has these.
  rules.AlwaysLost = {"DatabaseName", "SessionName"};
  rules.Api = {{"Session", "the BDE's default session; KyZel has none"},
               {"Sessions", "the BDE's list of sessions; KyZel has none"},
               {"TSession", "a class of the BDE"},
               {"TBDEDataSet", "a class of the BDE"},
               {"TDBDataSet", "a class of the BDE"}};
  rules.ApiPrefix = "Dbi";
  rules.ApiPrefixNote = "a function of the BDE's API";
  rules.ApiUnit = "BDE";
  rules.ApiUnitNote = "the unit of the BDE's API";
  rules.LeftProperties = {"DatabaseName", "SessionName"};
  rules.OtherLibraries = NonBdeDatabaseClasses();
  return rules;
}

void RegisterReplacements(migwiz::TComponentReplacer& replacer) {
  for (const TClassReplacement& r : kReplacements) replacer.AddReplacement(r.OldClass, r.NewClass);
}

std::unique_ptr<migwiz::TComponentReplacer> CreateReplacer(migwiz::TReplaceOptions* options) {
  RegisterKyClasses();
  auto replacer = std::make_unique<migwiz::TComponentReplacer>(KyFormParserClass(), kUsesUnit,
                                                               kUsesAddition, options);
  RegisterReplacements(*replacer);
  replacer->SetRevisionRules(BdeRevisionRules());
  return replacer;
}

}  // namespace ky
