#include "rdp/Commands.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "rdp/Raster.h"
#include "rdp/RdpState.h"
#include "rdp/Tmem.h"

namespace vantor::rdp {

TState State;

namespace {

uint32_t Bits(uint64_t word, int low, int count) {
  return static_cast<uint32_t>(word >> low) & ((1u << count) - 1);
}
bool Bit(uint64_t word, int bit) {
  return ((word >> bit) & 1) != 0;
}

// Fixed display-processor cycles beyond the pixels: a command, a primitive's set-up, a scanline.
constexpr uint64_t kCommandCycles = 1;
constexpr uint64_t kPrimitiveCycles = 8;

// Everything of a command word but its id.
constexpr uint64_t kParameterBits = 0x00FFFFFFFFFFFFFFull;

// One pixel a cycle in one-cycle mode, one in two cycles in two-cycle mode, four a cycle in fill
// and copy modes; a cycle for each scanline.
uint64_t PrimitiveCycles(const TDrawWork& work) {
  uint64_t pixels = work.pixels;
  switch (State.modes.cycleType) {
    case kCycle2:
      pixels *= 2;
      break;
    case kCycleCopy:
    case kCycleFill:
      pixels = (pixels + 3) / 4;
      break;
    default:
      break;
  }
  return kPrimitiveCycles + work.rows + pixels;
}

void SetOtherModes(uint64_t w) {
  TOtherModes& m = State.modes;
  m.raw = w & kParameterBits;
  m.cycleType = Bits(w, 52, 2);
  m.perspective = Bit(w, 51);
  m.detail = Bit(w, 50);
  m.sharpen = Bit(w, 49);
  m.lod = Bit(w, 48);
  m.tlut = Bit(w, 47);
  m.tlutIa = Bit(w, 46);
  m.bilinear = Bit(w, 45);
  m.midTexel = Bit(w, 44);
  m.biLerp0 = Bit(w, 43);
  m.biLerp1 = Bit(w, 42);
  m.convertOne = Bit(w, 41);
  m.key = Bit(w, 40);
  m.rgbDither = Bits(w, 38, 2);
  m.alphaDither = Bits(w, 36, 2);
  for (int cycle = 0; cycle < 2; ++cycle) {
    m.blendP[cycle] = Bits(w, 30 - 2 * cycle, 2);
    m.blendA[cycle] = Bits(w, 26 - 2 * cycle, 2);
    m.blendM[cycle] = Bits(w, 22 - 2 * cycle, 2);
    m.blendB[cycle] = Bits(w, 18 - 2 * cycle, 2);
  }
  m.forceBlend = Bit(w, 14);
  m.alphaCvgSelect = Bit(w, 13);
  m.cvgTimesAlpha = Bit(w, 12);
  m.zMode = Bits(w, 10, 2);
  m.cvgDest = Bits(w, 8, 2);
  m.colorOnCvg = Bit(w, 7);
  m.imageRead = Bit(w, 6);
  m.zUpdate = Bit(w, 5);
  m.zCompare = Bit(w, 4);
  m.antialias = Bit(w, 3);
  m.zSourcePrim = Bit(w, 2);
  m.ditherAlpha = Bit(w, 1);
  m.alphaCompare = Bit(w, 0);
}

void SetCombine(uint64_t w) {
  TCombine& c = State.combine;
  c.raw = w & kParameterBits;
  c.subA[0] = Bits(w, 52, 4);
  c.mul[0] = Bits(w, 47, 5);
  c.subAAlpha[0] = Bits(w, 44, 3);
  c.mulAlpha[0] = Bits(w, 41, 3);
  c.subA[1] = Bits(w, 37, 4);
  c.mul[1] = Bits(w, 32, 5);
  c.subB[0] = Bits(w, 28, 4);
  c.subB[1] = Bits(w, 24, 4);
  c.subAAlpha[1] = Bits(w, 21, 3);
  c.mulAlpha[1] = Bits(w, 18, 3);
  c.add[0] = Bits(w, 15, 3);
  c.subBAlpha[0] = Bits(w, 12, 3);
  c.addAlpha[0] = Bits(w, 9, 3);
  c.add[1] = Bits(w, 6, 3);
  c.subBAlpha[1] = Bits(w, 3, 3);
  c.addAlpha[1] = Bits(w, 0, 3);
}

void SetTile(uint64_t w) {
  TTile& t = State.tiles[Bits(w, 24, 3)];
  t.format = Bits(w, 53, 3);
  t.size = Bits(w, 51, 2);
  t.line = Bits(w, 41, 9) * 8;
  t.tmem = Bits(w, 32, 9) * 8;
  t.palette = Bits(w, 20, 4);
  t.clampT = Bit(w, 19);
  t.mirrorT = Bit(w, 18);
  t.maskT = Bits(w, 14, 4);
  t.shiftT = Bits(w, 10, 4);
  t.clampS = Bit(w, 9);
  t.mirrorS = Bit(w, 8);
  t.maskS = Bits(w, 4, 4);
  t.shiftS = Bits(w, 0, 4);
}

void SetTileSize(uint64_t w) {
  TTile& t = State.tiles[Bits(w, 24, 3)];
  t.sl = Bits(w, 44, 12);
  t.tl = Bits(w, 32, 12);
  t.sh = Bits(w, 12, 12);
  t.th = Bits(w, 0, 12);
}

TImage DecodeImage(uint64_t w) {
  return {Bits(w, 53, 3), Bits(w, 51, 2), Bits(w, 32, 10) + 1, Bits(w, 0, 26)};
}

// Eight words of shade or texture coefficients into kCount attributes starting at `first`:
// each value's integer half from one word and its fraction from another, 16 bits each, the
// top half of a word first.
template <uint32_t kCount>
void DecodeCoefficients(const uint64_t* w, TPrimitive& p, uint32_t first) {
  alignas(16) int32_t values[4][4];
  for (int k = 0; k < 4; ++k) {
    const uint64_t integers = w[k < 2 ? k : k + 2], fractions = w[k < 2 ? k + 2 : k + 4];
#if defined(__SSE2__)
    // Fraction and integer side by side make each value, bottom value first: reversed.
    const __m128i pairs = _mm_unpacklo_epi16(_mm_cvtsi64_si128(static_cast<int64_t>(fractions)),
                                             _mm_cvtsi64_si128(static_cast<int64_t>(integers)));
    _mm_store_si128(reinterpret_cast<__m128i*>(values[k]),
                    _mm_shuffle_epi32(pairs, _MM_SHUFFLE(0, 1, 2, 3)));
#else
    for (int i = 0; i < 4; ++i) {
      const int shift = 48 - 16 * i;
      values[k][i] = static_cast<int32_t>(static_cast<uint32_t>(integers >> shift & 0xFFFF) << 16 |
                                          static_cast<uint32_t>(fractions >> shift & 0xFFFF));
    }
#endif
  }
  std::memcpy(p.attr + first, values[0], kCount * sizeof(int32_t));
  std::memcpy(p.dx + first, values[1], kCount * sizeof(int32_t));
  std::memcpy(p.de + first, values[2], kCount * sizeof(int32_t));
  std::memcpy(p.dy + first, values[3], kCount * sizeof(int32_t));
}

uint64_t Triangle(const uint64_t* w) {
  const uint32_t id = Bits(w[0], 56, 6);
  TPrimitive p;
  p.kind = TPrimitiveKind::Triangle;
  p.leftMajor = Bit(w[0], 55);
  p.levels = Bits(w[0], 51, 3);
  p.tile = Bits(w[0], 48, 3);
  p.yl = SignExtend(w[0] >> 32, 14);
  p.ym = SignExtend(w[0] >> 16, 14);
  p.yh = SignExtend(w[0], 14);
  p.xl = SignExtend(w[1] >> 32, 28);
  p.dxldy = SignExtend(w[1], 30);
  p.xh = SignExtend(w[2] >> 32, 28);
  p.dxhdy = SignExtend(w[2], 30);
  p.xm = SignExtend(w[3] >> 32, 28);
  p.dxmdy = SignExtend(w[3], 30);
  p.shade = (id & 4) != 0;
  p.texture = (id & 2) != 0;
  p.depth = (id & 1) != 0;
  const uint64_t* next = w + 4;
  if (p.shade) {
    DecodeCoefficients<4>(next, p, kAttrR);
    next += 8;
  }
  if (p.texture) {
    DecodeCoefficients<3>(next, p, kAttrS);
    next += 8;
  }
  if (p.depth) {
    p.attr[kAttrZ] = static_cast<int32_t>(next[0] >> 32);
    p.dx[kAttrZ] = static_cast<int32_t>(next[0]);
    p.de[kAttrZ] = static_cast<int32_t>(next[1] >> 32);
    p.dy[kAttrZ] = static_cast<int32_t>(next[1]);
  }
  return PrimitiveCycles(DrawPrimitive(p));
}

TPrimitive Rectangle(uint64_t w, TPrimitiveKind kind) {
  TPrimitive p;
  p.kind = kind;
  p.rectXl = Bits(w, 44, 12);
  p.rectYl = Bits(w, 32, 12);
  p.rectXh = Bits(w, 12, 12);
  p.rectYh = Bits(w, 0, 12);
  p.tile = Bits(w, 24, 3);
  // In one- and two-cycle modes a rectangle is a triangle with upright edges.
  p.leftMajor = true;
  p.yh = static_cast<int32_t>(p.rectYh);
  p.ym = p.yl = static_cast<int32_t>(p.rectYl);
  p.xh = static_cast<int32_t>(p.rectXh << 14);
  p.xm = p.xl = static_cast<int32_t>(p.rectXl << 14);
  return p;
}

uint64_t TextureRectangle(const uint64_t* w, bool flip) {
  TPrimitive p = Rectangle(w[0], TPrimitiveKind::TextureRectangle);
  p.texture = true;
  // s and t are s10.5, their steps s5.10: both become s15.16 attributes with s10.5 on top.
  p.attr[kAttrS] = static_cast<int32_t>(static_cast<uint32_t>(w[1] >> 48) << 16);
  p.attr[kAttrT] = static_cast<int32_t>(static_cast<uint32_t>(w[1] >> 32 & 0xFFFF) << 16);
  const int32_t dsdx = SignExtend(w[1] >> 16, 16) * 2048;
  const int32_t dtdy = SignExtend(w[1], 16) * 2048;
  if (flip) {
    p.de[kAttrS] = p.dy[kAttrS] = dsdx;
    p.dx[kAttrT] = dtdy;
  } else {
    p.dx[kAttrS] = dsdx;
    p.de[kAttrT] = p.dy[kAttrT] = dtdy;
  }
  return PrimitiveCycles(DrawPrimitive(p));
}

uint64_t FillRectangle(uint64_t w) {
  return PrimitiveCycles(DrawPrimitive(Rectangle(w, TPrimitiveKind::FillRectangle)));
}

}  // namespace

uint32_t CommandWords(uint32_t id) {
  id &= 0x3F;
  if (id >= 0x08 && id <= 0x0F)
    return 4 + ((id & 4) != 0 ? 8 : 0) + ((id & 2) != 0 ? 8 : 0) + ((id & 1) != 0 ? 2 : 0);
  if (id == 0x24 || id == 0x25) return 2;
  return 1;
}

uint64_t ExecuteCommand(const uint64_t* words) {
  const uint64_t w = words[0];
  const uint32_t id = Bits(w, 56, 6);
  switch (id) {
    case 0x08:
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x0E:
    case 0x0F:
      return Triangle(words);
    case 0x24:
    case 0x25:
      return TextureRectangle(words, id == 0x25);
    case 0x2A:
      State.key.width[1] = static_cast<int32_t>(Bits(w, 44, 12));
      State.key.width[2] = static_cast<int32_t>(Bits(w, 32, 12));
      State.key.center[1] = static_cast<int32_t>(Bits(w, 24, 8));
      State.key.scale[1] = static_cast<int32_t>(Bits(w, 16, 8));
      State.key.center[2] = static_cast<int32_t>(Bits(w, 8, 8));
      State.key.scale[2] = static_cast<int32_t>(Bits(w, 0, 8));
      break;
    case 0x2B:
      State.key.width[0] = static_cast<int32_t>(Bits(w, 16, 12));
      State.key.center[0] = static_cast<int32_t>(Bits(w, 8, 8));
      State.key.scale[0] = static_cast<int32_t>(Bits(w, 0, 8));
      break;
    case 0x2C:
      for (int i = 0; i < 6; ++i)
        State.convert[i] = SignExtend(w >> (45 - 9 * i), 9);
      break;
    case 0x2D:
      State.scissor = {Bits(w, 44, 12), Bits(w, 32, 12), Bits(w, 12, 12),
                       Bits(w, 0, 12),  Bit(w, 25),      Bit(w, 24)};
      break;
    case 0x2E:
      State.primZ = Bits(w, 16, 16);
      State.primDz = Bits(w, 0, 16);
      break;
    case 0x2F:
      SetOtherModes(w);
      break;
    case 0x30:
      return kCommandCycles +
             LoadTlut(Bits(w, 24, 3), Bits(w, 44, 12), Bits(w, 32, 12), Bits(w, 12, 12));
    case 0x32:
      SetTileSize(w);
      break;
    case 0x33:
      return kCommandCycles + LoadBlock(Bits(w, 24, 3), Bits(w, 44, 12), Bits(w, 32, 12),
                                        Bits(w, 12, 12), Bits(w, 0, 12));
    case 0x34:
      return kCommandCycles + LoadTile(Bits(w, 24, 3), Bits(w, 44, 12), Bits(w, 32, 12),
                                       Bits(w, 12, 12), Bits(w, 0, 12));
    case 0x35:
      SetTile(w);
      break;
    case 0x36:
      return FillRectangle(w);
    case 0x37:
      State.fillColor = static_cast<uint32_t>(w);
      break;
    case 0x38:
      State.fog = UnpackColor(static_cast<uint32_t>(w));
      break;
    case 0x39:
      State.blend = UnpackColor(static_cast<uint32_t>(w));
      break;
    case 0x3A:
      State.primMinLevel = Bits(w, 40, 5);
      State.primLodFrac = Bits(w, 32, 8);
      State.prim = UnpackColor(static_cast<uint32_t>(w));
      break;
    case 0x3B:
      State.env = UnpackColor(static_cast<uint32_t>(w));
      break;
    case 0x3C:
      SetCombine(w);
      break;
    case 0x3D:
      State.textureImage = DecodeImage(w);
      break;
    case 0x3E:
      State.zImage = Bits(w, 0, 26);
      break;
    case 0x3F:
      State.colorImage = DecodeImage(w);
      break;
    default:  // the syncs and the unused ids take a cycle and change nothing
      break;
  }
  return kCommandCycles;
}

void ResetState() {
  State = TState{};
  SetOtherModes(0);
  SetCombine(0);
}

}  // namespace vantor::rdp
