// A span's edge pixels' coverage with the four sub-scanlines in SSE2 lanes: the count CoverageAt
// gives, without its loop and branches. Internal to rdp/.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstdint>
#include <limits>

#include "rdp/Pipeline.h"

namespace vantor::rdp {

class TCoverageLanes {
 public:
  // Sub-scanlines without samples get an empty range.
  explicit TCoverageLanes(const TSpan& span) {
    const __m128i rows = _mm_setr_epi32(1, 2, 4, 8);
    const __m128i valid =
        _mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(static_cast<int>(span.valid)), rows), rows);
    const __m128i left = _mm_loadu_si128(reinterpret_cast<const __m128i*>(span.left));
    const __m128i right = _mm_loadu_si128(reinterpret_cast<const __m128i*>(span.right));
    left_ = _mm_or_si128(_mm_and_si128(valid, left),
                         _mm_andnot_si128(valid, _mm_set1_epi32(std::numeric_limits<int>::max())));
    right_ = _mm_or_si128(_mm_and_si128(valid, right),
                          _mm_andnot_si128(valid, _mm_set1_epi32(std::numeric_limits<int>::min())));
  }

  // The samples of the pixel at x: two per sub-scanline, staggered by a quarter pixel.
  uint32_t At(int32_t x) const {
    const __m128i first = _mm_add_epi32(_mm_set1_epi32(x * 8), _mm_setr_epi32(0, 2, 0, 2));
    const __m128i second = _mm_add_epi32(first, _mm_set1_epi32(4));
    static constexpr uint8_t kCount[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
    return kCount[Inside(first)] + kCount[Inside(second)];
  }

 private:
  // Which sub-scanlines have left <= at < right, a bit each.
  int Inside(__m128i at) const {
    const __m128i inside =
        _mm_andnot_si128(_mm_cmpgt_epi32(left_, at), _mm_cmpgt_epi32(right_, at));
    return _mm_movemask_ps(_mm_castsi128_ps(inside));
  }

  __m128i left_, right_;
};

}  // namespace vantor::rdp

#endif
