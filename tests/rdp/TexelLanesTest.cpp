// The texel stage's fast forms against plain ones over many random inputs: the perspective
// divide against its 128-bit product.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "rdp/Coordinates.h"

namespace vantor::rdp {
namespace {

// The reciprocal as a 46-bit factor, and the coordinate as its 128-bit product over 2^31.
int32_t WidePerspectiveCoordinate(int32_t value, int32_t w) {
  const auto positive = static_cast<uint32_t>(w <= 0 ? 1 : w);
  const auto shift = static_cast<uint32_t>(std::countl_zero(positive));
  const uint32_t normal = positive << shift;
  const uint32_t index = (normal >> 22) & 0x1FF, fraction = (normal >> 6) & 0xFFFF;
  const uint64_t high = kReciprocals[index], low = kReciprocals[index + 1];
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

}  // namespace
}  // namespace vantor::rdp
