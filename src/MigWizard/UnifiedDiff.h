// Unified diffs of two texts, as `diff -u` writes them and `patch` reads them.
#pragma once

#include <string>
#include <string_view>

namespace migwiz {

// Appends to out the unified diff (3 lines of context) of oldText and newText under the given
// file names, nothing when the texts are equal. Lines end after each LF and keep their bytes, so
// CR LF survives a round trip through patch --binary. Memory stays linear in the texts.
void AppendUnifiedDiff(std::string_view oldText, std::string_view newText,
                       const std::string& oldName, const std::string& newName, std::string& out);

// A file name as a diff header writes it: quoted C-style when it holds a blank, a quote, a
// backslash or a control character, as patch reads such names.
std::string DiffFileName(const std::string& name);

}  // namespace migwiz
