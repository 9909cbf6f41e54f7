// Stand-in for the maker's wait cursor pair; the user interface installs what it shows.
#pragma once

#include <functional>

namespace zel {

// Calls nest: the cursor shows from the first StartWait to the matching last StopWait.
void StartWait();
void StopWait();
// The host's busy indication; empty handlers show nothing.
void SetWaitHandlers(std::function<void()> start, std::function<void()> stop);

// StartWait for the life of the object, StopWait on every way out.
class TWaitCursor {
 public:
  TWaitCursor() { StartWait(); }
  ~TWaitCursor() { StopWait(); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
};

}  // namespace zel
