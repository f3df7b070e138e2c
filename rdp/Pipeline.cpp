#include "rdp/Pipeline.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "rdp/CoordinateLanes.h"
#include "rdp/Coordinates.h"
#include "rdp/CoverageLanes.h"
#include "rdp/EdgeWalk.h"
#include "rdp/PixelLanes.h"
#include "rdp/TexelLanes.h"

namespace vantor::rdp {

namespace {

TTexel Broadcast(int32_t value) {
  return static_cast<uint16_t>(value) * kLaneOnes;
}
TTexel PackColor(const TColor& c) {
  return Pack(static_cast<uint32_t>(c.r), static_cast<uint32_t>(c.g), static_cast<uint32_t>(c.b),
              static_cast<uint32_t>(c.a));
}
constexpr TTexel kColorLanes = 0x0000FFFFFFFFFFFF;

// Combiner inputs by select value, as the set-combine command numbers them.
uint8_t SubA(uint32_t sel) {
  constexpr uint8_t kTable[8] = {kInCombined, kInTexel0, kInTexel1, kInPrim,
                                 kInShade,    kInEnv,    kInOne,    kInNoise};
  return sel < 8 ? kTable[sel] : kInZero;
}
uint8_t SubB(uint32_t sel) {
  return sel < 6 ? SubA(sel) : sel == 6 ? kInKeyCenter : sel == 7 ? kInK4 : kInZero;
}
uint8_t Mul(uint32_t sel) {
  constexpr uint8_t kTable[16] = {kInCombined,    kInTexel0,      kInTexel1,      kInPrim,
                                  kInShade,       kInEnv,         kInKeyScale,    kInCombinedAlpha,
                                  kInTexel0Alpha, kInTexel1Alpha, kInPrimAlpha,   kInShadeAlpha,
                                  kInEnvAlpha,    kInLodFrac,     kInPrimLodFrac, kInK5};
  return sel < 16 ? kTable[sel] : kInZero;
}
uint8_t Add(uint32_t sel) {
  return sel < 6 ? SubA(sel) : sel == 6 ? kInOne : kInZero;
}
// Alpha inputs: the alpha lane of each source.
uint8_t AlphaInput(uint32_t sel) {
  return sel < 7 ? SubA(sel) : kInZero;
}
uint8_t AlphaMul(uint32_t sel) {
  return sel == 0 ? kInLodFrac : sel == 6 ? kInPrimLodFrac : AlphaInput(sel);
}

void PrepareCombiner(TPipeline& p, int cycle) {
  const TCombine& c = State.combine;
  TCombinerCycle& out = p.cycles[cycle];
  out.rgb[0] = SubA(c.subA[cycle]);
  out.rgb[1] = SubB(c.subB[cycle]);
  out.rgb[2] = Mul(c.mul[cycle]);
  out.rgb[3] = Add(c.add[cycle]);
  out.alpha[0] = AlphaInput(c.subAAlpha[cycle]);
  out.alpha[1] = AlphaInput(c.subBAlpha[cycle]);
  out.alpha[2] = AlphaMul(c.mulAlpha[cycle]);
  out.alpha[3] = AlphaInput(c.addAlpha[cycle]);
  for (uint8_t in : out.rgb) {
    p.needsNoise = p.needsNoise || in == kInNoise;
    p.needsShadeAlpha = p.needsShadeAlpha || in == kInShadeAlpha;
    p.needsTexelAlpha = p.needsTexelAlpha || in == kInTexel0Alpha || in == kInTexel1Alpha;
    p.needsCombinedAlpha = p.needsCombinedAlpha || in == kInCombinedAlpha;
  }
}

#if defined(__SSE2__)
// Two pixels' combiner inputs: each entry of the table holds one input of both. The colour
// lanes come from one input, the alpha lane from another (kSame: the same one).
template <bool kSame>
[[gnu::always_inline]] inline __m128i Pick(const __m128i* in, uint8_t rgb, uint8_t alpha) {
  if constexpr (kSame) return in[rgb];
  const __m128i colorLanes = _mm_set1_epi64x(static_cast<int64_t>(kColorLanes));
  return _mm_or_si128(_mm_and_si128(colorLanes, in[rgb]), _mm_andnot_si128(colorLanes, in[alpha]));
}
template <bool kSame>
[[gnu::always_inline]] inline __m128i Combine(const __m128i* in, const TCombinerCycle& cycle) {
  return CombineLanes(
      Pick<kSame>(in, cycle.rgb[0], cycle.alpha[0]), Pick<kSame>(in, cycle.rgb[1], cycle.alpha[1]),
      Pick<kSame>(in, cycle.rgb[2], cycle.alpha[2]), Pick<kSame>(in, cycle.rgb[3], cycle.alpha[3]));
}
// Each pixel's alpha lane in all four of its lanes.
[[gnu::always_inline]] inline __m128i AlphaBroadcast(__m128i pixels) {
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(pixels, 0xFF), 0xFF);
}
#else
constexpr TTexel kAlphaLane = ~kColorLanes;

[[gnu::always_inline]] inline TTexel Combine(const TTexel* in, const TCombinerCycle& cycle) {
  auto pick = [&](int k) {
    return (in[cycle.rgb[k]] & kColorLanes) | (in[cycle.alpha[k]] & kAlphaLane);
  };
  const TTexel v[4] = {pick(0), pick(1), pick(2), pick(3)};
  TTexel out = 0;
  for (int lane = 0; lane < 4; ++lane)
    out |= static_cast<TTexel>(CombineChannel(Lane(v[0], lane), Lane(v[1], lane), Lane(v[2], lane),
                                              Lane(v[3], lane)))
           << (16 * lane);
  return out;
}
#endif

// Attributes wrap as the hardware's registers do.
inline int32_t Step(int32_t value, int32_t step) {
  return static_cast<int32_t>(static_cast<uint32_t>(value) + static_cast<uint32_t>(step));
}

struct TLod {
  uint32_t tile0, tile1;
  int32_t frac;
};

// The level of detail from the texel distance to the next pixel and the next scanline.
TLod LevelOfDetail(const TPipeline& p, int32_t s, int32_t t, int32_t sx, int32_t tx, int32_t sy,
                   int32_t ty) {
  int32_t lod = std::max({std::abs(sx - s), std::abs(tx - t), std::abs(sy - s), std::abs(ty - t)});
  lod = std::min(lod, 0x7FFF);
  lod = std::max(lod, static_cast<int32_t>(State.primMinLevel));
  const TOtherModes& m = p.modes;
  uint32_t level = 0;
  int32_t frac = 0;
  const bool magnified = lod < 32;
  if (magnified) {
    frac = m.sharpen ? lod * 8 - 256 : m.detail ? lod * 8 : 0;
  } else {
    level = static_cast<uint32_t>(std::bit_width(static_cast<uint32_t>(lod >> 5)) - 1);
    if (level >= p.levels) {
      level = p.levels;
      frac = 255;
    } else {
      frac = ((lod * 8) >> level) - 256;
    }
  }
  if (m.detail) {
    if (magnified) return {p.tile & 7, (p.tile + 1) & 7, frac};
    return {(p.tile + 1 + level) & 7, (p.tile + 2 + level) & 7, frac};
  }
  return {(p.tile + level) & 7, (p.tile + level + 1) & 7, frac};
}

// Where each depth exponent's range starts in the 18-bit range, and how far its mantissa is
// shifted.
constexpr uint32_t kDepthBase[8] = {0,       0x20000, 0x30000, 0x38000,
                                    0x3C000, 0x3E000, 0x3F000, 0x3F800};
constexpr uint32_t kDepthShift[8] = {6, 5, 4, 3, 2, 1, 0, 0};

// The exponent counts the leading ones of the 18 bits, up to seven: the top seven bits decide
// it, so it comes from a table by them.
constexpr auto kDepthExponent = [] {
  std::array<uint8_t, 128> table{};
  for (uint32_t top = 0; top < 128; ++top)
    table[top] = static_cast<uint8_t>(std::min(std::countl_one(top << 25), 7));
  return table;
}();

[[gnu::always_inline]] inline uint32_t Compress(uint32_t z18, uint32_t dzExponent) {
  const uint32_t exponent = kDepthExponent[(z18 >> 11) & 0x7F];
  const uint32_t mantissa = (z18 >> kDepthShift[exponent]) & 0x7FF;
  return exponent << 13 | mantissa << 2 | (dzExponent >> 2);
}

[[gnu::always_inline]] inline uint32_t Decompress(uint32_t stored) {
  const uint32_t exponent = (stored >> 13) & 7;
  return kDepthBase[exponent] + (((stored >> 2) & 0x7FF) << kDepthShift[exponent]);
}

// Blend factors on a scale of 32: the A input, and the B input by its select.
inline int32_t FactorOf(int32_t alpha) {
  return (alpha + 1) >> 3;
}

// The shade colour from its attributes: the integer parts clamped to 0-255; in SSE2, of two
// pixels.
#if defined(__SSE2__)
[[gnu::always_inline]] inline __m128i ShadeOf(const int32_t* a0, const int32_t* a1) {
  const __m128i first = _mm_srai_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a0)), 16);
  const __m128i second = _mm_srai_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a1)), 16);
  const __m128i narrow = _mm_packs_epi32(first, second);
  return _mm_min_epi16(_mm_max_epi16(narrow, _mm_setzero_si128()), _mm_set1_epi16(255));
}
#else
inline TTexel ShadeOf(const int32_t* a) {
  auto clamp = [](int32_t v) { return static_cast<uint32_t>(std::clamp(v >> 16, 0, 255)); };
  return Pack(clamp(a[0]), clamp(a[1]), clamp(a[2]), clamp(a[3]));
}
#endif

