// The display processor's state as its commands leave it: the modes, colours, tiles, images and
// TMEM, shared by the command decoder, the loads and the rasterizer. Internal to rdp/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "memory/PlainPages.h"

namespace vantor::rdp {

// Texel and image formats and sizes, as the commands encode them.
enum : uint32_t { kFormatRgba = 0, kFormatYuv = 1, kFormatCi = 2, kFormatIa = 3, kFormatI = 4 };
enum : uint32_t { kSize4 = 0, kSize8 = 1, kSize16 = 2, kSize32 = 3 };

// Cycle types of the other modes.
enum : uint32_t { kCycle1 = 0, kCycle2 = 1, kCycleCopy = 2, kCycleFill = 3 };

// Depth compare modes.
enum : uint32_t { kZOpaque = 0, kZInterpenetrating = 1, kZTransparent = 2, kZDecal = 3 };

// Coverage destinations.
enum : uint32_t { kCvgClamp = 0, kCvgWrap = 1, kCvgZap = 2, kCvgSave = 3 };

struct TColor {
  int32_t r = 0, g = 0, b = 0, a = 0;
};

inline TColor UnpackColor(uint32_t rgba) {
  return {int32_t(rgba >> 24), int32_t(rgba >> 16 & 0xFF), int32_t(rgba >> 8 & 0xFF),
          int32_t(rgba & 0xFF)};
}

// The other modes word decoded once when it is set.
struct TOtherModes {
  uint64_t raw = 0;
  uint32_t cycleType = kCycle1;
  bool perspective = false, detail = false, sharpen = false, lod = false;
  bool tlut = false, tlutIa = false, bilinear = false, midTexel = false;
  bool biLerp0 = false, biLerp1 = false, convertOne = false, key = false;
  uint32_t rgbDither = 0, alphaDither = 0;
  // Blender inputs per cycle: P and M colours, A and B factors.
  uint32_t blendP[2] = {}, blendA[2] = {}, blendM[2] = {}, blendB[2] = {};
  bool forceBlend = false, alphaCvgSelect = false, cvgTimesAlpha = false;
  uint32_t zMode = kZOpaque, cvgDest = kCvgClamp;
  bool colorOnCvg = false, imageRead = false, zUpdate = false, zCompare = false;
  bool antialias = false, zSourcePrim = false, ditherAlpha = false, alphaCompare = false;
};

// The combiner's inputs per cycle, as the command selects them.
struct TCombine {
  uint64_t raw = 0;
  uint32_t subA[2] = {}, subB[2] = {}, mul[2] = {}, add[2] = {};
  uint32_t subAAlpha[2] = {}, subBAlpha[2] = {}, mulAlpha[2] = {}, addAlpha[2] = {};

  bool operator==(const TCombine&) const = default;
};

struct TTile {
  uint32_t format = 0, size = 0;
  uint32_t line = 0;  // bytes per TMEM row (the command gives 64-bit words)
  uint32_t tmem = 0;  // byte address in TMEM
  uint32_t palette = 0;
  bool clampS = false, mirrorS = false, clampT = false, mirrorT = false;
  uint32_t maskS = 0, shiftS = 0, maskT = 0, shiftT = 0;
  uint32_t sl = 0, tl = 0, sh = 0, th = 0;  // 10.2 texel coordinates
};

struct TImage {
  uint32_t format = 0, size = 0, width = 1, address = 0;
};

struct TScissor {
  uint32_t xh = 0, yh = 0, xl = 0, yl = 0;  // 10.2 pixel coordinates
  bool field = false, odd = false;
};

struct TKey {
  int32_t width[3] = {}, center[3] = {}, scale[3] = {};  // red, green, blue
};

inline constexpr uint32_t kTmemBytes = 4096;

struct TState {
  TOtherModes modes;
  TCombine combine;
  uint32_t fillColor = 0;
  TColor fog, blend, prim, env;
  uint32_t primLodFrac = 0, primMinLevel = 0;
  uint32_t primZ = 0, primDz = 0;
  TKey key;
  int32_t convert[6] = {};
  TScissor scissor;
  TImage colorImage, textureImage;
  uint32_t zImage = 0;
  TTile tiles[8];
  // TMEM as 16-bit halfwords: byte address b is halfword b >> 1, the even byte its upper half.
  uint16_t tmem[kTmemBytes / 2] = {};
  // Counts primitives; the noise inputs draw from it so that every run draws the same picture.
  uint32_t primitiveCount = 0;
};

extern TState State;

// The bytes of the state that everything a primitive is drawn with comes from, but TMEM's
// contents: the modes, colours, images, scissor and tiles.
inline constexpr size_t kModeStateBytes = offsetof(TState, tmem);

inline uint32_t TmemByte(uint32_t address) {
  const uint16_t half = State.tmem[(address & (kTmemBytes - 1)) >> 1];
  return (address & 1) != 0 ? half & 0xFF : half >> 8;
}

// RDRAM as the display processor reaches it: every access is checked against the block's size,
// so no command list reaches outside it. Addresses are physical byte addresses.
inline uint32_t RdramSize() {
  return RDRAM->Size;
}

// The same on RDRAM's data and size read once, for loops that write memory: the compiler
// cannot know that a write leaves the block's own fields alone, and would read them again after
// every one.
struct TRdramView {
  uint8_t* data = RDRAM->Data;
  uint32_t size = RDRAM->Size;

