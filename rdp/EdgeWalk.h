// The edge walker of triangles and of rectangles drawn as triangles: the scanlines of a primitive
// as spans, each with its four sub-scanlines' edges and its attributes at its first pixel, handed
// to a drawing function that the walk inlines. Internal to rdp/.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "rdp/Pipeline.h"
#include "rdp/Raster.h"
#include "rdp/RdpState.h"

namespace vantor::rdp {

// Interlaced scissoring keeps only the lines of one parity.
inline bool RowKept(int32_t y) {
  const TScissor& sc = State.scissor;
  return !sc.field || ((y & 1) != 0) == sc.odd;
}

namespace edge_walk {

inline uint32_t Add(uint32_t a, int32_t b) {
  return a + static_cast<uint32_t>(b);
}
inline int32_t Mul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// By value, so that the compiler keeps both in registers.
inline int32_t Min(int32_t a, int32_t b) {
  return a < b ? a : b;
}
inline int32_t Max(int32_t a, int32_t b) {
  return a > b ? a : b;
}

// A row's extent from its sub-scanlines' edges: the pixels it may touch and, where all four
// have samples, those fully covered (otherwise none).
inline void SetExtent(TSpan& span, int32_t minLeft, int32_t maxLeft, int32_t minRight,
                      int32_t maxRight) {
  span.xStart = minLeft >> 3;
  span.xEnd = (maxRight - 1) >> 3;
  if (span.valid == 0xF) {
    span.fullStart = (maxLeft + 7) >> 3;
    span.fullEnd = (minRight - 8) >> 3;
  } else {
    span.fullStart = 1;
    span.fullEnd = 0;
  }
}

#if defined(__SSE2__)
// The low 32 bits of each lane times b, the same in every lane (SSE2 multiplies only lanes 0
// and 2 into 64 bits); `aOdd` is a shifted right by 32 bits, which the caller keeps.
inline __m128i MulLow(__m128i a, __m128i aOdd, __m128i b) {
  const __m128i even = _mm_mul_epu32(a, b), odd = _mm_mul_epu32(aOdd, b);
  return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, 0x08), _mm_shuffle_epi32(odd, 0x08));
}

// A row whose four sub-scanlines lie inside the primitive, on one minor edge, all at once: the
// edges at each (`majors`, `minors`) into the span's sub-scanlines and extent. The edges go to
// 16-bit lanes, lefts in 0-3 and rights in 4-7, saturated: the clip range (`clipLow` holds the
// left clip in lanes 0-3, `clipHigh` the right in 4-7) lies well inside 16 bits, so a
// saturated edge clips or empties its sub-scanline as the exact one would.
template <bool kLeftMajor>
[[gnu::always_inline]] inline void RowLanes(__m128i majors, __m128i minors, __m128i clipLow,
                                            __m128i clipHigh, TSpan& span) {
  const __m128i a = _mm_srai_epi32(majors, 13), b = _mm_srai_epi32(minors, 13);
  __m128i edges = kLeftMajor ? _mm_packs_epi32(a, b) : _mm_packs_epi32(b, a);
  edges = _mm_min_epi16(_mm_max_epi16(edges, clipLow), clipHigh);
  const __m128i inside = _mm_cmpgt_epi16(_mm_unpackhi_epi64(edges, edges), edges);
  span.valid = static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(inside, inside))) & 0xF;
  // Sub-scanlines without samples become empty ranges (left the highest value, right the
  // lowest): the minimum of the lefts and the maximum of the rights skip them, and the
  // maximum left and minimum right leave no pixel fully covered.
  const __m128i both = _mm_unpacklo_epi64(inside, inside);
  const __m128i empty = _mm_setr_epi16(INT16_MAX, INT16_MAX, INT16_MAX, INT16_MAX, INT16_MIN,
                                       INT16_MIN, INT16_MIN, INT16_MIN);
  edges = _mm_or_si128(_mm_and_si128(both, edges), _mm_andnot_si128(both, empty));
  static_assert(offsetof(TSpan, right) == offsetof(TSpan, left) + 8);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(span.left), edges);
  // The minimum and maximum of each half in its lane 0 (0 and 4).
  const __m128i pairs = _mm_shuffle_epi32(edges, 0xB1);
  __m128i least = _mm_min_epi16(edges, pairs), most = _mm_max_epi16(edges, pairs);
  least = _mm_min_epi16(least, _mm_srli_epi32(least, 16));
  most = _mm_max_epi16(most, _mm_srli_epi32(most, 16));
  // [min left, max left, min right, max right], then in the order of xStart, xEnd, fullStart
  // and fullEnd, rounded to pixels (saturating: an empty range's ends stay apart).
  __m128i extent =
      _mm_unpacklo_epi32(_mm_unpacklo_epi16(least, most), _mm_unpackhi_epi16(least, most));
  extent = _mm_shufflelo_epi16(extent, _MM_SHUFFLE(2, 1, 3, 0));
  extent = _mm_srai_epi16(_mm_adds_epi16(extent, _mm_setr_epi16(0, -1, 7, -8, 0, 0, 0, 0)), 3);
  static_assert(offsetof(TSpan, xEnd) == offsetof(TSpan, xStart) + 4 &&
                offsetof(TSpan, fullStart) == offsetof(TSpan, xStart) + 8 &&
                offsetof(TSpan, fullEnd) == offsetof(TSpan, xStart) + 12);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&span.xStart),
                   _mm_srai_epi32(_mm_unpacklo_epi16(extent, extent), 16));
}
#endif

