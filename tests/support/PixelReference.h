// A plain reference for the pixel conversions, built from the 5-5-5-1 channels rather than from
// the shift formulas the plug-in uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace vantor::test {

struct TChannels {
  uint32_t r, g, b, a;
};
inline TChannels Split(uint16_t p) {
  return {uint32_t(p >> 11) & 31, uint32_t(p >> 6) & 31, uint32_t(p >> 1) & 31, uint32_t(p) & 1};
}
inline uint32_t Ref565(uint16_t p) {
  const TChannels c = Split(p);
  return c.r << 11 | (c.g << 1) << 5 | c.b;  // five green bits at the top of the six
}
inline uint32_t Ref555(uint16_t p) {
  const TChannels c = Split(p);
  return c.r << 10 | c.g << 5 | c.b;
}
// Red byte: red then the top three green bits; green byte: green then the top three blue bits;
// blue byte: blue, alpha, two zeros.
inline uint32_t RefRgb(uint16_t p) {
  const TChannels c = Split(p);
  const uint32_t red = c.r << 3 | c.g >> 2;
  const uint32_t green = c.g << 3 | c.b >> 2;
  const uint32_t blue = c.b << 3 | c.a << 2;
  return red << 16 | green << 8 | blue;
}

// Pixel i of a frame in host word layout: the even one in the high half of word i / 2.
inline uint16_t PixelAt(const std::vector<uint32_t>& frame, size_t i) {
  const uint32_t word = frame[i / 2];
  return uint16_t(i % 2 == 0 ? word >> 16 : word & 0xFFFF);
}

// A frame of random pixels, as host words of two pixels each.
inline std::vector<uint32_t> RandomFrame(size_t pixels, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint32_t> frame((pixels + 1) / 2);
  for (uint32_t& word : frame)
    word = random();
  return frame;
}

}  // namespace vantor::test
