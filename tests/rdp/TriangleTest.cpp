// Triangles with their pixels worked out by hand: edges at sub-pixel precision, the minor edge's
// change at YM, scissoring, shade interpolation with clamping, and the depth buffer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/rdp/RdpCommands.h"

namespace vantor::test {
namespace {

constexpr uint32_t kWidth = 16;
constexpr int32_t kOne = 1 << 16;

class RdpTriangleTest : public RdpTest {
 protected:
  // Fill mode in a 16-bit image, black first, then the list.
  static void Fill(const TCommands& primitives, uint64_t scissor = SetScissor(0, 0, Q(16), Q(8))) {
    Clear(kColorAddress, kWidth * 8 * 2);
    TCommands list = {SetColorImage(0, 2, kWidth, kColorAddress), scissor,
                      TModes{.cycle = 3}.Word(), SetFillColor(0xFFFFFFFF)};
    list.insert(list.end(), primitives.begin(), primitives.end());
    Run(list);
  }
  // The drawn pixels of the first rows as text, '#' for a drawn pixel.
  static std::vector<std::string> Rows(uint32_t rows) {
    std::vector<std::string> out;
    for (uint32_t y = 0; y < rows; ++y) {
      std::string row;
      for (uint32_t x = 0; x < kWidth; ++x)
        row += PeekHalf(kColorAddress + (y * kWidth + x) * 2) != 0 ? '#' : '.';
      out.push_back(row);
    }
    return out;
  }
};

TEST_F(RdpTriangleTest, EdgesAreSampledAtQuarterScanlinesAndEighthPixels) {
  // Left major, vertical at x = 0; the minor edge from x = 4 going left a pixel a scanline. A
  // pixel is drawn when one of its samples (x, x + 1/2 on even quarter scanlines, x + 1/4 and
  // x + 3/4 on odd ones) lies left of the edge.
  Fill(EdgeTriangle(true, 16, 16, 0, 0, 0, 0, 0, 4 * kOne, -kOne));
  EXPECT_EQ(Rows(5),
            (std::vector<std::string>{"####............", "###.............", "##..............",
                                      "#...............", "................"}));
  // Right major, vertical at x = 8; the minor edge from x = 4 going right.
  Fill(EdgeTriangle(false, 16, 16, 0, 0, 0, 8 * kOne, 0, 4 * kOne, kOne));
  EXPECT_EQ(Rows(5),
            (std::vector<std::string>{"....####........", ".....###........", "......##........",
                                      ".......#........", "................"}));
  // The minor edge turns at YM = 2.0 from M (x = 2, widening) to L (x = 4 at YM, narrowing).
  // Row 0's right edge is 2, 2.25, 2.5, 2.75: pixel 2 has a sample at 2.0 only below 2.5.
  Fill(EdgeTriangle(true, 16, 8, 0, 4 * kOne, -kOne, 0, 0, 2 * kOne, kOne));
  EXPECT_EQ(Rows(5),
            (std::vector<std::string>{"###.............", "####............", "####............",
                                      "###.............", "................"}));
  // A thin sliver between 1.125 and 1.375 on every quarter scanline: pixel 1 holds the samples
  // at 1.25 of the odd quarter scanlines only.
  Fill(EdgeTriangle(true, 8, 8, 0, (1 * kOne) + kOne * 3 / 8, 0, kOne + kOne / 8, 0,
                    kOne + kOne * 3 / 8, 0));
  EXPECT_EQ(Rows(3),
            (std::vector<std::string>{".#..............", ".#..............", "................"}));
  // YH and YL at quarter scanlines: a box from y = 0.75 to 2.25 touches rows 0 to 2.
  Fill(EdgeTriangle(true, 9, 9, 3, 2 * kOne, 0, 0, 0, 2 * kOne, 0));
  EXPECT_EQ(Rows(4), (std::vector<std::string>{"##..............", "##..............",
                                               "##..............", "................"}));
}

// Edges thousands of pixels outside the scissor, past what 16 bits of eighths of a pixel hold,
// clip to it as near ones do: steep major edges leave the rows whole up to the minor edge.
TEST_F(RdpTriangleTest, EdgesFarOutsideTheScissorClipToIt) {
  const std::vector<std::string> left(8, "#####..........."), right(8, "..........######");
  Fill(EdgeTriangle(true, 32, 32, 0, 0, 0, -2000 * kOne, -3000 * kOne, 5 * kOne, 0));
  EXPECT_EQ(Rows(8), left);
  Fill(EdgeTriangle(false, 32, 32, 0, 0, 0, 2000 * kOne, 3000 * kOne, 10 * kOne, 0));
  EXPECT_EQ(Rows(8), right);
  // Both edges far right, the minor one beyond the major: nothing.
  Fill(EdgeTriangle(true, 32, 32, 0, 0, 0, 1000 * kOne, 3000 * kOne, 2000 * kOne, 3000 * kOne));
  EXPECT_EQ(Rows(8), std::vector<std::string>(8, "................"));
}

TEST_F(RdpTriangleTest, TheScissorCutsAtQuarterPixelsAndInterlaceKeepsOneField) {
  const TCommands box = EdgeTriangle(true, 24, 24, 0, 6 * kOne, 0, 0, 0, 6 * kOne, 0);
  // The scissor box from (1.5, 1.25) to (4.0, 4.75).
  Fill(box, SetScissor(Q(1.5), Q(1.25), Q(4), Q(4.75)));
  EXPECT_EQ(Rows(6),
            (std::vector<std::string>{"................", ".###............", ".###............",
                                      ".###............", ".###............", "................"}));
  // Field scissoring with the odd bit keeps the odd lines.
  Fill(box, SetScissor(0, 0, Q(2), Q(6), true, true));
  EXPECT_EQ(Rows(6),
            (std::vector<std::string>{"................", "##..............", "................",
                                      "##..............", "................", "##.............."}));
}

TEST_F(RdpTriangleTest, ShadeIsInterpolatedFromTheMajorEdgeAndClampedToEightBits) {
  Clear(kColorAddress, kWidth * 4 * 4);
  // A box from x = 0 to 8, rows 0 and 1. Red starts at 10 and steps 20 a pixel and 5 a
  // scanline; green falls 30 a pixel from 40; blue climbs from 250 past 255; alpha stays 255.
  TCommands list = {
      SetColorImage(0, 3, kWidth, kColorAddress), SetScissor(0, 0, Q(16), Q(4)), TModes{}.Word(),
      SetCombine({.a = 8, .b = 8, .c = 16, .d = 4, .aa = 7, .ba = 7, .ca = 7, .da = 4})};
  TCommands triangle = EdgeTriangle(true, 8, 8, 0, 8 * kOne, 0, 0, 0, 8 * kOne, 0);
  triangle[0] |= Command(0x0C);
  const int32_t value[4] = {10 * kOne, 40 * kOne, 250 * kOne, 255 * kOne};
  const int32_t dx[4] = {20 * kOne, -30 * kOne, 10 * kOne, 0};
  const int32_t de[4] = {5 * kOne, 0, 0, 0};
  auto words = [](const int32_t(&c)[4], bool integer) {
    uint64_t word = 0;
    for (int i = 0; i < 4; ++i)
      word |= Field(integer ? static_cast<uint32_t>(c[i]) >> 16 : c[i] & 0xFFFF, 48 - 16 * i, 16);
    return word;
  };
  const int32_t zero[4] = {};
  for (uint64_t word : {words(value, true), words(dx, true), words(value, false), words(dx, false),
                        words(de, true), words(zero, true), words(de, false), words(zero, false)})
    triangle.push_back(word);
  list.insert(list.end(), triangle.begin(), triangle.end());
  Run(list);
  for (uint32_t y = 0; y < 2; ++y)
    for (uint32_t x = 0; x < 8; ++x) {
      const uint32_t red = std::min(10 + 20 * x + 5 * y, 255u);
      const uint32_t green = x <= 1 ? 40 - 30 * x : 0;
      const uint32_t blue = std::min(250 + 10 * x, 255u);
      const uint32_t expected = red << 24 | green << 16 | blue << 8 | 0xE0;
      EXPECT_EQ(PeekWord(kColorAddress + (y * kWidth + x) * 4), expected) << x << "," << y;
    }
  EXPECT_EQ(PeekWord(kColorAddress + 8 * 4), 0u);
}

TEST_F(RdpTriangleTest, DepthPassesNearerAndEqualDepthsAndDecalKeepsToTheSlope) {
  Clear(kColorAddress, kWidth * 4 * 2);
  // Clear the depth image to the farthest value with a fill of 0xFFFC.
  TCommands list = {
      SetColorImage(0, 2, kWidth, kDepthAddress),
      SetScissor(0, 0, Q(16), Q(4)),
      TModes{.cycle = 3}.Word(),
      SetFillColor(0xFFFCFFFC),
      FillRectangle(0, 0, Q(15), Q(3)),
      SetColorImage(0, 3, kWidth, kColorAddress),
      SetZImage(kDepthAddress),
      TModes{.zUpdate = true, .zCompare = true}.Word(),
      SetCombine({.a = 8, .b = 8, .c = 16, .d = 3, .aa = 7, .ba = 7, .ca = 7, .da = 3})};
  // Flat boxes over pixels 0-3 of row 0 at a given depth (integer depth units).
  auto box = [](uint32_t color, int32_t z) {
    TCommands words = {SetPrimColor(color)};
    TCommands t = EdgeTriangle(true, 4, 4, 0, 4 * kOne, 0, 0, 0, 4 * kOne, 0);
    t[0] |= Command(0x09);
    t.push_back(uint64_t{static_cast<uint32_t>(z * kOne)} << 32);
    t.push_back(0);
    words.insert(words.end(), t.begin(), t.end());
    return words;
  };
  for (const auto& [color, z] :
       {std::pair{0xFF000000u, 1000}, {0x00FF0000u, 1000}, {0x0000FF00u, 1008}})
    for (uint64_t word : box(color, z))
      list.push_back(word);
  Run(list);
  // 1000 is 8000 in the 18-bit range: exponent 0, mantissa 8000 / 64 = 125. The equal depth
  // drew (green), the farther one did not.
  EXPECT_EQ(PeekWord(kColorAddress), 0x00FF00E0u);
  EXPECT_EQ(PeekHalf(kDepthAddress), 125u << 2);
  EXPECT_EQ(PeekHalf(kDepthAddress + 8), 0xFFFCu);
  // Decal mode with the primitive's depth: within the larger of the two slopes of the stored
  // depth. 992 is 64 nearer in the 18-bit range than what is stored.
  Run({TModes{.zMode = 3, .zCompare = true, .zSourcePrim = true}.Word(), SetPrimDepth(992, 0),
       SetPrimColor(0x0000FF00), FillRectangle(0, 0, Q(1), Q(1)), SetPrimDepth(992, 8),
       FillRectangle(Q(1), 0, Q(2), Q(1)), SetPrimDepth(1000, 0),
       FillRectangle(Q(2), 0, Q(3), Q(1))});
  EXPECT_EQ(PeekWord(kColorAddress), 0x00FF00E0u);      // 64 apart, slope 0: kept out
  EXPECT_EQ(PeekWord(kColorAddress + 4), 0x0000FFE0u);  // slope 8 is 64 in the 18-bit range
  EXPECT_EQ(PeekWord(kColorAddress + 8), 0x0000FFE0u);  // equal
  // Depths past the exponent's range keep fewer bits: 0x7F00 (0x3F800 in 18 bits) has
  // exponent 7 and mantissa 0.
  Run({TModes{.zUpdate = true, .zSourcePrim = true}.Word(), SetPrimDepth(0x7F00, 0x40),
       FillRectangle(Q(5), 0, Q(6), Q(1))});
  EXPECT_EQ(PeekHalf(kDepthAddress + 10), 7u << 13 | 6u >> 2);
}

}  // namespace
}  // namespace vantor::test
