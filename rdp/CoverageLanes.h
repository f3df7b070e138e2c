// A span's edge pixels' coverage with its sub-scanlines in SSE2 lanes: the count CoverageAt
// gives, without its loop and branches. Internal to rdp/.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>

#include <array>
#include <cstddef>
#include <cstdint>

#include "rdp/Pipeline.h"

namespace vantor::rdp {

class TCoverageLanes {
 public:
  // Sub-scanlines without samples get an empty range; both samples of a sub-scanline go in
  // one compare.
  explicit TCoverageLanes(const TSpan& span) : TCoverageLanes(Masked(span)) {}

  // A span from the edge walk, whose sub-scanlines without samples hold empty ranges already.
  static TCoverageLanes OfWalkedSpan(const TSpan& span) {
    return TCoverageLanes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(span.left)));
  }

  // The samples of the pixel at x (below 4096, as every pixel is): two per sub-scanline,
  // staggered by a quarter pixel.
  uint32_t At(int32_t x) const {
    const __m128i at = _mm_add_epi16(_mm_set1_epi16(static_cast<int16_t>(x * 8)),
                                     _mm_setr_epi16(0, 2, 0, 2, 4, 6, 4, 6));
    const __m128i inside =
        _mm_andnot_si128(_mm_cmpgt_epi16(left_, at), _mm_cmpgt_epi16(right_, at));
    return kCount[static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(inside, inside))) & 0xFF];
  }

 private:
  // The set bits of each byte.
  static constexpr auto kCount = [] {
    std::array<uint8_t, 256> count{};
    for (uint32_t i = 1; i < 256; ++i)
      count[i] = static_cast<uint8_t>(count[i >> 1] + (i & 1));
    return count;
  }();

  // From the lefts in lanes 0-3 and the rights in lanes 4-7.
  explicit TCoverageLanes(__m128i edges)
      : left_(_mm_unpacklo_epi64(edges, edges)), right_(_mm_unpackhi_epi64(edges, edges)) {}

  static __m128i Masked(const TSpan& span) {
    static_assert(offsetof(TSpan, right) == offsetof(TSpan, left) + 8);
    const __m128i rows = _mm_setr_epi16(1, 2, 4, 8, 1, 2, 4, 8);
    const __m128i valid = _mm_cmpeq_epi16(
        _mm_and_si128(_mm_set1_epi16(static_cast<int16_t>(span.valid)), rows), rows);
    const __m128i empty = _mm_setr_epi16(INT16_MAX, INT16_MAX, INT16_MAX, INT16_MAX, INT16_MIN,
                                         INT16_MIN, INT16_MIN, INT16_MIN);
    return _mm_or_si128(
        _mm_and_si128(valid, _mm_loadu_si128(reinterpret_cast<const __m128i*>(span.left))),
        _mm_andnot_si128(valid, empty));
  }

  // Lanes 0-3 the sub-scanlines at the first sample of the pixel, 4-7 at the second.
  __m128i left_, right_;
};

}  // namespace vantor::rdp

#endif