// A filtered texel into the combiner's inputs, through the colour conversion when asked.
[[gnu::always_inline]] inline TTexel TexelOf(TTexel texel, bool convert) {
  if (convert) [[unlikely]]
    return PackColor(ConvertYuv(Unpack(texel), State.convert));
  return texel;
}

// One cycle of the blender on packed colours: (P * A + M * B) over 32, or over A + B at an
// antialiased edge, each channel wrapping at 8 bits.
[[gnu::always_inline]] inline TTexel BlendCycle(const TBlenderCycle& cycle,
                                                const TTexel (&sources)[4],
                                                const int32_t (&alphas)[4], uint32_t memCvg,
                                                bool divide) {
  const TTexel pIn = sources[cycle.p], mIn = sources[cycle.m];
  const int32_t af = FactorOf(alphas[cycle.a]);
  const int32_t bf = cycle.b == 0   ? 32 - af
                     : cycle.b == 1 ? static_cast<int32_t>(memCvg + 1) * 4
                     : cycle.b == 2 ? 32
                                    : 0;
  if (!divide) {
    // The three channels at once: colours are 0-255 and the factors at most 32, so each
    // channel's sum stays below 2^14, inside its lane.
    constexpr TTexel kRgb = 0x000000FF00FF00FF;
    const TTexel sum =
        (pIn & kRgb) * static_cast<uint32_t>(af) + (mIn & kRgb) * static_cast<uint32_t>(bf);
    return (sum >> 5) & kRgb;
  }
  uint32_t out[3];
  for (int lane = 0; lane < 3; ++lane) {
    const int32_t pv = Lane(pIn, lane), mv = Lane(mIn, lane);
    const int32_t sum = pv * af + mv * bf;
    out[lane] = static_cast<uint32_t>(af + bf != 0 ? (sum / (af + bf)) & 0xFF : pv);
  }
  return Pack(out[0], out[1], out[2], 0);
}

// Spans go through the pipeline in batches of pixels, one stage at a time over the whole batch:
// each stage makes its choices on the modes once, and its loop does only the pixels' work.
// A batch gathers the pixels of several spans of a primitive, as spans of small primitives are
// short, and holds a small triangle whole: every stage has work of its own a batch (constants
// into lanes, the last few pixels), several hundred instructions in all. Stages after the
// combiner keep a list of the pixels still drawn, by their places in bytes.
constexpr int32_t kBatch = 256;
static_assert(kBatch <= 256, "the keep list holds places in bytes");

// Gathering stores the fully covered pixels four at a time, up to three past the last pixel.
constexpr int32_t kGatherPad = 3;

struct TBatch {
  uint32_t count = 0;  // pixels with samples
  int32_t x[kBatch + kGatherPad], y[kBatch + kGatherPad];
  uint32_t cvg[kBatch + kGatherPad];
  int32_t attr[kBatch + kGatherPad][kAttrCount];
  int32_t s[kBatch], t[kBatch];
  uint8_t tile0[kBatch], tile1[kBatch];
  int32_t lodFrac[kBatch];
  TTexel texel0[kBatch], texel1[kBatch], color[kBatch];
  int32_t shadeAlpha[kBatch];
  uint32_t coverage[kBatch];
  int32_t alpha[kBatch];
  uint32_t pixel[kBatch];   // in the images, y * width + x
  uint32_t corner[kBatch];  // (y & 3) * 4 + (x & 3), the place in the dither matrices
  uint32_t bits[kBatch];    // a 16-bit image's colour bits, for colours that go there as they are
  uint32_t depth[kBatch];   // the new depth in memory's form
  uint32_t kept = 0;        // pixels still drawn, by their place in the batch
  uint8_t keep[kBatch];
};

// A span's attributes as they step from pixel to pixel, in two vectors of four.
struct TAttrLanes {
#if defined(__SSE2__)
  __m128i low, high, stepLow, stepHigh;
  TAttrLanes(const int32_t* at, const int32_t* step)
      : low(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at))),
        high(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 4))),
        stepLow(_mm_loadu_si128(reinterpret_cast<const __m128i*>(step))),
        stepHigh(_mm_loadu_si128(reinterpret_cast<const __m128i*>(step + 4))) {}
  void Store(int32_t* to) const {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 4), high);
  }
  void Load(const int32_t* from) {
    low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 4));
  }
  void Step() {
    low = _mm_add_epi32(low, stepLow);
    high = _mm_add_epi32(high, stepHigh);
  }
#else
  uint32_t at[kAttrCount], step[kAttrCount];
  TAttrLanes(const int32_t* from, const int32_t* by) {
    std::memcpy(at, from, sizeof(at));
    std::memcpy(step, by, sizeof(step));
  }
  void Store(int32_t* to) const {
    std::memcpy(to, at, sizeof(at));
  }
  void Load(const int32_t* from) {
    std::memcpy(at, from, sizeof(at));
  }
  void Step() {
    for (uint32_t i = 0; i < kAttrCount; ++i)
      at[i] += step[i];
  }
#endif
};

#if defined(__SSE2__)
using TCoverage = TCoverageLanes;
#else
// The scalar count under the lanes' interface.
class TCoverage {
 public:
  explicit TCoverage(const TSpan& span) : span_(span) {}
  static TCoverage OfWalkedSpan(const TSpan& span) { return TCoverage(span); }
  uint32_t At(int32_t x) const { return CoverageAt(span_, x); }

 private:
  const TSpan& span_;
};
#endif

// Adds the pixels of x0..x1 with samples to the batch, with their coverage and attributes;
// `attr` holds the attributes at x0 and is left at x1 + 1. The fully covered pixels between the
// edges go in a loop of their own, without the coverage test.
[[gnu::always_inline]] inline void Gather(const TSpan& span, const TCoverage& coverage, int32_t x0,
                                          int32_t x1, TAttrLanes& attr, TBatch& b) {
  uint32_t n = b.count;
  const int32_t y = span.y;
  // Every pixel is stored; those without samples are overwritten by the next (no branch on
  // the coverage, which changes from pixel to pixel at the edges).
  auto edge = [&](int32_t from, int32_t to) {
    for (int32_t x = from; x <= to; ++x) {
      const uint32_t cvg = coverage.At(x);
      b.x[n] = x;
      b.y[n] = y;
      b.cvg[n] = cvg;
      attr.Store(b.attr[n]);
      n += cvg != 0 ? 1 : 0;
      attr.Step();
    }
  };
  const int32_t fullFrom = std::max(x0, span.fullStart), fullTo = std::min(x1, span.fullEnd);
  if (fullFrom <= fullTo) {
    edge(x0, fullFrom - 1);
    // Four pixels a round, up to three past the last into the arrays' padding; the attributes
    // then go on from the last pixel's.
    const uint32_t full = static_cast<uint32_t>(fullTo - fullFrom + 1);
#if defined(__SSE2__)
    __m128i xs = _mm_add_epi32(_mm_set1_epi32(fullFrom), _mm_setr_epi32(0, 1, 2, 3));
    const __m128i ys = _mm_set1_epi32(y), eight = _mm_set1_epi32(8), four = _mm_set1_epi32(4);
#endif
    int32_t(*to)[kAttrCount] = b.attr + n;
    for (size_t k = n, end = n + full; k < end; k += 4, to += 4) {
#if defined(__SSE2__)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(b.x + k), xs);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(b.y + k), ys);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(b.cvg + k), eight);
      xs = _mm_add_epi32(xs, four);
#else
      for (uint32_t i = 0; i < 4; ++i) {
        b.x[k + i] = fullFrom + static_cast<int32_t>(k - n + i);
        b.y[k + i] = y;
        b.cvg[k + i] = 8;
      }
#endif
      auto next = [&](int32_t* to) {
        attr.Store(to);
        attr.Step();
      };
      next(to[0]);
      next(to[1]);
      next(to[2]);
      next(to[3]);
    }
    attr.Load(b.attr[n + full - 1]);
    attr.Step();
    n += full;
    edge(fullTo + 1, x1);
  } else {
    edge(x0, x1);
  }
  b.count = n;
}

// Each pixel's tiles and LOD fraction from its coordinates and those at the next pixel and one
// scanline down.
void Lods(const TPipeline& p, TBatch& b, const int32_t* sx, const int32_t* tx, const int32_t* sy,
          const int32_t* ty) {
  for (uint32_t n = 0; n < b.count; ++n) {
    const TLod lod = LevelOfDetail(p, b.s[n], b.t[n], sx[n], tx[n], sy[n], ty[n]);
    b.tile0[n] = static_cast<uint8_t>(lod.tile0);
    b.tile1[n] = static_cast<uint8_t>(lod.tile1);
    b.lodFrac[n] = lod.frac;
  }
}

constexpr int32_t kNoStep[kAttrCount] = {};

