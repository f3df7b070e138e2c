// Texture coordinates from the interpolated attributes: s10.5 from the top of the attribute, or
// divided by W under perspective. Internal to rdp/.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

namespace vantor::rdp {

inline int32_t Coordinate(int32_t value) {
  return static_cast<int16_t>(value >> 16);
}

// Under perspective both coordinates are multiplied by one reciprocal of W, about 2^46 / W, so
// that the product over 2^31 is the coordinate times 2^15 / W. As the hardware's divider does,
// the reciprocal comes from a table: W is normalised to [1, 2), its top nine bits below the
// leading one pick an entry of 2^40 / (512 + i), and the next sixteen bits interpolate to the
// next entry. Each entry keeps its step down to the next beside it.
struct TReciprocalEntry {
  uint32_t value, step;
};
inline constexpr auto kReciprocals = [] {
  auto entry = [](uint64_t i) {
    return static_cast<uint32_t>(((uint64_t{1} << 41) / (512 + i) + 1) / 2);
  };
  std::array<TReciprocalEntry, 512> table{};
  for (uint64_t i = 0; i < 512; ++i)
    table[i] = {entry(i), entry(i) - entry(i + 1)};
  return table;
}();

// The reciprocal, the interpolated entry shifted left by the normalising shift and right by
// 16, is kept as a factor below 2^32 and a right shift for the product: the entry's bits the
// shift right drops are dropped from the factor, and the rest of the shift left is taken off
// the product's shift. The product of a 32-bit coordinate and the factor then fits 64 bits.
struct TReciprocal {
  int64_t factor;
  uint32_t shift;
};

inline TReciprocal PerspectiveReciprocal(int32_t w) {
  const auto positive = static_cast<uint32_t>(w <= 0 ? 1 : w);
  const auto shift = static_cast<uint32_t>(std::countl_zero(positive));
  const uint32_t normal = positive << shift;
  const uint32_t index = (normal >> 22) & 0x1FF, fraction = (normal >> 6) & 0xFFFF;
  const TReciprocalEntry& at = kReciprocals[index];
  const uint64_t entry = at.value - ((uint64_t{at.step} * fraction) >> 16);
  const uint32_t kept = std::min(shift, 16u);
  return {static_cast<int64_t>(entry >> (16 - kept)), 31 - (shift - kept)};
}

// The product clamped to sixteen bits, which it seldom passes.
inline int32_t PerspectiveCoordinate(int32_t value, TReciprocal reciprocal) {
  const int64_t q = (int64_t{value} * reciprocal.factor) >> reciprocal.shift;
  if (static_cast<uint64_t>(q + 32768) > 65535) [[unlikely]]
    return q < 0 ? -32768 : 32767;
  return static_cast<int32_t>(q);
}

}  // namespace vantor::rdp
