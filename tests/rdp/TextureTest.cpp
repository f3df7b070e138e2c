// Texturing with the texels worked out by hand: every format through its load, the TLUT, the
// odd-row swap of TMEM, wrap, mirror, clamp and shifts, three-texel bilinear filtering and the
// level of detail.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "rdp/RdpState.h"
#include "tests/rdp/RdpCommands.h"

namespace vantor::test {
namespace {

constexpr uint32_t kWidth = 16;

struct TRgba {
  uint32_t r, g, b, a;
  bool operator==(const TRgba&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TRgba& c) {
  return out << "(" << c.r << "," << c.g << "," << c.b << "," << c.a << ")";
}

// TEXEL0 straight through, then its alpha as the colour.
const TCombineCycle kTexel{.a = 8, .b = 8, .c = 16, .d = 1, .aa = 7, .ba = 7, .ca = 7, .da = 1};
const TCombineCycle kTexelAlpha{.a = 6, .b = 8, .c = 8, .d = 7, .aa = 7, .ba = 7, .ca = 7, .da = 7};

class RdpTextureTest : public RdpTest {
 protected:
  void SetUp() override {
    RdpTest::SetUp();
    Run({SetColorImage(0, 3, kWidth, kColorAddress), SetScissor(0, 0, Q(16), Q(4)),
         SetTextureImage(0, 2, 4, kTextureAddress)});
  }
  static void Bytes(const std::vector<uint32_t>& bytes, uint32_t at = kTextureAddress) {
    for (size_t i = 0; i < bytes.size(); ++i)
      PokeByte(at + static_cast<uint32_t>(i), bytes[i]);
  }
  // Draws `count` texels of row t of tile 0 in 1.0 steps from s = 0 (s10.5 `s0`) into row 0 and
  // returns them with their alpha.
  static std::vector<TRgba> Draw(uint32_t count, TModes modes = {}, int32_t s0 = 0,
                                 int32_t t0 = 0) {
    std::vector<TRgba> out(count);
    for (const bool alpha : {false, true}) {
      TCommands list = {modes.Word(), SetCombine(alpha ? kTexelAlpha : kTexel)};
      const TCommands rect = TextureRectangle(0, 0, 0, Q(count), Q(1), s0, t0, 1 << 10, 1 << 10);
      list.insert(list.end(), rect.begin(), rect.end());
      Run(list);
      for (uint32_t x = 0; x < count; ++x) {
        const uint32_t pixel = PeekWord(kColorAddress + x * 4);
        if (!alpha)
          out[x] = {pixel >> 24, pixel >> 16 & 0xFF, pixel >> 8 & 0xFF, 0};
        else
          out[x].a = pixel >> 24;
      }
    }
    return out;
  }
  static std::vector<uint32_t> Reds(uint32_t count, const TTileFields& tile, uint32_t sl,
                                    uint32_t sh, int32_t s0 = 0) {
    Run({SetTile(tile), SetTileSize(0, sl, 0, sh, 0)});
    std::vector<uint32_t> reds;
    for (const TRgba& c : Draw(count, {}, s0))
      reds.push_back(c.r);
    return reds;
  }
};

TEST_F(RdpTextureTest, EveryFormatDecodesAsDocumented) {
  // RGBA 5-5-5-1: five bits widen by repeating their top bits.
  Bytes({0xF8, 0x01, 0x07, 0xC0, 0x00, 0x3F, 0x84, 0x21});
  Run({SetTextureImage(0, 2, 4, kTextureAddress), SetTile({.size = 2, .line = 1}),
       LoadTile(0, 0, 0, Q(3), 0)});
  EXPECT_EQ(Draw(4),
            (std::vector<TRgba>{
                {255, 0, 0, 255}, {0, 255, 0, 0}, {0, 0, 255, 255}, {132, 132, 132, 255}}));
  // RGBA 8-8-8-8, split between the two halves of TMEM.
  Bytes({0x11, 0x22, 0x33, 0x44, 0xAA, 0xBB, 0xCC, 0xDD});
  Run({SetTextureImage(0, 3, 2, kTextureAddress), SetTile({.size = 3, .line = 1}),
       LoadTile(0, 0, 0, Q(1), 0)});
  EXPECT_EQ(Draw(2), (std::vector<TRgba>{{0x11, 0x22, 0x33, 0x44}, {0xAA, 0xBB, 0xCC, 0xDD}}));
  // IA 8-8, IA 4-4, I 8.
  Bytes({0x80, 0xFF, 0x10, 0x20});
  Run({SetTextureImage(3, 2, 2, kTextureAddress), SetTile({.format = 3, .size = 2, .line = 1}),
       LoadTile(0, 0, 0, Q(1), 0)});
  EXPECT_EQ(Draw(2), (std::vector<TRgba>{{128, 128, 128, 255}, {16, 16, 16, 32}}));
  Bytes({0x9F, 0x3C, 0x00, 0x7F, 0xFF});
  Run({SetTextureImage(3, 1, 5, kTextureAddress), SetTile({.format = 3, .size = 1, .line = 1}),
       LoadTile(0, 0, 0, Q(1), 0)});
  EXPECT_EQ(Draw(2), (std::vector<TRgba>{{153, 153, 153, 255}, {51, 51, 51, 204}}));
  // Loaded from texel 2 on, which becomes the tile's origin.
  Run({SetTile({.format = 4, .size = 1, .line = 1}), LoadTile(0, Q(2), 0, Q(4), 0)});
  EXPECT_EQ(Draw(3, {}, 2 << 5),
            (std::vector<TRgba>{{0, 0, 0, 0}, {127, 127, 127, 127}, {255, 255, 255, 255}}));
  // Four-bit texels, loaded as a block of 16-bit words: IA 3-1 (three intensity bits repeated)
  // and I 4 (times 17).
  Bytes({0xE5, 0x3C});
  Run({SetTextureImage(0, 2, 1, kTextureAddress), SetTile({.size = 2, .tile = 7}),
       LoadBlock(7, 0, 0, 0, 0), SetTile({.format = 3, .size = 0, .line = 1}),
       SetTileSize(0, 0, 0, Q(3), 0)});
  EXPECT_EQ(Draw(4),
            (std::vector<TRgba>{
                {255, 255, 255, 0}, {73, 73, 73, 255}, {36, 36, 36, 255}, {219, 219, 219, 0}}));
  Run({SetTile({.format = 4, .size = 0, .line = 1}), SetTileSize(0, 0, 0, Q(3), 0)});
  EXPECT_EQ(Draw(4),
            (std::vector<TRgba>{
                {238, 238, 238, 238}, {85, 85, 85, 85}, {51, 51, 51, 51}, {204, 204, 204, 204}}));
}

TEST_F(RdpTextureTest, ColourIndexedTexelsReadTheirColourFromTheTlut) {
  // A palette of 32 entries at TMEM 0x800: each entry written four times.
  std::vector<uint32_t> palette(64, 0);
  auto entry = [&](uint32_t i, uint32_t value) {
    palette[i * 2] = value >> 8;
    palette[i * 2 + 1] = value & 0xFF;
  };
  entry(1, 0xF801);
  entry(2, 0x07C1);
  entry(17, 0x003F);
  entry(18, 0x40C0);
  Bytes(palette, kTextureAddress + 0x100);
  Run({SetTextureImage(0, 2, 32, kTextureAddress + 0x100),
       SetTile({.size = 2, .tmem = 256, .tile = 5}), LoadTlut(5, 0, 0, Q(31), 0)});
  EXPECT_EQ(rdp::State.tmem[0x808 / 2 + 3], 0xF801u);
  // CI 8: indices 2 and 1.
  Bytes({0x02, 0x01});
  Run({SetTextureImage(2, 1, 2, kTextureAddress), SetTile({.format = 2, .size = 1, .line = 1}),
       LoadTile(0, 0, 0, Q(1), 0)});
  const TModes tlut{.tlut = true};
  EXPECT_EQ(Draw(2, tlut), (std::vector<TRgba>{{0, 255, 0, 255}, {255, 0, 0, 255}}));
  // CI 4 with palette 1: indices 17 and 18, the second read as intensity and alpha.
  Bytes({0x12});
  Run({SetTextureImage(2, 1, 1, kTextureAddress), SetTile({.format = 2, .size = 1, .line = 1}),
       LoadTile(0, 0, 0, 0, 0), SetTile({.format = 2, .size = 0, .line = 1, .palette = 1}),
       SetTileSize(0, 0, 0, Q(1), 0)});
  EXPECT_EQ(Draw(1, tlut), (std::vector<TRgba>{{0, 0, 255, 255}}));
  EXPECT_EQ(Draw(2, {.tlut = true, .tlutIa = true})[1], (TRgba{64, 64, 64, 192}));
}

TEST_F(RdpTextureTest, YuvTexelsGoThroughTheColourConversion) {
  // U Y0 V Y1: U 64 above the middle, V in the middle.
  Bytes({192, 100, 128, 200});
  Run({SetTextureImage(1, 2, 2, kTextureAddress), SetTile({.format = 1, .size = 2, .line = 1}),
       LoadTile(0, 0, 0, Q(1), 0),
       Command(0x2C) | Field(175, 45, 9) | Field(static_cast<uint32_t>(-43), 36, 9) |
           Field(static_cast<uint32_t>(-89), 27, 9) | Field(222, 18, 9) | Field(114, 9, 9) |
           Field(42, 0, 9)});
  // R = Y + K0 V', G = Y + (K1 U' + K2 V') / 128, B = Y + K3 U' / 128, clamped; alpha is Y.
  EXPECT_EQ(Draw(2, {.biLerp0 = false}),
            (std::vector<TRgba>{{100, 78, 211, 100}, {200, 178, 255, 200}}));
}

TEST_F(RdpTextureTest, OddRowsOfTmemHaveTheirWordHalvesSwappedAndSamplingUndoesIt) {
  // Eight 16-bit texels, two rows of four, loaded as one block advancing a row per word.
  std::vector<uint32_t> bytes;
  for (uint32_t i = 0; i < 8; ++i) {
    bytes.push_back(0x10 + i);
    bytes.push_back(0x01);
  }
  Bytes(bytes);
  Run({SetTextureImage(0, 2, 4, kTextureAddress), SetTile({.size = 2, .tile = 7}),
       LoadBlock(7, 0, 0, 7, 0x800)});
  const std::array<uint32_t, 8> tmem = {0x1001, 0x1101, 0x1201, 0x1301,
                                        0x1601, 0x1701, 0x1401, 0x1501};
  for (uint32_t i = 0; i < 8; ++i)
    EXPECT_EQ(rdp::State.tmem[i], tmem[i]) << i;
  // Load tile swaps the same way.
  Run({SetTile({.size = 2, .line = 1, .tmem = 8}), LoadTile(0, 0, 0, Q(3), Q(1))});
  for (uint32_t i = 0; i < 8; ++i)
    EXPECT_EQ(rdp::State.tmem[32 + i], tmem[i]) << i;
  // Row 1 of the tile reads back in order.
  const std::vector<TRgba> row = Draw(4, {}, 0, 1 << 5);
  for (uint32_t i = 0; i < 4; ++i)
    EXPECT_EQ(row[i].r, ((0x14 + i) >> 3) * 8 + ((0x14 + i) >> 5)) << i;
}

TEST_F(RdpTextureTest, WrapMirrorClampAndShiftsAddressTheTile) {
  Bytes({10, 20, 30, 40});
  Run({SetTextureImage(4, 1, 4, kTextureAddress), SetTile({.format = 4, .size = 1, .line = 1}),
       LoadTile(0, 0, 0, Q(3), 0)});
  const TTileFields tile{.format = 4, .size = 1, .line = 1};
  auto with = [&](auto change) {
    TTileFields t = tile;
    change(t);
    return t;
  };
  using V = std::vector<uint32_t>;
  EXPECT_EQ(Reds(10, with([](auto& t) { t.maskS = 2; }), 0, Q(3)),
            (V{10, 20, 30, 40, 10, 20, 30, 40, 10, 20}));
  EXPECT_EQ(Reds(10, with([](auto& t) { t.maskS = 2, t.mirrorS = true; }), 0, Q(3)),
            (V{10, 20, 30, 40, 40, 30, 20, 10, 10, 20}));
  EXPECT_EQ(Reds(7, with([](auto& t) { t.maskS = 2, t.clampS = true; }), 0, Q(3)),
            (V{10, 20, 30, 40, 40, 40, 40}));
  // Without a mask the tile clamps whatever its clamp bit says; below zero too.
  EXPECT_EQ(Reds(7, tile, 0, Q(3), -2 << 5), (V{10, 10, 10, 20, 30, 40, 40}));
  // Shifts of 1 to 10 divide the coordinate, 11 to 15 multiply it by 2^(16 - shift).
  EXPECT_EQ(Reds(10, with([](auto& t) { t.maskS = 2, t.shiftS = 1; }), 0, Q(3)),
            (V{10, 10, 20, 20, 30, 30, 40, 40, 10, 10}));
  EXPECT_EQ(Reds(4, with([](auto& t) { t.maskS = 2, t.shiftS = 15; }), 0, Q(3)),
            (V{10, 30, 10, 30}));
  // The tile's low coordinate is its texel 0.
  EXPECT_EQ(Reds(5, with([](auto& t) { t.maskS = 2; }), Q(1), Q(4)), (V{40, 10, 20, 30, 40}));
}

TEST_F(RdpTextureTest, BilinearFilteringInterpolatesThreeTexels) {
  // 2 x 2 texels, wrapping both ways: 0 64 / 128 255.
  Bytes({0, 64, 128, 255});
  Run({SetTextureImage(4, 1, 2, kTextureAddress),
       SetTile({.format = 4, .size = 1, .line = 1, .maskT = 1, .maskS = 1}),
       LoadTile(0, 0, 0, Q(1), Q(1))});
  auto sample = [&](int32_t s, int32_t t, bool mid) {
    return Draw(1, {.bilinear = true, .midTexel = mid}, s, t)[0].r;
  };
  // At (0.5, 0.25) the upper-left triangle: 0 + (16 * 64 + 8 * 128 + 16) / 32.
  EXPECT_EQ(sample(16, 8, false), 64u);
  // At (0.75, 0.5) the lower-right one: 255 + (8 * (128 - 255) + 16 * (64 - 255) + 16) / 32.
  EXPECT_EQ(sample(24, 16, false), 128u);
  // At the centre: the lower-right triangle, or the average of all four with mid-texel.
  EXPECT_EQ(sample(16, 16, false), 96u);
  EXPECT_EQ(sample(16, 16, true), 112u);
  // Whole coordinates take the texel itself.
  EXPECT_EQ(sample(32, 32, false), 255u);
}

TEST_F(RdpTextureTest, TheLevelOfDetailPicksTheTileAndItsFraction) {
  // Three 8 x 8 levels of one intensity each: 10, 20, 30.
  for (uint32_t level = 0; level < 3; ++level) {
    std::vector<uint32_t> texels(64, 10 * (level + 1));
    Bytes(texels, kTextureAddress + level * 64);
    Run({SetTextureImage(4, 1, 8, kTextureAddress + level * 64),
         SetTile({.format = 4,
                  .size = 1,
                  .line = 1,
                  .tmem = level * 8,
                  .tile = level,
                  .maskT = 3,
                  .maskS = 3}),
         LoadTile(level, 0, 0, Q(7), Q(7))});
  }
  // s grows three texels a pixel: 96 in 10.5, level 1 with a fraction of 96 / 64 - 1 = 0.5.
  const TCommands triangle = Triangle({.x = 0, .y = 0, .s = 0}, {.x = 8, .y = 0, .s = 24},
                                      {.x = 0, .y = 8, .s = 0}, false, true, false, 0, 2);
  auto draw = [&](const TModes& modes, const TCombineCycle& c0, const TCombineCycle& c1) {
    TCommands list = {modes.Word(), SetCombine(c0, c1)};
    list.insert(list.end(), triangle.begin(), triangle.end());
    Run(list);
    return PeekWord(kColorAddress + (1 * kWidth + 1) * 4) >> 24;
  };
  const TCombineCycle lodFraction{
      .a = 6, .b = 8, .c = 13, .d = 7, .aa = 7, .ba = 7, .ca = 7, .da = 7};
  EXPECT_EQ(draw({.lod = true}, kTexel, kTexel), 20u);
  EXPECT_EQ(draw({.lod = true}, lodFraction, lodFraction), 128u);
  // Two cycles blend the level and the next by the fraction: 20 + (30 - 20) * 128 / 256.
  const TCombineCycle trilinear{
      .a = 2, .b = 1, .c = 13, .d = 1, .aa = 7, .ba = 7, .ca = 7, .da = 1};
  const TCombineCycle combined{.a = 8, .b = 8, .c = 16, .d = 0, .aa = 7, .ba = 7, .ca = 7, .da = 0};
  EXPECT_EQ(draw({.cycle = 1, .lod = true}, trilinear, combined), 25u);
  // Without the level of detail the base tile is sampled.
  EXPECT_EQ(draw({}, kTexel, kTexel), 10u);
}

}  // namespace
}  // namespace vantor::test
