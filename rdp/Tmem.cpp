#include "rdp/Tmem.h"

#include <algorithm>

#include "rdp/RdpState.h"

namespace vantor::rdp {

namespace {

constexpr uint32_t kHalfBytes = kTmemBytes / 2;
// Odd rows of a tile have the two 32-bit halves of each 64-bit word swapped.
constexpr uint32_t kOddRowSwap = 4;

void WriteTmemByte(uint32_t address, uint32_t value) {
  uint16_t& half = State.tmem[(address & (kTmemBytes - 1)) >> 1];
  if ((address & 1) != 0)
    half = static_cast<uint16_t>((half & 0xFF00) | (value & 0xFF));
  else
    half = static_cast<uint16_t>((half & 0x00FF) | (value & 0xFF) << 8);
}

void WriteTmem16(uint32_t address, uint32_t value) {
  State.tmem[(address & (kTmemBytes - 1)) >> 1] = static_cast<uint16_t>(value);
}

// A 32-bit texel splits: red and green into the lower half of TMEM, blue and alpha into the
// upper half at the same offset.
void WriteSplit32(uint32_t offset, uint32_t texel) {
  WriteTmem16(offset & (kHalfBytes - 1), texel >> 16);
  WriteTmem16((offset & (kHalfBytes - 1)) | kHalfBytes, texel);
}

uint32_t TexelBits(uint32_t size) {
  return 4u << size;
}

// Byte address in RDRAM of texel (s, t) of the texture image, for sizes of 8 bits and more.
uint32_t ImageAddress(uint32_t s, uint32_t t) {
  const TImage& image = State.textureImage;
  const uint64_t texel = uint64_t{t} * image.width + s;
  return static_cast<uint32_t>((image.address + (texel * TexelBits(image.size) >> 3)) & 0x3FFFFFF);
}

}  // namespace

uint64_t LoadTile(uint32_t tileIndex, uint32_t sl, uint32_t tl, uint32_t sh, uint32_t th) {
  TTile& tile = State.tiles[tileIndex & 7];
  tile.sl = sl;
  tile.tl = tl;
  tile.sh = sh;
  tile.th = th;
  const uint32_t s0 = sl >> 2, t0 = tl >> 2, s1 = sh >> 2, t1 = th >> 2;
  if (s1 < s0 || t1 < t0) return 0;
  const TImage& image = State.textureImage;
  const bool split = image.size == kSize32 || (image.format == kFormatYuv && image.size == kSize16);
  uint64_t bytes = 0;
  for (uint32_t t = t0; t <= t1; ++t) {
    const uint32_t row = t - t0;
    const uint32_t swap = (row & 1) != 0 ? kOddRowSwap : 0;
    const uint32_t rowBase = tile.tmem + row * tile.line;
    for (uint32_t s = s0; s <= s1; ++s) {
      const uint32_t x = s - s0;
      if (image.format == kFormatYuv && image.size == kSize16) {
        // U Y0 V Y1 per pair of texels: U or V into the lower half, Y into the upper one.
        const uint32_t pair = ReadRdram16(ImageAddress(s, t));
        WriteTmemByte(((rowBase + x) ^ swap) & (kHalfBytes - 1), pair >> 8);
        WriteTmemByte((((rowBase + x) ^ swap) & (kHalfBytes - 1)) | kHalfBytes, pair);
      } else if (split) {
        WriteSplit32((rowBase + x * 2) ^ swap, ReadRdram32(ImageAddress(s, t)));
      } else if (image.size == kSize16) {
        WriteTmem16((rowBase + x * 2) ^ swap, ReadRdram16(ImageAddress(s, t)));
      } else if (image.size == kSize8) {
        WriteTmemByte((rowBase + x) ^ swap, ReadRdram8(ImageAddress(s, t)));
      } else {
        // Four-bit texels move as nibbles.
        const uint64_t nibble = uint64_t{t} * image.width + s;
        const uint32_t source =
            ReadRdram8((image.address + static_cast<uint32_t>(nibble >> 1)) & 0x3FFFFFF);
        const uint32_t value = (nibble & 1) != 0 ? source & 0xF : source >> 4;
        const uint32_t target = (rowBase + (x >> 1)) ^ swap;
        const uint32_t old = TmemByte(target);
        WriteTmemByte(target, (x & 1) != 0 ? (old & 0xF0) | value : (old & 0x0F) | value << 4);
      }
    }
    bytes += ((s1 - s0 + 1) * TexelBits(image.size) + 7) / 8;
  }
  return (bytes + 7) / 8;
}

uint64_t LoadBlock(uint32_t tileIndex, uint32_t sl, uint32_t tl, uint32_t sh, uint32_t dxt) {
  const TTile& tile = State.tiles[tileIndex & 7];
  if (sh < sl) return 0;
  const uint32_t texels = std::min(sh - sl + 1, 2048u);
  const TImage& image = State.textureImage;
  const uint32_t source = ImageAddress(sl, tl);
  const bool split = image.size == kSize32;
  // Each 64-bit word holds 64 bits of texels; a 32-bit texture fills a word of each half with
  // four texels.
  const uint32_t words =
      split ? (texels + 3) / 4
            : static_cast<uint32_t>((uint64_t{texels} * TexelBits(image.size) + 63) / 64);
  uint32_t row = 0;
  for (uint32_t i = 0; i < words; ++i) {
    const uint32_t swap = ((row >> 11) & 1) != 0 ? kOddRowSwap : 0;
    const uint32_t target = tile.tmem + i * 8;
    if (split) {
      for (uint32_t k = 0; k < 4; ++k)
        WriteSplit32((target + k * 2) ^ swap, ReadRdram32(source + i * 16 + k * 4));
    } else {
      for (uint32_t k = 0; k < 8; ++k)
        WriteTmemByte((target + k) ^ swap, ReadRdram8((source + i * 8 + k) & 0x3FFFFFF));
    }
    row += dxt;
  }
  return words;
}

uint64_t LoadTlut(uint32_t tileIndex, uint32_t sl, uint32_t tl, uint32_t sh) {
  const TTile& tile = State.tiles[tileIndex & 7];
  const uint32_t first = sl >> 2, last = sh >> 2;
  if (last < first) return 0;
  const uint32_t entries = std::min(last - first + 1, 256u);
  const uint32_t source = ImageAddress(first, tl >> 2);
  for (uint32_t i = 0; i < entries; ++i) {
    const uint32_t entry = ReadRdram16(source + i * 2);
    for (uint32_t copy = 0; copy < 4; ++copy)
      WriteTmem16(tile.tmem + i * 8 + copy * 2, entry);
  }
  return entries;
}

}  // namespace vantor::rdp