// Texture coordinates, and with the level of detail on, each pixel's tiles and LOD fraction.
// Inlined into the span functions: one call fewer a batch.
template <bool kPerspective>
[[gnu::always_inline]] inline void Coordinates(const TPipeline& p, TBatch& b) {
  int32_t sx[kBatch], tx[kBatch], sy[kBatch], ty[kBatch];
  if (kPerspective && kPerspectiveLanes) {
    PerspectiveLanes(b.count, b.attr, kNoStep, b.s, b.t);
    if (!p.lod) return;
    PerspectiveLanes(b.count, b.attr, p.dx, sx, tx);
    PerspectiveLanes(b.count, b.attr, p.dy, sy, ty);
    return Lods(p, b, sx, tx, sy, ty);
  }
  if constexpr (kPerspective) {
    // The reciprocals first, then the products: two short chains of work a pixel instead of one
    // long one, so that the processor overlaps more pixels. One loop runs fewer instructions but
    // measures slower.
    TReciprocal reciprocals[kBatch];
    for (uint32_t n = 0; n < b.count; ++n)
      reciprocals[n] = PerspectiveReciprocal(b.attr[n][kAttrW]);
    for (uint32_t n = 0; n < b.count; ++n) {
      b.s[n] = PerspectiveCoordinate(b.attr[n][kAttrS], reciprocals[n]);
      b.t[n] = PerspectiveCoordinate(b.attr[n][kAttrT], reciprocals[n]);
    }
  } else {
    for (uint32_t n = 0; n < b.count; ++n) {
      b.s[n] = Coordinate(b.attr[n][kAttrS]);
      b.t[n] = Coordinate(b.attr[n][kAttrT]);
    }
  }
  if (!p.lod) return;
  for (uint32_t n = 0; n < b.count; ++n) {
    // The attributes at the next pixel and one scanline down.
    const int32_t* a = b.attr[n];
    const int32_t nextS = Step(a[kAttrS], p.dx[kAttrS]), nextT = Step(a[kAttrT], p.dx[kAttrT]);
    const int32_t belowS = Step(a[kAttrS], p.dy[kAttrS]), belowT = Step(a[kAttrT], p.dy[kAttrT]);
    if constexpr (kPerspective) {
      const TReciprocal nextW = PerspectiveReciprocal(Step(a[kAttrW], p.dx[kAttrW]));
      const TReciprocal belowW = PerspectiveReciprocal(Step(a[kAttrW], p.dy[kAttrW]));
      sx[n] = PerspectiveCoordinate(nextS, nextW);
      tx[n] = PerspectiveCoordinate(nextT, nextW);
      sy[n] = PerspectiveCoordinate(belowS, belowW);
      ty[n] = PerspectiveCoordinate(belowT, belowW);
    } else {
      sx[n] = Coordinate(nextS);
      tx[n] = Coordinate(nextT);
      sy[n] = Coordinate(belowS);
      ty[n] = Coordinate(belowT);
    }
  }
  Lods(p, b, sx, tx, sy, ty);
}

// The batch's texels from one tile, its kind of fetch and its addressing chosen once.
template <TFetch kFetch, bool kWrapsOnly>
[[gnu::flatten]] void SampleAs(const TPipeline& p, const TSampler& sampler, uint32_t count,
                               const int32_t* s, const int32_t* t, TTexel* out) {
  for (uint32_t n = 0; n < count; ++n)
    out[n] = SampleTextureAs<kFetch, kWrapsOnly>(sampler, s[n], t[n], p.bilinear, p.midTexel);
}

template <TFetch kFetch>
void SampleAs(const TPipeline& p, const TSampler& sampler, uint32_t count, const int32_t* s,
              const int32_t* t, TTexel* out) {
  if (WrapsOnly(sampler))
    SampleAs<kFetch, true>(p, sampler, count, s, t, out);
  else
    SampleAs<kFetch, false>(p, sampler, count, s, t, out);
}

void Sample(const TPipeline& p, const TSampler& sampler, uint32_t count, const int32_t* s,
            const int32_t* t, TTexel* out) {
#if defined(__SSE2__)
  if (sampler.fetch != TFetch::Yuv16)
    return SampleLanes(sampler, p.bilinear, p.midTexel, count, s, t, out);
  return SampleAs<TFetch::Yuv16>(p, sampler, count, s, t, out);
#else
  switch (sampler.fetch) {
    case TFetch::Rgba16:
      return SampleAs<TFetch::Rgba16>(p, sampler, count, s, t, out);
    case TFetch::Rgba32:
      return SampleAs<TFetch::Rgba32>(p, sampler, count, s, t, out);
    case TFetch::Yuv16:
      return SampleAs<TFetch::Yuv16>(p, sampler, count, s, t, out);
    case TFetch::Ia4:
      return SampleAs<TFetch::Ia4>(p, sampler, count, s, t, out);
    case TFetch::Ia8:
      return SampleAs<TFetch::Ia8>(p, sampler, count, s, t, out);
    case TFetch::Ia16:
      return SampleAs<TFetch::Ia16>(p, sampler, count, s, t, out);
    case TFetch::I4:
      return SampleAs<TFetch::I4>(p, sampler, count, s, t, out);
    case TFetch::I8:
      return SampleAs<TFetch::I8>(p, sampler, count, s, t, out);
    case TFetch::Tlut4:
      return SampleAs<TFetch::Tlut4>(p, sampler, count, s, t, out);
    case TFetch::Tlut8:
    default:
      return SampleAs<TFetch::Tlut8>(p, sampler, count, s, t, out);
  }
#endif
}

// The batch's pixels first to end - 1 from one tile, through the colour conversion when asked.
void SampleRun(const TPipeline& p, const TSampler& sampler, bool convert, TBatch& b, uint32_t first,
               uint32_t end, TTexel* out) {
  Sample(p, sampler, end - first, b.s + first, b.t + first, out + first);
  if (sampler.yuv && convert)
    for (uint32_t n = first; n < end; ++n)
      out[n] = TexelOf(out[n], true);
}

bool ReadsTexel1(const TPipeline& p) {
  for (const TCombinerCycle& cycle : p.cycles)
    for (int k = 0; k < 4; ++k)
      for (const uint8_t in : {cycle.rgb[k], cycle.alpha[k]})
        if (in == kInTexel1 || in == kInTexel1Alpha) return true;
  return false;
}

// TEXEL0, and in two-cycle mode TEXEL1 from the next tile, or from the level of detail's tiles:
// those are each pixel's own, and runs of pixels with the same tile are sampled together.
template <bool kTwoCycle, bool kPerspective>
void Texels(const TPipeline& p, TBatch& b) {
  Coordinates<kPerspective>(p, b);
  const bool texel1 = kTwoCycle && p.readsTexel1;
  if (!p.lod) {
    SampleRun(p, p.samplers[p.tile], p.convert[0], b, 0, b.count, b.texel0);
    if (texel1) SampleRun(p, p.samplers[(p.tile + 1) & 7], p.convert[1], b, 0, b.count, b.texel1);
    return;
  }
  auto runs = [&](const uint8_t* tiles, bool convert, TTexel* out) {
    for (uint32_t first = 0, end; first < b.count; first = end) {
      for (end = first + 1; end < b.count && tiles[end] == tiles[first];)
        ++end;
      SampleRun(p, p.samplers[tiles[first]], convert, b, first, end, out);
    }
  };
  runs(b.tile0, p.convert[0], b.texel0);
  if (texel1) runs(b.tile1, p.convert[1], b.texel1);
}

// The colour combiner: one-cycle mode runs the second cycle's equation; the first cycle of two
// starts without a combined colour. TEXEL1 is TEXEL0 in one-cycle mode. kPlain: no input
// reads noise, an alpha broadcast of the shade, the texels or the combined colour, or the LOD
// fraction. kSame: every operand takes its colour and its alpha from one input.
#if defined(__SSE2__)
// Whether a combiner cycle is a texel times the shade, in colour and alpha: the commonest
// textured combine (in one-cycle mode TEXEL1 is TEXEL0).
bool Modulates(const TCombinerCycle& c) {
  return std::equal(std::begin(c.rgb), std::end(c.rgb), std::begin(c.alpha)) &&
         (c.rgb[0] == kInTexel0 || c.rgb[0] == kInTexel1) && c.rgb[1] == kInZero &&
         c.rgb[2] == kInShade && c.rgb[3] == kInZero;
}

