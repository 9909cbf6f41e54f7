#include "MigWizard/Edits.h"

#include <algorithm>

#include "rtl/SysUtils.h"

namespace migwiz {

void TEdits::Replace(size_t offset, size_t length, std::string text) {
  // Behind every edit that starts before offset and every insertion at it. The scans that make
  // edits go forward, so appending is the common case.
  const auto goesBefore = [](size_t o, const TEdit& e) {
    return o < e.offset || (o == e.offset && e.length > 0);
  };
  auto at = edits_.end();
  if (!edits_.empty() && goesBefore(offset, edits_.back()))
    at = std::upper_bound(edits_.begin(), edits_.end(), offset, goesBefore);
  const bool clearOfPrevious = at == edits_.begin() || [&] {
    const TEdit& e = *std::prev(at);
    return e.offset + e.length <= offset;
  }();
  const bool clearOfNext = at == edits_.end() || offset + length <= at->offset;
  rtl::Assert(clearOfPrevious && clearOfNext, "edits overlap");
  edits_.insert(at, {offset, length, std::move(text)});
  shiftValid_ = false;
}

std::string TEdits::Apply(std::string_view original) const {
  if (edits_.empty()) return std::string(original);
  size_t size = original.size();
  for (const TEdit& e : edits_) size += e.text.size() - e.length;
  std::string out;
  out.reserve(size);
  size_t copied = 0;
  for (const TEdit& e : edits_) {
    rtl::Assert(e.offset + e.length <= original.size(), "edit past the end of the text");
    out.append(original, copied, e.offset - copied);
    out += e.text;
    copied = e.offset + e.length;
  }
  out.append(original, copied, std::string_view::npos);
  return out;
}

size_t TEdits::MapOffset(size_t offset) const {
  if (!shiftValid_) {
    shift_.resize(edits_.size() + 1);
    shift_[0] = 0;
    for (size_t k = 0; k < edits_.size(); ++k)
      shift_[k + 1] = shift_[k] + static_cast<long long>(edits_[k].text.size()) -
                      static_cast<long long>(edits_[k].length);
    shiftValid_ = true;
  }
  // The edits that end at or before offset, insertions at offset among them.
  const auto end = std::partition_point(edits_.begin(), edits_.end(), [offset](const TEdit& e) {
    return e.offset + e.length <= offset;
  });
  const auto k = static_cast<size_t>(end - edits_.begin());
  size_t mapped = static_cast<size_t>(static_cast<long long>(offset) + shift_[k]);
  // Inside a replaced range: the start of its replacement.
  if (end != edits_.end() && end->offset < offset && end->length > 0)
    mapped = static_cast<size_t>(static_cast<long long>(end->offset) + shift_[k]);
  return mapped;
}

}  // namespace migwiz
