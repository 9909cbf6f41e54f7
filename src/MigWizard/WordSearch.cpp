#include "MigWizard/WordSearch.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace migwiz {

namespace {

unsigned char UpperAscii(unsigned char c) {
  return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

unsigned char LowerAscii(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

}  // namespace

TWordSearch::TWordSearch(const std::vector<std::string>& words) {
  words_.reserve(words.size());
  for (const std::string& w : words) {
    words_.push_back(w);
    for (char& c : words_.back()) c = static_cast<char>(UpperAscii(static_cast<unsigned char>(c)));
  }
  pairBucket_.assign(256 * 256, 0);
  auto add = [this](unsigned c0, unsigned c1, int word) {
    const unsigned pair = c0 * 256u + c1;
    pairs_[pair / 64] |= std::uint64_t{1} << (pair % 64);
    if (pairBucket_[pair] == 0) {
      buckets_.emplace_back();
      pairBucket_[pair] = static_cast<std::uint16_t>(buckets_.size());
    }
    std::vector<int>& bucket = buckets_[pairBucket_[pair] - 1u];
    if (bucket.empty() || bucket.back() != word) bucket.push_back(word);
  };
  for (size_t k = 0; k < words_.size(); ++k) {
    const std::string& w = words_[k];
    if (w.empty()) {
      anyEmpty_ = true;  // every text holds it
      continue;
    }
    const auto word = static_cast<int>(k);
    const auto c0 = static_cast<unsigned char>(w[0]);
    for (unsigned char x : {UpperAscii(c0), LowerAscii(c0)})
      if (std::find(firsts_.begin(), firsts_.end(), x) == firsts_.end()) firsts_.push_back(x);
    for (unsigned char x : {UpperAscii(c0), LowerAscii(c0)}) {
      if (w.size() < 2) {  // every pair starting with its letter
        for (unsigned d = 0; d < 256; ++d) add(x, d, word);
        continue;
      }
      const auto c1 = static_cast<unsigned char>(w[1]);
      for (unsigned char y : {UpperAscii(c1), LowerAscii(c1)}) add(x, y, word);
    }
  }
}

// Compared without regard to letter case; a pair of bytes no word starts with is passed at once,
// and at a pair only the words starting with it are compared.
bool TWordSearch::WordAt(const unsigned char* p, size_t i, size_t n) const {
  const unsigned pair = p[i] * 256u + (i + 1 < n ? p[i + 1] : 0u);
  if (!((pairs_[pair / 64] >> (pair % 64)) & 1)) return false;
  for (int k : buckets_[pairBucket_[pair] - 1u]) {
    const std::string& w = words_[static_cast<size_t>(k)];
    if (w.size() > n - i) continue;
    size_t j = 1;
    while (j < w.size() && UpperAscii(p[i + j]) == static_cast<unsigned char>(w[j])) ++j;
    if (j == w.size()) return true;
  }
  return false;
}

bool TWordSearch::FoundIn(std::string_view bytes) const {
  if (anyEmpty_) return true;
  if (pairBucket_.empty()) return false;
  const auto* const p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = 0;
#if defined(__SSE2__)
  // Sixteen bytes at a time are compared with every byte a word may start with; only where one
  // of them stands is the pair looked at.
  if (firsts_.size() <= kMaxVectorFirsts) {
    __m128i wanted[kMaxVectorFirsts];
    for (size_t f = 0; f < firsts_.size(); ++f)
      wanted[f] = _mm_set1_epi8(static_cast<char>(firsts_[f]));
    for (; i + 16 <= n; i += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      __m128i hits = _mm_setzero_si128();
      for (size_t f = 0; f < firsts_.size(); ++f)
        hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, wanted[f]));
      for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0;
           mask &= mask - 1)
        if (WordAt(p, i + static_cast<size_t>(__builtin_ctz(mask)), n)) return true;
    }
  }
#endif
  for (; i < n; ++i)
    if (WordAt(p, i, n)) return true;
  return false;
}

size_t CountLineFeeds(const char* p, const char* end) {
  size_t count = 0;
#if defined(__SSE2__)
  // Each block's matches count down a byte counter of their own, added up before one could
  // overflow.
  const __m128i lf = _mm_set1_epi8('\n');
  while (end - p >= 16) {
    __m128i counts = _mm_setzero_si128();
    for (int k = 0; k < 255 && end - p >= 16; ++k, p += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      counts = _mm_sub_epi8(counts, _mm_cmpeq_epi8(block, lf));
    }
    const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
    count += static_cast<size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  }
#endif
  for (; p < end; ++p) count += *p == '\n';
  return count;
}

}  // namespace migwiz
