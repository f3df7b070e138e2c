// The rasterizer against the pixel-by-pixel model: random command lists (random modes, combiner
// and blender selects, tiles over random TMEM, triangles of every kind, rectangles) drawn by
// both from the same memory must leave the same colour and depth images, byte for byte.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "memory/PlainPages.h"
#include "rdp/Raster.h"
#include "rdp/Rdp.h"
#include "tests/rdp/RdpCommands.h"
#include "tests/rdp/ReferenceRaster.h"

namespace vantor::test {
namespace {

constexpr uint32_t kWidth = 64;
constexpr uint32_t kColorBytes = kWidth * kWidth * 4;
constexpr uint32_t kDepthBytes = kWidth * kWidth * 2;
constexpr uint32_t kTextureBytes = 0x2000;

class RdpDifferentialTest : public RdpTest {
 protected:
  // Draws the random list of each seed with the rasterizer and with the model from the same
  // memory and compares the images; `overlapping` puts the depth image inside the colour image,
  // `width` is the images' width in pixels; `wrapsOnly` gives tiles that only wrap.
  // `colorAddress` is where the colour image starts; `withoutMemory`: one- and two-cycle modes
  // whose blender reads no memory and mostly passes the last cycle's colour on.
  static void CompareWithModel(uint32_t seeds, bool overlapping, uint32_t width = kWidth,
                               bool wrapsOnly = false, uint32_t colorAddress = kColorAddress,
                               bool withoutMemory = false);
  // The words from the colour image's and from the depth image's.
  static std::vector<uint32_t> Snapshot(uint32_t colorAddress) {
    std::vector<uint32_t> words;
    for (uint32_t i = 0; i < kColorBytes; i += 4)
      words.push_back(PeekWord((colorAddress & ~3u) + i));
    for (uint32_t i = 0; i < kDepthBytes; i += 4)
      words.push_back(PeekWord(kDepthAddress + i));
    return words;
  }
};

struct TRandom {
  std::mt19937 engine;
  uint32_t operator()() { return engine(); }
  // An integer in [low, high].
  int32_t In(int32_t low, int32_t high) {
    return low + static_cast<int32_t>(engine() % static_cast<uint32_t>(high - low + 1));
  }
  bool Chance(uint32_t percent) { return engine() % 100 < percent; }
  // An s15.16 value with the integer part in [low, high] and a random fraction.
  int32_t Fixed(int32_t low, int32_t high) {
    return static_cast<int32_t>(static_cast<uint32_t>(In(low, high)) << 16 | (engine() & 0xFFFF));
  }
};

uint64_t Pair(int32_t high, int32_t low) {
  return uint64_t{static_cast<uint32_t>(high)} << 32 | static_cast<uint32_t>(low);
}

// Four attributes' coefficient words: value, x step, edge step and y step in s15.16.
void Coefficients(TCommands& list, const int32_t (&v)[4], const int32_t (&dx)[4],
                  const int32_t (&de)[4], const int32_t (&dy)[4]) {
  auto part = [](const int32_t(&c)[4], bool integer) {
    uint64_t word = 0;
    for (int i = 0; i < 4; ++i) {
      const uint32_t bits = static_cast<uint32_t>(c[i]);
      word |= Field(integer ? bits >> 16 : bits & 0xFFFF, 48 - 16 * i, 16);
    }
    return word;
  };
  for (const auto* c : {&v, &dx})
    list.push_back(part(*c, true));
  for (const auto* c : {&v, &dx})
    list.push_back(part(*c, false));
  for (const auto* c : {&de, &dy})
    list.push_back(part(*c, true));
  for (const auto* c : {&de, &dy})
    list.push_back(part(*c, false));
}

void RandomTriangle(TRandom& r, TCommands& list) {
  const uint32_t id = 0x08 | static_cast<uint32_t>(r.In(0, 7));
  const int32_t yh = r.In(-20, 240), ym = yh + r.In(0, 160), yl = ym + r.In(0, 160);
  list.push_back(Command(id) | Field(r.Chance(50), 55, 1) | Field(r.In(0, 7), 51, 3) |
                 Field(r.In(0, 7), 48, 3) | Field(static_cast<uint32_t>(yl), 32, 14) |
                 Field(static_cast<uint32_t>(ym), 16, 14) |
                 Field(static_cast<uint32_t>(yh), 0, 14));
  list.push_back(Pair(r.Fixed(-16, 80), r.Fixed(-6, 5)));
  list.push_back(Pair(r.Fixed(-16, 80), r.Fixed(-6, 5)));
  list.push_back(Pair(r.Fixed(-16, 80), r.Fixed(-6, 5)));
  if ((id & 4) != 0) {
    int32_t v[4], dx[4], de[4], dy[4];
    for (int i = 0; i < 4; ++i) {
      v[i] = r.Fixed(-40, 300);
      dx[i] = r.Fixed(-12, 11);
      de[i] = r.Fixed(-12, 11);
      dy[i] = r.Fixed(-12, 11);
    }
    Coefficients(list, v, dx, de, dy);
  }
  if ((id & 2) != 0) {
    int32_t v[4] = {r.Fixed(-2048, 2047), r.Fixed(-2048, 2047), r.Fixed(0x400, 0x7FFF), 0};
    int32_t dx[4] = {r.Fixed(-100, 99), r.Fixed(-100, 99), r.Fixed(-64, 63), 0};
    int32_t de[4] = {r.Fixed(-100, 99), r.Fixed(-100, 99), r.Fixed(-64, 63), 0};
    int32_t dy[4] = {r.Fixed(-100, 99), r.Fixed(-100, 99), r.Fixed(-64, 63), 0};
    Coefficients(list, v, dx, de, dy);
  }
  if ((id & 1) != 0) {
    list.push_back(Pair(r.Fixed(-100, 0x7FFF), r.Fixed(-300, 299)));
    list.push_back(Pair(r.Fixed(-300, 299), r.Fixed(-300, 299)));
  }
}

// `wrapsOnly`: the tiles neither shift, clamp nor mirror (their masks stay random).
TCommands RandomList(TRandom& r, uint32_t colorAddress, uint32_t depthAddress, uint32_t width,
                     bool wrapsOnly, bool withoutMemory) {
  TCommands list;
  const uint32_t size = r.Chance(55) ? 2 : r.Chance(75) ? 3 : 1;
  list.push_back(SetColorImage(0, size, width, colorAddress));
  list.push_back(SetZImage(depthAddress));
  if (r.Chance(60)) {
    list.push_back(SetScissor(0, 0, Q(kWidth), Q(kWidth)));
  } else {
    const uint32_t xh = static_cast<uint32_t>(r.In(0, 40)), yh = static_cast<uint32_t>(r.In(0, 40));
    list.push_back(SetScissor(xh, yh, std::min<uint32_t>(xh + r.In(1, 256), 256),
                              std::min<uint32_t>(yh + r.In(1, 256), 256), r.Chance(10),
                              r.Chance(50)));
  }
  // TMEM from random texels, then tiles over it.
  list.push_back(SetTextureImage(static_cast<uint32_t>(r.In(0, 4)),
                                 static_cast<uint32_t>(r.In(1, 3)), 32, kTextureAddress));
  list.push_back(SetTile({.size = 2, .tmem = static_cast<uint32_t>(r.In(0, 511)), .tile = 7}));
  list.push_back(LoadBlock(7, 0, 0, 2047, static_cast<uint32_t>(r.In(0, 0xFFF))));
  if (r.Chance(50)) {
    list.push_back(SetTextureImage(0, 2, 32, kTextureAddress + 0x1000));
    list.push_back(SetTile({.size = 2, .tmem = 256, .tile = 6}));
    list.push_back(LoadTlut(6, 0, 0, Q(255), 0));
  }
  // Tiles mostly in the documented formats and sizes, otherwise anything.
  constexpr uint32_t kFormats[][2] = {{0, 2}, {0, 3}, {1, 2}, {2, 0}, {2, 1},
                                      {3, 0}, {3, 1}, {3, 2}, {4, 0}, {4, 1}};
  for (uint32_t tile = 0; tile < 8; ++tile) {
    uint64_t word = Command(0x35) | Field(r(), 32, 24) | Field(tile, 24, 3) | Field(r(), 0, 24);
    if (r.Chance(70)) {
      const auto& f = kFormats[r.In(0, 9)];
      word = (word & ~Field(31, 51, 5)) | Field(f[0], 53, 3) | Field(f[1], 51, 2);
    }
    if (wrapsOnly) word &= ~(Field(3, 18, 2) | Field(15, 10, 4) | Field(3, 8, 2) | Field(15, 0, 4));
    list.push_back(word);
    const uint32_t sl = static_cast<uint32_t>(r.In(0, 200)),
                   tl = static_cast<uint32_t>(r.In(0, 200));
    list.push_back(SetTileSize(tile, sl, tl, sl + static_cast<uint32_t>(r.In(0, 300)),
                               tl + static_cast<uint32_t>(r.In(0, 300))));
  }
  for (uint32_t id : {0x37u, 0x38u, 0x39u, 0x3Au, 0x3Bu, 0x2Au, 0x2Bu, 0x2Cu, 0x2Eu})
    list.push_back(Command(id) | Field(r(), 32, 24) | r());
  // Random combiner selects; half the time the last cycle modulates a texel by the shade
  // (without memory, half of those times the first cycle instead, and the last cycle
  // subtracts from its colour and alpha and multiplies by an input).
  uint64_t combine = Command(0x3C) | Field(r(), 32, 24) | r();
  if (r.Chance(50)) {
    const TCombineCycle modulate{.a = static_cast<uint32_t>(r.In(1, 2)),
                                 .b = 8,
                                 .c = 4,
                                 .d = 7,
                                 .aa = static_cast<uint32_t>(r.In(1, 2)),
                                 .ba = 7,
                                 .ca = 4,
                                 .da = 7};
    uint64_t cycles = Field(15, 37, 4) | Field(31, 32, 5) | Field(15, 24, 4) | Field(7, 21, 3) |
                      Field(7, 18, 3) | Field(7, 6, 3) | Field(7, 3, 3) | Field(7, 0, 3);
    if (withoutMemory && r.Chance(50)) {
      cycles = Field(15, 52, 4) | Field(31, 47, 5) | Field(7, 44, 3) | Field(7, 41, 3) |
               Field(15, 28, 4) | Field(7, 15, 3) | Field(7, 12, 3) | Field(7, 9, 3);
      combine &= ~(Field(15, 37, 4) | Field(1, 36, 1) | Field(7, 21, 3));
    }
    combine = (combine & ~cycles) | (SetCombine(modulate) & cycles);
  }
  list.push_back(combine);
  const uint32_t cycle = withoutMemory  ? r.In(0, 1)
                         : r.Chance(40) ? 0
                         : r.Chance(70) ? 1
                         : r.Chance(50) ? 2
                                        : 3;
  // Random modes, but most pixels get past alpha compare and coverage-gated colour.
  uint64_t modes = (Field(r(), 32, 24) | r()) & ~Field(3, 52, 2);
  if (r.Chance(75)) modes &= ~uint64_t{1 | 0x80};
  if (r.Chance(70)) modes &= ~uint64_t{0x1000};
  // Without memory: no forced blend, image read or antialias, and the last blender cycle's
  // colour the pixel's own (in two cycles, the first cycle's blend, which half the time
  // blends from it too); mostly no key, no alpha from coverage.
  if (withoutMemory)
    modes &=
        ~(Field(3, cycle == 0 ? 30 : 28, 2) | Field(1, 14, 1) | Field(1, 6, 1) | Field(1, 3, 1));
  if (withoutMemory && cycle == 1 && r.Chance(50)) modes &= ~Field(3, 30, 2);
  if (withoutMemory && r.Chance(70)) modes &= ~(Field(1, 40, 1) | Field(1, 13, 1));
  list.push_back(Command(0x2F) | modes | Field(cycle, 52, 2));
  const int primitives = r.In(1, 6);
  size_t last = 0;  // where the last primitive's commands start
  for (int i = 0; i < primitives; ++i) {
    // Now and then a colour, a tile's size or the blender's and depth's modes change and the
    // last primitive comes again: it is drawn with the state as it is then.
    const size_t end = list.size();
    if (i > 0 && r.Chance(30)) {
      const uint32_t change = static_cast<uint32_t>(r.In(0, 2));
      if (change == 0)
        list.push_back(Command(0x37u + static_cast<uint32_t>(r.In(0, 4))) | Field(r(), 32, 24) |
                       r());
      else if (change == 1)
        list.push_back(SetTileSize(static_cast<uint32_t>(r.In(0, 7)), 0, 0,
                                   static_cast<uint32_t>(r.In(0, 300)),
                                   static_cast<uint32_t>(r.In(0, 300))));
      else
        list.push_back(Command(0x2F) | (modes & ~uint64_t{0xFFF0}) | (r() & 0xFFF0) |
                       Field(cycle, 52, 2));
      const TCommands again(list.begin() + static_cast<std::ptrdiff_t>(last),
                            list.begin() + static_cast<std::ptrdiff_t>(end));
      last = list.size();
      list.insert(list.end(), again.begin(), again.end());
      continue;
    }
    last = list.size();
    const uint32_t kind = static_cast<uint32_t>(r.In(0, 5));
    if (kind < 2) {
      RandomTriangle(r, list);
    } else if (kind == 2) {
      // A proper triangle through three vertices.
      TVertex v[3];
      for (TVertex& vertex : v) {
        vertex = {.x = r.In(-200, 1200) / 16.0,
                  .y = r.In(-200, 1200) / 16.0,
                  .r = r.In(-20, 280) * 1.0,
                  .g = r.In(-20, 280) * 1.0,
                  .b = r.In(0, 255) * 1.0,
                  .a = r.In(0, 255) * 1.0,
                  .s = r.In(-64, 64) * 1.0,
                  .t = r.In(-64, 64) * 1.0,
                  .w = r.In(100, 1000) / 1000.0,
                  .z = r.In(0, 0x7FFF) * 1.0};
      }
      const TCommands triangle =
          Triangle(v[0], v[1], v[2], r.Chance(70), r.Chance(70), r.Chance(60),
                   static_cast<uint32_t>(r.In(0, 7)), static_cast<uint32_t>(r.In(0, 7)));
      list.insert(list.end(), triangle.begin(), triangle.end());
    } else if (kind == 3) {
      const uint32_t x0 = static_cast<uint32_t>(r.In(0, 250)),
                     y0 = static_cast<uint32_t>(r.In(0, 250));
      list.push_back(FillRectangle(x0, y0, x0 + static_cast<uint32_t>(r.In(0, 120)),
                                   y0 + static_cast<uint32_t>(r.In(0, 120))));
    } else {
      const uint32_t x0 = static_cast<uint32_t>(r.In(0, 250)),
                     y0 = static_cast<uint32_t>(r.In(0, 250));
      const TCommands rect = TextureRectangle(
          static_cast<uint32_t>(r.In(0, 7)), x0, y0, x0 + static_cast<uint32_t>(r.In(0, 120)),
          y0 + static_cast<uint32_t>(r.In(0, 120)), r.In(-2048, 2047), r.In(-2048, 2047),
          r.In(-3000, 3000), r.In(-3000, 3000), r.Chance(30));
      list.insert(list.end(), rect.begin(), rect.end());
    }
  }
  return list;
}

void RdpDifferentialTest::CompareWithModel(uint32_t seeds, bool overlapping, uint32_t width,
                                           bool wrapsOnly, uint32_t colorAddress,
                                           bool withoutMemory) {
  const uint32_t colorWords = colorAddress & ~3u;
  for (uint32_t seed = 1; seed <= seeds; ++seed) {
    TRandom r{std::mt19937(seed)};
    for (uint32_t i = 0; i < kColorBytes; i += 4)
      PokeWord(colorWords + i, r());
    // Depth images hold small and large values alike.
    for (uint32_t i = 0; i < kDepthBytes; i += 4)
      PokeWord(kDepthAddress + i, r() & (r.Chance(50) ? 0xFFFFFFFF : 0x3FFF3FFF));
    for (uint32_t i = 0; i < kTextureBytes; i += 4)
      PokeWord(kTextureAddress + i, r());
    const std::vector<uint32_t> before = Snapshot(colorAddress);
    // Overlapping images: the depth image a few pixels or rows on from the colour image's
    // start, so that a pixel's depth shares memory with another pixel's colour.
    const uint32_t depthAddress =
        overlapping ? colorAddress + static_cast<uint32_t>(r.In(0, 400)) * 2 : kDepthAddress;
    const TCommands list =
        RandomList(r, colorAddress, depthAddress, width, wrapsOnly, withoutMemory);
    RdpReset();
    Run(list);
    const std::vector<uint32_t> fast = Snapshot(colorAddress);
    for (uint32_t i = 0; i < kColorBytes; i += 4)
      PokeWord(colorWords + i, before[i / 4]);
    for (uint32_t i = 0; i < kDepthBytes; i += 4)
      PokeWord(kDepthAddress + i, before[(kColorBytes + i) / 4]);
    RdpReset();
    rdp::PrimitiveDrawer = ReferenceDraw;
    Run(list);
    rdp::PrimitiveDrawer = nullptr;
    const std::vector<uint32_t> model = Snapshot(colorAddress);
    for (size_t i = 0; i < fast.size(); ++i) {
      if (fast[i] == model[i]) continue;
      const bool depth = i * 4 >= kColorBytes;
      ADD_FAILURE() << "seed " << seed << ": " << (depth ? "depth" : "colour") << " word "
                    << (depth ? i - kColorBytes / 4 : i) << " is " << std::hex << fast[i]
                    << ", the model has " << model[i] << " (was " << before[i] << ")";
      break;
    }
    if (::testing::Test::HasFailure()) break;
  }
}

TEST_F(RdpDifferentialTest, TheRasterizerDrawsWhatThePixelByPixelModelDraws) {
  CompareWithModel(600, false);
}

// The rasterizer works a span in batches of pixels, stage by stage; where the colour and depth
// images share memory it must still draw as the model does, one pixel after the other.
TEST_F(RdpDifferentialTest, OverlappingColourAndDepthImagesDrawAsThePixelByPixelModel) {
  CompareWithModel(300, true);
}

// With the scissor wider than the images, a pixel past a row's end is a pixel of the next row:
// the rows of a primitive share memory.
TEST_F(RdpDifferentialTest, RowsWiderThanTheImagesDrawAsThePixelByPixelModel) {
  CompareWithModel(300, false, 8);
}

// Tiles that only wrap take a sampler of their own.
TEST_F(RdpDifferentialTest, TilesThatOnlyWrapDrawAsThePixelByPixelModel) {
  CompareWithModel(300, false, kWidth, true);
}

// Colours that reach memory without memory's (as they are, or blended once in two cycles) take
// a writer of their own, which works four pixels at a time from their places to their values
// and compares depths there.
TEST_F(RdpDifferentialTest, ColoursBlendedWithoutMemoryDrawAsThePixelByPixelModel) {
  CompareWithModel(400, false, kWidth, false, kColorAddress, true);
}

// Pixels go to memory unchecked where the images start on a word and every pixel the scissor
// lets through lies inside RDRAM; a colour image off a word, or reaching past RDRAM's end, takes
// the checked way, which drops what lies outside.
TEST_F(RdpDifferentialTest, ImagesOffAWordOrPastTheEndOfRdramDrawAsThePixelByPixelModel) {
  CompareWithModel(150, false, kWidth, false, kColorAddress + 2);
  CompareWithModel(150, false, kWidth, false, RDRAM->Size - kColorBytes / 2);
}

}  // namespace
}  // namespace vantor::test
