// Fill and copy modes and rectangles in one-cycle mode, with the pixels worked out by hand.
#include <gtest/gtest.h>

#include "tests/rdp/RdpCommands.h"

namespace vantor::test {
namespace {

class RdpFillCopyTest : public RdpTest {
 protected:
  static constexpr uint32_t kWidth = 16;
  static uint32_t At16(uint32_t x, uint32_t y) {
    return PeekHalf(kColorAddress + (y * kWidth + x) * 2);
  }
  static uint32_t At32(uint32_t x, uint32_t y) {
    return PeekWord(kColorAddress + (y * kWidth + x) * 4);
  }
  // Marks the image so that untouched pixels show.
  static void Mark(uint32_t bytes) {
    for (uint32_t i = 0; i < bytes; i += 4)
      PokeWord(kColorAddress + i, 0x12341234);
  }
};

TEST_F(RdpFillCopyTest, FillModeWritesWholePixelsBothCornersIncludedAndClipsToTheScissor) {
  Mark(kWidth * 8 * 2);
  // 16-bit: the upper half of the fill colour for pixels at even halfword addresses.
  Run({SetColorImage(0, 2, kWidth, kColorAddress), SetScissor(0, 0, Q(16), Q(8)),
       TModes{.cycle = 3}.Word(), SetFillColor(0xF80107C1), FillRectangle(Q(2), Q(1), Q(5), Q(2)),
       // A scissor whose right edge is at 4.25 keeps pixel 4: its left edge lies inside.
       SetScissor(Q(1), Q(4), Q(4.25), Q(8)), FillRectangle(0, Q(3), Q(7), Q(4.75)),
       // A fractional corner falls to the pixel it lies in.
       SetScissor(0, 0, Q(16), Q(8)), FillRectangle(Q(8.75), Q(6.5), Q(9.5), Q(6.75))});
  for (uint32_t y = 0; y < 8; ++y)
    for (uint32_t x = 0; x < kWidth; ++x) {
      const bool first = x >= 2 && x <= 5 && y >= 1 && y <= 2;
      const bool second = x >= 1 && x <= 4 && y == 4;
      const bool third = x >= 8 && x <= 9 && y == 6;
      const uint32_t expected =
          first || second || third ? (x % 2 == 0 ? 0xF801u : 0x07C1u) : 0x1234u;
      EXPECT_EQ(At16(x, y), expected) << x << "," << y;
    }
}

TEST_F(RdpFillCopyTest, FillModeWritesThirtyTwoAndEightBitImagesAsMemoryHoldsTheColour) {
  Mark(kWidth * 4 * 4);
  Run({SetColorImage(0, 3, kWidth, kColorAddress), SetScissor(0, 0, Q(16), Q(4)),
       TModes{.cycle = 3}.Word(), SetFillColor(0xAABBCCDD), FillRectangle(Q(1), Q(1), Q(2), Q(1))});
  EXPECT_EQ(At32(0, 1), 0x12341234u);
  EXPECT_EQ(At32(1, 1), 0xAABBCCDDu);
  EXPECT_EQ(At32(2, 1), 0xAABBCCDDu);
  EXPECT_EQ(At32(3, 1), 0x12341234u);
  Mark(64);
  // 8-bit pixel n takes byte n % 4 of the colour, highest first.
  Run({SetColorImage(4, 1, kWidth, kColorAddress), FillRectangle(Q(1), 0, Q(6), 0)});
  EXPECT_EQ(PeekWord(kColorAddress), 0x12BBCCDDu);
  EXPECT_EQ(PeekWord(kColorAddress + 4), 0xAABBCC34u);
}

TEST_F(RdpFillCopyTest, OneCycleRectanglesCoverSubPixelsAndLeaveTheirRightAndLowerEdgesOut) {
  Mark(kWidth * 4 * 2);
  // The primitive colour straight through the combiner and the blender.
  TCombineCycle prim{.a = 8, .b = 8, .c = 16, .d = 3, .aa = 7, .ba = 7, .ca = 7, .da = 3};
  Run({SetColorImage(0, 2, kWidth, kColorAddress), SetScissor(0, 0, Q(16), Q(4)), TModes{}.Word(),
       SetCombine(prim), SetPrimColor(0xF8F8F8FF), FillRectangle(Q(1.5), Q(0.25), Q(4), Q(2))});
  // Rows 0 and 1; the top row has three sub-scanlines (0.25, 0.5, 0.75), the left column the
  // samples right of 1.5: x + 1/2 on even sub-scanlines, x + 3/4 on odd ones. Coverage below 4
  // of 8 samples leaves the coverage bit clear.
  EXPECT_EQ(At16(0, 0), 0x1234u);
  EXPECT_EQ(At16(1, 0), 0xFFFEu);  // 3 samples
  EXPECT_EQ(At16(2, 0), 0xFFFFu);  // 6 samples
  EXPECT_EQ(At16(3, 0), 0xFFFFu);
  EXPECT_EQ(At16(4, 0), 0x1234u);
  EXPECT_EQ(At16(1, 1), 0xFFFFu);  // 4 samples
  EXPECT_EQ(At16(3, 1), 0xFFFFu);
  EXPECT_EQ(At16(4, 1), 0x1234u);
  EXPECT_EQ(At16(2, 2), 0x1234u);
}

TEST_F(RdpFillCopyTest, CopyModeMovesRawTexelsAndAlphaCompareDropsTransparentOnes) {
  // A 4 x 2 texture of 16-bit texels; texel (1, 0) is transparent.
  const uint32_t texels[8] = {0x0003, 0x0004, 0x0007, 0x0009, 0x000B, 0x000D, 0x000F, 0x0011};
  for (uint32_t i = 0; i < 8; ++i)
    PokeHalf(kTextureAddress + i * 2, texels[i]);
  Mark(kWidth * 4 * 2);
  TCommands list = {
      SetColorImage(0, 2, kWidth, kColorAddress),      SetScissor(0, 0, Q(16), Q(4)),
      TModes{.cycle = 2, .alphaCompare = true}.Word(), SetTextureImage(0, 2, 4, kTextureAddress),
      SetTile({.size = 2, .line = 1, .tile = 1}),      LoadTile(1, 0, 0, Q(3), Q(1))};
  // Corners included, s and t from (0, 0), four texels a cycle: dsdx 4.0, dtdy 1.0.
  const TCommands rect = TextureRectangle(1, Q(1), Q(1), Q(4), Q(2), 0, 0, 4 << 10, 1 << 10);
  list.insert(list.end(), rect.begin(), rect.end());
  Run(list);
  EXPECT_EQ(At16(0, 1), 0x1234u);
  EXPECT_EQ(At16(1, 1), 0x0003u);
  EXPECT_EQ(At16(2, 1), 0x1234u);  // alpha bit clear
  EXPECT_EQ(At16(3, 1), 0x0007u);
  EXPECT_EQ(At16(4, 1), 0x0009u);
  EXPECT_EQ(At16(5, 1), 0x1234u);
  for (uint32_t x = 1; x <= 4; ++x)
    EXPECT_EQ(At16(x, 2), texels[4 + x - 1]) << x;
  EXPECT_EQ(At16(1, 3), 0x1234u);
}

TEST_F(RdpFillCopyTest, CopyModeTrianglesWrapTheirTextureCoordinatesAlongTheSpan) {
  // Texels 1 to 4 in a row; the tile's mask keeps the low two bits of s.
  for (uint32_t i = 0; i < 4; ++i)
    PokeHalf(kTextureAddress + i * 2, i + 1);
  Mark(kWidth * 2);
  TCommands list = {SetColorImage(0, 2, kWidth, kColorAddress),
                    SetScissor(0, 0, Q(16), Q(1)),
                    TModes{.cycle = 2}.Word(),
                    SetTextureImage(0, 2, 4, kTextureAddress),
                    SetTile({.size = 2, .line = 1, .maskS = 2}),
                    LoadTile(0, 0, 0, Q(3), 0)};
  // One scanline from x 0 to 4 whose s (s10.5 in the upper half) starts at the top of its
  // range, texel 1023, and steps one texel a pixel: the second pixel's s wraps to -1024.
  TCommands triangle = EdgeTriangle(true, 4, 4, 0, 4 << 16, 0, 0, 0, 4 << 16, 0);
  triangle[0] |= Command(0x0A);
  const TCommands coefficients = {uint64_t{1023 * 32} << 48, uint64_t{32} << 48, 0, 0, 0, 0, 0, 0};
  triangle.insert(triangle.end(), coefficients.begin(), coefficients.end());
  list.insert(list.end(), triangle.begin(), triangle.end());
  Run(list);
  EXPECT_EQ(At16(0, 0), 4u);
  EXPECT_EQ(At16(1, 0), 1u);
  EXPECT_EQ(At16(2, 0), 2u);
  EXPECT_EQ(At16(3, 0), 3u);
  EXPECT_EQ(At16(4, 0), 0x1234u);
}

}  // namespace
}  // namespace vantor::test