// Two pixels at a time: an odd batch also combines the unused entry after its last pixel. A
// first cycle of two that Modulates takes ModulateLanes, without the table of inputs.
template <bool kTexture, bool kTwoCycle, bool kPlain, bool kSame>
void CombineAs(const TPipeline& p, TBatch& b) {
  __m128i in[kInputs];
  for (uint32_t i = 0; i < kInputs; ++i)
    in[i] = _mm_set1_epi64x(static_cast<int64_t>(p.inputs[i]));
  const TCombinerCycle first = p.cycles[0], last = p.cycles[1];
  const bool needsShadeAlpha = p.needsShadeAlpha, needsNoise = p.needsNoise;
  const bool needsTexelAlpha = p.needsTexelAlpha, needsCombinedAlpha = p.needsCombinedAlpha;
  const bool lod = p.lod, pass = p.pass;
  const bool modulateFirst = kTwoCycle && Modulates(first);
  const uint32_t primitive = p.primitive;
  // The inputs made from single values, broadcast to a pixel's four lanes, are made first for
  // the whole batch and its unused last entry.
  const uint32_t pairs = (b.count + 1) & ~1u;
  alignas(16) TTexel noise[kBatch], lodFrac[kBatch];
  if constexpr (!kPlain) {
    if (needsNoise)
      for (uint32_t n = 0; n < pairs; ++n)
        noise[n] = Broadcast(static_cast<int32_t>(Noise(b.x[n], b.y[n], primitive) & 0xFF));
    if (kTexture && lod)
      for (uint32_t n = 0; n < pairs; ++n)
        lodFrac[n] = Broadcast(b.lodFrac[n]);
  }
  auto load = [](const TTexel* pixels) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
  };
  for (uint32_t n = 0; n < pairs; n += 2) {
    const __m128i shade = ShadeOf(b.attr[n] + kAttrR, b.attr[n + 1] + kAttrR);
    in[kInShade] = shade;
    if (!pass) {  // only the blender reads it
      b.shadeAlpha[n] = _mm_extract_epi16(shade, 3);
      b.shadeAlpha[n + 1] = _mm_extract_epi16(shade, 7);
    }
    if constexpr (!kPlain) {
      if (needsShadeAlpha) in[kInShadeAlpha] = AlphaBroadcast(shade);
      if (needsNoise) in[kInNoise] = load(noise + n);
    }
    if constexpr (kTexture) {
      in[kInTexel0] = load(b.texel0 + n);
      in[kInTexel1] = kTwoCycle ? load(b.texel1 + n) : in[kInTexel0];
      if constexpr (!kPlain) {
        if (needsTexelAlpha) {
          in[kInTexel0Alpha] = AlphaBroadcast(in[kInTexel0]);
          in[kInTexel1Alpha] = AlphaBroadcast(in[kInTexel1]);
        }
        if (lod) in[kInLodFrac] = load(lodFrac + n);
      }
    }
    if constexpr (kTwoCycle) {
      in[kInCombined] = _mm_setzero_si128();
      in[kInCombinedAlpha] = _mm_setzero_si128();
      in[kInCombined] =
          modulateFirst ? ModulateLanes(in[first.rgb[0]], shade) : Combine<kSame>(in, first);
      if constexpr (!kPlain)
        if (needsCombinedAlpha) in[kInCombinedAlpha] = AlphaBroadcast(in[kInCombined]);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(b.color + n), Combine<kSame>(in, last));
  }
}
#else
template <bool kTexture, bool kTwoCycle, bool kPlain, bool kSame>
void CombineAs(const TPipeline& p, TBatch& b) {
  alignas(16) TTexel in[kInputs];
  std::memcpy(in, p.inputs, sizeof(in));
  for (uint32_t n = 0; n < b.count; ++n) {
    in[kInShade] = ShadeOf(b.attr[n] + kAttrR);
    b.shadeAlpha[n] = Lane(in[kInShade], 3);
    if constexpr (!kPlain) {
      if (p.needsShadeAlpha) in[kInShadeAlpha] = (in[kInShade] >> 48) * kLaneOnes;
      if (p.needsNoise)
        in[kInNoise] = Broadcast(static_cast<int32_t>(Noise(b.x[n], b.y[n], p.primitive) & 0xFF));
    }
    if constexpr (kTexture) {
      in[kInTexel0] = b.texel0[n];
      in[kInTexel1] = kTwoCycle ? b.texel1[n] : b.texel0[n];
      if constexpr (!kPlain) {
        if (p.needsTexelAlpha) {
          in[kInTexel0Alpha] = (in[kInTexel0] >> 48) * kLaneOnes;
          in[kInTexel1Alpha] = (in[kInTexel1] >> 48) * kLaneOnes;
        }
        if (p.lod) in[kInLodFrac] = Broadcast(b.lodFrac[n]);
      }
    }
    if constexpr (kTwoCycle) {
      in[kInCombined] = 0;
      in[kInCombinedAlpha] = 0;
      in[kInCombined] = Combine(in, p.cycles[0]);
      if constexpr (!kPlain)
        if (p.needsCombinedAlpha) in[kInCombinedAlpha] = (in[kInCombined] >> 48) * kLaneOnes;
    }
    b.color[n] = Combine(in, p.cycles[1]);
  }
}

#endif

#if defined(__SSE2__)
// A one-cycle combine that Modulates, two pixels at a time, without the general one's table of
// inputs.
void Modulate(const TPipeline& p, TBatch& b) {
  const bool pass = p.pass;
  const uint32_t pairs = (b.count + 1) & ~1u;
  for (uint32_t n = 0; n < pairs; n += 2) {
    const __m128i shade = ShadeOf(b.attr[n] + kAttrR, b.attr[n + 1] + kAttrR);
    if (!pass) {  // only the blender reads it
      b.shadeAlpha[n] = _mm_extract_epi16(shade, 3);
      b.shadeAlpha[n + 1] = _mm_extract_epi16(shade, 7);
    }
    const __m128i texels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b.texel0 + n));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(b.color + n), ModulateLanes(texels, shade));
  }
}
#endif

template <bool kTexture, bool kTwoCycle>
void CombineBatch(const TPipeline& p, TBatch& b) {
#if defined(__SSE2__)
  if (kTexture && !kTwoCycle && Modulates(p.cycles[1])) return Modulate(p, b);
#endif
  if (p.needsShadeAlpha || p.needsNoise || p.needsTexelAlpha || p.needsCombinedAlpha || p.lod)
    CombineAs<kTexture, kTwoCycle, false, false>(p, b);
  else if (p.samePicks)
    CombineAs<kTexture, kTwoCycle, true, true>(p, b);
  else
    CombineAs<kTexture, kTwoCycle, true, false>(p, b);
}

#if defined(__SSE2__)
// Four pixels' numbers in the images, y * width + x: x and y (below 1024) side by side in
// sixteen-bit halves, multiplied by 1 and the width (`factors`) and added in one instruction.
[[gnu::always_inline]] inline __m128i PixelNumbers(__m128i x, __m128i y, __m128i factors) {
  return _mm_madd_epi16(_mm_or_si128(x, _mm_slli_epi32(y, 16)), factors);
}
// Four pixels' places in the dither matrices, (y & 3) * 4 + (x & 3).
[[gnu::always_inline]] inline __m128i Corners(__m128i x, __m128i y) {
  const __m128i three = _mm_set1_epi32(3);
  return _mm_or_si128(_mm_and_si128(x, three), _mm_slli_epi32(_mm_and_si128(y, three), 2));
}
#endif

// Coverage and alpha: the coverage scaled by alpha, the alpha from coverage, alpha compare. The
// pixels left go on the batch's list. Each pixel's places in the images and in the dither
// matrices are worked out here.
void CoverageAndAlpha(const TPipeline& p, TBatch& b) {
  const TOtherModes& m = p.modes;
  const uint32_t width = p.colorWidth;
#if defined(__SSE2__)
  // Four at a time (and the unused entries after the last pixel).
  const uint32_t quads = (b.count + 3) & ~3u;
  const __m128i factors = _mm_set1_epi32(static_cast<int32_t>(1 | width << 16));
  for (uint32_t n = 0; n < quads; n += 4) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b.x + n));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b.y + n));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(b.pixel + n), PixelNumbers(x, y, factors));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(b.corner + n), Corners(x, y));
  }
#else
  for (uint32_t n = 0; n < b.count; ++n) {
    b.pixel[n] = static_cast<uint32_t>(b.y[n]) * width + static_cast<uint32_t>(b.x[n]);
    b.corner[n] = static_cast<uint32_t>((b.y[n] & 3) * 4 + (b.x[n] & 3));
  }
#endif
  uint32_t kept = 0;
  if (!m.key && !m.cvgTimesAlpha && !m.alphaCvgSelect && !m.alphaCompare) {
    static constexpr auto kEvery = [] {
      std::array<uint8_t, kBatch> every{};
      for (uint32_t n = 0; n < kBatch; ++n)
        every[n] = static_cast<uint8_t>(n);
      return every;
    }();
    std::memcpy(b.coverage, b.cvg, b.count * sizeof(b.cvg[0]));
    std::memcpy(b.keep, kEvery.data(), b.count);
    // Only the blender reads the alpha.
    if (!p.pass)
      for (uint32_t n = 0; n < b.count; ++n)
        b.alpha[n] = Lane(b.color[n], 3);
    b.kept = b.count;
    return;
  }
  for (uint32_t n = 0; n < b.count; ++n) {
    const TTexel color = b.color[n];
    int32_t colorAlpha = Lane(color, 3);
    if (m.key) colorAlpha = KeyAlpha(Lane(color, 0), Lane(color, 1), Lane(color, 2), State.key);
    uint32_t coverage = b.cvg[n];
    if (m.cvgTimesAlpha) coverage = (coverage * static_cast<uint32_t>(colorAlpha + 1)) >> 8;
    if (coverage == 0) continue;
    const int32_t alpha = m.alphaCvgSelect ? std::min<int32_t>(coverage * 32, 255) : colorAlpha;
    if (m.alphaCompare) {
      const int32_t threshold =
          m.ditherAlpha ? static_cast<int32_t>(Noise(b.x[n], b.y[n], p.primitive) >> 8 & 0xFF)
                        : State.blend.a;
      if (alpha < threshold) continue;
    }
    b.coverage[n] = coverage;
    b.alpha[n] = alpha;
    b.keep[kept++] = static_cast<uint8_t>(n);
  }
  b.kept = kept;
}

// One image's pixels in RDRAM by their numbers, kBytes each: checked access by access, or
// (kInside) not at all, where every pixel the scissor lets through lies inside RDRAM and the
// image starts on a word. Then a pixel's bytes lie at its number flipped within its word (the
// words hold their bytes in the other order), so the accesses need no address arithmetic of
// their own beyond the image's start.
template <uint32_t kBytes, bool kInside>
struct TImagePixels {
  static constexpr uint32_t kFlip = 4 / kBytes - 1;
  TRdramView ram;
  uint32_t address;
  uint8_t* start;

  // `begin`: the image's first byte where it lies inside.
  TImagePixels(uint32_t image, uint8_t* begin) : address(image), start(begin) {}

  [[gnu::always_inline]] uint32_t Read(uint32_t pixel) const {
    if constexpr (!kInside) {
      const uint32_t at = address + pixel * kBytes;
      if constexpr (kBytes == 1) return ram.Read8(at);
      if constexpr (kBytes == 2) return ram.Read16(at);
      if constexpr (kBytes == 4) return ram.Read32(at);
    } else if constexpr (kBytes == 1) {
      return start[pixel ^ kFlip];
    } else if constexpr (kBytes == 2) {
      uint16_t value;
      std::memcpy(&value, start + size_t{pixel ^ kFlip} * 2, 2);
      return value;
    } else {
      uint32_t value;
      std::memcpy(&value, start + size_t{pixel} * 4, 4);
      return value;
    }
  }
  [[gnu::always_inline]] void Write(uint32_t pixel, uint32_t value) const {
    if constexpr (!kInside) {
      const uint32_t at = address + pixel * kBytes;
      if constexpr (kBytes == 1) ram.Write8(at, value);
      if constexpr (kBytes == 2) ram.Write16(at, value);
      if constexpr (kBytes == 4) ram.Write32(at, value);
    } else if constexpr (kBytes == 1) {
      start[pixel ^ kFlip] = static_cast<uint8_t>(value);
    } else if constexpr (kBytes == 2) {
      const auto half = static_cast<uint16_t>(value);
      std::memcpy(start + size_t{pixel ^ kFlip} * 2, &half, 2);
    } else {
      std::memcpy(start + size_t{pixel} * 4, &value, 4);
    }
  }
};

