// Published properties of the Kyzel component classes, as the class registry needs them to decide
// which properties of a converted form object the new class can read.
#pragma once

#include <vector>

#include "rtl/ClassRegistry.h"

namespace ky {

// TKyConnection, TKyQuery, TKyTable and TKyUpdateSQL with their published properties and events,
// inherited ones (Name, Tag, the data-set properties) included.
std::vector<rtl::TClassInfo> KyClassInfos();

// Registers the four classes with rtl::RegisterClass. Safe to call any number of times: a class
// registered already keeps its registration.
void RegisterKyClasses();

}  // namespace ky
