#include "rdp/Raster.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "rdp/Pipeline.h"
#include "rdp/RdpState.h"
#include "rdp/Texture.h"

namespace vantor::rdp {

TPrimitiveDrawer PrimitiveDrawer = nullptr;
uint64_t PixelsTouched = 0;

namespace {

TPipeline pipeline;

uint32_t Add(uint32_t a, int32_t b) {
  return a + static_cast<uint32_t>(b);
}
int32_t Mul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// By value, so that the compiler keeps both in registers.
int32_t Min(int32_t a, int32_t b) {
  return a < b ? a : b;
}
int32_t Max(int32_t a, int32_t b) {
  return a > b ? a : b;
}

// Interlaced scissoring keeps only the lines of one parity.
bool RowKept(int32_t y) {
  const TScissor& sc = State.scissor;
  return !sc.field || ((y & 1) != 0) == sc.odd;
}

// A row's extent from its sub-scanlines' edges: the pixels it may touch and, where all four
// have samples, those fully covered (otherwise none).
void SetExtent(TSpan& span, int32_t minLeft, int32_t maxLeft, int32_t minRight, int32_t maxRight) {
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
// The low 32 bits of each lane times b (SSE2 multiplies only lanes 0 and 2 into 64 bits);
// `aOdd` is a shifted right by 32 bits, which the caller keeps.
__m128i MulLow(__m128i a, __m128i aOdd, __m128i b) {
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
  _mm_storeu_si128(reinterpret_cast<__m128i*>(span.left),
                   _mm_srai_epi32(_mm_unpacklo_epi16(edges, edges), 16));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(span.right),
                   _mm_srai_epi32(_mm_unpackhi_epi16(edges, edges), 16));
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
#if defined(__SSE2__)
  // The edges' steps from a row's first sub-scanline to each of its four.
  auto steps = [](int32_t d) { return _mm_setr_epi32(0, d, Mul(d, 2), Mul(d, 3)); };
  const __m128i majorSteps = steps(dxh), highSteps = steps(dxm), lowSteps = steps(dxl);
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
    if (yq0 >= yqFirst && yq0 + 4 <= yqEnd && (low || yq0 + 3 < ym)) {
      // All four sub-scanlines inside, on the same minor edge: no decisions but the samples'.
      const int32_t minorStep = low ? dxl : dxm;
#if defined(__SSE2__)
      RowLanes<kLeftMajor>(
          _mm_add_epi32(_mm_set1_epi32(static_cast<int32_t>(major)), majorSteps),
          _mm_add_epi32(_mm_set1_epi32(static_cast<int32_t>(minor)), low ? lowSteps : highSteps),
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
      std::memcpy(span.left, l, sizeof(l));
      std::memcpy(span.right, r, sizeof(r));
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
      int32_t minLeft = INT32_MAX, maxRight = INT32_MIN, maxLeft = INT32_MIN, minRight = INT32_MAX;
      for (int k = 0; k < 4; ++k) {
        const int32_t yq = yq0 + k;
        if (!low && yq >= ym) {
          low = true;
          minor = Add(static_cast<uint32_t>(xl), Mul(dxl, yq - ym));
        }
        if (yq >= yqFirst && yq < yqEnd) {
          edges(span.left[k], span.right[k]);
          if (span.left[k] < span.right[k]) {
            span.valid |= 1u << k;
            minLeft = Min(minLeft, span.left[k]);
            maxLeft = Max(maxLeft, span.left[k]);
            maxRight = Max(maxRight, span.right[k]);
            minRight = Min(minRight, span.right[k]);
          }
        }
        major = Add(major, dxh);
        minor = Add(minor, low ? dxl : dxm);
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

template <typename TDraw>
TDrawWork WalkEdges(const TPrimitive& p, TDraw&& draw) {
  return p.leftMajor ? WalkEdgesAs<true>(p, draw) : WalkEdgesAs<false>(p, draw);
}

uint32_t PixelIndex(int32_t x, int32_t y) {
  return static_cast<uint32_t>(y) * State.colorImage.width + static_cast<uint32_t>(x);
}

// Fill mode writes the fill colour as memory holds it: a 16-bit image takes the upper half for
// pixels at even halfword addresses, an 8-bit one the byte its address selects. Pixels x0..x1
// of row y, the image read once for the row.
void FillRow(int32_t y, int32_t x0, int32_t x1) {
  const TRdramView ram;
  const uint32_t base = State.colorImage.address, fill = State.fillColor;
  const uint32_t first = PixelIndex(x0, y), end = first + static_cast<uint32_t>(x1 - x0) + 1;
  switch (State.colorImage.size) {
    case kSize32:
      for (uint32_t pixel = first; pixel != end; ++pixel)
        ram.Write32(base + pixel * 4, fill);
      break;
    case kSize16:
      for (uint32_t pixel = first; pixel != end; ++pixel) {
        const uint32_t address = base + pixel * 2;
        ram.Write16(address, (address & 2) != 0 ? fill & 0xFFFF : fill >> 16);
      }
      break;
    case kSize8:
      for (uint32_t pixel = first; pixel != end; ++pixel) {
        const uint32_t address = base + pixel;
        ram.Write8(address, fill >> (24 - 8 * (address & 3)));
      }
      break;
    default:
      break;
  }
}

// Copy mode moves texels unfiltered: the raw texel as a 16-bit value for 16-bit images (an
// 8-bit texel twice), a 32-bit one for 32-bit images.
struct TRawTexel {
  uint32_t value;
  uint32_t bits;  // 8, 16 or 32
};

// The fetch of a kind, chosen once for a row.
template <TFetch kFetch>
[[gnu::always_inline]] inline TRawTexel RawTexelAs(const TSampler& sampler, int32_t s, int32_t t) {
  const int32_t cs = TileCoordinate(sampler.s, s) >> 5, ct = TileCoordinate(sampler.t, t) >> 5;
  const uint32_t ws = WrapTexel(sampler.s, ClampTexel(sampler.s, cs));
  const uint32_t wt = WrapTexel(sampler.t, ClampTexel(sampler.t, ct));
  const uint32_t row = sampler.tmem + wt * sampler.line;
  const uint32_t swap = (wt & 1) << 2;
  if constexpr (kFetch == TFetch::Rgba16 || kFetch == TFetch::Ia16 || kFetch == TFetch::Yuv16) {
    return {State.tmem[(((row + ws * 2) ^ swap) & 0xFFF) >> 1], 16};
  } else if constexpr (kFetch == TFetch::Rgba32) {
    const uint32_t at = ((row + ws * 2) ^ swap) & 0x7FF;
    return {static_cast<uint32_t>(State.tmem[at >> 1]) << 16 | State.tmem[(at | 0x800) >> 1], 32};
  } else if constexpr (kFetch == TFetch::Tlut8) {
    return {State.tmem[(0x800 + TmemByte(((row + ws) ^ swap) & 0x7FF) * 8) >> 1], 16};
  } else if constexpr (kFetch == TFetch::Tlut4) {
    const uint32_t byte = TmemByte(((row + (ws >> 1)) ^ swap) & 0x7FF);
    const uint32_t index = sampler.palette | ((ws & 1) != 0 ? byte & 0xF : byte >> 4);
    return {State.tmem[(0x800 + index * 8) >> 1], 16};
  } else if constexpr (kFetch == TFetch::I4 || kFetch == TFetch::Ia4) {
    const uint32_t byte = TmemByte((row + (ws >> 1)) ^ swap);
    return {((ws & 1) != 0 ? byte & 0xF : byte >> 4) * 0x11, 8};
  } else {
    return {TmemByte((row + ws) ^ swap), 8};
  }
}

// Calls f with the fetch kind of the sampler as a compile-time constant.
template <typename TFunction>
[[gnu::always_inline]] inline auto WithFetch(TFetch fetch, TFunction&& f) {
  switch (fetch) {
    case TFetch::Rgba16:
    case TFetch::Ia16:
    case TFetch::Yuv16:
      return f(std::integral_constant<TFetch, TFetch::Rgba16>{});
    case TFetch::Rgba32:
      return f(std::integral_constant<TFetch, TFetch::Rgba32>{});
    case TFetch::Tlut8:
      return f(std::integral_constant<TFetch, TFetch::Tlut8>{});
    case TFetch::Tlut4:
      return f(std::integral_constant<TFetch, TFetch::Tlut4>{});
    case TFetch::I4:
    case TFetch::Ia4:
      return f(std::integral_constant<TFetch, TFetch::I4>{});
    default:
      return f(std::integral_constant<TFetch, TFetch::I8>{});
  }
}

TRawTexel RawTexel(const TSampler& sampler, int32_t s, int32_t t) {
  return WithFetch(sampler.fetch,
                   [&](auto kind) { return RawTexelAs<decltype(kind)::value>(sampler, s, t); });
}

uint32_t Expand16To32(uint32_t texel) {
  const TColor c = Decode5551(texel);
  return static_cast<uint32_t>(c.r) << 24 | static_cast<uint32_t>(c.g) << 16 |
         static_cast<uint32_t>(c.b) << 8 | static_cast<uint32_t>(c.a);
}

uint32_t Reduce32To16(uint32_t texel) {
  return (texel >> 27) << 11 | (texel >> 19 & 31) << 6 | (texel >> 11 & 31) << 1 |
         ((texel & 0xFF) != 0 ? 1 : 0);
}

// A raw texel into a pixel of the colour image as copy mode writes it; alpha compare drops
// texels whose alpha is 0.
[[gnu::always_inline]] inline void CopyTexel(const TRdramView& ram, const TImage& image,
                                             bool alphaTest, uint32_t pixel, TRawTexel texel) {
  switch (image.size) {
    case kSize32: {
      const uint32_t value = texel.bits == 32   ? texel.value
                             : texel.bits == 16 ? Expand16To32(texel.value)
                                                : texel.value * 0x01010101u;
      if (alphaTest && (value & 0xFF) == 0) return;
      ram.Write32(image.address + pixel * 4, value);
      break;
    }
    case kSize16: {
      const uint32_t value = texel.bits == 32   ? Reduce32To16(texel.value)
                             : texel.bits == 16 ? texel.value
                                                : texel.value * 0x0101u;
      if (alphaTest && (value & 1) == 0) return;
      ram.Write16(image.address + pixel * 2, value);
      break;
    }
    case kSize8:
      ram.Write8(image.address + pixel,
                 texel.bits == 8 ? texel.value : texel.value >> (texel.bits - 8));
      break;
    default:
      break;
  }
}

void CopyPixel(const TSampler& sampler, int32_t x, int32_t y, int32_t s, int32_t t) {
  CopyTexel(TRdramView{}, State.colorImage, State.modes.alphaCompare, PixelIndex(x, y),
            RawTexel(sampler, s, t));
}

// Pixels x0..x1 of row y in copy mode, from coordinates (s, t) at x0 (s15.16) stepping by
// (ds, dt) a pixel; the image and the modes read once for the row.
void CopyRow(const TSampler& sampler, int32_t y, int32_t x0, int32_t x1, uint32_t s, uint32_t t,
             uint32_t ds, uint32_t dt) {
  const TRdramView ram;
  const TImage image = State.colorImage;
  const bool alphaTest = State.modes.alphaCompare;
  uint32_t pixel = PixelIndex(x0, y);
  WithFetch(sampler.fetch, [&](auto kind) {
    for (int32_t x = x0; x <= x1; ++x, ++pixel, s += ds, t += dt)
      CopyTexel(ram, image, alphaTest, pixel,
                RawTexelAs<decltype(kind)::value>(sampler, static_cast<int16_t>(s >> 16),
                                                  static_cast<int16_t>(t >> 16)));
  });
}

// Fill and copy modes draw rectangles whole pixels, both corners included, without sub-pixels.
TDrawWork DrawWholeRectangle(const TPrimitive& p) {
  const TScissor& sc = State.scissor;
  const int32_t x0 = std::max(p.rectXh >> 2, (sc.xh + 3) >> 2);
  const int32_t x1 = std::min(p.rectXl >> 2, sc.xl == 0 ? 0u : (sc.xl - 1) >> 2);
  const int32_t y0 = std::max(p.rectYh >> 2, (sc.yh + 3) >> 2);
  const int32_t y1 = std::min(p.rectYl >> 2, sc.yl == 0 ? 0u : (sc.yl - 1) >> 2);
  TDrawWork work;
  if (x1 < x0 || y1 < y0 || sc.xl == 0 || sc.yl == 0) return work;
  const bool copy = State.modes.cycleType == kCycleCopy;
  TSampler sampler;
  if (copy) sampler = PrepareSampler(State.tiles[p.tile & 7], State.modes);
  const int32_t originX = static_cast<int32_t>(p.rectXh >> 2);
  const int32_t originY = static_cast<int32_t>(p.rectYh >> 2);
  for (int32_t y = y0; y <= y1; ++y) {
    ++work.rows;
    if (!RowKept(y)) continue;
    work.pixels += static_cast<uint32_t>(x1 - x0 + 1);
    if (!copy) {
      FillRow(y, x0, x1);
      continue;
    }
    // Copy mode takes four texels a cycle: the per-pixel steps are a quarter of the given.
    const int32_t ds = p.dx[kAttrS] >> 2, dt = p.dx[kAttrT] >> 2;
    const uint32_t s = Add(Add(static_cast<uint32_t>(p.attr[kAttrS]), Mul(ds, x0 - originX)),
                           Mul(p.de[kAttrS], y - originY));
    const uint32_t t = Add(Add(static_cast<uint32_t>(p.attr[kAttrT]), Mul(dt, x0 - originX)),
                           Mul(p.de[kAttrT], y - originY));
    CopyRow(sampler, y, x0, x1, s, t, static_cast<uint32_t>(ds), static_cast<uint32_t>(dt));
  }
  return work;
}

TDrawWork Rasterize(const TPrimitive& primitive);

uint32_t FillSpan(const TSpan& span) {
  uint32_t touched = 0;
  for (int32_t x = span.xStart; x <= span.xEnd; ++x) {
    if ((x < span.fullStart || x > span.fullEnd) && CoverageAt(span, x) == 0) continue;
    FillRow(span.y, x, x);
    ++touched;
  }
  return touched;
}

}  // namespace

TDrawWork DrawPrimitive(const TPrimitive& primitive) {
  ++State.primitiveCount;
  if (PrimitiveDrawer != nullptr) return PrimitiveDrawer(primitive);
  const TDrawWork work = Rasterize(primitive);
  PixelsTouched += work.pixels;
  return work;
}

namespace {

TDrawWork Rasterize(const TPrimitive& primitive) {
  const uint32_t cycle = State.modes.cycleType;
  if (cycle == kCycleFill || cycle == kCycleCopy) {
    if (primitive.kind != TPrimitiveKind::Triangle) return DrawWholeRectangle(primitive);
    if (cycle == kCycleFill) return WalkEdges(primitive, FillSpan);
    // Copy mode has no use for triangles; they copy texels as rectangles do.
    const TSampler sampler = PrepareSampler(State.tiles[primitive.tile & 7], State.modes);
    return WalkEdges(primitive, [&](const TSpan& span) {
      uint32_t touched = 0;
      for (int32_t x = span.xStart; x <= span.xEnd; ++x) {
        if ((x < span.fullStart || x > span.fullEnd) && CoverageAt(span, x) == 0) continue;
        const int32_t offset = x - span.xStart;
        const int32_t s = span.attr[kAttrS] + Mul(primitive.dx[kAttrS], offset);
        const int32_t t = span.attr[kAttrT] + Mul(primitive.dx[kAttrT], offset);
        CopyPixel(sampler, x, span.y, static_cast<int16_t>(s >> 16), static_cast<int16_t>(t >> 16));
        ++touched;
      }
      return touched;
    });
  }
  PreparePipeline(pipeline, primitive);
  const TDrawWork work =
      WalkEdges(primitive, [](const TSpan& span) { return pipeline.span(pipeline, span); });
  pipeline.flush(pipeline);
  return work;
}

}  // namespace

}  // namespace vantor::rdp