#if defined(__SSE2__)
// The new depths of the batch's pixels n to n + 3 in memory's form; `low`: the slope's bits.
[[gnu::always_inline]] inline __m128i FourDepths(const TBatch& b, size_t n, __m128i low) {
  const int32_t* first = &b.attr[n][kAttrZ];
  auto depth = [&](uint32_t i) { return _mm_cvtsi32_si128(first[i * kAttrCount]); };
  const __m128i z = _mm_srai_epi32(_mm_unpacklo_epi64(_mm_unpacklo_epi32(depth(0), depth(1)),
                                                      _mm_unpacklo_epi32(depth(2), depth(3))),
                                   13);
  return CompressLanes(_mm_andnot_si128(_mm_srai_epi32(z, 31), z), low);
}
#endif

// Depth, compared at the precision memory keeps, so that a primitive drawn again at the same
// depth passes. Memory's form orders as the depths do, so all but decal compare it directly.
template <bool kInside>
void DepthTestIn(const TPipeline& p, TBatch& b) {
  const TOtherModes& m = p.modes;
  const uint32_t dzExponent = p.dzExponent;
  if (m.zSourcePrim) {
    const uint32_t depth = Compress(p.zPrim, dzExponent);
    for (uint32_t k = 0; k < b.kept; ++k)
      b.depth[b.keep[k]] = depth;
  } else {
    // Every pixel's, four at a time (and the unused entries after the last pixel).
#if defined(__SSE2__)
    const uint32_t quads = (b.count + 3) & ~3u;
    const __m128i low = _mm_set1_epi32(static_cast<int32_t>(dzExponent >> 2));
    for (uint32_t n = 0; n < quads; n += 4)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(b.depth + n), FourDepths(b, n, low));
#else
    for (uint32_t n = 0; n < b.count; ++n)
      b.depth[n] =
          Compress(static_cast<uint32_t>(std::max(b.attr[n][kAttrZ] >> 13, 0)), dzExponent);
#endif
  }
  if (!m.zCompare || p.compareInWriter) return;
  const TImagePixels<2, kInside> depthImage(p.zAddress, p.depthStart);
  uint32_t kept = 0;
  if (m.zMode == kZDecal) {
    const uint32_t dz18 = p.dz18;
    for (uint32_t k = 0; k < b.kept; ++k) {
      const uint32_t n = b.keep[k];
      const uint32_t z = Decompress(b.depth[n]);
      const uint32_t stored = depthImage.Read(b.pixel[n]);
      const uint32_t memZ = Decompress(stored);
      const uint32_t memDz = (1u << ((stored & 3) << 2)) << 3;
      const uint32_t diff = z > memZ ? z - memZ : memZ - z;
      if (diff <= std::max(dz18, memDz)) b.keep[kept++] = static_cast<uint8_t>(n);
    }
  } else {
    for (uint32_t k = 0; k < b.kept; ++k) {
      const uint32_t n = b.keep[k];
      const uint32_t stored = depthImage.Read(b.pixel[n]);
      // The pixel stays on the list; the count moves only when it passes.
      b.keep[kept] = static_cast<uint8_t>(n);
      kept += (b.depth[n] >> 2) <= (stored >> 2) ? 1 : 0;
    }
  }
  b.kept = kept;
}

void DepthTest(const TPipeline& p, TBatch& b) {
  if (p.depthInside)
    DepthTestIn<true>(p, b);
  else
    DepthTestIn<false>(p, b);
}

// The colour image's pixel as the blender reads it, and its coverage.
template <uint32_t kSize, typename TImage>
[[gnu::always_inline]] inline TTexel ReadMemory(const TImage& image, uint32_t pixel,
                                                uint32_t& memCvg) {
  if constexpr (kSize == kSize16) {
    const uint32_t old = image.Read(pixel);
    memCvg = (old & 1) != 0 ? 7 : 0;
    return Packed5551(old);
  } else if constexpr (kSize == kSize32) {
    const uint32_t old = image.Read(pixel);
    memCvg = (old >> 5) & 7;
    return PackColor(UnpackColor(old));
  } else {
    memCvg = 0;
    return Broadcast(static_cast<int32_t>(image.Read(pixel)));
  }
}

// The coverage written to memory from the pixel's and memory's.
[[gnu::always_inline]] inline uint32_t CoverageOut(uint32_t cvgDest, uint32_t coverage,
                                                   uint32_t memCvg) {
  switch (cvgDest) {
    case kCvgClamp:
      return std::min(coverage + memCvg, 7u);
    case kCvgWrap:
      return (coverage + memCvg) & 7;
    case kCvgZap:
      return 7;
    default:
      return memCvg;
  }
}

// The dither offsets (see DitherOffset) by (y & 3) * 4 + (x & 3), in the colour lanes; all 0
// without dither.
constexpr std::array<TTexel, 16> DitherOffsets(const uint8_t (&matrix)[16]) {
  std::array<TTexel, 16> offsets{};
  for (uint32_t i = 0; i < 16; ++i)
    offsets[i] = DitherOffset(matrix[i]) * (kLaneOnes >> 16);
  return offsets;
}
constexpr std::array<TTexel, 16> kMagicSquareOffsets = DitherOffsets(kMagicSquare);
constexpr std::array<TTexel, 16> kBayerOffsets = DitherOffsets(kBayer);
constexpr std::array<TTexel, 16> kNoDitherOffsets = {};

// The offsets of the modes' dither (a matrix or none; for noise, none).
const TTexel* DitherMatrix(uint32_t rgbDither) {
  return rgbDither == 0   ? kMagicSquareOffsets.data()
         : rgbDither == 1 ? kBayerOffsets.data()
                          : kNoDitherOffsets.data();
}

#if defined(__SSE2__)
// The 16-bit image's colour bits of four pixels dithered by a matrix, from their colours (two
// a vector) and their places in it.
[[gnu::always_inline]] inline __m128i DitherQuad(__m128i colorsLow, __m128i colorsHigh,
                                                 const uint32_t* corners, const TTexel* dither) {
  auto pair = [&](uint32_t i) {
    return _mm_set_epi64x(static_cast<int64_t>(dither[corners[i + 1]]),
                          static_cast<int64_t>(dither[corners[i]]));
  };
  return DitherFour(colorsLow, pair(0), colorsHigh, pair(2));
}
#endif

// The 16-bit image's colour bits of every pixel whose colour goes to memory as it is, dithered
// (and of the unused entries after the last pixel): four at a time in SSE2 with a matrix, two
// with noise.
void DitherBatch(const TPipeline& p, TBatch& b, const TTexel* dither) {
  const bool noise = p.modes.rgbDither == 2;
  const uint32_t primitive = p.primitive;
  auto offsets = [&](uint32_t n) {
    return noise ? DitherOffset(Noise(b.x[n], b.y[n], primitive) & 7) * (kLaneOnes >> 16)
                 : dither[b.corner[n]];
  };
#if defined(__SSE2__)
  if (!noise) {
    auto colors = [&](uint32_t n) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(b.color + n));
    };
    const uint32_t quads = (b.count + 3) & ~3u;
    for (uint32_t n = 0; n < quads; n += 4)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(b.bits + n),
                       DitherQuad(colors(n), colors(n + 2), b.corner + n, dither));
    return;
  }
  const uint32_t pairs = (b.count + 1) & ~1u;
  for (uint32_t n = 0; n < pairs; n += 2) {
    const __m128i bits = DitherLanes(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(b.color + n)),
        _mm_set_epi64x(static_cast<int64_t>(offsets(n + 1)), static_cast<int64_t>(offsets(n))));
    b.bits[n] = static_cast<uint32_t>(_mm_cvtsi128_si32(bits));
    b.bits[n + 1] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(bits, 8)));
  }
#else
  for (uint32_t n = 0; n < b.count; ++n)
    b.bits[n] = Dithered555(b.color[n], offsets(n));
#endif
}

