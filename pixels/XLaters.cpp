#include "pixels/XLaters.h"

#include <bit>
#include <cstring>

namespace vantor {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the frame buffer and the display memory are laid out for a little-endian host");

inline uint32_t LoadWord(const uint8_t* src) {
  uint32_t word;
  std::memcpy(&word, src, sizeof word);
  return word;
}

inline uint32_t To565(uint32_t p) {
  return (p & 0xFFC0) | ((p >> 1) & 0x001F);
}
inline uint32_t To555(uint32_t p) {
  return (p >> 1) & 0x7FFF;
}
// Each channel byte is the source bits that one shift puts in place: red = bits 15-8, green =
// bits 10-3, blue = bits 5-0 then two zeros (the alpha bit lands in blue bit 2).
inline uint32_t ToRgb(uint32_t p) {
  return ((p << 8) & 0xFF0000) | ((p << 5) & 0x00FF00) | ((p << 2) & 0x0000FF);
}

// The two 16-bit conversions write one destination word per source word: the first pixel in the
// low half, so that the pixels stay in emulated order in little-endian memory.
template <uint32_t (*Convert)(uint32_t)>
void XLate16(const void* src, void* dst, size_t byteCount) {
  const auto* in = static_cast<const uint8_t*>(src);
  auto* out = static_cast<uint8_t*>(dst);
  for (size_t n = byteCount / 4; n != 0; --n, in += 4, out += 4) {
    const uint32_t word = LoadWord(in);
    const uint32_t converted = Convert(word >> 16) | (Convert(word & 0xFFFF) << 16);
    std::memcpy(out, &converted, 4);
  }
}

void Pixel565(uint32_t p, uint8_t* dst) {
  const uint16_t converted = static_cast<uint16_t>(To565(p));
  std::memcpy(dst, &converted, 2);
}
void Pixel555(uint32_t p, uint8_t* dst) {
  const uint16_t converted = static_cast<uint16_t>(To555(p));
  std::memcpy(dst, &converted, 2);
}
void Pixel24(uint32_t p, uint8_t* dst) {
  const uint32_t rgb = ToRgb(p);
  std::memcpy(dst, &rgb, 3);
}
void Pixel32(uint32_t p, uint8_t* dst) {
  const uint32_t rgb = ToRgb(p);
  std::memcpy(dst, &rgb, 4);
}

// 8-8-8-8 source pixels. The 16-bit forms keep each colour's top bits.
inline uint32_t Rgba565(uint32_t p) {
  return (p >> 16 & 0xF800) | (p >> 13 & 0x07E0) | (p >> 11 & 0x001F);
}
inline uint32_t Rgba555(uint32_t p) {
  return (p >> 17 & 0x7C00) | (p >> 14 & 0x03E0) | (p >> 11 & 0x001F);
}

template <uint32_t (*Convert)(uint32_t)>
void Rgba16(const uint32_t* src, void* dst, size_t count) {
  auto* out = static_cast<uint8_t*>(dst);
  size_t i = 0;
  for (; i + 1 < count; i += 2, out += 4) {
    const uint32_t pair = Convert(src[i]) | Convert(src[i + 1]) << 16;
    std::memcpy(out, &pair, 4);
  }
  if (i < count) {
    const auto last = static_cast<uint16_t>(Convert(src[i]));
    std::memcpy(out, &last, 2);
  }
}

// 24 bits: four pixels make three little-endian words, then the rest one by one.
void Rgba24(const uint32_t* src, void* dst, size_t count) {
  auto* out = static_cast<uint8_t*>(dst);
  size_t i = 0;
  for (; i + 4 <= count; i += 4, out += 12) {
    const uint32_t a = src[i] >> 8, b = src[i + 1] >> 8, c = src[i + 2] >> 8, d = src[i + 3] >> 8;
    const uint32_t words[3] = {a | b << 24, b >> 8 | c << 16, c >> 16 | d << 8};
    std::memcpy(out, words, 12);
  }
  for (; i < count; ++i, out += 3) {
    const uint32_t rgb = src[i] >> 8;
    std::memcpy(out, &rgb, 3);
  }
}

void Rgba32(const uint32_t* src, void* dst, size_t count) {
  auto* out = static_cast<uint8_t*>(dst);
  for (size_t i = 0; i < count; ++i, out += 4) {
    const uint32_t rgb = src[i] >> 8;
    std::memcpy(out, &rgb, 4);
  }
}

}  // namespace

