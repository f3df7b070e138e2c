#include "tests/rdp/ReferenceRaster.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "memory/PlainPages.h"
#include "rdp/RdpState.h"

namespace vantor::test {

using namespace vantor::rdp;

namespace {

struct TRgba {
  int32_t r = 0, g = 0, b = 0, a = 0;
};

// --- Memory, byte by byte in the console's order, dropping what lies outside RDRAM. ---

uint32_t MemByte(uint32_t address) {
  return address < RDRAM->Size ? RDRAM->Data[address ^ 3] : 0;
}
void SetMemByte(uint32_t address, uint32_t value) {
  if (address < RDRAM->Size) RDRAM->Data[address ^ 3] = static_cast<uint8_t>(value);
}
uint32_t Mem16(uint32_t address) {
  address &= ~1u;
  if (address + 2 > RDRAM->Size) return 0;
  return MemByte(address) << 8 | MemByte(address + 1);
}
void SetMem16(uint32_t address, uint32_t value) {
  address &= ~1u;
  if (address + 2 > RDRAM->Size) return;
  SetMemByte(address, value >> 8);
  SetMemByte(address + 1, value);
}
uint32_t Mem32(uint32_t address) {
  address &= ~3u;
  if (address + 4 > RDRAM->Size) return 0;
  return Mem16(address) << 16 | Mem16(address + 2);
}
void SetMem32(uint32_t address, uint32_t value) {
  address &= ~3u;
  if (address + 4 > RDRAM->Size) return;
  SetMem16(address, value >> 16);
  SetMem16(address + 2, value);
}

uint32_t Tmem8(uint32_t address) {
  const uint16_t half = State.tmem[(address & 0xFFF) >> 1];
  return (address & 1) == 0 ? half >> 8 : half & 0xFF;
}
uint32_t Tmem16(uint32_t address) {
  return Tmem8(address & ~1u) << 8 | Tmem8(address | 1);
}

// --- Edges and coverage, evaluated directly at each sub-scanline. ---

uint32_t Wrap32(int64_t value) {
  return static_cast<uint32_t>(value);
}

struct TEdges {
  bool valid = false;
  int32_t left = 0, right = 0;  // eighths of a pixel
};

TEdges SubScanline(const TPrimitive& p, int32_t yq) {
  const TScissor& sc = State.scissor;
  if (yq < p.yh || yq >= p.yl || yq < static_cast<int32_t>(sc.yh) ||
      yq >= static_cast<int32_t>(sc.yl))
    return {};
  const int32_t top = p.yh - (((p.yh % 4) + 4) % 4);
  const uint32_t major = Wrap32(int64_t{p.xh} + int64_t{p.dxhdy >> 2} * (yq - top));
  const uint32_t minor = yq < p.ym ? Wrap32(int64_t{p.xm} + int64_t{p.dxmdy >> 2} * (yq - top))
                                   : Wrap32(int64_t{p.xl} + int64_t{p.dxldy >> 2} * (yq - p.ym));
  const int32_t a = static_cast<int32_t>(major) >> 13, b = static_cast<int32_t>(minor) >> 13;
  TEdges e;
  e.left = std::max(p.leftMajor ? a : b, static_cast<int32_t>(sc.xh) * 2);
  e.right = std::min(p.leftMajor ? b : a, static_cast<int32_t>(sc.xl) * 2);
  e.valid = e.left < e.right;
  return e;
}

uint32_t Coverage(const TPrimitive& p, int32_t x, int32_t y) {
  uint32_t count = 0;
  for (int32_t k = 0; k < 4; ++k) {
    const TEdges e = SubScanline(p, y * 4 + k);
    if (!e.valid) continue;
    for (int32_t j = 0; j < 2; ++j) {
      // Samples at a quarter-pixel stagger: 0 and 1/2 on even sub-scanlines, 1/4 and 3/4 on odd.
      const int32_t sample = x * 8 + (k % 2) * 2 + j * 4;
      if (sample >= e.left && sample < e.right) ++count;
    }
  }
  return count;
}

bool LineKept(int32_t y) {
  return !State.scissor.field || ((y % 2 + 2) % 2 == 1) == State.scissor.odd;
}

// The attribute at pixel (x, y): along the major edge to the scanline, then across it.
int32_t Attribute(const TPrimitive& p, uint32_t i, int32_t x, int32_t y) {
  const int32_t top = p.yh - (((p.yh % 4) + 4) % 4);
  const uint32_t majorAtRow = Wrap32(int64_t{p.xh} + int64_t{p.dxhdy >> 2} * (y * 4 - top));
  const int32_t majorPixel = static_cast<int32_t>(majorAtRow) >> 16;
  return static_cast<int32_t>(Wrap32(int64_t{p.attr[i]} + int64_t{p.de[i]} * (y - top / 4) +
                                     int64_t{p.dx[i]} * (x - majorPixel)));
}

// --- Texels. ---

enum class TKind { Rgba16, Rgba32, Yuv, Ia4, Ia8, Ia16, I4, I8, Ci4, Ci8 };

TKind KindOf(const TTile& tile) {
  if (State.modes.tlut && tile.size == kSize4) return TKind::Ci4;
  if (State.modes.tlut && tile.size == kSize8) return TKind::Ci8;
  static constexpr TKind kTable[8][4] = {
      {TKind::I4, TKind::I8, TKind::Rgba16, TKind::Rgba32},  // RGBA
      {TKind::Yuv, TKind::Yuv, TKind::Yuv, TKind::Rgba32},   // YUV
      {TKind::I4, TKind::I8, TKind::Rgba16, TKind::Rgba32},  // CI without TLUT
      {TKind::Ia4, TKind::Ia8, TKind::Ia16, TKind::Rgba32},  // IA
      {TKind::I4, TKind::I8, TKind::Rgba16, TKind::Rgba32},  // I
      {TKind::I4, TKind::I8, TKind::Rgba16, TKind::Rgba32},
      {TKind::I4, TKind::I8, TKind::Rgba16, TKind::Rgba32},
      {TKind::I4, TKind::I8, TKind::Rgba16, TKind::Rgba32}};
  return kTable[tile.format & 7][tile.size & 3];
}

// Five bits to eight by repeating the top bits below them.
int32_t Five(uint32_t v) {
  return static_cast<int32_t>(v * 8 + v / 4);
}

TRgba From5551(uint32_t v) {
  return {Five(v >> 11 & 31), Five(v >> 6 & 31), Five(v >> 1 & 31), (v & 1) ? 255 : 0};
}
TRgba FromIa88(uint32_t v) {
  const auto i = static_cast<int32_t>(v >> 8);
  return {i, i, i, static_cast<int32_t>(v & 0xFF)};
}
TRgba Grey(int32_t i, int32_t a) {
  return {i, i, i, a};
}

TRgba Palette(uint32_t index) {
  const uint32_t entry = Tmem16(0x800 + (index & 0xFF) * 8);
  return State.modes.tlutIa ? FromIa88(entry) : From5551(entry);
}

TRgba Texel(const TTile& tile, uint32_t s, uint32_t t) {
  const uint32_t row = tile.tmem + t * tile.line;
  const uint32_t flip = (t % 2) * 4;
  switch (KindOf(tile)) {
    case TKind::Rgba16:
      return From5551(Tmem16(((row + 2 * s) ^ flip) % 4096));
    case TKind::Rgba32: {
      const uint32_t at = ((row + 2 * s) ^ flip) % 2048;
      return {static_cast<int32_t>(Tmem8(at)), static_cast<int32_t>(Tmem8(at + 1)),
              static_cast<int32_t>(Tmem8(at + 2048)), static_cast<int32_t>(Tmem8(at + 2049))};
    }
    case TKind::Yuv: {
      const uint32_t at = (row + s) ^ flip;
      const auto y = static_cast<int32_t>(Tmem8(at % 2048 + 2048));
      return {static_cast<int32_t>(Tmem8((at - at % 2) % 2048)),
              static_cast<int32_t>(Tmem8((at - at % 2 + 1) % 2048)), y, y};
    }
    case TKind::Ia4:
    case TKind::I4:
    case TKind::Ci4: {
      const uint32_t byte = Tmem8((row + s / 2) ^ flip);
      const uint32_t nibble = s % 2 == 0 ? byte / 16 : byte % 16;
      if (KindOf(tile) == TKind::I4)
        return Grey(static_cast<int32_t>(nibble * 17), static_cast<int32_t>(nibble * 17));
      if (KindOf(tile) == TKind::Ci4) {
        const uint32_t indexByte = Tmem8(((row + s / 2) ^ flip) % 2048);
        return Palette(tile.palette * 16 + (s % 2 == 0 ? indexByte / 16 : indexByte % 16));
      }
      const uint32_t i = nibble / 2;  // three intensity bits, repeated
      return Grey(static_cast<int32_t>(i * 32 + i * 4 + i / 2), nibble % 2 ? 255 : 0);
    }
    case TKind::Ia8: {
      const uint32_t byte = Tmem8((row + s) ^ flip);
      return Grey(static_cast<int32_t>(byte / 16 * 17), static_cast<int32_t>(byte % 16 * 17));
    }
    case TKind::Ia16:
      return FromIa88(Tmem16(((row + 2 * s) ^ flip) % 4096));
    case TKind::I8: {
      const auto i = static_cast<int32_t>(Tmem8((row + s) ^ flip));
      return Grey(i, i);
    }
    case TKind::Ci8:
    default:
      return Palette(Tmem8(((row + s) ^ flip) % 2048));
  }
}

struct TAxisIndex {
  int32_t index[2];  // the texel and the next one, wrapped
  int32_t frac;
};

TAxisIndex AxisIndex(int32_t c, uint32_t low, uint32_t high, uint32_t shift, uint32_t maskBits,
                     bool clampBit, bool mirrorBit) {
  if (shift >= 11)
    c *= 1 << (16 - shift);
  else
    c >>= shift;
  c -= static_cast<int32_t>(low) * 8;
  int32_t i = c >> 5, frac = c & 31;
  const uint32_t mask = std::min(maskBits, 10u);
  const bool clamp = clampBit || mask == 0;
  const int32_t last = (static_cast<int32_t>(high) - static_cast<int32_t>(low)) >> 2;
  if (clamp && i < 0) {
    i = 0, frac = 0;
  } else if (clamp && i >= last) {
    i = last, frac = 0;
  }
  TAxisIndex out{{i, i + 1}, frac};
  for (int32_t& v : out.index) {
    if (mask == 0) continue;
    uint32_t u = static_cast<uint32_t>(v);
    if (mirrorBit && (u >> mask) % 2 == 1) u = ~u;
    v = static_cast<int32_t>(u % (1u << mask));
  }
  return out;
}

TRgba Sample(const TTile& tile, int32_t s, int32_t t) {
  const TAxisIndex si =
      AxisIndex(s, tile.sl, tile.sh, tile.shiftS, tile.maskS, tile.clampS, tile.mirrorS);
  const TAxisIndex ti =
      AxisIndex(t, tile.tl, tile.th, tile.shiftT, tile.maskT, tile.clampT, tile.mirrorT);
  auto at = [&](int a, int b) {
    return Texel(tile, static_cast<uint32_t>(si.index[a]), static_cast<uint32_t>(ti.index[b]));
  };
  if (!State.modes.bilinear) return at(0, 0);
  const int32_t fs = si.frac, ft = ti.frac;
  const TRgba t00 = at(0, 0), t10 = at(1, 0), t01 = at(0, 1), t11 = at(1, 1);
  auto channel = [&](int32_t TRgba::*c) {
    if (State.modes.midTexel && fs == 16 && ft == 16)
      return (t00.*c + t10.*c + t01.*c + t11.*c + 2) / 4;
    // Three texels: the upper-left triangle from t00, the lower-right one from t11.
    if (fs + ft < 32) return t00.*c + ((fs * (t10.*c - t00.*c) + ft * (t01.*c - t00.*c) + 16) >> 5);
    return t11.*c + (((32 - fs) * (t01.*c - t11.*c) + (32 - ft) * (t10.*c - t11.*c) + 16) >> 5);
  };
  return {channel(&TRgba::r), channel(&TRgba::g), channel(&TRgba::b), channel(&TRgba::a)};
}

TRgba YuvToRgb(const TRgba& c) {
  const int32_t* k = State.convert;
  const int32_t u = c.r - 128, v = c.g - 128, y = c.b;
  return {std::clamp(y + ((k[0] * v) >> 7), 0, 255),
          std::clamp(y + ((k[1] * u + k[2] * v) >> 7), 0, 255),
          std::clamp(y + ((k[3] * u) >> 7), 0, 255), c.a};
}

// --- One pixel of the one- and two-cycle pipeline. ---

struct TInputs {
  TRgba combined, texel0, texel1, shade, noise;
  int32_t lodFrac = 0;
};

int32_t ColorInput(const TInputs& in, char slot, uint32_t sel, int lane) {
  auto get = [lane](const TRgba& c) { return lane == 0 ? c.r : lane == 1 ? c.g : c.b; };
  const TColor& prim = State.prim;
  const TColor& env = State.env;
  const TRgba primC{prim.r, prim.g, prim.b, prim.a}, envC{env.r, env.g, env.b, env.a};
  if (sel <= 5) {
    const TRgba* common[6] = {&in.combined, &in.texel0, &in.texel1, &primC, &in.shade, &envC};
    return get(*common[sel]);
  }
  switch (slot) {
    case 'a':
      return sel == 6 ? 256 : sel == 7 ? get(in.noise) : 0;
    case 'b':
      return sel == 6 ? State.key.center[lane] : sel == 7 ? State.convert[4] : 0;
    case 'c':
      switch (sel) {
        case 6:
          return State.key.scale[lane];
        case 7:
          return in.combined.a;
        case 8:
          return in.texel0.a;
        case 9:
          return in.texel1.a;
        case 10:
          return prim.a;
        case 11:
          return in.shade.a;
        case 12:
          return env.a;
        case 13:
          return in.lodFrac;
        case 14:
          return static_cast<int32_t>(State.primLodFrac);
        case 15:
          return State.convert[5];
        default:
          return 0;
      }
    default:  // 'd'
      return sel == 6 ? 256 : 0;
  }
}

int32_t AlphaInput(const TInputs& in, bool multiplier, uint32_t sel) {
  if (multiplier && sel == 0) return in.lodFrac;
  if (multiplier && sel == 6) return static_cast<int32_t>(State.primLodFrac);
  switch (sel) {
    case 0:
      return in.combined.a;
    case 1:
      return in.texel0.a;
    case 2:
      return in.texel1.a;
    case 3:
      return State.prim.a;
    case 4:
      return in.shade.a;
    case 5:
      return State.env.a;
    case 6:
      return 256;
    default:
      return 0;
  }
}

int32_t Equation(int32_t a, int32_t b, int32_t c, int32_t d) {
  int32_t v = ((a - b) * c + d * 256 + 128) >> 8;
  v = ((v % 512) + 512) % 512;  // nine bits: 256-383 overflowed, 384-511 negative
  if (v >= 384) return 0;
  return v > 255 ? 255 : v;
}

TRgba CombineCycle(const TInputs& in, int cycle) {
  const TCombine& cc = State.combine;
  TRgba out;
  int32_t* lanes[3] = {&out.r, &out.g, &out.b};
  for (int lane = 0; lane < 3; ++lane)
    *lanes[lane] = Equation(
        ColorInput(in, 'a', cc.subA[cycle], lane), ColorInput(in, 'b', cc.subB[cycle], lane),
        ColorInput(in, 'c', cc.mul[cycle], lane), ColorInput(in, 'd', cc.add[cycle], lane));
  out.a = Equation(
      AlphaInput(in, false, cc.subAAlpha[cycle]), AlphaInput(in, false, cc.subBAlpha[cycle]),
      AlphaInput(in, true, cc.mulAlpha[cycle]), AlphaInput(in, false, cc.addAlpha[cycle]));
  return out;
}

// The divider's reciprocal of W from its table: W scaled by a power of two into [2^31, 2^32),
// the entry of its nine bits after the top one, 2^40 / (512 + i) rounded, moved towards the next
// entry by the following sixteen bits; then scaled back so that it approximates 2^46 / W.
uint64_t Reciprocal(int32_t w) {
  uint64_t n = static_cast<uint64_t>(std::max(w, 1));
  int scale = 0;
  while (n < (uint64_t{1} << 31)) {
    n *= 2;
    ++scale;
  }
  const uint64_t i = (n >> 22) % 512, f = (n >> 6) % 65536;
  auto entry = [](uint64_t k) {
    const uint64_t exact = (uint64_t{1} << 40) * 2 / (512 + k);  // twice, to round
    return (exact + 1) / 2;
  };
  const uint64_t r = entry(i) - (entry(i) - entry(i + 1)) * f / 65536;
  return r * (uint64_t{1} << scale) / 65536;
}

// Under perspective: times the reciprocal of W, over 2^31.
int32_t TexCoord(int32_t value, int32_t w, bool perspective) {
  if (!perspective) return static_cast<int16_t>(static_cast<uint32_t>(value) >> 16);
  const uint64_t reciprocal = Reciprocal(w);
  const __int128 product = static_cast<__int128>(value) * static_cast<__int128>(reciprocal);
  const __int128 scale = static_cast<__int128>(1) << 31;
  // Floor division, as an arithmetic shift rounds.
  __int128 q = product / scale;
  if (product % scale != 0 && product < 0) --q;
  return static_cast<int32_t>(std::clamp<__int128>(q, -32768, 32767));
}

void DrawPixel(const TPrimitive& p, int32_t x, int32_t y, uint32_t cvg) {
  const TOtherModes& m = State.modes;
  const bool twoCycle = m.cycleType == kCycle2;
  const bool textured = p.texture || p.kind == TPrimitiveKind::TextureRectangle;
  const bool perspective = m.perspective && p.kind == TPrimitiveKind::Triangle;
  int32_t a[kAttrCount];
  for (uint32_t i = 0; i < kAttrCount; ++i)
    a[i] = Attribute(p, i, x, y);
  TInputs in;
  in.shade = {std::clamp(a[kAttrR] >> 16, 0, 255), std::clamp(a[kAttrG] >> 16, 0, 255),
              std::clamp(a[kAttrB] >> 16, 0, 255), std::clamp(a[kAttrA] >> 16, 0, 255)};
  const auto n = static_cast<int32_t>(Noise(x, y, State.primitiveCount) & 0xFF);
  in.noise = {n, n, n, n};
  if (textured) {
    const int32_t s = TexCoord(a[kAttrS], a[kAttrW], perspective);
    const int32_t t = TexCoord(a[kAttrT], a[kAttrW], perspective);
    uint32_t tile0 = p.tile % 8, tile1 = (p.tile + 1) % 8;
    if (m.lod) {
      // Texel distances to the next pixel and the next scanline (by the y slopes).
      auto at = [&](uint32_t i, int32_t step) {
        return static_cast<int32_t>(Wrap32(int64_t{a[i]} + step));
      };
      const int32_t sx = TexCoord(at(kAttrS, p.dx[kAttrS]), at(kAttrW, p.dx[kAttrW]), perspective);
      const int32_t tx = TexCoord(at(kAttrT, p.dx[kAttrT]), at(kAttrW, p.dx[kAttrW]), perspective);
      const int32_t sy = TexCoord(at(kAttrS, p.dy[kAttrS]), at(kAttrW, p.dy[kAttrW]), perspective);
      const int32_t ty = TexCoord(at(kAttrT, p.dy[kAttrT]), at(kAttrW, p.dy[kAttrW]), perspective);
      int32_t lod =
          std::max({std::abs(sx - s), std::abs(tx - t), std::abs(sy - s), std::abs(ty - t)});
      lod = std::max(std::min(lod, 32767), static_cast<int32_t>(State.primMinLevel));
      uint32_t level = 0;
      if (lod < 32) {
        in.lodFrac = m.sharpen ? lod * 8 - 256 : m.detail ? lod * 8 : 0;
      } else {
        while ((lod >> 5) >> (level + 1) != 0)
          ++level;
        if (level >= p.levels) {
          level = p.levels;
          in.lodFrac = 255;
        } else {
          in.lodFrac = lod * 256 / (32 << level) - 256;
        }
      }
      const uint32_t base = m.detail ? (lod < 32 ? p.tile : p.tile + 1 + level) : p.tile + level;
      tile0 = base % 8;
      tile1 = (base + 1) % 8;
    }
    in.texel0 = Sample(State.tiles[tile0], s, t);
    if (!m.biLerp0 && KindOf(State.tiles[tile0]) == TKind::Yuv) in.texel0 = YuvToRgb(in.texel0);
    if (twoCycle) {
      in.texel1 = Sample(State.tiles[tile1], s, t);
      if (!m.biLerp1 && KindOf(State.tiles[tile1]) == TKind::Yuv) in.texel1 = YuvToRgb(in.texel1);
    } else {
      in.texel1 = in.texel0;
    }
  }
  TRgba color;
  if (twoCycle) {
    in.combined = CombineCycle(in, 0);
    color = CombineCycle(in, 1);
  } else {
    color = CombineCycle(in, 1);
  }
  if (m.key) color.a = KeyAlpha(color.r, color.g, color.b, State.key);
  uint32_t coverage = cvg;
  if (m.cvgTimesAlpha) coverage = cvg * static_cast<uint32_t>(color.a + 1) / 256;
  if (coverage == 0) return;
  const int32_t alpha =
      m.alphaCvgSelect ? std::min<int32_t>(static_cast<int32_t>(coverage) * 32, 255) : color.a;
  if (m.alphaCompare) {
    const int32_t threshold =
        m.ditherAlpha ? static_cast<int32_t>((Noise(x, y, State.primitiveCount) >> 8) & 0xFF)
                      : State.blend.a;
    if (alpha < threshold) return;
  }
  const uint32_t pixel =
      static_cast<uint32_t>(y) * State.colorImage.width + static_cast<uint32_t>(x);
  const uint32_t zAt = State.zImage + pixel * 2;
  const uint32_t dz =
      m.zSourcePrim
          ? State.primDz
          : static_cast<uint32_t>((std::llabs(p.dx[kAttrZ]) + std::llabs(p.dy[kAttrZ])) >> 16) &
                0xFFFF;
  uint32_t z = 0;
  const bool depth = m.zCompare || m.zUpdate;
  if (depth) {
    z = m.zSourcePrim ? (State.primZ & 0x7FFF) * 8
                      : static_cast<uint32_t>(std::clamp(a[kAttrZ] >> 13, 0, 0x3FFFF));
    if (m.zCompare) {
      const uint32_t stored = Mem16(zAt);
      // Leading ones of the exponent pick the range; the mantissa fills it.
      const uint32_t e = stored >> 13, mantissa = (stored >> 2) & 0x7FF;
      uint32_t base = 0, step = 64;
      for (uint32_t i = 0; i < e; ++i) {
        base += 0x20000 >> i;
        step = std::max(step / 2, 1u);
      }
      const uint32_t memZ = base + mantissa * step;
      // The new depth at the precision of its own range in memory.
      uint32_t ones = 0;
      while (ones < 7 && (z >> (17 - ones)) % 2 == 1)
        ++ones;
      const uint32_t precision = ones < 6 ? 64u >> ones : 1u;
      const uint32_t zq = z - z % precision;
      if (m.zMode == kZDecal) {
        const uint32_t memDz = 8u << ((stored & 3) * 4);
        const uint32_t diff = zq > memZ ? zq - memZ : memZ - zq;
        if (diff > std::max(dz * 8, memDz)) return;
      } else if (zq > memZ) {
        return;
      }
    }
  }
  const uint32_t size = State.colorImage.size;
  const uint32_t bytes = size == kSize32 ? 4 : size == kSize16 ? 2 : 1;
  const uint32_t at = State.colorImage.address + pixel * bytes;
  TRgba memory;
  uint32_t memCvg = 0;
  if (m.imageRead) {
    if (size == kSize16) {
      const uint32_t old = Mem16(at);
      memory = From5551(old);
      memCvg = old % 2 == 1 ? 7 : 0;
    } else if (size == kSize32) {
      const uint32_t old = Mem32(at);
      memory = {static_cast<int32_t>(old >> 24), static_cast<int32_t>(old >> 16 & 255),
                static_cast<int32_t>(old >> 8 & 255), static_cast<int32_t>(old & 255)};
      memCvg = (old >> 5) % 8;
    } else {
      const auto old = static_cast<int32_t>(MemByte(at));
      memory = {old, old, old, old};
    }
  }
  auto blend = [&](int cycle, const TRgba& input, bool divide) {
    const TRgba fog{State.fog.r, State.fog.g, State.fog.b, State.fog.a};
    const TRgba blendColor{State.blend.r, State.blend.g, State.blend.b, State.blend.a};
    const TRgba* colors[4] = {&input, &memory, &blendColor, &fog};
    const TRgba& pc = *colors[m.blendP[cycle]];
    const TRgba& mc = *colors[m.blendM[cycle]];
    const int32_t alphas[4] = {alpha, State.fog.a, in.shade.a, 0};
    const int32_t fa = (alphas[m.blendA[cycle]] + 1) / 8;
    int32_t fb = 0;
    switch (m.blendB[cycle]) {
      case 0:
        fb = 32 - fa;
        break;
      case 1:
        fb = static_cast<int32_t>(memCvg + 1) * 4;
        break;
      case 2:
        fb = 32;
        break;
      default:
        fb = 0;
        break;
    }
    auto one = [&](int32_t pv, int32_t mv) {
      const int32_t sum = pv * fa + mv * fb;
      if (!divide) return (sum / 32) % 256;
      return fa + fb == 0 ? pv : (sum / (fa + fb)) % 256;
    };
    return TRgba{one(pc.r, mc.r), one(pc.g, mc.g), one(pc.b, mc.b), 0};
  };
  TRgba out = color;
  const int last = twoCycle ? 1 : 0;
  if (twoCycle) out = blend(0, color, false);
  if (m.forceBlend) {
    out = blend(last, out, false);
  } else if (m.antialias && coverage < 8) {
    out = blend(last, out, true);
  } else {
    const TRgba fog{State.fog.r, State.fog.g, State.fog.b, State.fog.a};
    const TRgba blendColor{State.blend.r, State.blend.g, State.blend.b, State.blend.a};
    const TRgba* colors[4] = {&out, &memory, &blendColor, &fog};
    out = *colors[m.blendP[last]];
  }
  uint32_t newCvg = memCvg;
  if (m.cvgDest == kCvgClamp) newCvg = std::min(coverage + memCvg, 7u);
  if (m.cvgDest == kCvgWrap) newCvg = (coverage + memCvg) % 8;
  if (m.cvgDest == kCvgZap) newCvg = 7;
  const bool colorToo = !m.colorOnCvg || coverage + memCvg >= 8;
  if (size == kSize16) {
    uint32_t value = (Mem16(at) & 0xFFFE) | newCvg / 4;
    if (colorToo) {
      uint32_t d = 0;
      if (m.rgbDither == 0) d = kMagicSquare[(y % 4) * 4 + x % 4];
      if (m.rgbDither == 1) d = kBayer[(y % 4) * 4 + x % 4];
      if (m.rgbDither == 2) d = Noise(x, y, State.primitiveCount) % 8;
      auto five = [&](int32_t c) {
        const uint32_t v = static_cast<uint32_t>(c);
        uint32_t r = v / 8;
        if (m.rgbDither != 3 && v % 8 > d) r = std::min(r + 1, 31u);
        return r;
      };
      value = five(out.r) << 11 | five(out.g) << 6 | five(out.b) << 1 | newCvg / 4;
    }
    SetMem16(at, value);
  } else if (size == kSize32) {
    uint32_t value = (Mem32(at) & 0xFFFFFF00) | newCvg << 5;
    if (colorToo)
      value = static_cast<uint32_t>(out.r) << 24 | static_cast<uint32_t>(out.g) << 16 |
              static_cast<uint32_t>(out.b) << 8 | newCvg << 5;
    SetMem32(at, value);
  } else if (colorToo) {
    SetMemByte(at, static_cast<uint32_t>(out.r));
  }
  if (depth && m.zUpdate) {
    // Back to the memory form: exponent, mantissa and the top of the slope's exponent.
    uint32_t e = 0;
    while (e < 7 && (z >> (17 - e)) % 2 == 1)
      ++e;
    const uint32_t mantissa = (z >> (e < 6 ? 6 - e : 0)) % 2048;
    uint32_t dzExponent = 0;
    for (uint32_t bit = 0; bit < 16; ++bit)
      if ((dz >> bit) % 2 == 1) dzExponent = bit;
    SetMem16(zAt, e << 13 | mantissa << 2 | dzExponent / 4);
  }
}

// --- Fill and copy modes. ---

void FillAt(int32_t x, int32_t y) {
  const TImage& image = State.colorImage;
  const uint32_t pixel = static_cast<uint32_t>(y) * image.width + static_cast<uint32_t>(x);
  if (image.size == kSize32) SetMem32(image.address + pixel * 4, State.fillColor);
  if (image.size == kSize16) {
    const uint32_t at = image.address + pixel * 2;
    SetMem16(at, (at / 2) % 2 == 0 ? State.fillColor >> 16 : State.fillColor & 0xFFFF);
  }
  if (image.size == kSize8) {
    const uint32_t at = image.address + pixel;
    SetMemByte(at, State.fillColor >> (8 * (3 - at % 4)));
  }
}

void CopyAt(const TTile& tile, int32_t x, int32_t y, int32_t sCoord, int32_t tCoord) {
  const TAxisIndex si =
      AxisIndex(sCoord, tile.sl, tile.sh, tile.shiftS, tile.maskS, tile.clampS, tile.mirrorS);
  const TAxisIndex ti =
      AxisIndex(tCoord, tile.tl, tile.th, tile.shiftT, tile.maskT, tile.clampT, tile.mirrorT);
  const auto s = static_cast<uint32_t>(si.index[0]), t = static_cast<uint32_t>(ti.index[0]);
  const uint32_t row = tile.tmem + t * tile.line, flip = (t % 2) * 4;
  uint32_t value = 0, bits = 8;
  switch (KindOf(tile)) {
    case TKind::Rgba16:
    case TKind::Ia16:
    case TKind::Yuv:
      value = Tmem16(((row + 2 * s) ^ flip) % 4096), bits = 16;
      break;
    case TKind::Rgba32: {
      const uint32_t at = ((row + 2 * s) ^ flip) % 2048;
      value = Tmem16(at) << 16 | Tmem16(at + 2048), bits = 32;
      break;
    }
    case TKind::Ci8:
      value = Tmem16(0x800 + Tmem8(((row + s) ^ flip) % 2048) * 8), bits = 16;
      break;
    case TKind::Ci4: {
      const uint32_t byte = Tmem8(((row + s / 2) ^ flip) % 2048);
      value = Tmem16(0x800 + (tile.palette * 16 + (s % 2 == 0 ? byte / 16 : byte % 16)) * 8),
      bits = 16;
      break;
    }
    case TKind::I4:
    case TKind::Ia4: {
      const uint32_t byte = Tmem8((row + s / 2) ^ flip);
      value = (s % 2 == 0 ? byte / 16 : byte % 16) * 17;
      break;
    }
    default:
      value = Tmem8((row + s) ^ flip);
      break;
  }
  const TImage& image = State.colorImage;
  const uint32_t pixel = static_cast<uint32_t>(y) * image.width + static_cast<uint32_t>(x);
  const bool test = State.modes.alphaCompare;
  if (image.size == kSize32) {
    uint32_t out = value * 0x01010101u;
    if (bits == 32) out = value;
    if (bits == 16) {
      const TRgba c = From5551(value);
      out = static_cast<uint32_t>(c.r) << 24 | static_cast<uint32_t>(c.g) << 16 |
            static_cast<uint32_t>(c.b) << 8 | static_cast<uint32_t>(c.a);
    }
    if (!test || out % 256 != 0) SetMem32(image.address + pixel * 4, out);
  } else if (image.size == kSize16) {
    uint32_t out = value * 0x101;
    if (bits == 16) out = value;
    if (bits == 32)
      out = (value >> 27) << 11 | ((value >> 19) % 32) << 6 | ((value >> 11) % 32) << 1 |
            (value % 256 != 0);
    if (!test || out % 2 == 1) SetMem16(image.address + pixel * 2, out);
  } else if (image.size == kSize8) {
    SetMemByte(image.address + pixel, value >> (bits - 8));
  }
}

}  // namespace

TDrawWork ReferenceDraw(const TPrimitive& p) {
  const TScissor& sc = State.scissor;
  const uint32_t cycle = State.modes.cycleType;
  const bool whole =
      (cycle == kCycleFill || cycle == kCycleCopy) && p.kind != TPrimitiveKind::Triangle;
  for (int32_t y = 0; y * 4 < static_cast<int32_t>(sc.yl) && y < 1024; ++y) {
    for (int32_t x = 0; x * 4 < static_cast<int32_t>(sc.xl) && x < 1024; ++x) {
      if (!LineKept(y)) continue;
      if (whole) {
        if (x * 4 < static_cast<int32_t>(sc.xh) || y * 4 < static_cast<int32_t>(sc.yh)) continue;
        if (x < static_cast<int32_t>(p.rectXh / 4) || x > static_cast<int32_t>(p.rectXl / 4) ||
            y < static_cast<int32_t>(p.rectYh / 4) || y > static_cast<int32_t>(p.rectYl / 4))
          continue;
        if (cycle == kCycleFill) {
          FillAt(x, y);
        } else {
          const int32_t dx = x - static_cast<int32_t>(p.rectXh / 4),
                        dy = y - static_cast<int32_t>(p.rectYh / 4);
          const auto s = static_cast<int32_t>(Wrap32(int64_t{p.attr[kAttrS]} +
                                                     int64_t{p.dx[kAttrS] >> 2} * dx +
                                                     int64_t{p.de[kAttrS]} * dy));
          const auto t = static_cast<int32_t>(Wrap32(int64_t{p.attr[kAttrT]} +
                                                     int64_t{p.dx[kAttrT] >> 2} * dx +
                                                     int64_t{p.de[kAttrT]} * dy));
          CopyAt(State.tiles[p.tile % 8], x, y, static_cast<int16_t>(s >> 16),
                 static_cast<int16_t>(t >> 16));
        }
        continue;
      }
      const uint32_t cvg = Coverage(p, x, y);
      if (cvg == 0) continue;
      if (cycle == kCycleFill) {
        FillAt(x, y);
      } else if (cycle == kCycleCopy) {
        CopyAt(State.tiles[p.tile % 8], x, y,
               static_cast<int16_t>(Attribute(p, kAttrS, x, y) >> 16),
               static_cast<int16_t>(Attribute(p, kAttrT, x, y) >> 16));
      } else {
        DrawPixel(p, x, y, cvg);
      }
    }
  }
  return {};
}

}  // namespace vantor::test