// The blender, the coverage and the writes of the pixels left: colour (dithered in a 16-bit
// image) with its coverage, then depth. The modes and RDRAM's view are read into locals first:
// the writes to memory could alias anything, and the compiler would read them again for every
// pixel. kPass: without blending and without memory, the pixel's own colour goes to memory as
// it is. kCompare: the depth test's compare is done here, each pixel's just before its writes
// (the batch's pixels share no memory, so the order changes nothing).
template <uint32_t kSize, bool kTwoCycle, bool kDepth, bool kPass, bool kInside, bool kCompare>
void WriteLanes(const TPipeline& p, TBatch& b) {
  const TOtherModes& m = p.modes;
  constexpr uint32_t kBytes = kSize == kSize16 ? 2 : kSize == kSize32 ? 4 : 1;
  const bool imageRead = m.imageRead, forceBlend = m.forceBlend, antialias = m.antialias;
  const bool colorOnCvg = m.colorOnCvg, zUpdate = kDepth && m.zUpdate;
  const bool noiseDither = m.rgbDither == 2;
  const uint32_t cvgDest = m.cvgDest, primitive = p.primitive;
  const int32_t fogAlpha = State.fog.a;
  const TTexel blendColor = p.blendColor, fogColor = p.fogColor;
  const TImagePixels<kBytes, kInside> colorImage(p.colorAddress, p.colorStart);
  const TImagePixels<2, kInside> depthImage(p.zAddress, p.depthStart);
  const TBlenderCycle first = p.blend[0], final = p.blend[kTwoCycle ? 1 : 0];
  const TTexel* dither = DitherMatrix(m.rgbDither);
  if constexpr (kPass && kSize == kSize16) DitherBatch(p, b, dither);
  uint8_t passCoverage[9];
  std::memcpy(passCoverage, p.passCoverage, sizeof(passCoverage));
  for (uint32_t k = 0; k < b.kept; ++k) {
    const uint32_t n = b.keep[k];
    const int32_t x = b.x[n], y = b.y[n];
    const uint32_t pixel = b.pixel[n];
    if constexpr (kCompare)
      if ((b.depth[n] >> 2) > (depthImage.Read(pixel) >> 2)) continue;
    const uint32_t coverage = b.coverage[n];
    const TTexel color = b.color[n];
    uint32_t memCvg = 0;
    TTexel blended = color;
    if constexpr (!kPass) {
      const TTexel memory = imageRead ? ReadMemory<kSize>(colorImage, pixel, memCvg) : 0;
      // In two-cycle mode the first cycle always blends, feeding the second.
      const int32_t alphas[4] = {b.alpha[n], fogAlpha, b.shadeAlpha[n], 0};
      if constexpr (kTwoCycle)
        blended = BlendCycle(first, {color, memory, blendColor, fogColor}, alphas, memCvg, false);
      const TTexel sources[4] = {blended, memory, blendColor, fogColor};
      if (forceBlend)
        blended = BlendCycle(final, sources, alphas, memCvg, false);
      else if (antialias && coverage < 8)
        blended = BlendCycle(final, sources, alphas, memCvg, true);
      else
        blended = sources[final.p];
    }
    // Coverage into memory, then the colour.
    uint32_t newCvg, cvgBit;  // the 16-bit image keeps the coverage's top bit
    bool writeColor;
    if constexpr (kPass) {
      const uint32_t pass = passCoverage[coverage];
      newCvg = pass >> 1 & 7;
      cvgBit = pass & 1;
      writeColor = pass > 0x7F;
    } else {
      newCvg = CoverageOut(cvgDest, coverage, memCvg);
      cvgBit = newCvg >> 2;
      writeColor = !colorOnCvg || coverage + memCvg > 7;
    }
    if constexpr (kSize == kSize16) {
      uint32_t value;
      if (kPass && writeColor) {
        value = b.bits[n] | cvgBit;
      } else if (writeColor) {
        const TTexel offsets = noiseDither
                                   ? DitherOffset(Noise(x, y, primitive) & 7) * (kLaneOnes >> 16)
                                   : dither[b.corner[n]];
        value = Dithered555(blended, offsets) | cvgBit;
      } else {
        value = (colorImage.Read(pixel) & ~1u) | cvgBit;
      }
      colorImage.Write(pixel, value);
    } else {
      const auto red = static_cast<uint32_t>(Lane(blended, 0)) & 0xFF;
      if constexpr (kSize == kSize32) {
        const auto green = static_cast<uint32_t>(Lane(blended, 1)) & 0xFF;
        const auto blue = static_cast<uint32_t>(Lane(blended, 2)) & 0xFF;
        const uint32_t value = writeColor ? red << 24 | green << 16 | blue << 8 | newCvg << 5
                                          : (colorImage.Read(pixel) & ~0xFFu) | newCvg << 5;
        colorImage.Write(pixel, value);
      } else if (writeColor) {
        colorImage.Write(pixel, red);
      }
    }
    if (zUpdate) depthImage.Write(pixel, b.depth[n]);
  }
}

template <bool kTwoCycle, bool kDepth, bool kPass, bool kCompare>
void WriteAs(const TPipeline& p, TBatch& b) {
  if (p.colorInside && (!kDepth || p.depthInside)) {
    if (p.colorSize == kSize16)
      WriteLanes<kSize16, kTwoCycle, kDepth, kPass, true, kCompare>(p, b);
    else if (p.colorSize == kSize32)
      WriteLanes<kSize32, kTwoCycle, kDepth, kPass, true, kCompare>(p, b);
    else
      WriteLanes<kSize8, kTwoCycle, kDepth, kPass, true, kCompare>(p, b);
  } else if (p.colorSize == kSize16) {
    WriteLanes<kSize16, kTwoCycle, kDepth, kPass, false, kCompare>(p, b);
  } else if (p.colorSize == kSize32) {
    WriteLanes<kSize32, kTwoCycle, kDepth, kPass, false, kCompare>(p, b);
  } else {
    WriteLanes<kSize8, kTwoCycle, kDepth, kPass, false, kCompare>(p, b);
  }
}

template <bool kTwoCycle, bool kDepth>
void Write(const TPipeline& p, TBatch& b) {
  if (!p.pass)
    WriteAs<kTwoCycle, kDepth, false, false>(p, b);
  else if (kDepth && p.compareInWriter)
    WriteAs<false, kDepth, true, kDepth>(p, b);
  else
    WriteAs<false, kDepth, true, false>(p, b);
}

#if defined(__SSE2__)
// Where the lane writer's colours come from: the batch's combined colours; a texel times the
// shade, combined in the writer (see Modulate); or the batch's combined colours through the
// first blender cycle of two, which reads no memory.
enum class TLaneColors { Combined, Modulated, Blended };

// The first of two blender cycles without memory (see BlendCycle) on two pixels' colours, the
// choice of inputs made once: the factors are at most 32 and the colours 0-255, so the sums fit
// sixteen-bit lanes.
class TBlendLanes {
 public:
  explicit TBlendLanes(const TPipeline& p) {
    const TBlenderCycle first = p.blend[0];
    // The inputs other than the pixel's colour: memory's (not read: 0), the blend colour and
    // the fog colour.
    auto constant = [&](uint32_t input) {
      const TTexel color = input == 2 ? p.blendColor : input == 3 ? p.fogColor : 0;
      return _mm_set1_epi64x(static_cast<int64_t>(color & kRgb));
    };
    pColor_ = first.p == 0;
    mColor_ = first.m == 0;
    pInput_ = constant(first.p);
    mInput_ = constant(first.m);
    colorAlpha_ = first.a == 0;
    shadeAlpha_ = first.a == 2;
    const int32_t alpha = first.a == 1 ? State.fog.a : 0;
    aFactor_ = _mm_set1_epi16(static_cast<int16_t>(FactorOf(alpha)));
    oneMinus_ = first.b == 0;
    bFactor_ = _mm_set1_epi16(first.b == 1 ? 4 : first.b == 2 ? 32 : 0);
  }

  // `shadeAlphas`: each pixel's shade alpha in its four lanes.
  [[gnu::always_inline]] __m128i operator()(__m128i colors, __m128i shadeAlphas) const {
    const __m128i rgb = _mm_set1_epi64x(static_cast<int64_t>(kRgb));
    auto factor = [](__m128i alphas) {
      return _mm_srli_epi16(_mm_add_epi16(alphas, _mm_set1_epi16(1)), 3);
    };
    const __m128i a = colorAlpha_   ? factor(AlphaBroadcast(colors))
                      : shadeAlpha_ ? factor(shadeAlphas)
                                    : aFactor_;
    const __m128i b = oneMinus_ ? _mm_sub_epi16(_mm_set1_epi16(32), a) : bFactor_;
    const __m128i pIn = pColor_ ? _mm_and_si128(colors, rgb) : pInput_;
    const __m128i mIn = mColor_ ? _mm_and_si128(colors, rgb) : mInput_;
    const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(pIn, a), _mm_mullo_epi16(mIn, b));
    return _mm_and_si128(_mm_srli_epi16(sum, 5), rgb);
  }

 private:
  static constexpr TTexel kRgb = 0x000000FF00FF00FF;
  __m128i pInput_, mInput_, aFactor_, bFactor_;
  bool pColor_, mColor_, colorAlpha_, shadeAlpha_, oneMinus_;
};

