// Searches over a file's bytes that run before, or instead of, tokenizing it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace migwiz {

// Whether any of a set of words stands in some bytes, ASCII letters compared without regard to
// case: a file that holds none of the words a conversion looks for has no work, and is not
// tokenized.
class TWordSearch {
 public:
  TWordSearch() = default;
  // The words are upper-cased here; an empty one is found in every text.
  explicit TWordSearch(const std::vector<std::string>& words);
  bool FoundIn(std::string_view bytes) const;

 private:
  bool WordAt(const unsigned char* p, size_t i, size_t n) const;
  std::vector<std::string> words_;           // upper case
  std::array<std::uint64_t, 1024> pairs_{};  // a bit for each pair of bytes a word starts with
  std::vector<std::uint16_t> pairBucket_;    // by pair of bytes: 1 + index in buckets_
  std::vector<std::vector<int>> buckets_;    // the words starting with a pair
  std::vector<unsigned char> firsts_;        // the bytes a word starts with, in either case
  static constexpr size_t kMaxVectorFirsts = 16;
  bool anyEmpty_ = false;
};

// The line feeds in [p, end): a report's line numbers count them up to a place.
size_t CountLineFeeds(const char* p, const char* end);

}  // namespace migwiz