// Walks the edges of a primitive scanline by scanline, four sub-scanlines each, and hands every
// scanline with samples to `draw` as a span with its attributes at its first pixel.
template <bool kLeftMajor, typename TDraw>
TDrawWork WalkEdgesAs(const TPrimitive& p, TDraw&& draw) {
  const TScissor& sc = State.scissor;
  const int32_t yTop = p.yh & ~3;
  const int32_t first = std::max(yTop, static_cast<int32_t>(sc.yh & ~3u));
  const int32_t end = std::min(p.yl, static_cast<int32_t>(sc.yl));
  if (end <= std::max(p.yh, static_cast<int32_t>(sc.yh)) || first >= end) return {};
  const int32_t dxh = p.dxhdy >> 2, dxm = p.dxmdy >> 2, dxl = p.dxldy >> 2;
  const int32_t clipLeft = static_cast<int32_t>(sc.xh) * 2,
                clipRight = static_cast<int32_t>(sc.xl) * 2;
  // Edge positions at the first sub-scanline walked.
  uint32_t major = Add(static_cast<uint32_t>(p.xh), Mul(dxh, first - yTop));
  bool low = first >= p.ym;
  uint32_t minor = low ? Add(static_cast<uint32_t>(p.xl), Mul(dxl, first - p.ym))
                       : Add(static_cast<uint32_t>(p.xm), Mul(dxm, first - yTop));
  const int32_t rowTop = yTop >> 2;
  int32_t rowAttr[kAttrCount];
  for (uint32_t i = 0; i < kAttrCount; ++i)
    rowAttr[i] = static_cast<int32_t>(
        Add(static_cast<uint32_t>(p.attr[i]), Mul(p.de[i], (first >> 2) - rowTop)));
  TDrawWork work;
  TSpan span;
  // Sub-scanlines from yqFirst to before yqEnd lie inside the primitive and the scissor; the
  // scalars the loop needs are locals, as the drawing function could change what they came from.
  const int32_t yqFirst = std::max(p.yh, static_cast<int32_t>(sc.yh));
  const int32_t yqEnd = std::min(p.yl, static_cast<int32_t>(sc.yl));
  const int32_t ym = p.ym, xl = p.xl;
  // Rows from yqFirst on that end by this sub-scanline lie inside, on one minor edge.
  int32_t fullEnd = low ? yqEnd : std::min(yqEnd, ym);
  int32_t minorStep = low ? dxl : dxm;
#if defined(__SSE2__)
  // The edges' steps from a row's first sub-scanline to each of its four.
  auto steps = [](int32_t d) { return _mm_setr_epi32(0, d, Mul(d, 2), Mul(d, 3)); };
  const __m128i majorSteps = steps(dxh), lowSteps = steps(dxl);
  __m128i minorSteps = steps(minorStep);
  const __m128i clipLow =
      _mm_setr_epi16(static_cast<int16_t>(clipLeft), static_cast<int16_t>(clipLeft),
                     static_cast<int16_t>(clipLeft), static_cast<int16_t>(clipLeft), INT16_MIN,
                     INT16_MIN, INT16_MIN, INT16_MIN);
  const __m128i clipHigh =
      _mm_setr_epi16(INT16_MAX, INT16_MAX, INT16_MAX, INT16_MAX, static_cast<int16_t>(clipRight),
                     static_cast<int16_t>(clipRight), static_cast<int16_t>(clipRight),
                     static_cast<int16_t>(clipRight));
  // The attributes in two halves of four, with their steps.
  auto load = [](const int32_t* from) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
  };
  __m128i rowLow = load(rowAttr), rowHigh = load(rowAttr + 4);
  const __m128i deLow = load(p.de), deHigh = load(p.de + 4);
  const __m128i dxLow = load(p.dx), dxHigh = load(p.dx + 4);
  const __m128i dxLowOdd = _mm_srli_epi64(dxLow, 32), dxHighOdd = _mm_srli_epi64(dxHigh, 32);
