// Searches over a file's bytes that run before, or instead of, tokenizing it.
#pragma once

#include <cstddef>

namespace migwiz {

// The line feeds in [p, end): a report's line numbers count them up to a place.
size_t CountLineFeeds(const char* p, const char* end);

}  // namespace migwiz
