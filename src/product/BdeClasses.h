// Published properties of the BDE component classes the conversion replaces, so that a form
// object can be checked against the class it was written for.
#pragma once

#include <string>
#include <vector>

#include "rtl/ClassRegistry.h"

namespace ky {

// The BDE classes the table converts, with their published properties and events, inherited
// ones included: TDatabase, TQuery, TTable, TStoredProc, TUpdateSQL, TBatchMove, and InfoPower's
// TwwQuery and TwwTable (TQuery's and TTable's with their own extras).
std::vector<rtl::TClassInfo> BdeClassInfos();

// Classes of other data-access libraries that publish a DatabaseName or SessionName but are no
// BDE classes (InterBase Express's TIBDatabase and its service components, ...).
std::vector<std::string> NonBdeDatabaseClasses();

}  // namespace ky
