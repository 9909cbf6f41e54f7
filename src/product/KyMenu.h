// The product's menu descriptor: where the wizard's menu item goes in the IDE.
#pragma once

#include "MigWizard/IDEUtils.h"

namespace ky {

extern const migwiz::TProductMenu Menu;

}  // namespace ky
