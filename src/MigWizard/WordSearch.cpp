#include "MigWizard/WordSearch.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace migwiz {

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
