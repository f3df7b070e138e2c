// The two-pixel SSE2 forms of the combiner's multiply-add and the dither against their
// channel-by-channel forms, and the dither's offset form against the plain rounding rule, over
// every channel and dither value and a million random combiner inputs.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "rdp/Lanes.h"

namespace vantor::test {
namespace {

using namespace vantor::rdp;

// The rule as written: five bits, one more where the low three bits exceed the dither value.
uint32_t RoundedFive(uint32_t c, uint32_t d) {
  uint32_t c5 = c >> 3;
  if ((c & 7) > d && c5 < 31) ++c5;
  return c5;
}

TEST(RdpLanes, TheDitherOffsetRoundsAsTheDitherValueDoes) {
  for (uint32_t d = 0; d <= 8; ++d)
    for (uint32_t c = 0; c < 256; ++c)
      ASSERT_EQ(DitherChannel(c, DitherOffset(d)), RoundedFive(c, d)) << c << " " << d;
}

#if defined(__SSE2__)
__m128i Load(const int16_t (&lanes)[8]) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes));
}

TEST(RdpLanes, TwoPixelsCombineAsEachChannelAlone) {
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

TEST(RdpLanes, TwoPixelsDitherAsEachChannelAlone) {
  for (uint32_t d = 0; d <= 8; ++d)
    for (uint32_t c = 0; c < 256; c += 8) {
      int16_t channels[8], offsets[8], out[8];
      for (int lane = 0; lane < 8; ++lane) {
        channels[lane] = static_cast<int16_t>(c + static_cast<uint32_t>(lane));
        offsets[lane] = static_cast<int16_t>(DitherOffset(d));
      }
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), DitherLanes(Load(channels), Load(offsets)));
      for (int lane = 0; lane < 8; ++lane)
        ASSERT_EQ(static_cast<uint32_t>(out[lane]), RoundedFive(c + lane, d)) << c + lane;
    }
}
#endif

}  // namespace
}  // namespace vantor::test