// The stages after the combiner where writerLanes holds (see TPipeline): four pixels at a time
// in SSE2 lanes from their places in the images to the values they write (the colour's
// dithered bits with the coverage bit, the new depth, the compare with memory's depth), then
// only the stores a pixel at a time. The batch's pixels share no memory, so memory's four
// depths can be read before any of the four is written. The last group's entries past the
// batch's end read pixel 0 and write nothing.
template <bool kCompare, bool kUpdate, TLaneColors kColors>
void WriteLanesOf(const TPipeline& p, TBatch& b) {
  const uint32_t count = b.count;
  uint8_t* const colorStart = p.colorStart;
  uint8_t* const depthStart = p.depthStart;
  // The same start for the depths read: the compiler would otherwise keep each read's address
  // for the write, on the stack.
  const uint8_t* depthRead = depthStart;
  asm("" : "+r"(depthRead));
  const TTexel* dither = DitherMatrix(p.modes.rgbDither);
  const __m128i factors = _mm_set1_epi32(static_cast<int32_t>(1 | p.colorWidth << 16));
  // The coverage bit: passCvgBits scaled by 2^-coverage as a float, truncated, its lowest bit.
  const __m128 cvgBits = _mm_set1_ps(static_cast<float>(p.passCvgBits));
  const bool primDepth = p.modes.zSourcePrim;
  const __m128i low = _mm_set1_epi32(static_cast<int32_t>(p.dzExponent >> 2));
  const __m128i primZ = _mm_set1_epi32(static_cast<int32_t>(Compress(p.zPrim, p.dzExponent)));
  auto load = [](const auto* from) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
  };
  const TBlendLanes blend(p);
  for (size_t n = 0; n < count; n += 4) {
    const __m128i x = load(b.x + n), y = load(b.y + n);
    alignas(16) uint32_t at[4], corners[4], values[4];  // at: pixel ^ 1, its 16 bits' place
    _mm_store_si128(reinterpret_cast<__m128i*>(at),
                    _mm_xor_si128(PixelNumbers(x, y, factors), _mm_set1_epi32(1)));
    _mm_store_si128(reinterpret_cast<__m128i*>(corners), Corners(x, y));
    const auto left = static_cast<uint32_t>(count - n);
    uint32_t writes = 0xF;
    if (left < 4) {
      writes = (1u << left) - 1;
      for (uint32_t i = left; i < 4; ++i)
        at[i] = 1;
    }
    const __m128i scale = _mm_slli_epi32(_mm_sub_epi32(_mm_set1_epi32(127), load(b.cvg + n)), 23);
    const __m128i cvgBit = _mm_and_si128(
        _mm_cvttps_epi32(_mm_mul_ps(cvgBits, _mm_castsi128_ps(scale))), _mm_set1_epi32(1));
    auto colors = [&](uint32_t i) {
      if constexpr (kColors == TLaneColors::Modulated) {
        const int32_t* shade = b.attr[n] + kAttrR;
        return ModulateLanes(load(b.texel0 + n + i),
                             ShadeOf(shade + i * kAttrCount, shade + (i + 1) * kAttrCount));
      }
      if constexpr (kColors == TLaneColors::Blended) {
        // The two pixels' shade alphas, each in its four lanes.
        const __m128i two = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b.shadeAlpha + n + i));
        const __m128i halves = _mm_unpacklo_epi32(two, two);
        return blend(load(b.color + n + i), _mm_or_si128(halves, _mm_slli_epi32(halves, 16)));
      }
      return load(b.color + n + i);
    };
    __m128i value = _mm_or_si128(DitherQuad(colors(0), colors(2), corners, dither), cvgBit);
    if constexpr (kCompare || kUpdate) {
      const __m128i depth = primDepth ? primZ : FourDepths(b, n, low);
      if constexpr (kCompare) {
        // Each into the low half of its lane.
        auto stored = [&](uint32_t i) {
          uint16_t z;
          std::memcpy(&z, depthRead + size_t{at[i]} * 2, 2);
          return z;
        };
        __m128i memory = _mm_setzero_si128();
        memory = _mm_insert_epi16(memory, stored(0), 0);
        memory = _mm_insert_epi16(memory, stored(1), 2);
        memory = _mm_insert_epi16(memory, stored(2), 4);
        memory = _mm_insert_epi16(memory, stored(3), 6);
        const __m128i fails = _mm_cmpgt_epi32(_mm_srli_epi32(depth, 2), _mm_srli_epi32(memory, 2));
        writes &= ~static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(fails)));
      }
      if constexpr (kUpdate) value = _mm_or_si128(value, _mm_slli_epi32(depth, 16));
    }
    _mm_store_si128(reinterpret_cast<__m128i*>(values), value);
    // Colour in the low half of each value, depth in the high.
    auto write = [&](uint32_t i) {
      const size_t place = size_t{at[i]} * 2;
      const auto color = static_cast<uint16_t>(values[i]);
      std::memcpy(colorStart + place, &color, 2);
      if constexpr (kUpdate) {
        const auto depth = static_cast<uint16_t>(values[i] >> 16);
        std::memcpy(depthStart + place, &depth, 2);
      }
    };
    // Mostly all four pixels write.
    if (writes == 0xF) {
#pragma GCC unroll 4
      for (uint32_t i = 0; i < 4; ++i)
        write(i);
    } else {
      for (; writes != 0; writes &= writes - 1)
        write(static_cast<uint32_t>(std::countr_zero(writes)));
    }
  }
}

template <bool kDepth, TLaneColors kColors>
void WriteInLanes(const TPipeline& p, TBatch& b) {
  if constexpr (!kDepth)
    WriteLanesOf<false, false, kColors>(p, b);
  else if (!p.modes.zCompare)
    WriteLanesOf<false, true, kColors>(p, b);
  else if (p.modes.zUpdate)
    WriteLanesOf<true, true, kColors>(p, b);
  else
    WriteLanesOf<true, false, kColors>(p, b);
}
#endif

// The stages from the combiner on.
template <bool kTexture, bool kTwoCycle, bool kDepth>
void CombineAndWrite(const TPipeline& p, TBatch& b) {
#if defined(__SSE2__)
  if (p.writerLanes) {
    if (kTexture && !kTwoCycle && Modulates(p.cycles[1]))
      return WriteInLanes<kDepth, TLaneColors::Modulated>(p, b);
    CombineBatch<kTexture, kTwoCycle>(p, b);
    constexpr TLaneColors kColors = kTwoCycle ? TLaneColors::Blended : TLaneColors::Combined;
    return WriteInLanes<kDepth, kColors>(p, b);
  }
#endif
  CombineBatch<kTexture, kTwoCycle>(p, b);
  CoverageAndAlpha(p, b);
  if constexpr (kDepth) DepthTest(p, b);
  Write<kTwoCycle, kDepth>(p, b);
}

// Where the writer takes the batch in lanes (see TPipeline's writerLanes).
void PrepareWriter(TPipeline& p) {
  const TOtherModes& m = p.modes;
  p.passCvgBits = 0;
  for (uint32_t coverage = 0; coverage <= 8; ++coverage)
    p.passCvgBits |= static_cast<uint16_t>((p.passCoverage[coverage] & 1) << coverage);
  // The first of two cycles blends without memory, the second passes its colour on.
  const bool firstBlends =
      p.twoCycle && !m.imageRead && !m.forceBlend && !m.antialias && m.blendP[1] == 0;
  p.writerLanes = (p.pass || firstBlends) && p.colorSize == kSize16 && p.colorInside &&
                  (!p.depthTest || p.depthInside) && !(m.zCompare && m.zMode == kZDecal) &&
                  !m.key && !m.cvgTimesAlpha && !m.alphaCvgSelect && !m.alphaCompare &&
                  !m.colorOnCvg && m.rgbDither != 2;
}

// Whether a span's colour and depth pixels share bytes of memory: then each pixel must be done
// before the next is read, and the span goes through the stages a pixel at a time.
bool ImagesOverlap(const TPipeline& p, const TSpan& span) {
  const uint64_t bytes = p.colorSize == kSize16 ? 2 : p.colorSize == kSize32 ? 4 : 1;
  const uint64_t first =
      uint64_t{static_cast<uint32_t>(span.y)} * p.colorWidth + static_cast<uint32_t>(span.xStart);
  const uint64_t pixels = static_cast<uint32_t>(span.xEnd - span.xStart + 1);
  // Whole words, as the accesses reach them.
  const uint64_t color = p.colorAddress + first * bytes, depth = p.zAddress + first * 2;
  const uint64_t colorEnd = color + pixels * bytes + 3, depthEnd = depth + pixels * 2 + 3;
  return (color & ~3ull) < (depthEnd & ~3ull) && (depth & ~3ull) < (colorEnd & ~3ull);
}

// The batch being gathered for the current primitive.
TBatch batch;

// Runs the gathered pixels through the stages and empties the batch.
template <bool kTexture, bool kTwoCycle, bool kDepth, bool kPerspective>
void Flush(const TPipeline& p) {
  TBatch& b = batch;
  if (b.count == 0) return;
  if constexpr (kTexture) Texels<kTwoCycle, kPerspective>(p, b);
  CombineAndWrite<kTexture, kTwoCycle, kDepth>(p, b);
  b.count = 0;
}

// Adds a span's pixels to the batch, running it whenever it fills. kApart: the primitive's
// spans are apart (see TPipeline), so that none needs the batch run before the next.
template <bool kTexture, bool kTwoCycle, bool kDepth, bool kPerspective, bool kApart>
[[gnu::always_inline]] inline uint32_t RenderSpan(TPipeline& p, const TSpan& span) {
  TAttrLanes attr(span.attr, p.dx);
  const TCoverage coverage = TCoverage::OfWalkedSpan(span);
  TBatch& b = batch;
  // Images apart for every span cannot overlap in this one.
  const bool oneByOne = !kApart && ImagesOverlap(p, span);
  if (oneByOne) Flush<kTexture, kTwoCycle, kDepth, kPerspective>(p);
  uint32_t touched = 0;
  for (int32_t x0 = span.xStart; x0 <= span.xEnd;) {
    const int32_t room = oneByOne ? 1 : kBatch - static_cast<int32_t>(b.count);
    const int32_t x1 = std::min(x0 + room - 1, span.xEnd);
    const uint32_t before = b.count;
    Gather(span, coverage, x0, x1, attr, b);
    touched += b.count - before;
    if (oneByOne || b.count == kBatch) Flush<kTexture, kTwoCycle, kDepth, kPerspective>(p);
    x0 = x1 + 1;
  }
  if (!kApart) Flush<kTexture, kTwoCycle, kDepth, kPerspective>(p);
  return touched;
}

// The walk with the span's work inside: no call, and nothing of the walk's kept in memory
// across one, a scanline.
template <bool kTexture, bool kTwoCycle, bool kDepth, bool kPerspective, bool kApart>
struct TRenderSpan {
  TPipeline& p;
  [[gnu::always_inline]] uint32_t operator()(const TSpan& span) const {
    return RenderSpan<kTexture, kTwoCycle, kDepth, kPerspective, kApart>(p, span);
  }
};

// Without the depth test the spans are always apart.
template <bool kTexture, bool kTwoCycle, bool kDepth, bool kPerspective>
TDrawWork DrawSpans(TPipeline& p, const TPrimitive& primitive) {
  if (!kDepth || p.spansApart)
    return WalkEdges(primitive, TRenderSpan<kTexture, kTwoCycle, kDepth, kPerspective, true>{p});
  return WalkEdges(primitive, TRenderSpan<kTexture, kTwoCycle, kDepth, kPerspective, false>{p});
}