#endif
  // The clipped edges of the sub-scanline the walk is on.
  auto edges = [&](int32_t& left, int32_t& right) {
    const int32_t a = static_cast<int32_t>(major) >> 13, b = static_cast<int32_t>(minor) >> 13;
    left = Max(kLeftMajor ? a : b, clipLeft);
    right = Min(kLeftMajor ? b : a, clipRight);
  };
  for (int32_t y = first >> 2; y * 4 < end; ++y) {
    const auto majorPixel = static_cast<int32_t>(major) >> 16;
    const int32_t yq0 = y * 4;
    if (yq0 >= yqFirst && yq0 + 4 <= fullEnd) {
      // All four sub-scanlines inside, on the same minor edge: no decisions but the samples'.
#if defined(__SSE2__)
      RowLanes<kLeftMajor>(_mm_add_epi32(_mm_set1_epi32(static_cast<int32_t>(major)), majorSteps),
                           _mm_add_epi32(_mm_set1_epi32(static_cast<int32_t>(minor)), minorSteps),
                           clipLow, clipHigh, span);
      major = Add(major, Mul(dxh, 4));
      minor = Add(minor, Mul(minorStep, 4));
#else
      int32_t l[4], r[4];
      auto sub = [&](int k) {
        edges(l[k], r[k]);
        major = Add(major, dxh);
        minor = Add(minor, minorStep);
      };
      sub(0);
      sub(1);
      sub(2);
      sub(3);
      span.valid = (l[0] < r[0] ? 1u : 0) | (l[1] < r[1] ? 2u : 0) | (l[2] < r[2] ? 4u : 0) |
                   (l[3] < r[3] ? 8u : 0);
      for (int k = 0; k < 4; ++k) {
        const bool samples = (span.valid & (1u << k)) != 0;
        span.left[k] = samples ? static_cast<int16_t>(l[k]) : INT16_MAX;
        span.right[k] = samples ? static_cast<int16_t>(r[k]) : INT16_MIN;
      }
      int32_t minLeft = INT32_MAX, maxRight = INT32_MIN, maxLeft = INT32_MIN, minRight = INT32_MAX;
      for (int k = 0; k < 4; ++k)
        if ((span.valid & (1u << k)) != 0) {
          minLeft = Min(minLeft, l[k]);
          maxLeft = Max(maxLeft, l[k]);
          minRight = Min(minRight, r[k]);
          maxRight = Max(maxRight, r[k]);
        }
      if (span.valid != 0) SetExtent(span, minLeft, maxLeft, minRight, maxRight);
#endif
    } else {
      span.valid = 0;
      for (int k = 0; k < 4; ++k) {
        span.left[k] = INT16_MAX;
        span.right[k] = INT16_MIN;
      }
      int32_t minLeft = INT32_MAX, maxRight = INT32_MIN, maxLeft = INT32_MIN, minRight = INT32_MAX;
      for (int k = 0; k < 4; ++k) {
        const int32_t yq = yq0 + k;
        if (!low && yq >= ym) {
          low = true;
          fullEnd = yqEnd;
          minorStep = dxl;
#if defined(__SSE2__)
          minorSteps = lowSteps;
#endif
          minor = Add(static_cast<uint32_t>(xl), Mul(dxl, yq - ym));
        }
        if (yq >= yqFirst && yq < yqEnd) {
          int32_t l, r;
          edges(l, r);
          if (l < r) {
            span.left[k] = static_cast<int16_t>(l);
            span.right[k] = static_cast<int16_t>(r);
            span.valid |= 1u << k;
            minLeft = Min(minLeft, l);
            maxLeft = Max(maxLeft, l);
            maxRight = Max(maxRight, r);
            minRight = Min(minRight, r);
          }
        }
        major = Add(major, dxh);
        minor = Add(minor, minorStep);
      }
      if (span.valid != 0) SetExtent(span, minLeft, maxLeft, minRight, maxRight);
    }
    ++work.rows;
    if (span.valid != 0 && RowKept(y)) {
      span.y = y;
#if defined(__SSE2__)
      // The attributes at the span's first pixel: the row's at the major edge's pixel, stepped
      // across to it.
      const __m128i offset = _mm_set1_epi32(span.xStart - majorPixel);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(span.attr),
                       _mm_add_epi32(rowLow, MulLow(dxLow, dxLowOdd, offset)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(span.attr + 4),
                       _mm_add_epi32(rowHigh, MulLow(dxHigh, dxHighOdd, offset)));
#else
      for (uint32_t i = 0; i < kAttrCount; ++i)
        span.attr[i] = static_cast<int32_t>(
            Add(static_cast<uint32_t>(rowAttr[i]), Mul(p.dx[i], span.xStart - majorPixel)));
#endif
      work.pixels += draw(span);
    }
#if defined(__SSE2__)
    rowLow = _mm_add_epi32(rowLow, deLow);
    rowHigh = _mm_add_epi32(rowHigh, deHigh);
#else
    for (uint32_t i = 0; i < kAttrCount; ++i)
      rowAttr[i] = static_cast<int32_t>(Add(static_cast<uint32_t>(rowAttr[i]), p.de[i]));
#endif
  }
  return work;
}

}  // namespace edge_walk

// Calls draw(span) for every span of the primitive with samples that the scissor keeps; draw
// returns the pixels it touched.
template <typename TDraw>
TDrawWork WalkEdges(const TPrimitive& p, TDraw&& draw) {
  return p.leftMajor ? edge_walk::WalkEdgesAs<true>(p, draw)
                     : edge_walk::WalkEdgesAs<false>(p, draw);
}

}  // namespace vantor::rdp
