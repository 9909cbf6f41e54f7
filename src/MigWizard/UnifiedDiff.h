// Unified diffs of two texts, as `diff -u` writes them and `patch` reads them, and of a changed
// unit or form.
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

// The diff a run gives for one changed file, from the original's path and the converted file's:
// binary forms as text and UTF-16 files as UTF-8, each with a note line saying so, named "a/"
// and "b/" rel. Empty when the two show the same text.
std::string FileDiff(const std::string& original, const std::string& converted, bool unit,
                     const std::string& rel);

}  // namespace migwiz