template <int kIndex>
constexpr TDrawFunction DrawFor() {
  return DrawSpans<(kIndex & 1) != 0, (kIndex & 2) != 0, (kIndex & 4) != 0, (kIndex & 8) != 0>;
}
template <int kIndex>
constexpr TFlushFunction FlushFor() {
  return Flush<(kIndex & 1) != 0, (kIndex & 2) != 0, (kIndex & 4) != 0, (kIndex & 8) != 0>;
}

constexpr TDrawFunction kDrawFunctions[16] = {
    DrawFor<0>(),  DrawFor<1>(),  DrawFor<2>(),  DrawFor<3>(), DrawFor<4>(),  DrawFor<5>(),
    DrawFor<6>(),  DrawFor<7>(),  DrawFor<8>(),  DrawFor<9>(), DrawFor<10>(), DrawFor<11>(),
    DrawFor<12>(), DrawFor<13>(), DrawFor<14>(), DrawFor<15>()};
constexpr TFlushFunction kFlushFunctions[16] = {
    FlushFor<0>(),  FlushFor<1>(),  FlushFor<2>(),  FlushFor<3>(), FlushFor<4>(),  FlushFor<5>(),
    FlushFor<6>(),  FlushFor<7>(),  FlushFor<8>(),  FlushFor<9>(), FlushFor<10>(), FlushFor<11>(),
    FlushFor<12>(), FlushFor<13>(), FlushFor<14>(), FlushFor<15>()};

// Everything the modes decide, for primitives like `f`.
void PrepareModes(TPipeline& p, const TPreparedFor& f) {
  const TOtherModes& m = State.modes;
  p.modes = m;
  p.twoCycle = m.cycleType == kCycle2;
  TTexel* in = p.inputs;
  for (uint32_t i = 0; i < kInputs; ++i)
    in[i] = 0;
  in[kInPrim] = PackColor(State.prim);
  in[kInEnv] = PackColor(State.env);
  in[kInPrimAlpha] = Broadcast(State.prim.a);
  in[kInEnvAlpha] = Broadcast(State.env.a);
  in[kInOne] = Broadcast(256);
  in[kInKeyCenter] =
      Pack(static_cast<uint32_t>(State.key.center[0]), static_cast<uint32_t>(State.key.center[1]),
           static_cast<uint32_t>(State.key.center[2]), 0);
  in[kInKeyScale] =
      Pack(static_cast<uint32_t>(State.key.scale[0]), static_cast<uint32_t>(State.key.scale[1]),
           static_cast<uint32_t>(State.key.scale[2]), 0);
  in[kInK4] = Broadcast(State.convert[4]);
  in[kInK5] = Broadcast(State.convert[5]);
  in[kInPrimLodFrac] = Broadcast(static_cast<int32_t>(State.primLodFrac));
  p.blendColor = PackColor(State.blend);
  p.fogColor = PackColor(State.fog);
  // Primitives mostly follow others with the same combiner: its selects are decoded again
  // only where they changed.
  if (!p.combinerDecoded || !(p.combineDecoded == State.combine)) {
    p.needsNoise = p.needsShadeAlpha = p.needsTexelAlpha = p.needsCombinedAlpha = false;
    PrepareCombiner(p, 0);
    PrepareCombiner(p, 1);
    p.readsTexel1 = ReadsTexel1(p);
    p.combineDecoded = State.combine;
    p.combinerDecoded = true;
  }
  auto same = [](const TCombinerCycle& c) {
    return std::equal(std::begin(c.rgb), std::end(c.rgb), std::begin(c.alpha));
  };
  p.samePicks = same(p.cycles[1]) && (!p.twoCycle || same(p.cycles[0]));
  p.pass = !p.twoCycle && !m.imageRead && !m.forceBlend && !m.antialias && m.blendP[0] == 0;
  const bool texture = f.texture;
  p.tile = f.tile;
  p.levels = f.levels;
  p.lod = m.lod && texture;
  p.bilinear = m.bilinear;
  p.midTexel = m.midTexel;
  p.perspective = m.perspective && f.triangle;
  p.convert[0] = !m.biLerp0;
  p.convert[1] = !m.biLerp1;
  // The tiles this primitive can reach: its own and the next, or every level of detail.
  if (texture) {
    const uint32_t tiles = p.lod ? std::min(f.levels + 3, 8u) : 2;
    for (uint32_t i = 0; i < tiles; ++i)
      p.samplers[(p.tile + i) & 7] = PrepareSampler(State.tiles[(p.tile + i) & 7], m);
  }
  for (int cycle = 0; cycle < 2; ++cycle)
    p.blend[cycle] = {m.blendP[cycle], m.blendM[cycle], m.blendA[cycle], m.blendB[cycle]};
  p.colorAddress = State.colorImage.address;
  p.colorWidth = State.colorImage.width;
  p.colorSize = State.colorImage.size;
  p.zAddress = State.zImage;
  p.zPrim = (State.primZ & 0x7FFF) << 3;
  p.dzPrim = State.primDz;
  p.depthTest = m.zCompare || m.zUpdate;
  p.compareInWriter = p.pass && m.zCompare && m.zMode != kZDecal;
  // Without memory the coverage written and whether the colour is depend on the pixel's
  // coverage alone.
  for (uint32_t coverage = 0; coverage <= 8; ++coverage) {
    const uint32_t out = CoverageOut(m.cvgDest, coverage, 0);
    p.passCoverage[coverage] =
        static_cast<uint8_t>(out << 1 | out >> 2 | (!m.colorOnCvg || coverage > 7 ? 0x80 : 0));
  }
  const int index = (texture ? 1 : 0) | (p.twoCycle ? 2 : 0) | (p.depthTest ? 4 : 0) |
                    (p.perspective && texture ? 8 : 0);
  // A batch may hold several spans where the depth test's reads cannot see another span's
  // writes: the colour and depth images share no memory, and no row reaches past the images'
  // width into the next. Otherwise it holds one span, so that each span's writes come before
  // the next span's reads.
  const uint64_t rows = (State.scissor.yl >> 2) + 1;
  const uint64_t colorBytes = p.colorSize == kSize16 ? 2 : p.colorSize == kSize32 ? 4 : 1;
  const uint64_t colorEnd = p.colorAddress + rows * p.colorWidth * colorBytes + 4;
  const uint64_t depthEnd = p.zAddress + rows * p.colorWidth * 2 + 4;
  const uint32_t right = State.scissor.xl;  // the last pixel x drawn is (right * 2 - 1) >> 3
  const bool rowsApart = right == 0 || ((right * 2 - 1) >> 3) < p.colorWidth;
  p.spansApart =
      !p.depthTest ||
      (rowsApart && (colorEnd <= (p.zAddress & ~3u) || depthEnd <= (p.colorAddress & ~3u)));
  // The last pixel the scissor lets through: rows below its bottom and pixels right of its
  // right edge are never drawn.
  const uint64_t lastPixel = (rows - 1) * p.colorWidth + (right == 0 ? 0 : (right * 2 - 1) >> 3);
  const uint64_t size = f.rdramSize;
  p.colorInside =
      (p.colorAddress & 3) == 0 && p.colorAddress + (lastPixel + 1) * colorBytes + 4 <= size;
  p.depthInside = (p.zAddress & 3) == 0 && p.zAddress + (lastPixel + 1) * 2 + 4 <= size;
  uint8_t* const ram = f.rdram;
  p.colorStart = p.colorInside ? ram + p.colorAddress : ram;
  p.depthStart = p.depthInside ? ram + p.zAddress : ram;
  p.draw = kDrawFunctions[index];
  p.flush = kFlushFunctions[index];
  PrepareWriter(p);
}

}  // namespace

void PreparePipeline(TPipeline& p, const TPrimitive& primitive) {
  // Primitives mostly follow others in the same modes: the modes' part is prepared again only
  // where the state or the kind of primitive changed.
  const TPreparedFor f{primitive.texture || primitive.kind == TPrimitiveKind::TextureRectangle,
                       primitive.kind == TPrimitiveKind::Triangle,
                       primitive.tile & 7,
                       primitive.levels,
                       TRdramView{}.data,
                       RdramSize()};
  if (!p.prepared || !(p.preparedFor == f) ||
      std::memcmp(p.preparedState, &State, kModeStateBytes) != 0) {
    PrepareModes(p, f);
    std::memcpy(p.preparedState, &State, kModeStateBytes);
    p.preparedFor = f;
    p.prepared = true;
  }
  for (uint32_t i = 0; i < kAttrCount; ++i) {
    p.dx[i] = primitive.dx[i];
    p.dy[i] = primitive.dy[i];
  }
  p.dzPixel = static_cast<uint32_t>((std::abs(static_cast<int64_t>(primitive.dx[kAttrZ])) +
                                     std::abs(static_cast<int64_t>(primitive.dy[kAttrZ]))) >>
                                    16) &
              0xFFFF;
  p.primitive = State.primitiveCount;
  const uint32_t dz = p.modes.zSourcePrim ? p.dzPrim : p.dzPixel;
  p.dzExponent = DepthSlopeExponent(dz);
  p.dz18 = dz << 3;
}

uint32_t CompressDepth(uint32_t z18, uint32_t dzExponent) {
  return Compress(z18, dzExponent);
}

uint32_t DecompressDepth(uint32_t stored) {
  return Decompress(stored);
}

uint32_t DepthSlopeExponent(uint32_t dz) {
  dz &= 0xFFFF;
  return dz == 0 ? 0 : static_cast<uint32_t>(std::bit_width(dz) - 1);
}

}  // namespace vantor::rdp
