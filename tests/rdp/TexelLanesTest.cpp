// The texel stage's fast forms against plain ones over many random inputs: the perspective
// divide against its 128-bit product, and in lanes against the divide of a pixel; the sampler in
// lanes (filtered and nearest) against the one a texel at a time over random tiles of every
// kind, TMEM and coordinates; and the edge pixels' coverage in lanes against its loop over the
// sub-scanlines.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "rdp/CoordinateLanes.h"
#include "rdp/Coordinates.h"
#include "rdp/CoverageLanes.h"
#include "rdp/Pipeline.h"
#include "rdp/RdpState.h"
#include "rdp/TexelLanes.h"
#include "rdp/Texture.h"

namespace vantor::rdp {
namespace {

// The reciprocal as a 46-bit factor from entries of 2^40 / (512 + i), and the coordinate as its
// 128-bit product over 2^31.
int32_t WidePerspectiveCoordinate(int32_t value, int32_t w) {
  const auto positive = static_cast<uint32_t>(w <= 0 ? 1 : w);
  const auto shift = static_cast<uint32_t>(std::countl_zero(positive));
  const uint32_t normal = positive << shift;
  const uint32_t index = (normal >> 22) & 0x1FF, fraction = (normal >> 6) & 0xFFFF;
  auto entry = [](uint64_t i) { return ((uint64_t{1} << 41) / (512 + i) + 1) / 2; };
  const uint64_t high = entry(index), low = entry(index + 1);
  const uint64_t reciprocal = ((high - (((high - low) * fraction) >> 16)) << shift) >> 16;
  const auto q = static_cast<int64_t>((static_cast<__int128>(value) * reciprocal) >> 31);
  return static_cast<int32_t>(std::clamp<int64_t>(q, -32768, 32767));
}

TEST(TexelLanesTest, PerspectiveDivideMatchesTheWideProduct) {
  std::mt19937 random(7);
  // W of every magnitude (each leading-zero count), the coordinates too, with the extremes.
  auto magnitude = [&](uint32_t bits) {
    const uint32_t value = random() & ((bits >= 32 ? 0u : 1u << bits) - 1);
    return static_cast<int32_t>(value | (bits == 0 || bits >= 32 ? 0 : 1u << (bits - 1)));
  };
  const int32_t extremes[] = {0, 1, -1, INT32_MAX, INT32_MIN, 0x7FFF0000, -0x8000};
  for (int round = 0; round < 200000; ++round) {
    int32_t w = magnitude(random() % 33), value = magnitude(random() % 33);
    if ((random() & 1) != 0) value = -value;
    if (round % 16 == 0) w = -w;
    if (round < 49) {
      w = extremes[round % 7];
      value = extremes[round / 7];
    }
    ASSERT_EQ(PerspectiveCoordinate(value, PerspectiveReciprocal(w)),
              WidePerspectiveCoordinate(value, w))
        << "value " << value << " w " << w;
  }
}

TEST(TexelLanesTest, PerspectiveLanesMatchTheDivideOfAPixel) {
  if (!kPerspectiveLanes) GTEST_SKIP() << "no AVX2";
  std::mt19937 random(13);
  // W of every magnitude, zero and negative now and then, coordinates of every magnitude and
  // sign, rows of one to 64 pixels, with and without a step to the neighbours.
  auto magnitude = [&] {
    const uint32_t bits = random() % 33;
    const uint32_t value = random() & ((bits >= 32 ? 0u : 1u << bits) - 1);
    return static_cast<int32_t>(value | (bits == 0 || bits >= 32 ? 0 : 1u << (bits - 1)));
  };
  const int32_t extremes[] = {0, 1, -1, INT32_MAX, INT32_MIN, 0x7FFF0000, -0x8000, 0x400000};
  for (int round = 0; round < 20000; ++round) {
    int32_t attr[64][kAttrCount] = {}, step[kAttrCount] = {};
    const uint32_t count = random() % 64 + 1;
    for (uint32_t n = 0; n < count; ++n) {
      for (const uint32_t k : {kAttrS, kAttrT, kAttrW})
        attr[n][k] = (random() & 1) != 0 ? -magnitude() : magnitude();
      if (random() % 4 != 0) attr[n][kAttrW] = std::abs(attr[n][kAttrW]);
      if (random() % 16 == 0) attr[n][kAttrW] = extremes[random() % 8];
      if (random() % 16 == 0) attr[n][kAttrS] = extremes[random() % 8];
    }
    if ((round & 1) != 0)
      for (const uint32_t k : {kAttrS, kAttrT, kAttrW})
        step[k] = static_cast<int32_t>(random()) >> (random() % 32);
    int32_t s[64], t[64];
    std::fill(std::begin(s), std::end(s), 0x5A5A5A5A);
    std::fill(std::begin(t), std::end(t), 0x5A5A5A5A);
    PerspectiveLanes(count, attr, step, s, t);
    for (uint32_t n = 0; n < 64; ++n) {
      if (n >= count) {
        ASSERT_EQ(s[n], 0x5A5A5A5A) << "written past the pixels, round " << round;
        ASSERT_EQ(t[n], 0x5A5A5A5A) << "written past the pixels, round " << round;
        continue;
      }
      auto add = [&](uint32_t k) {
        return static_cast<int32_t>(static_cast<uint32_t>(attr[n][k]) +
                                    static_cast<uint32_t>(step[k]));
      };
      const TReciprocal reciprocal = PerspectiveReciprocal(add(kAttrW));
      ASSERT_EQ(s[n], PerspectiveCoordinate(add(kAttrS), reciprocal))
          << "round " << round << " s " << add(kAttrS) << " w " << add(kAttrW);
      ASSERT_EQ(t[n], PerspectiveCoordinate(add(kAttrT), reciprocal))
          << "round " << round << " t " << add(kAttrT) << " w " << add(kAttrW);
    }
  }
}

#if defined(__SSE2__)
// The sampler of one texel, dispatched on the tile's kind of fetch.
TTexel SampleTexture(const TSampler& sampler, int32_t s, int32_t t, bool bilinear, bool midTexel) {
  switch (sampler.fetch) {
    case TFetch::Rgba16:
      return SampleTextureAs<TFetch::Rgba16>(sampler, s, t, bilinear, midTexel);
    case TFetch::Rgba32:
      return SampleTextureAs<TFetch::Rgba32>(sampler, s, t, bilinear, midTexel);
    case TFetch::Yuv16:
      return SampleTextureAs<TFetch::Yuv16>(sampler, s, t, bilinear, midTexel);
    case TFetch::Ia4:
      return SampleTextureAs<TFetch::Ia4>(sampler, s, t, bilinear, midTexel);
    case TFetch::Ia8:
      return SampleTextureAs<TFetch::Ia8>(sampler, s, t, bilinear, midTexel);
    case TFetch::Ia16:
      return SampleTextureAs<TFetch::Ia16>(sampler, s, t, bilinear, midTexel);
    case TFetch::I4:
      return SampleTextureAs<TFetch::I4>(sampler, s, t, bilinear, midTexel);
    case TFetch::I8:
      return SampleTextureAs<TFetch::I8>(sampler, s, t, bilinear, midTexel);
    case TFetch::Tlut4:
      return SampleTextureAs<TFetch::Tlut4>(sampler, s, t, bilinear, midTexel);
    case TFetch::Tlut8:
    default:
      return SampleTextureAs<TFetch::Tlut8>(sampler, s, t, bilinear, midTexel);
  }
}
#endif

TEST(TexelLanesTest, SamplerLanesMatchTheSamplerOfATexel) {
#if defined(__SSE2__)
  std::mt19937 random(11);
  auto bits = [&](uint32_t count) { return static_cast<uint32_t>(random()) & ((1u << count) - 1); };
  for (uint16_t& half : State.tmem)
    half = static_cast<uint16_t>(random());
  for (int round = 0; round < 20000; ++round) {
    // Every kind of texel; small tiles near the origin or anywhere in the 10.2 range, with
    // every addressing mode.
    TTile tile;
    tile.format = bits(3);
    tile.size = bits(2);
    tile.palette = bits(4);
    tile.tmem = bits(12) & ~7u;
    tile.line = bits(9) * 8;
    const bool near = (round & 2) != 0;
    tile.sl = near ? bits(5) : bits(12);
    tile.tl = near ? bits(5) : bits(12);
    tile.sh = near ? tile.sl + bits(7) : bits(12);
    tile.th = near ? tile.tl + bits(7) : bits(12);
    tile.shiftS = bits(4);
    tile.shiftT = bits(4);
    tile.maskS = bits(4);
    tile.maskT = bits(4);
    tile.clampS = bits(1) != 0;
    tile.clampT = bits(1) != 0;
    tile.mirrorS = bits(1) != 0;
    tile.mirrorT = bits(1) != 0;
    TOtherModes modes;
    modes.tlut = bits(1) != 0;
    modes.tlutIa = bits(1) != 0;
    const TSampler sampler = PrepareSampler(tile, modes);
    const bool midTexel = (round & 4) != 0, bilinear = (round & 8) == 0;
    // Coordinates around the tile, on the middle of texels now and then, or anywhere.
    const uint32_t count = bits(6) + 1;
    int32_t s[64], t[64];
    for (uint32_t n = 0; n < count; ++n) {
      const bool wide = bits(3) == 0;
      s[n] = wide ? static_cast<int16_t>(random())
                  : static_cast<int32_t>(tile.sl * 8 + bits(10)) - 256;
      t[n] = wide ? static_cast<int16_t>(random())
                  : static_cast<int32_t>(tile.tl * 8 + bits(10)) - 256;
      if (bits(2) == 0) {
        s[n] = (s[n] & ~31) | 16;
        t[n] = (t[n] & ~31) | 16;
      }
    }
    TTexel lanes[64];
    SampleLanes(sampler, bilinear, midTexel, count, s, t, lanes);
    for (uint32_t n = 0; n < count; ++n)
      ASSERT_EQ(lanes[n], SampleTexture(sampler, s[n], t[n], bilinear, midTexel))
          << "round " << round << " kind " << static_cast<int>(sampler.fetch) << " pixel " << n
          << " s " << s[n] << " t " << t[n];
  }
#else
  GTEST_SKIP() << "no SSE2";
#endif
}

TEST(TexelLanesTest, CoverageLanesMatchTheSubScanlineLoop) {
#if defined(__SSE2__)
  std::mt19937 random(5);
  for (int round = 0; round < 20000; ++round) {
    // Edges in eighths of a pixel around a few pixels, some rows empty or inverted.
    TSpan span;
    span.valid = random() & 15;
    const int32_t base = static_cast<int32_t>(random() % 4096) - 64;
    for (int k = 0; k < 4; ++k) {
      span.left[k] = base + static_cast<int32_t>(random() % 48) - 8;
      span.right[k] = span.left[k] + static_cast<int32_t>(random() % 64) - 8;
    }
    const TCoverageLanes lanes(span);
    for (int32_t x = (base >> 3) - 2; x <= (base >> 3) + 10; ++x)
      ASSERT_EQ(lanes.At(x), CoverageAt(span, x)) << "round " << round << " x " << x;
  }
#else
  GTEST_SKIP() << "no SSE2";
#endif
}

}  // namespace
}  // namespace vantor::rdp
