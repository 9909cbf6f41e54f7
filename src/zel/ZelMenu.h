// Stand-in for RemoveAmpersands of the maker's unit ZelMenu.
#pragma once

#include <string>
#include <string_view>

namespace zel {

// The caption without its "&" accelerator marks. A doubled "&&" stands for a literal "&" in a
// caption and becomes one "&".
std::string RemoveAmpersands(std::string_view caption);

}  // namespace zel
