#include "product/KyMenu.h"

namespace ky {

// The alternative caption must differ from "Kyzel" once ampersands and case are ignored.
const migwiz::TProductMenu Menu{"KyzelMenu", "&Kyzel", "K&yzel Components"};

}  // namespace ky
