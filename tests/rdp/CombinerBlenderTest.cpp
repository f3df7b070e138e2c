// The colour combiner and the blender with their equations worked out by hand: clamping of the
// combiner's nine-bit sums, both cycles, blending by alpha, memory coverage and fog, additive
// wrap-around, alpha compare, coverage destinations and the dither matrices.
#include <gtest/gtest.h>

#include "tests/rdp/RdpCommands.h"

namespace vantor::test {
namespace {

constexpr uint32_t kWidth = 16;

const TCombineCycle kPrim{.a = 8, .b = 8, .c = 16, .d = 3, .aa = 7, .ba = 7, .ca = 7, .da = 3};

class RdpCombinerBlenderTest : public RdpTest {
 protected:
  void SetUp() override {
    RdpTest::SetUp();
    Clear(kColorAddress, kWidth * 4 * 4);
    Run({SetColorImage(0, 3, kWidth, kColorAddress), SetScissor(0, 0, Q(16), Q(4))});
  }
  // One pixel at (x, 0) in a 32-bit image with these modes and combiner.
  static uint32_t Pixel(uint32_t x, const TModes& modes, uint64_t combine,
                        std::initializer_list<uint64_t> colors = {}) {
    TCommands list = {modes.Word(), combine};
    list.insert(list.end(), colors.begin(), colors.end());
    list.push_back(FillRectangle(Q(x), 0, Q(x + 1), Q(1)));
    Run(list);
    return PeekWord(kColorAddress + x * 4);
  }
  static uint32_t Rgb(uint32_t x, const TModes& modes, uint64_t combine,
                      std::initializer_list<uint64_t> colors = {}) {
    return Pixel(x, modes, combine, colors) >> 8;
  }
};

TEST_F(RdpCombinerBlenderTest, TheCombinerRoundsAndClampsItsNineBitSums) {
  const uint64_t prim = SetPrimColor(0xC8640A80);   // 200 100 10, alpha 128
  const uint64_t env = SetColor(0x3B, 0x329600C8);  // 50 150 0, alpha 200
  // (PRIM - ENV) * PRIM_ALPHA + ENV: (150 * 128 + 50 * 256 + 128) / 256 = 125.
  EXPECT_EQ(Rgb(0, {}, SetCombine({.a = 3, .b = 5, .c = 10, .d = 5}), {prim, env}), 0x7D7D05u);
  // (ENV - PRIM) * PRIM_ALPHA: red and blue fall below zero and clamp to 0; green is
  // (50 * 128 + 128) / 256 = 25.
  EXPECT_EQ(Rgb(1, {}, SetCombine({.a = 5, .b = 3, .c = 10, .d = 7}), {prim, env}), 0x001900u);
  // (1 - 0) * PRIM + 1 with PRIM 100 255 0: 356 clamps to 255; 511 has its ninth and eighth
  // bits set, which reads as negative: 0; 256 is 255.
  EXPECT_EQ(Rgb(2, {}, SetCombine({.a = 6, .b = 8, .c = 3, .d = 6}), {SetPrimColor(0x64FF0000)}),
            0xFF00FFu);
  // (1 - K4) * K5 with K4 64 and K5 128: 192 * 128 / 256.
  EXPECT_EQ(Rgb(3, {}, SetCombine({.a = 6, .b = 7, .c = 15, .d = 7}),
                {Command(0x2C) | Field(64, 9, 9) | Field(128, 0, 9)}),
            0x606060u);
  // Two cycles: PRIM * ENV, then twice the combined colour.
  const uint64_t env2 = SetColor(0x3B, 0x80FF40FF);  // 128 255 64
  EXPECT_EQ(Rgb(4, {.cycle = 1},
                SetCombine({.a = 3, .b = 8, .c = 5, .d = 7}, {.a = 6, .b = 8, .c = 0, .d = 0}),
                {prim, env2}),
            0xC8C806u);
  // The alpha equation, shown through the second cycle: (1 - PRIM_ALPHA) * ENV_ALPHA with 64
  // and 200 gives 150.
  EXPECT_EQ(Rgb(5, {.cycle = 1},
                SetCombine({.aa = 6, .ba = 3, .ca = 5, .da = 7}, {.a = 6, .b = 8, .c = 7, .d = 7}),
                {SetPrimColor(0x00000040), SetColor(0x3B, 0x000000C8)}),
            0x969696u);
}

TEST_F(RdpCombinerBlenderTest, TheBlenderMixesByAlphaAddsWithWrapAroundAndTakesFog) {
  const uint64_t prim = SetPrimColor(0x6432FE7F);  // 100 50 254, alpha 127
  for (uint32_t x = 0; x < 6; ++x)
    PokeWord(kColorAddress + x * 4, 0xC86400E0);  // 200 100 0, full coverage
  const uint64_t combine = SetCombine(kPrim);
  // IN * A + MEM * (1 - A), A = 127: 16 of 32 each.
  EXPECT_EQ(Pixel(0, {.p0 = 0, .a0 = 0, .m0 = 1, .b0 = 0, .forceBlend = true, .imageRead = true},
                  combine, {prim}),
            0x964B7FE0u);
  // IN * FOG_ALPHA + MEM * 1 with fog alpha 255 adds, and wraps past 255: red 300 is 44.
  EXPECT_EQ(Pixel(1, {.p0 = 0, .a0 = 1, .m0 = 1, .b0 = 2, .forceBlend = true, .imageRead = true},
                  combine, {prim, SetColor(0x38, 0x000000FF)}),
            0x2C96FEE0u);
  // BLEND * FOG_ALPHA + IN * (1 - FOG_ALPHA), fog alpha 64: 8 and 24 of 32.
  EXPECT_EQ(
      Pixel(2, {.p0 = 2, .a0 = 1, .m0 = 0, .b0 = 0, .forceBlend = true}, combine,
            {SetPrimColor(0x0000FFFF), SetColor(0x39, 0xFF000000), SetColor(0x38, 0x00000040)}),
      0x3F00BFE0u);
  // Two cycles: the first blends fog over the pixel (all fog at alpha 255), the second mixes
  // that half and half with memory.
  EXPECT_EQ(Pixel(3,
                  {.cycle = 1,
                   .p0 = 3,
                   .a0 = 1,
                   .m0 = 0,
                   .b0 = 0,
                   .p1 = 0,
                   .a1 = 0,
                   .m1 = 1,
                   .b1 = 0,
                   .forceBlend = true,
                   .imageRead = true},
                  SetCombine(kPrim), {prim, SetColor(0x38, 0x0000C8FF)}),
            0x643264E0u);
  // Without blending the first input passes: here the blend colour.
  EXPECT_EQ(Pixel(4, {.p0 = 2}, combine, {SetColor(0x39, 0x11223300)}), 0x112233E0u);
}

TEST_F(RdpCombinerBlenderTest, AntialiasedEdgesBlendByCoverageWithMemory) {
  for (uint32_t x = 0; x < 3; ++x)
    PokeWord(kColorAddress + x * 4, 0x00783CE0);  // 0 120 60, full coverage
  // A rectangle from x = 0.5: pixel 0 has the samples at 1/2 and 3/4, four of eight. Its alpha
  // is its coverage, 128, a factor of 16; memory's full coverage is 32. Pixel 1 is covered
  // and takes the colour as it is.
  Run({TModes{.p0 = 0,
              .a0 = 0,
              .m0 = 1,
              .b0 = 1,
              .alphaCvgSelect = true,
              .imageRead = true,
              .antialias = true}
           .Word(),
       SetCombine(kPrim), SetPrimColor(0x5A1EF0FF), FillRectangle(Q(0.5), 0, Q(2), Q(1))});
  // (90 * 16 + 0 * 32) / 48, (30 * 16 + 120 * 32) / 48, (240 * 16 + 60 * 32) / 48.
  EXPECT_EQ(PeekWord(kColorAddress), 0x1E5A78E0u);
  EXPECT_EQ(PeekWord(kColorAddress + 4), 0x5A1EF0E0u);
}

TEST_F(RdpCombinerBlenderTest, CoverageDestinationsAndColourOnCoverage) {
  const uint64_t prim = SetPrimColor(0x808080FF);
  auto coverage = [&](uint32_t x, uint32_t cvgDest) {
    PokeWord(kColorAddress + x * 4, 0x00000060);  // coverage 3
    return Pixel(x, {.cvgDest = cvgDest, .imageRead = true}, SetCombine(kPrim), {prim}) & 0xFF;
  };
  EXPECT_EQ(coverage(0, 0), 7u << 5);  // clamp: 8 + 3 stops at 7
  EXPECT_EQ(coverage(1, 1), 3u << 5);  // wrap: 11 & 7
  EXPECT_EQ(coverage(2, 2), 7u << 5);  // zap
  EXPECT_EQ(coverage(3, 3), 3u << 5);  // save
  // Colour on coverage writes the colour only when the coverage overflows: a half-covered
  // pixel over none keeps its colour and takes the coverage.
  PokeWord(kColorAddress + 4 * 4, 0x11223300);
  Run({TModes{.colorOnCvg = true, .imageRead = true}.Word(), SetCombine(kPrim), prim,
       FillRectangle(Q(4.5), 0, Q(5), Q(1))});
  EXPECT_EQ(PeekWord(kColorAddress + 4 * 4), 0x11223380u);
}

TEST_F(RdpCombinerBlenderTest, AlphaCompareKeepsAlphaAtOrAboveTheBlendAlpha) {
  const TModes modes{.alphaCompare = true};
  const uint64_t threshold = SetColor(0x39, 0x00000080);
  EXPECT_EQ(Pixel(0, modes, SetCombine(kPrim), {threshold, SetPrimColor(0xFFFFFF7F)}), 0u);
  EXPECT_EQ(Pixel(1, modes, SetCombine(kPrim), {threshold, SetPrimColor(0xFFFFFF80)}), 0xFFFFFFE0u);
  // Coverage times alpha: alpha 127 halves the coverage of a covered pixel (8 * 128 / 256).
  EXPECT_EQ(Pixel(2, {.cvgTimesAlpha = true}, SetCombine(kPrim), {SetPrimColor(0xFFFFFF7F)}),
            0xFFFFFF80u);
}

TEST_F(RdpCombinerBlenderTest, DitheringFollowsTheMagicSquareAndTheBayerMatrix) {
  // Every channel 2: the 5-bit value rounds up where the matrix entry is below 2.
  const char* magic[4] = {"1010", "0000", "0000", "0101"};
  const char* bayer[4] = {"1010", "0101", "0000", "0000"};
  for (uint32_t matrix = 0; matrix < 2; ++matrix) {
    Run({SetColorImage(0, 2, kWidth, kColorAddress), TModes{.rgbDither = matrix}.Word(),
         SetCombine(kPrim), SetPrimColor(0x020202FF), FillRectangle(0, 0, Q(4), Q(4))});
    for (uint32_t y = 0; y < 4; ++y)
      for (uint32_t x = 0; x < 4; ++x) {
        const char* const* pattern = matrix == 0 ? magic : bayer;
        const uint32_t up = pattern[y][x] == '1' ? 1 : 0;
        EXPECT_EQ(PeekHalf(kColorAddress + (y * kWidth + x) * 2), up << 11 | up << 6 | up << 1 | 1)
            << matrix << ": " << x << "," << y;
      }
  }
}

}  // namespace
}  // namespace vantor::test
