#include "rdp/Pipeline.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>

namespace vantor::rdp {

namespace {

TLanes Broadcast(int32_t value) {
  return {{value, value, value, value}};
}
TLanes FromColor(const TColor& c) {
  return {{c.r, c.g, c.b, c.a}};
}

// Combiner inputs by select value, as the set-combine command numbers them.
const int32_t* SubA(TPipeline& p, uint32_t sel) {
  switch (sel) {
    case 0:
      return p.combined.v;
    case 1:
      return p.texel0.v;
    case 2:
      return p.texel1.v;
    case 3:
      return p.prim.v;
    case 4:
      return p.shade.v;
    case 5:
      return p.env.v;
    case 6:
      return p.one.v;
    case 7:
      return p.noise.v;
    default:
      return p.zero.v;
  }
}

const int32_t* SubB(TPipeline& p, uint32_t sel) {
  switch (sel) {
    case 6:
      return p.keyCenter.v;
    case 7:
      return p.k4.v;
    default:
      return sel < 6 ? SubA(p, sel) : p.zero.v;
  }
}

const int32_t* Mul(TPipeline& p, uint32_t sel) {
  switch (sel) {
    case 6:
      return p.keyScale.v;
    case 7:
      return p.combinedAlpha.v;
    case 8:
      return p.texel0Alpha.v;
    case 9:
      return p.texel1Alpha.v;
    case 10:
      return p.primAlpha.v;
    case 11:
      return p.shadeAlpha.v;
    case 12:
      return p.envAlpha.v;
    case 13:
      return p.lodFrac.v;
    case 14:
      return p.primLodFrac.v;
    case 15:
      return p.k5.v;
    default:
      return sel < 6 ? SubA(p, sel) : p.zero.v;
  }
}

const int32_t* Add(TPipeline& p, uint32_t sel) {
  return sel == 7 ? p.zero.v : SubA(p, sel);
}

// Alpha inputs: the alpha lane of each source.
const int32_t* AlphaInput(TPipeline& p, uint32_t sel) {
  switch (sel) {
    case 0:
      return &p.combined.v[3];
    case 1:
      return &p.texel0.v[3];
    case 2:
      return &p.texel1.v[3];
    case 3:
      return &p.prim.v[3];
    case 4:
      return &p.shade.v[3];
    case 5:
      return &p.env.v[3];
    case 6:
      return &p.one.v[3];
    default:
      return &p.zero.v[3];
  }
}

const int32_t* AlphaMul(TPipeline& p, uint32_t sel) {
  switch (sel) {
    case 0:
      return &p.lodFrac.v[3];
    case 6:
      return &p.primLodFrac.v[3];
    case 7:
      return &p.zero.v[3];
    default:
      return AlphaInput(p, sel);
  }
}

void PrepareCombiner(TPipeline& p, int cycle) {
  const TCombine& c = State.combine;
  TCombinerCycle& out = p.cycles[cycle];
  const int32_t* a = SubA(p, c.subA[cycle]);
  const int32_t* b = SubB(p, c.subB[cycle]);
  const int32_t* m = Mul(p, c.mul[cycle]);
  const int32_t* d = Add(p, c.add[cycle]);
  for (int lane = 0; lane < 3; ++lane) {
    out.a[lane] = a + lane;
    out.b[lane] = b + lane;
    out.c[lane] = m + lane;
    out.d[lane] = d + lane;
  }
  out.alpha[0] = AlphaInput(p, c.subAAlpha[cycle]);
  out.alpha[1] = AlphaInput(p, c.subBAlpha[cycle]);
  out.alpha[2] = AlphaMul(p, c.mulAlpha[cycle]);
  out.alpha[3] = AlphaInput(p, c.addAlpha[cycle]);
  p.needsNoise = p.needsNoise || c.subA[cycle] == 7;
}

// (a - b) * c + d with the combiner's rounding; sums past 8 bits clamp, and the ninth bit
// tells an overflow (to 255) from a negative result (to 0).
inline int32_t CombineChannel(int32_t a, int32_t b, int32_t c, int32_t d) {
  const int32_t sum = (((a - b) * c) + d * 256 + 0x80) >> 8;
  const int32_t wrapped = sum & 0x1FF;
  if (wrapped < 0x100) return wrapped;
  return wrapped >= 0x180 ? 0 : 255;
}

inline void Combine(const TCombinerCycle& cycle, TLanes& out) {
  for (int lane = 0; lane < 3; ++lane)
    out.v[lane] = CombineChannel(*cycle.a[lane], *cycle.b[lane], *cycle.c[lane], *cycle.d[lane]);
  out.v[3] = CombineChannel(*cycle.alpha[0], *cycle.alpha[1], *cycle.alpha[2], *cycle.alpha[3]);
}

// Attributes wrap as the hardware's registers do.
inline int32_t Step(int32_t value, int32_t step) {
  return static_cast<int32_t>(static_cast<uint32_t>(value) + static_cast<uint32_t>(step));
}

inline int32_t Clamp8(int32_t v) {
  return v < 0 ? 0 : v > 255 ? 255 : v;
}

// Texture coordinates: s10.5 from the top of the attribute, or divided by W under perspective.
inline int32_t Coordinate(int32_t value) {
  return static_cast<int16_t>(value >> 16);
}
// Under perspective both coordinates are multiplied by one reciprocal of W, about 2^46 / W, so
// that the product over 2^31 is the coordinate times 2^15 / W. As the hardware's divider does,
// the reciprocal comes from a table: W is normalised to [1, 2), its top nine bits below the
// leading one pick an entry of 2^40 / (512 + i), and the next sixteen bits interpolate to the
// next entry.
constexpr auto kReciprocals = [] {
  std::array<uint32_t, 513> table{};
  for (uint64_t i = 0; i <= 512; ++i)
    table[i] = static_cast<uint32_t>(((uint64_t{1} << 41) / (512 + i) + 1) / 2);
  return table;
}();

inline uint64_t PerspectiveReciprocal(int32_t w) {
  const auto positive = static_cast<uint32_t>(w <= 0 ? 1 : w);
  const auto shift = static_cast<uint32_t>(std::countl_zero(positive));
  const uint32_t normal = positive << shift;
  const uint32_t index = (normal >> 22) & 0x1FF, fraction = (normal >> 6) & 0xFFFF;
  const uint64_t high = kReciprocals[index], low = kReciprocals[index + 1];
  const uint64_t reciprocal = high - (((high - low) * fraction) >> 16);
  return (reciprocal << shift) >> 16;
}
inline int32_t PerspectiveCoordinate(int32_t value, uint64_t reciprocal) {
  const auto q = static_cast<int64_t>((static_cast<__int128>(value) * reciprocal) >> 31);
  return static_cast<int32_t>(std::clamp<int64_t>(q, -32768, 32767));
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

inline uint32_t Dither(int32_t c, uint32_t d) {
  uint32_t c5 = static_cast<uint32_t>(c) >> 3;
  if (static_cast<uint32_t>(c & 7) > d && c5 < 31) ++c5;
  return c5;
}

// Where each depth exponent's range starts in the 18-bit range, and how far its mantissa is
// shifted.
constexpr uint32_t kDepthBase[8] = {0,       0x20000, 0x30000, 0x38000,
                                    0x3C000, 0x3E000, 0x3F000, 0x3F800};
constexpr uint32_t kDepthShift[8] = {6, 5, 4, 3, 2, 1, 0, 0};

// Blend factors on a scale of 32: the A input, and the B input by its select.
inline int32_t FactorOf(int32_t alpha) {
  return (alpha + 1) >> 3;
}

// One pixel of a span with `cvg` samples covered; `a` holds its attributes and `below` those
// one scanline down.
template <bool kTexture, bool kTwoCycle, bool kDepth, bool kPerspective>
inline void RenderPixel(TPipeline& p, int32_t x, int32_t spanY, uint32_t cvg, const int32_t* a,
                        const int32_t* below) {
  const TOtherModes& m = p.modes;
  const uint32_t y = static_cast<uint32_t>(spanY);
  const uint32_t rowPixel = y * p.colorWidth;
  for (int lane = 0; lane < 4; ++lane)
    p.shade.v[lane] = Clamp8(a[kAttrR + lane] >> 16);
  p.shadeAlpha = Broadcast(p.shade.v[3]);
  if (p.needsNoise) p.noise = Broadcast(static_cast<int32_t>(Noise(x, spanY, p.primitive) & 0xFF));
  if constexpr (kTexture) {
    int32_t s, t;
    if constexpr (kPerspective) {
      const uint64_t reciprocal = PerspectiveReciprocal(a[kAttrW]);
      s = PerspectiveCoordinate(a[kAttrS], reciprocal);
      t = PerspectiveCoordinate(a[kAttrT], reciprocal);
    } else {
      s = Coordinate(a[kAttrS]);
      t = Coordinate(a[kAttrT]);
    }
    uint32_t tile0 = p.tile, tile1 = (p.tile + 1) & 7;
    if (p.lod) {
      int32_t sx, tx, sy, ty;
      const int32_t nextS = Step(a[kAttrS], p.dx[kAttrS]), nextT = Step(a[kAttrT], p.dx[kAttrT]);
      if constexpr (kPerspective) {
        const uint64_t nextW = PerspectiveReciprocal(Step(a[kAttrW], p.dx[kAttrW]));
        const uint64_t belowW = PerspectiveReciprocal(below[kAttrW]);
        sx = PerspectiveCoordinate(nextS, nextW);
        tx = PerspectiveCoordinate(nextT, nextW);
        sy = PerspectiveCoordinate(below[kAttrS], belowW);
        ty = PerspectiveCoordinate(below[kAttrT], belowW);
      } else {
        sx = Coordinate(nextS);
        tx = Coordinate(nextT);
        sy = Coordinate(below[kAttrS]);
        ty = Coordinate(below[kAttrT]);
      }
      const TLod lod = LevelOfDetail(p, s, t, sx, tx, sy, ty);
      tile0 = lod.tile0;
      tile1 = lod.tile1;
      p.lodFrac = Broadcast(lod.frac);
    }
    const TSampler& first = p.samplers[tile0];
    TColor c0 = SampleTexture(first, s, t, p.bilinear, p.midTexel);
    if (first.yuv && p.convert[0]) c0 = ConvertYuv(c0, State.convert);
    p.texel0 = FromColor(c0);
    if constexpr (kTwoCycle) {
      const TSampler& second = p.samplers[tile1];
      TColor c1 = SampleTexture(second, s, t, p.bilinear, p.midTexel);
      if (second.yuv && p.convert[1]) c1 = ConvertYuv(c1, State.convert);
      p.texel1 = FromColor(c1);
    } else {
      p.texel1 = p.texel0;
    }
    p.texel0Alpha = Broadcast(p.texel0.v[3]);
    p.texel1Alpha = Broadcast(p.texel1.v[3]);
  }
  // The colour combiner: one-cycle mode runs the second cycle's equation.
  TLanes color;
  p.combined = TLanes{};
  p.combinedAlpha = TLanes{};
  if constexpr (kTwoCycle) {
    Combine(p.cycles[0], p.combined);
    p.combinedAlpha = Broadcast(p.combined.v[3]);
  }
  Combine(p.cycles[1], color);
  if (m.key) color.v[3] = KeyAlpha(color.v[0], color.v[1], color.v[2], State.key);
  // Coverage and alpha.
  uint32_t coverage = cvg;
  if (m.cvgTimesAlpha) coverage = (cvg * static_cast<uint32_t>(color.v[3] + 1)) >> 8;
  if (coverage == 0) return;
  const int32_t alpha = m.alphaCvgSelect ? std::min<int32_t>(coverage * 32, 255) : color.v[3];
  if (m.alphaCompare) {
    const int32_t threshold = m.ditherAlpha
                                  ? static_cast<int32_t>(Noise(x, spanY, p.primitive) >> 8 & 0xFF)
                                  : State.blend.a;
    if (alpha < threshold) return;
  }
  // Depth.
  uint32_t z18 = 0;
  const uint32_t pixel = rowPixel + static_cast<uint32_t>(x);
  const uint32_t zAddress = p.zAddress + pixel * 2;
  if constexpr (kDepth) {
    z18 = m.zSourcePrim ? p.zPrim : static_cast<uint32_t>(std::clamp(a[kAttrZ] >> 13, 0, 0x3FFFF));
    if (m.zCompare) {
      // Depth compares at the precision memory keeps, so that a primitive drawn again at the
      // same depth passes.
      const uint32_t stored = ReadRdram16(zAddress);
      const uint32_t memZ = DecompressDepth(stored);
      const uint32_t z = DecompressDepth(CompressDepth(z18, 0));
      if (m.zMode == kZDecal) {
        const uint32_t memDz = (1u << ((stored & 3) << 2)) << 3;
        const uint32_t diff = z > memZ ? z - memZ : memZ - z;
        if (diff > std::max(p.dz18, memDz)) return;
      } else if (z > memZ) {
        return;
      }
    }
  }
  // Memory.
  uint32_t colorAddress = p.colorAddress;
  TLanes memory;
  uint32_t memCvg = 0;
  if (p.colorSize == kSize16) {
    colorAddress += pixel * 2;
    if (m.imageRead) {
      const uint32_t old = ReadRdram16(colorAddress);
      memory = FromColor(Decode5551(old));
      memCvg = (old & 1) != 0 ? 7 : 0;
    }
  } else if (p.colorSize == kSize32) {
    colorAddress += pixel * 4;
    if (m.imageRead) {
      const uint32_t old = ReadRdram32(colorAddress);
      memory = FromColor(UnpackColor(old));
      memCvg = (old >> 5) & 7;
    }
  } else {
    colorAddress += pixel;
    if (m.imageRead) {
      const auto old = static_cast<int32_t>(ReadRdram8(colorAddress));
      memory = Broadcast(old);
    }
  }
  // The blender: in two-cycle mode the first cycle always blends, feeding the second.
  const int32_t inputAlpha[4] = {alpha, State.fog.a, p.shade.v[3], 0};
  auto blendCycle = [&](const TBlenderCycle& cycle, const TLanes& in, bool divide) {
    const TLanes* sources[4] = {&in, &memory, &p.blendColor, &p.fogColor};
    const TLanes& pIn = *sources[cycle.p];
    const TLanes& mIn = *sources[cycle.m];
    const int32_t af = FactorOf(inputAlpha[cycle.a]);
    const int32_t bf = cycle.b == 0   ? 32 - af
                       : cycle.b == 1 ? static_cast<int32_t>(memCvg + 1) * 4
                       : cycle.b == 2 ? 32
                                      : 0;
    TLanes out;
    for (int lane = 0; lane < 3; ++lane) {
      const int32_t sum = pIn.v[lane] * af + mIn.v[lane] * bf;
      if (divide)
        out.v[lane] = af + bf != 0 ? (sum / (af + bf)) & 0xFF : pIn.v[lane];
      else
        out.v[lane] = (sum >> 5) & 0xFF;
    }
    return out;
  };
  TLanes blended = color;
  int last = 0;
  if constexpr (kTwoCycle) {
    blended = blendCycle(p.blend[0], color, false);
    last = 1;
  }
  const TBlenderCycle& final = p.blend[last];
  if (m.forceBlend) {
    blended = blendCycle(final, blended, false);
  } else if (m.antialias && coverage < 8) {
    blended = blendCycle(final, blended, true);
  } else {
    const TLanes* sources[4] = {&blended, &memory, &p.blendColor, &p.fogColor};
    blended = *sources[final.p];
  }
  // Coverage into memory, then the colour.
  uint32_t newCvg;
  switch (m.cvgDest) {
    case kCvgClamp:
      newCvg = std::min(coverage + memCvg, 7u);
      break;
    case kCvgWrap:
      newCvg = (coverage + memCvg) & 7;
      break;
    case kCvgZap:
      newCvg = 7;
      break;
    default:
      newCvg = memCvg;
      break;
  }
  const bool writeColor = !m.colorOnCvg || coverage + memCvg > 7;
  if (p.colorSize == kSize16) {
    uint32_t value;
    if (writeColor) {
      uint32_t r5, g5, b5;
      if (m.rgbDither == 3) {
        r5 = static_cast<uint32_t>(blended.v[0]) >> 3;
        g5 = static_cast<uint32_t>(blended.v[1]) >> 3;
        b5 = static_cast<uint32_t>(blended.v[2]) >> 3;
      } else {
        const uint32_t d = m.rgbDither == 0   ? kMagicSquare[(y & 3) * 4 + (x & 3)]
                           : m.rgbDither == 1 ? kBayer[(y & 3) * 4 + (x & 3)]
                                              : Noise(x, spanY, p.primitive) & 7;
        r5 = Dither(blended.v[0], d);
        g5 = Dither(blended.v[1], d);
        b5 = Dither(blended.v[2], d);
      }
      value = r5 << 11 | g5 << 6 | b5 << 1 | newCvg >> 2;
    } else {
      value = (ReadRdram16(colorAddress) & ~1u) | newCvg >> 2;
    }
    WriteRdram16(colorAddress, value);
  } else if (p.colorSize == kSize32) {
    uint32_t value;
    if (writeColor)
      value = static_cast<uint32_t>(blended.v[0]) << 24 |
              static_cast<uint32_t>(blended.v[1]) << 16 | static_cast<uint32_t>(blended.v[2]) << 8 |
              newCvg << 5;
    else
      value = (ReadRdram32(colorAddress) & ~0xFFu) | newCvg << 5;
    WriteRdram32(colorAddress, value);
  } else if (writeColor) {
    WriteRdram8(colorAddress, static_cast<uint32_t>(blended.v[0]));
  }
  if constexpr (kDepth) {
    if (m.zUpdate) WriteRdram16(zAddress, CompressDepth(z18, p.dzExponent));
  }
}

template <bool kTexture, bool kTwoCycle, bool kDepth, bool kPerspective>
uint32_t RenderSpan(TPipeline& p, const TSpan& span) {
  int32_t a[kAttrCount];
  int32_t below[kAttrCount];
  for (uint32_t i = 0; i < kAttrCount; ++i) {
    a[i] = span.attr[i];
    below[i] = Step(span.attr[i], p.dy[i]);
  }
  uint32_t touched = 0;
  for (int32_t x = span.xStart; x <= span.xEnd; ++x) {
    const uint32_t cvg = (x >= span.fullStart && x <= span.fullEnd) ? 8 : CoverageAt(span, x);
    if (cvg != 0) {
      ++touched;
      RenderPixel<kTexture, kTwoCycle, kDepth, kPerspective>(p, x, span.y, cvg, a, below);
    }
    for (uint32_t i = 0; i < kAttrCount; ++i)
      a[i] = Step(a[i], p.dx[i]);
    if (p.lod)
      for (uint32_t i = 0; i < kAttrCount; ++i)
        below[i] = Step(below[i], p.dx[i]);
  }
  return touched;
}

template <int kIndex>
constexpr TSpanFunction SpanFor() {
  return RenderSpan<(kIndex & 1) != 0, (kIndex & 2) != 0, (kIndex & 4) != 0, (kIndex & 8) != 0>;
}

constexpr TSpanFunction kSpanFunctions[16] = {
    SpanFor<0>(),  SpanFor<1>(),  SpanFor<2>(),  SpanFor<3>(), SpanFor<4>(),  SpanFor<5>(),
    SpanFor<6>(),  SpanFor<7>(),  SpanFor<8>(),  SpanFor<9>(), SpanFor<10>(), SpanFor<11>(),
    SpanFor<12>(), SpanFor<13>(), SpanFor<14>(), SpanFor<15>()};

}  // namespace

void PreparePipeline(TPipeline& p, const TPrimitive& primitive) {
  const TOtherModes& m = State.modes;
  p.modes = m;
  p.twoCycle = m.cycleType == kCycle2;
  p.prim = FromColor(State.prim);
  p.env = FromColor(State.env);
  p.primAlpha = Broadcast(State.prim.a);
  p.envAlpha = Broadcast(State.env.a);
  p.one = Broadcast(256);
  p.zero = TLanes{};
  p.keyCenter = {{State.key.center[0], State.key.center[1], State.key.center[2], 0}};
  p.keyScale = {{State.key.scale[0], State.key.scale[1], State.key.scale[2], 0}};
  p.k4 = Broadcast(State.convert[4]);
  p.k5 = Broadcast(State.convert[5]);
  p.primLodFrac = Broadcast(static_cast<int32_t>(State.primLodFrac));
  p.lodFrac = TLanes{};
  p.shade = p.shadeAlpha = TLanes{};
  p.texel0 = p.texel1 = p.texel0Alpha = p.texel1Alpha = TLanes{};
  p.blendColor = FromColor(State.blend);
  p.fogColor = FromColor(State.fog);
  p.needsNoise = false;
  PrepareCombiner(p, 0);
  PrepareCombiner(p, 1);
  const bool texture = primitive.texture || primitive.kind == TPrimitiveKind::TextureRectangle;
  p.tile = primitive.tile & 7;
  p.levels = primitive.levels;
  p.lod = m.lod && texture;
  p.bilinear = m.bilinear;
  p.midTexel = m.midTexel;
  p.perspective = m.perspective && primitive.kind == TPrimitiveKind::Triangle;
  p.convert[0] = !m.biLerp0;
  p.convert[1] = !m.biLerp1;
  if (texture)
    for (uint32_t i = 0; i < 8; ++i)
      p.samplers[i] = PrepareSampler(State.tiles[i], m);
  for (int cycle = 0; cycle < 2; ++cycle)
    p.blend[cycle] = {m.blendP[cycle], m.blendM[cycle], m.blendA[cycle], m.blendB[cycle]};
  p.colorAddress = State.colorImage.address;
  p.colorWidth = State.colorImage.width;
  p.colorSize = State.colorImage.size;
  p.zAddress = State.zImage;
  for (uint32_t i = 0; i < kAttrCount; ++i) {
    p.dx[i] = primitive.dx[i];
    p.dy[i] = primitive.dy[i];
  }
  p.zPrim = (State.primZ & 0x7FFF) << 3;
  p.dzPrim = State.primDz;
  p.dzPixel = static_cast<uint32_t>((std::abs(static_cast<int64_t>(primitive.dx[kAttrZ])) +
                                     std::abs(static_cast<int64_t>(primitive.dy[kAttrZ]))) >>
                                    16) &
              0xFFFF;
  p.primitive = State.primitiveCount;
  p.depthTest = m.zCompare || m.zUpdate;
  const uint32_t dz = m.zSourcePrim ? p.dzPrim : p.dzPixel;
  p.dzExponent = DepthSlopeExponent(dz);
  p.dz18 = dz << 3;
  const int index = (texture ? 1 : 0) | (p.twoCycle ? 2 : 0) | (p.depthTest ? 4 : 0) |
                    (p.perspective && texture ? 8 : 0);
  p.span = kSpanFunctions[index];
}

uint32_t CompressDepth(uint32_t z18, uint32_t dzExponent) {
  // The exponent counts the leading ones of the 18 bits, up to seven.
  const uint32_t exponent =
      std::min(static_cast<uint32_t>(std::countl_one(static_cast<uint32_t>(z18 << 14))), 7u);
  const uint32_t mantissa = (z18 >> kDepthShift[exponent]) & 0x7FF;
  return exponent << 13 | mantissa << 2 | (dzExponent >> 2);
}

uint32_t DecompressDepth(uint32_t stored) {
  const uint32_t exponent = (stored >> 13) & 7;
  return kDepthBase[exponent] + (((stored >> 2) & 0x7FF) << kDepthShift[exponent]);
}

uint32_t DepthSlopeExponent(uint32_t dz) {
  dz &= 0xFFFF;
  return dz == 0 ? 0 : static_cast<uint32_t>(std::bit_width(dz) - 1);
}

}  // namespace vantor::rdp
