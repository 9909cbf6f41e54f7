// Edits of a text made against the text as it was read and applied once at the end, so that what
// no edit touches is copied byte for byte and every offset found in the text stays valid.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace migwiz {

class TEdits {
 public:
  // Replaces length bytes of the text from offset on by text (length 0 inserts). Edits may touch
  // but not overlap: an edit that reaches into another raises EAssertionFailed. Insertions at one
  // offset keep the order they were made in, and come before a replacement starting there.
  void Replace(size_t offset, size_t length, std::string text);
  bool Empty() const { return edits_.empty(); }
  size_t Count() const { return edits_.size(); }

  // The text with every edit in place; original must be the text the offsets were found in.
  std::string Apply(std::string_view original) const;
  // Where the byte at an offset of the original stands in the output: behind the edits that end
  // at or before it (insertions at it too); one inside a replaced range, or at its start, maps to
  // the start of its replacement.
  size_t MapOffset(size_t offset) const;

 private:
  struct TEdit {
    size_t offset, length;
    std::string text;
  };
  std::vector<TEdit> edits_;              // in offset order
  mutable std::vector<long long> shift_;  // shift_[k]: growth of the text by edits_[0..k)
  mutable bool shiftValid_ = false;
};

}  // namespace migwiz
