// Texture sampling for the rasterizer: a tile's addressing prepared once per primitive, texels
// fetched from TMEM in every format, point and three-texel bilinear filtering. Internal to rdp/.
#pragma once

#include <algorithm>
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

inline TColor PaletteColor(const TSampler& sampler, uint32_t index) {
  const uint32_t entry = State.tmem[(0x800 + (index & 0xFF) * 8) >> 1];
  return sampler.tlutIa ? DecodeIa88(entry) : Decode5551(entry);
}

// The texel at (s, t) of a tile, already wrapped, for the tile's kind of fetch.
template <TFetch kFetch>
inline TColor FetchTexel(const TSampler& sampler, uint32_t s, uint32_t t) {
  const uint32_t row = sampler.tmem + t * sampler.line;
  const uint32_t swap = (t & 1) << 2;
  switch (kFetch) {
    case TFetch::Rgba16:
      return Decode5551(State.tmem[(((row + s * 2) ^ swap) & 0xFFF) >> 1]);
    case TFetch::Rgba32: {
      const uint32_t at = ((row + s * 2) ^ swap) & 0x7FF;
      const uint32_t rg = State.tmem[at >> 1], ba = State.tmem[(at | 0x800) >> 1];
      return {static_cast<int32_t>(rg >> 8), static_cast<int32_t>(rg & 0xFF),
              static_cast<int32_t>(ba >> 8), static_cast<int32_t>(ba & 0xFF)};
    }
    case TFetch::Yuv16: {
      const uint32_t at = (row + s) ^ swap;
      const auto u = static_cast<int32_t>(TmemByte(((at & ~1u)) & 0x7FF));
      const auto v = static_cast<int32_t>(TmemByte((at | 1) & 0x7FF));
      const auto y = static_cast<int32_t>(TmemByte((at & 0x7FF) | 0x800));
      return {u, v, y, y};
    }
    case TFetch::Ia4: {
      const uint32_t byte = TmemByte((row + (s >> 1)) ^ swap);
      const uint32_t nibble = (s & 1) != 0 ? byte & 0xF : byte >> 4;
      const uint32_t i = nibble >> 1;
      const auto intensity = static_cast<int32_t>(i << 5 | i << 2 | i >> 1);
      return {intensity, intensity, intensity, (nibble & 1) != 0 ? 255 : 0};
    }
    case TFetch::Ia8: {
      const uint32_t byte = TmemByte((row + s) ^ swap);
      const auto i = static_cast<int32_t>((byte >> 4) * 17);
      return {i, i, i, static_cast<int32_t>((byte & 0xF) * 17)};
    }
    case TFetch::Ia16:
      return DecodeIa88(State.tmem[(((row + s * 2) ^ swap) & 0xFFF) >> 1]);
    case TFetch::I4: {
      const uint32_t byte = TmemByte((row + (s >> 1)) ^ swap);
      const auto i = static_cast<int32_t>(((s & 1) != 0 ? byte & 0xF : byte >> 4) * 17);
      return {i, i, i, i};
    }
    case TFetch::I8: {
      const auto i = static_cast<int32_t>(TmemByte((row + s) ^ swap));
      return {i, i, i, i};
    }
    case TFetch::Tlut4: {
      const uint32_t byte = TmemByte(((row + (s >> 1)) ^ swap) & 0x7FF);
      return PaletteColor(sampler, sampler.palette | ((s & 1) != 0 ? byte & 0xF : byte >> 4));
    }
    case TFetch::Tlut8:
    default:
      return PaletteColor(sampler, TmemByte(((row + s) ^ swap) & 0x7FF));
  }
}

// YUV texels through the colour-space conversion with K0 to K3: Y plus the chroma terms.
inline TColor ConvertYuv(const TColor& yuv, const int32_t* k) {
  const int32_t u = yuv.r - 128, v = yuv.g - 128, y = yuv.b;
  auto clamp = [](int32_t c) { return std::clamp(c, 0, 255); };
  return {clamp(y + ((k[0] * v) >> 7)), clamp(y + ((k[1] * u + k[2] * v) >> 7)),
          clamp(y + ((k[3] * u) >> 7)), yuv.a};
}

inline int32_t Lerp3(int32_t base, int32_t toS, int32_t toT, int32_t fs, int32_t ft) {
  return base + ((fs * (toS - base) + ft * (toT - base) + 16) >> 5);
}

