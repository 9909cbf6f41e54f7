// Stand-in for the desktop shell's "open" of a file or a link.
#pragma once

#include <functional>
#include <string>

namespace rtl {

// Hands the target to the desktop's opener. Never blocks and never fails the caller: what the
// opener does with it is its business.
void ShellOpen(const std::string& target);
// A host or a test replaces the opener; an empty handler restores the default (xdg-open).
void SetShellOpenHandler(std::function<void(const std::string&)> handler);

}  // namespace rtl