void XLate565(const void* src, void* dst, size_t byteCount) {
  XLate16<To565>(src, dst, byteCount);
}

void XLate555(const void* src, void* dst, size_t byteCount) {
  XLate16<To555>(src, dst, byteCount);
}

void XLate24(const void* src, void* dst, size_t byteCount) {
  const auto* in = static_cast<const uint8_t*>(src);
  auto* out = static_cast<uint8_t*>(dst);
  for (size_t n = byteCount / 6; n != 0; --n, in += 4, out += 6) {
    const uint32_t word = LoadWord(in);
    const uint64_t pair = ToRgb(word >> 16) | (uint64_t{ToRgb(word & 0xFFFF)} << 24);
    std::memcpy(out, &pair, 6);
  }
}

void XLate32(const void* src, void* dst, size_t byteCount) {
  const auto* in = static_cast<const uint8_t*>(src);
  auto* out = static_cast<uint8_t*>(dst);
  for (size_t n = byteCount / 8; n != 0; --n, in += 4, out += 8) {
    const uint32_t word = LoadWord(in);
    const uint64_t pair = ToRgb(word >> 16) | (uint64_t{ToRgb(word & 0xFFFF)} << 32);
    std::memcpy(out, &pair, 8);
  }
}

const TXLaterInfo XLater565Info = {XLate565, Pixel565, 2, Rgba16<Rgba565>};
const TXLaterInfo XLater555Info = {XLate555, Pixel555, 2, Rgba16<Rgba555>};
const TXLaterInfo XLater24Info = {XLate24, Pixel24, 3, Rgba24};
const TXLaterInfo XLater32Info = {XLate32, Pixel32, 4, Rgba32};

const TXLaterInfo* ChooseXLater(uint32_t bitsPerPixel, uint32_t redMask) {
  switch (bitsPerPixel) {
    case 16:
      return redMask == 0xF800 ? &XLater565Info : &XLater555Info;
    case 24:
      return &XLater24Info;
    case 32:
      return &XLater32Info;
    default:
      return nullptr;
  }
}

void XLatePixels(const TXLaterInfo& xlater, const void* frame, size_t first, size_t count,
                 void* dst) {
  if (count == 0) return;
  // Pixel i lies in word i / 2: an even i in the high half (bytes 2-3), an odd i in the low half.
  const uint8_t* in = static_cast<const uint8_t*>(frame) + first / 2 * 4;
  auto* out = static_cast<uint8_t*>(dst);
  if (first % 2 != 0) {
    uint16_t pixel;
    std::memcpy(&pixel, in, 2);
    xlater.xlatePixel(pixel, out);
    in += 4;
    out += xlater.bytesPerPixel;
    --count;
  }
  const size_t words = count / 2;
  xlater.xlate(in, out, words * 2 * xlater.bytesPerPixel);
  if (count % 2 != 0) {
    uint16_t pixel;
    std::memcpy(&pixel, in + words * 4 + 2, 2);
    xlater.xlatePixel(pixel, out + words * 2 * xlater.bytesPerPixel);
  }
}

void XLateFrame(const TXLaterInfo& xlater, const void* frame, uint32_t width, uint32_t height,
                void* dst, size_t pitch) {
  const size_t rowBytes = size_t{width} * xlater.bytesPerPixel;
  if (pitch == rowBytes) {
    XLatePixels(xlater, frame, 0, size_t{width} * height, dst);
    return;
  }
  auto* out = static_cast<uint8_t*>(dst);
  for (size_t row = 0; row < height; ++row, out += pitch)
    XLatePixels(xlater, frame, row * width, width, out);
}

void XLateRows(const TXLaterInfo& xlater, bool rgba, const void* frame, uint32_t width,
               uint32_t height, size_t strideBytes, void* dst, size_t pitch) {
  const auto* in = static_cast<const uint8_t*>(frame);
  auto* out = static_cast<uint8_t*>(dst);
  for (uint32_t row = 0; row < height; ++row, in += strideBytes, out += pitch) {
    if (rgba)
      xlater.xlateRgba(reinterpret_cast<const uint32_t*>(in), out, width);
    else
      XLatePixels(xlater, in, 0, width, out);
  }
}

}  // namespace vantor