  [[gnu::always_inline]] uint32_t Read8(uint32_t address) const {
    return address < size ? data[address ^ 3] : 0;
  }
  [[gnu::always_inline]] uint32_t Read16(uint32_t address) const {
    address &= ~1u;
    if (address + 2 > size) return 0;
    uint16_t value;
    std::memcpy(&value, data + (address ^ 2), 2);
    return value;
  }
  [[gnu::always_inline]] uint32_t Read32(uint32_t address) const {
    address &= ~3u;
    if (address + 4 > size) return 0;
    uint32_t value;
    std::memcpy(&value, data + address, 4);
    return value;
  }
  [[gnu::always_inline]] void Write8(uint32_t address, uint32_t value) const {
    if (address < size) data[address ^ 3] = static_cast<uint8_t>(value);
  }
  [[gnu::always_inline]] void Write16(uint32_t address, uint32_t value) const {
    address &= ~1u;
    if (address + 2 > size) return;
    const auto half = static_cast<uint16_t>(value);
    std::memcpy(data + (address ^ 2), &half, 2);
  }
  [[gnu::always_inline]] void Write32(uint32_t address, uint32_t value) const {
    address &= ~3u;
    if (address + 4 > size) return;
    std::memcpy(data + address, &value, 4);
  }
};

[[gnu::always_inline]] inline uint32_t ReadRdram8(uint32_t address) {
  return TRdramView{}.Read8(address);
}
[[gnu::always_inline]] inline uint32_t ReadRdram16(uint32_t address) {
  return TRdramView{}.Read16(address);
}
[[gnu::always_inline]] inline uint32_t ReadRdram32(uint32_t address) {
  return TRdramView{}.Read32(address);
}
[[gnu::always_inline]] inline void WriteRdram8(uint32_t address, uint32_t value) {
  TRdramView{}.Write8(address, value);
}
[[gnu::always_inline]] inline void WriteRdram16(uint32_t address, uint32_t value) {
  TRdramView{}.Write16(address, value);
}
[[gnu::always_inline]] inline void WriteRdram32(uint32_t address, uint32_t value) {
  TRdramView{}.Write32(address, value);
}

// Sign extension of the low `bits` bits.
inline int32_t SignExtend(uint64_t value, int bits) {
  const uint32_t shift = 32 - bits;
  return static_cast<int32_t>(static_cast<uint32_t>(value) << shift) >> shift;
}

// The deterministic stand-in for the hardware's noise: a hash of the pixel and the primitive.
inline uint32_t Noise(int32_t x, int32_t y, uint32_t primitive) {
  uint32_t h = static_cast<uint32_t>(x) * 0x9E3779B1u ^ static_cast<uint32_t>(y) * 0x85EBCA77u ^
               primitive * 0xC2B2AE3Du;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return h;
}

// The alpha chroma keying gives a colour: how far it lies outside the key. Each channel's
// distance from the key centre, scaled, is taken from the key width; a colour inside the key in
// every channel is transparent.
inline int32_t KeyAlpha(int32_t r, int32_t g, int32_t b, const TKey& key) {
  const int32_t channels[3] = {r, g, b};
  int32_t inside = 255;
  for (int i = 0; i < 3; ++i) {
    const int32_t distance =
        channels[i] > key.center[i] ? channels[i] - key.center[i] : key.center[i] - channels[i];
    int32_t k = (key.width[i] - distance * key.scale[i]) >> 4;
    k = k < 0 ? 0 : k > 255 ? 255 : k;
    inside = k < inside ? k : inside;
  }
  return 255 - inside;
}

// The 4x4 dither matrices: the magic square and the Bayer pattern, indexed (y & 3) * 4 + (x & 3).
inline constexpr uint8_t kMagicSquare[16] = {0, 6, 1, 7, 4, 2, 5, 3, 3, 5, 2, 4, 7, 1, 6, 0};
inline constexpr uint8_t kBayer[16] = {0, 4, 1, 5, 4, 0, 5, 1, 3, 7, 2, 6, 7, 3, 6, 2};

}  // namespace vantor::rdp