// The filtered texel at s10.5 coordinates (s, t).
template <TFetch kFetch>
inline TColor SampleTextureAs(const TSampler& sampler, int32_t s, int32_t t, bool bilinear,
                              bool midTexel) {
  const int32_t cs = TileCoordinate(sampler.s, s), ct = TileCoordinate(sampler.t, t);
  int32_t s0 = cs >> 5, t0 = ct >> 5;
  int32_t fs = cs & 31, ft = ct & 31;
  if (sampler.s.clamp && (s0 < 0 || s0 >= sampler.s.max)) {
    s0 = ClampTexel(sampler.s, s0);
    fs = 0;
  }
  if (sampler.t.clamp && (t0 < 0 || t0 >= sampler.t.max)) {
    t0 = ClampTexel(sampler.t, t0);
    ft = 0;
  }
  const uint32_t ws0 = WrapTexel(sampler.s, s0), wt0 = WrapTexel(sampler.t, t0);
  if (!bilinear) return FetchTexel<kFetch>(sampler, ws0, wt0);
  const uint32_t ws1 = WrapTexel(sampler.s, s0 + 1), wt1 = WrapTexel(sampler.t, t0 + 1);
  if (midTexel && fs == 16 && ft == 16) {
    const TColor a = FetchTexel<kFetch>(sampler, ws0, wt0),
                 b = FetchTexel<kFetch>(sampler, ws1, wt0);
    const TColor c = FetchTexel<kFetch>(sampler, ws0, wt1),
                 d = FetchTexel<kFetch>(sampler, ws1, wt1);
    return {(a.r + b.r + c.r + d.r + 2) >> 2, (a.g + b.g + c.g + d.g + 2) >> 2,
            (a.b + b.b + c.b + d.b + 2) >> 2, (a.a + b.a + c.a + d.a + 2) >> 2};
  }
  const TColor toS = FetchTexel<kFetch>(sampler, ws1, wt0),
               toT = FetchTexel<kFetch>(sampler, ws0, wt1);
  if (fs + ft < 32) {
    const TColor base = FetchTexel<kFetch>(sampler, ws0, wt0);
    return {Lerp3(base.r, toS.r, toT.r, fs, ft), Lerp3(base.g, toS.g, toT.g, fs, ft),
            Lerp3(base.b, toS.b, toT.b, fs, ft), Lerp3(base.a, toS.a, toT.a, fs, ft)};
  }
  // The lower right triangle of the four texels interpolates from the far corner.
  const TColor base = FetchTexel<kFetch>(sampler, ws1, wt1);
  const int32_t gs = 32 - fs, gt = 32 - ft;
  return {Lerp3(base.r, toT.r, toS.r, gs, gt), Lerp3(base.g, toT.g, toS.g, gs, gt),
          Lerp3(base.b, toT.b, toS.b, gs, gt), Lerp3(base.a, toT.a, toS.a, gs, gt)};
}

// The same, dispatched once per texel on the tile's kind of fetch.
inline TColor SampleTexture(const TSampler& sampler, int32_t s, int32_t t, bool bilinear,
                            bool midTexel) {
  switch (sampler.fetch) {
    case TFetch::Rgba16:
      return SampleTextureAs<TFetch::Rgba16>(sampler, s, t, bilinear, midTexel);
    case TFetch::Rgba32:
      return SampleTextureAs<TFetch::Rgba32>(sampler, s, t, bilinear, midTexel);
    case TFetch::Yuv16:
      return SampleTextureAs<TFetch::Yuv16>(sampler, s, t, bilinear, midTexel);
    case TFetch::Ia4:
      return SampleTextureAs<TFetch::Ia4>(sampler, s, t, bilinear, midTexel);
    case TFetch::Ia8:
      return SampleTextureAs<TFetch::Ia8>(sampler, s, t, bilinear, midTexel);
    case TFetch::Ia16:
      return SampleTextureAs<TFetch::Ia16>(sampler, s, t, bilinear, midTexel);
    case TFetch::I4:
      return SampleTextureAs<TFetch::I4>(sampler, s, t, bilinear, midTexel);
    case TFetch::I8:
      return SampleTextureAs<TFetch::I8>(sampler, s, t, bilinear, midTexel);
    case TFetch::Tlut4:
      return SampleTextureAs<TFetch::Tlut4>(sampler, s, t, bilinear, midTexel);
    case TFetch::Tlut8:
    default:
      return SampleTextureAs<TFetch::Tlut8>(sampler, s, t, bilinear, midTexel);
  }
}

}  // namespace vantor::rdp
