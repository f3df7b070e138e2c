// Conversions of the emulated 16-bit frame into a display's pixel format. The source is the frame
// buffer in host word layout: 32-bit host words carrying two 5-5-5-1 pixels each (red 15-11,
// green 10-6, blue 5-1, alpha 0), the pixel at the lower emulated address in bits 31-16. The
// destination is little-endian display memory. No X11 here: the headless runner uses XLate32 too.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

// Converts byteCount / (bytes written per source word) whole source words in one linear run,
// two pixels per word. Source and destination need no particular alignment.
using TXLater = void (*)(const void* src, void* dst, size_t byteCount);

// 16 bits per pixel, 5-6-5: (p & 0xFFC0) | ((p >> 1) & 0x1F); 4 bytes per source word.
void XLate565(const void* src, void* dst, size_t byteCount);
// 16 bits per pixel, 5-5-5: (p >> 1) & 0x7FFF; 4 bytes per source word.
void XLate555(const void* src, void* dst, size_t byteCount);
// 24 bits per pixel: V(p) as blue, green, red bytes; 6 bytes per source word.
void XLate24(const void* src, void* dst, size_t byteCount);
// 32 bits per pixel: V(p) as a word with a zero top byte; 8 bytes per source word.
// V(p) = ((p << 8) & 0xFF0000) | ((p << 5) & 0x00FF00) | ((p << 2) & 0x0000FF).
void XLate32(const void* src, void* dst, size_t byteCount);

// Converts `count` 8-8-8-8 pixels, one host word each (red in bits 31-24, green 23-16, blue
// 15-8, alpha 7-0), to the display format: each colour's top bits (5-6-5, 5-5-5), or the bytes
// themselves (24 and 32 bits: blue, green, red bytes, and a zero top byte at 32).
using TXLaterRgba = void (*)(const uint32_t* src, void* dst, size_t count);

// A conversion with what frame-by-row work needs besides the run.
struct TXLaterInfo {
  TXLater xlate;
  void (*xlatePixel)(uint32_t pixel, uint8_t* dst);  // one pixel, for rows starting mid-word
  uint32_t bytesPerPixel;
  TXLaterRgba xlateRgba;  // the same display format from 8-8-8-8 pixels
};
extern const TXLaterInfo XLater565Info;
extern const TXLaterInfo XLater555Info;
extern const TXLaterInfo XLater24Info;
extern const TXLaterInfo XLater32Info;

// The conversion for a display format: 16 bits per pixel with red mask 0xF800 -> 5-6-5, other
// 16-bit masks -> 5-5-5, 24 -> XLate24, 32 -> XLate32. Null for any other size.
const TXLaterInfo* ChooseXLater(uint32_t bitsPerPixel, uint32_t redMask);

// Converts `count` pixels starting at pixel `first` of the frame to dst, reading only those
// pixels' source words and writing exactly count * bytesPerPixel bytes.
void XLatePixels(const TXLaterInfo& xlater, const void* frame, size_t first, size_t count,
                 void* dst);

// Converts a width x height frame into an image whose rows lie `pitch` bytes apart: one run when
// the rows are packed, row by row otherwise. Writes nothing between a row's end and the pitch.
void XLateFrame(const TXLaterInfo& xlater, const void* frame, uint32_t width, uint32_t height,
                void* dst, size_t pitch);

// Converts a width x height frame whose rows lie strideBytes apart in the source (a multiple of
// 4) and `pitch` bytes apart in the image. `rgba` says whether the source has 8-8-8-8 pixels, one
// a word, or 5-5-5-1 ones, two a word as above with each row starting at a word.
void XLateRows(const TXLaterInfo& xlater, bool rgba, const void* frame, uint32_t width,
               uint32_t height, size_t strideBytes, void* dst, size_t pitch);

}  // namespace vantor
