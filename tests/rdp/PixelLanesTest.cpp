// The SSE2 forms against the plain ones: the combiner's multiply-add on two pixels over a
// million random inputs, and its texel-times-shade form over every pair of channel values; the
// dither on two over random colours, depth's compression on four over every depth; and the
// packed dither against the plain rounding rule over every channel value and dither value.
#include <gtest/gtest.h>

#include <random>

#include "rdp/Pipeline.h"
#include "rdp/PixelLanes.h"

namespace vantor::test {
namespace {

using namespace vantor::rdp;

// The rule as written: five bits, one more where the low three bits exceed the dither value.
uint32_t RoundedFive(uint32_t c, uint32_t d) {
  uint32_t c5 = c >> 3;
  if ((c & 7) > d && c5 < 31) ++c5;
  return c5;
}

TEST(PixelLanesTest, ThePackedDitherRoundsEachChannelAsTheRuleDoes) {
  // Every value of each channel under every dither value, beside random others; the lanes'
  // upper bytes and the alpha lane must not matter.
  std::mt19937 engine(29);
  for (uint32_t d = 0; d <= 8; ++d) {
    const uint64_t offsets = DitherOffset(d) * uint64_t{0x0000000100010001};
    for (uint32_t channel = 0; channel < 3; ++channel)
      for (uint32_t c = 0; c < 256; ++c) {
        uint32_t rgb[3];
        for (uint32_t& value : rgb)
          value = static_cast<uint32_t>(engine() & 0xFF);
        rgb[channel] = c;
        uint64_t color = uint64_t{engine()} << 32 | engine();
        color &= 0xFFFFFF00FF00FF00;
        color |= rgb[0] | rgb[1] << 16 | uint64_t{rgb[2]} << 32;
        const uint32_t expected = RoundedFive(rgb[0], d) << 11 | RoundedFive(rgb[1], d) << 6 |
                                  RoundedFive(rgb[2], d) << 1;
        ASSERT_EQ(Dithered555(color, offsets), expected) << std::hex << color << " " << d;
      }
  }
}

#if defined(__SSE2__)
__m128i Load(const int16_t (&lanes)[8]) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes));
}

TEST(PixelLanesTest, TwoPixelsCombineAsEachChannelAlone) {
  // The inputs reach from the signed nine-bit constants to 256 (ONE); every fourth set is
  // drawn from the edges of that range, where the clamps and the ninth bit act.
  std::mt19937 engine(29);
  const int16_t edges[] = {-256, -255, -129, -128, -1, 0, 1, 127, 128, 255, 256, 511};
  for (int round = 0; round < 300000; ++round) {
    int16_t in[4][8];
    for (auto& operand : in)
      for (int16_t& lane : operand)
        lane = round % 4 == 0 ? edges[engine() % std::size(edges)]
                              : static_cast<int16_t>(static_cast<int32_t>(engine() % 768) - 256);
    int16_t out[8];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     CombineLanes(Load(in[0]), Load(in[1]), Load(in[2]), Load(in[3])));
    for (int lane = 0; lane < 8; ++lane)
      ASSERT_EQ(out[lane], CombineChannel(in[0][lane], in[1][lane], in[2][lane], in[3][lane]))
          << in[0][lane] << " " << in[1][lane] << " " << in[2][lane] << " " << in[3][lane];
  }
}

TEST(PixelLanesTest, TexelsTimesTheShadeCombineAsTheGeneralForm) {
  // Every pair of channel values 0-255.
  for (int16_t a = 0; a < 256; ++a)
    for (int16_t c = 0; c < 256; c += 8) {
      const __m128i as = _mm_set1_epi16(a);
      const __m128i cs = _mm_setr_epi16(c, c + 1, c + 2, c + 3, c + 4, c + 5, c + 6, c + 7);
      int16_t out[8], expected[8];
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), ModulateLanes(as, cs));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(expected),
                       CombineLanes(as, _mm_setzero_si128(), cs, _mm_setzero_si128()));
      for (int lane = 0; lane < 8; ++lane)
        ASSERT_EQ(out[lane], expected[lane]) << a << " " << c + lane;
    }
}

TEST(PixelLanesTest, TwoPixelsDitherAsEachAlone) {
  std::mt19937 engine(29);
  for (int round = 0; round < 100000; ++round) {
    uint64_t colors[2], offsets[2];
    for (int pixel = 0; pixel < 2; ++pixel) {
      colors[pixel] = uint64_t{engine()} << 32 | engine();
      offsets[pixel] = DitherOffset(engine() % 9) * uint64_t{0x0000000100010001};
    }
    uint32_t out[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     DitherLanes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(colors)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(offsets))));
    ASSERT_EQ(out[0], Dithered555(colors[0], offsets[0])) << std::hex << colors[0];
    ASSERT_EQ(out[2], Dithered555(colors[1], offsets[1])) << std::hex << colors[1];
  }
}

TEST(PixelLanesTest, FourPixelsDitherAsEachAlone) {
  std::mt19937 engine(31);
  for (int round = 0; round < 100000; ++round) {
    uint64_t colors[4], offsets[4];
    for (int pixel = 0; pixel < 4; ++pixel) {
      colors[pixel] = uint64_t{engine()} << 32 | engine();
      offsets[pixel] = DitherOffset(engine() % 9) * uint64_t{0x0000000100010001};
    }
    auto pair = [](const uint64_t* from) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    };
    uint32_t out[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     DitherFour(pair(colors), pair(offsets), pair(colors + 2), pair(offsets + 2)));
    for (int pixel = 0; pixel < 4; ++pixel)
      ASSERT_EQ(out[pixel], Dithered555(colors[pixel], offsets[pixel]))
          << std::hex << colors[pixel] << " pixel " << pixel;
  }
}

TEST(PixelLanesTest, FourDepthsCompressAsEachAlone) {
  // Every 18-bit depth, with each of the slope's exponents' top bits.
  for (uint32_t dzExponent = 0; dzExponent < 16; dzExponent += 4)
    for (uint32_t z = 0; z < 0x40000; z += 4) {
      int32_t out[4];
      _mm_storeu_si128(
          reinterpret_cast<__m128i*>(out),
          CompressLanes(_mm_setr_epi32(static_cast<int32_t>(z), static_cast<int32_t>(z + 1),
                                       static_cast<int32_t>(z + 2), static_cast<int32_t>(z + 3)),
                        _mm_set1_epi32(static_cast<int32_t>(dzExponent >> 2))));
      for (uint32_t lane = 0; lane < 4; ++lane)
        ASSERT_EQ(static_cast<uint32_t>(out[lane]), CompressDepth(z + lane, dzExponent))
            << z + lane;
    }
}
#endif

}  // namespace
}  // namespace vantor::test
