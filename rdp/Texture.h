// Texture sampling for the rasterizer: a tile's addressing prepared once per primitive, texels
// fetched from TMEM in every format, point and three-texel bilinear filtering. Internal to rdp/.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "rdp/RdpState.h"

namespace vantor::rdp {

// How a texel is read out of TMEM, chosen once per tile.
enum class TFetch : uint8_t {
  Rgba16,
  Rgba32,
  Yuv16,
  Ia4,
  Ia8,
  Ia16,
  I4,
  I8,
  Tlut4,  // 4-bit index with the tile's palette, through the TLUT
  Tlut8,
};

// One axis of a tile: s10.5 coordinate to a texel index.
struct TAxis {
  int32_t origin = 0;  // the tile's low coordinate in 10.5
  uint32_t shiftRight = 0, shiftLeft = 0;
  bool clamp = false, mirror = false;
  int32_t max = 0;    // the last texel under clamping
  uint32_t mask = 0;  // (1 << mask bits) - 1, or 0 without wrapping
  uint32_t maskBits = 0;
};

struct TSampler {
  TAxis s, t;
  TFetch fetch = TFetch::Rgba16;
  uint32_t tmem = 0, line = 0;
  uint32_t palette = 0;
  bool tlutIa = false;
  bool yuv = false;
};

inline TAxis PrepareAxis(uint32_t low, uint32_t high, uint32_t shift, uint32_t mask, bool clamp,
                         bool mirror) {
  TAxis axis;
  axis.origin = static_cast<int32_t>(low) << 3;
  if (shift <= 10)
    axis.shiftRight = shift;
  else
    axis.shiftLeft = 16 - shift;
  axis.maskBits = std::min(mask, 10u);
  axis.mask = axis.maskBits != 0 ? (1u << axis.maskBits) - 1 : 0;
  // Without a mask the tile clamps whatever its clamp bit says.
  axis.clamp = clamp || axis.maskBits == 0;
  axis.mirror = mirror && axis.maskBits != 0;
  axis.max = (static_cast<int32_t>(high) - static_cast<int32_t>(low)) >> 2;
  return axis;
}

inline TFetch FetchKind(const TTile& tile, bool tlut) {
  if (tlut && tile.size <= kSize8) return tile.size == kSize4 ? TFetch::Tlut4 : TFetch::Tlut8;
  switch (tile.format) {
    case kFormatRgba:
      return tile.size == kSize32   ? TFetch::Rgba32
             : tile.size == kSize16 ? TFetch::Rgba16
             : tile.size == kSize8  ? TFetch::I8
                                    : TFetch::I4;
    case kFormatYuv:
      return tile.size == kSize32 ? TFetch::Rgba32 : TFetch::Yuv16;
    case kFormatIa:
      return tile.size == kSize4    ? TFetch::Ia4
             : tile.size == kSize8  ? TFetch::Ia8
             : tile.size == kSize16 ? TFetch::Ia16
                                    : TFetch::Rgba32;
    case kFormatCi:
    case kFormatI:
    default:
      return tile.size == kSize4    ? TFetch::I4
             : tile.size == kSize8  ? TFetch::I8
             : tile.size == kSize16 ? TFetch::Rgba16
                                    : TFetch::Rgba32;
  }
}

inline TSampler PrepareSampler(const TTile& tile, const TOtherModes& modes) {
  TSampler sampler;
  sampler.s = PrepareAxis(tile.sl, tile.sh, tile.shiftS, tile.maskS, tile.clampS, tile.mirrorS);
  sampler.t = PrepareAxis(tile.tl, tile.th, tile.shiftT, tile.maskT, tile.clampT, tile.mirrorT);
  sampler.fetch = FetchKind(tile, modes.tlut);
  sampler.tmem = tile.tmem;
  sampler.line = tile.line;
  sampler.palette = tile.palette << 4;
  sampler.tlutIa = modes.tlutIa;
  sampler.yuv = sampler.fetch == TFetch::Yuv16;
  return sampler;
}

// A coordinate shifted and moved to the tile's origin, in 10.5.
inline int32_t TileCoordinate(const TAxis& axis, int32_t c) {
  c = axis.shiftLeft != 0 ? c * (1 << axis.shiftLeft) : c >> axis.shiftRight;
  return c - axis.origin;
}

inline int32_t ClampTexel(const TAxis& axis, int32_t texel) {
  if (!axis.clamp) return texel;
  return texel < 0 ? 0 : std::min(texel, axis.max);
}

inline uint32_t WrapTexel(const TAxis& axis, int32_t texel) {
  auto index = static_cast<uint32_t>(texel);
  if (axis.mirror && ((index >> axis.maskBits) & 1) != 0) index = ~index;
  return axis.mask != 0 ? index & axis.mask : index;
}

inline int32_t Expand5(uint32_t v) {
  return static_cast<int32_t>((v << 3) | (v >> 2));
}

inline TColor Decode5551(uint32_t texel) {
  return {Expand5(texel >> 11 & 31), Expand5(texel >> 6 & 31), Expand5(texel >> 1 & 31),
          (texel & 1) != 0 ? 255 : 0};
}

inline TColor DecodeIa88(uint32_t texel) {
  const auto i = static_cast<int32_t>(texel >> 8 & 0xFF);
  return {i, i, i, static_cast<int32_t>(texel & 0xFF)};
}

// Colours in flight are packed four channels to a 64-bit word, sixteen bits each (red at the
// bottom, alpha on top), so that filtering weighs all four with one multiplication and the
// combiner works on all four at once.
using TTexel = uint64_t;
inline constexpr TTexel kLaneOnes = 0x0001000100010001;
inline constexpr TTexel kLaneBytes = 0x00FF00FF00FF00FF;

inline TTexel Pack(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  return TTexel{r & 0xFFFF} | TTexel{g & 0xFFFF} << 16 | TTexel{b & 0xFFFF} << 32 |
         TTexel{a & 0xFFFF} << 48;
}
// Lanes are signed sixteen-bit values.
inline int32_t Lane(TTexel t, int lane) {
  return static_cast<int16_t>(t >> (16 * lane));
}
inline TColor Unpack(TTexel t) {
  return {Lane(t, 0), Lane(t, 1), Lane(t, 2), Lane(t, 3)};
}

// 5-5-5-1: each five-bit channel widened by repeating its top three bits below it.
constexpr TTexel Widened5551(uint32_t texel) {
  const TTexel five =
      TTexel{texel >> 11 & 31} | TTexel{texel >> 6 & 31} << 16 | TTexel{texel >> 1 & 31} << 32;
  return (five << 3) | ((five >> 2) & 0x0000000700070007) | TTexel{(texel & 1) * 255u} << 48;
}
// The same by table, one per byte of the texel: green's bits straddle the two bytes, but the
// bits each byte gives the widened channel are its own (the upper byte's three green bits land
// on bits 7 to 5 and 2 to 0, the lower byte's two on bits 4 and 3), so the halves OR together.
inline constexpr auto k5551Bytes = [] {
  std::array<std::array<TTexel, 256>, 2> table{};
  for (uint32_t byte = 0; byte < 256; ++byte) {
    table[0][byte] = Widened5551(byte << 8);
    table[1][byte] = Widened5551(byte);
  }
  return table;
}();
inline TTexel Packed5551(uint32_t texel) {
  return k5551Bytes[0][texel >> 8 & 0xFF] | k5551Bytes[1][texel & 0xFF];
}
inline TTexel PackedGrey(uint32_t intensity, uint32_t alpha) {
  return intensity * (kLaneOnes >> 16) | TTexel{alpha} << 48;
}
inline TTexel PackedIa88(uint32_t texel) {
  return PackedGrey(texel >> 8 & 0xFF, texel & 0xFF);
}

inline TTexel PackedPalette(const TSampler& sampler, uint32_t index) {
  const uint32_t entry = State.tmem[(0x800 + (index & 0xFF) * 8) >> 1];
  return sampler.tlutIa ? PackedIa88(entry) : Packed5551(entry);
}

// The texel at (s, t) of a tile, already wrapped, for the tile's kind of fetch.
template <TFetch kFetch>
inline TTexel FetchTexel(const TSampler& sampler, uint32_t s, uint32_t t) {
  const uint32_t row = sampler.tmem + t * sampler.line;
  const uint32_t swap = (t & 1) << 2;
  if constexpr (kFetch == TFetch::Rgba16) {
    return Packed5551(State.tmem[(((row + s * 2) ^ swap) & 0xFFF) >> 1]);
  } else if constexpr (kFetch == TFetch::Rgba32) {
    const uint32_t at = ((row + s * 2) ^ swap) & 0x7FF;
    const uint32_t rg = State.tmem[at >> 1], ba = State.tmem[(at | 0x800) >> 1];
    return Pack(rg >> 8, rg & 0xFF, ba >> 8, ba & 0xFF);
  } else if constexpr (kFetch == TFetch::Yuv16) {
    const uint32_t at = (row + s) ^ swap;
    const uint32_t y = TmemByte((at & 0x7FF) | 0x800);
    return Pack(TmemByte(at & ~1u & 0x7FF), TmemByte((at | 1) & 0x7FF), y, y);
  } else if constexpr (kFetch == TFetch::Ia4) {
    const uint32_t byte = TmemByte((row + (s >> 1)) ^ swap);
    const uint32_t nibble = (s & 1) != 0 ? byte & 0xF : byte >> 4;
    const uint32_t i = nibble >> 1;
    return PackedGrey(i << 5 | i << 2 | i >> 1, (nibble & 1) * 255u);
  } else if constexpr (kFetch == TFetch::Ia8) {
    const uint32_t byte = TmemByte((row + s) ^ swap);
    return PackedGrey((byte >> 4) * 17, (byte & 0xF) * 17);
  } else if constexpr (kFetch == TFetch::Ia16) {
    return PackedIa88(State.tmem[(((row + s * 2) ^ swap) & 0xFFF) >> 1]);
  } else if constexpr (kFetch == TFetch::I4) {
    const uint32_t byte = TmemByte((row + (s >> 1)) ^ swap);
    const uint32_t i = ((s & 1) != 0 ? byte & 0xF : byte >> 4) * 17;
    return PackedGrey(i, i);
  } else if constexpr (kFetch == TFetch::I8) {
    const uint32_t i = TmemByte((row + s) ^ swap);
    return PackedGrey(i, i);
  } else if constexpr (kFetch == TFetch::Tlut4) {
    const uint32_t byte = TmemByte(((row + (s >> 1)) ^ swap) & 0x7FF);
    return PackedPalette(sampler, sampler.palette | ((s & 1) != 0 ? byte & 0xF : byte >> 4));
  } else {
    return PackedPalette(sampler, TmemByte(((row + s) ^ swap) & 0x7FF));
  }
}

// YUV texels through the colour-space conversion with K0 to K3: Y plus the chroma terms.
inline TColor ConvertYuv(const TColor& yuv, const int32_t* k) {
  const int32_t u = yuv.r - 128, v = yuv.g - 128, y = yuv.b;
  auto clamp = [](int32_t c) { return std::clamp(c, 0, 255); };
  return {clamp(y + ((k[0] * v) >> 7)), clamp(y + ((k[1] * u + k[2] * v) >> 7)),
          clamp(y + ((k[3] * u) >> 7)), yuv.a};
}

// Three texels weighed (in 32nds, the weights summing to 32) and rounded: every channel at once,
// as no lane can reach past sixteen bits.
inline TTexel Weigh(TTexel base, uint32_t baseWeight, TTexel a, uint32_t aWeight, TTexel b,
                    uint32_t bWeight) {
  return ((base * baseWeight + a * aWeight + b * bWeight + 16 * kLaneOnes) >> 5) & kLaneBytes;
}

// Whether a tile only wraps, on both axes: no shift, no clamp, no mirror. Its texel indices
// then come straight from the coordinates.
inline bool WrapsOnly(const TSampler& sampler) {
  auto plain = [](const TAxis& axis) {
    return axis.shiftLeft == 0 && axis.shiftRight == 0 && !axis.clamp && !axis.mirror;
  };
  return plain(sampler.s) && plain(sampler.t);
}

// The filtered texel at s10.5 coordinates (s, t). The bilinear filter takes three texels: the
// upper-left triangle of the four from the first, the lower-right one from the last.
// kWrapsOnly: the tile is one WrapsOnly accepts.
template <TFetch kFetch, bool kWrapsOnly = false>
inline TTexel SampleTextureAs(const TSampler& sampler, int32_t s, int32_t t, bool bilinear,
                              bool midTexel) {
  const int32_t cs = kWrapsOnly ? s - sampler.s.origin : TileCoordinate(sampler.s, s);
  const int32_t ct = kWrapsOnly ? t - sampler.t.origin : TileCoordinate(sampler.t, t);
  int32_t s0 = cs >> 5, t0 = ct >> 5;
  uint32_t fs = static_cast<uint32_t>(cs & 31), ft = static_cast<uint32_t>(ct & 31);
  if constexpr (!kWrapsOnly) {
    if (sampler.s.clamp && (s0 < 0 || s0 >= sampler.s.max)) {
      s0 = ClampTexel(sampler.s, s0);
      fs = 0;
    }
    if (sampler.t.clamp && (t0 < 0 || t0 >= sampler.t.max)) {
      t0 = ClampTexel(sampler.t, t0);
      ft = 0;
    }
  }
  auto wrap = [](const TAxis& axis, int32_t texel) {
    return kWrapsOnly ? static_cast<uint32_t>(texel) & axis.mask : WrapTexel(axis, texel);
  };
  const uint32_t ws0 = wrap(sampler.s, s0), wt0 = wrap(sampler.t, t0);
  if (!bilinear) return FetchTexel<kFetch>(sampler, ws0, wt0);
  const uint32_t ws1 = wrap(sampler.s, s0 + 1), wt1 = wrap(sampler.t, t0 + 1);
  const TTexel toS = FetchTexel<kFetch>(sampler, ws1, wt0);
  const TTexel toT = FetchTexel<kFetch>(sampler, ws0, wt1);
  if (midTexel && fs == 16 && ft == 16) {
    const TTexel sum = FetchTexel<kFetch>(sampler, ws0, wt0) + toS + toT +
                       FetchTexel<kFetch>(sampler, ws1, wt1) + 2 * kLaneOnes;
    return (sum >> 2) & kLaneBytes;
  }
  if (fs + ft < 32)
    return Weigh(FetchTexel<kFetch>(sampler, ws0, wt0), 32 - fs - ft, toS, fs, toT, ft);
  return Weigh(FetchTexel<kFetch>(sampler, ws1, wt1), fs + ft - 32, toT, 32 - fs, toS, 32 - ft);
}

}  // namespace vantor::rdp
