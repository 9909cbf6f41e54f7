#include "product/KyReplacer.h"

namespace ky {

void RegisterReplacements(migwiz::TComponentReplacer& replacer) {
  for (const TClassReplacement& r : kReplacements) replacer.AddReplacement(r.OldClass, r.NewClass);
}

std::unique_ptr<migwiz::TComponentReplacer> CreateReplacer(migwiz::TReplaceOptions* options) {
  auto replacer = std::make_unique<migwiz::TComponentReplacer>(kUsesUnit, kUsesAddition, options);
  RegisterReplacements(*replacer);
  return replacer;
}

}  // namespace ky
