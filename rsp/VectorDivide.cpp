#include "rsp/VectorDivide.h"

#include <bit>

namespace vantor::rsp {

namespace {

// The largest 17-bit fraction f with (1 + i/512) * f <= 2, truncated the way the hardware's
// table was built; entry 0 (exactly 2) saturates.
constexpr std::array<uint16_t, 512> MakeReciprocalTable() {
  std::array<uint16_t, 512> table{};
  for (uint64_t i = 0; i < 512; ++i) {
    const uint64_t value = (((uint64_t{1} << 34) / (i + 512)) + 1) >> 8;
    table[i] = value > 0x1FFFF ? 0xFFFF : static_cast<uint16_t>(value);
  }
  return table;
}

// Even entries hold 1 / sqrt(2 (1 + m/256)), odd ones 1 / sqrt(1 + m/256), each scaled to [1, 2)
// and found as the largest b with a * b^2 below 2^44.
constexpr std::array<uint16_t, 512> MakeInverseSqrtTable() {
  std::array<uint16_t, 512> table{};
  for (uint64_t i = 0; i < 512; ++i) {
    const uint64_t a = (i + 512) >> (i & 1);
    // Bisection keeps a * low^2 < 2^44 <= a * high^2.
    uint64_t low = uint64_t{1} << 17, high = uint64_t{1} << 19;
    while (high - low > 1) {
      const uint64_t mid = (low + high) / 2;
      if (a * mid * mid < (uint64_t{1} << 44))
        low = mid;
      else
        high = mid;
    }
    table[i] = static_cast<uint16_t>(low >> 1);
  }
  return table;
}

constexpr std::array<uint16_t, 512> kReciprocal = MakeReciprocalTable();
constexpr std::array<uint16_t, 512> kInverseSqrt = MakeInverseSqrtTable();

// The magnitude the tables see: a negative input below -32768 is complemented, not negated.
uint32_t Magnitude(int32_t input) {
  const uint32_t mask = static_cast<uint32_t>(input >> 31);
  uint32_t data = static_cast<uint32_t>(input) ^ mask;
  if (input > -32768) data -= mask;
  return data;
}

}  // namespace

const std::array<uint16_t, 512>& ReciprocalTable() {
  return kReciprocal;
}
const std::array<uint16_t, 512>& InverseSqrtTable() {
  return kInverseSqrt;
}

int32_t Reciprocal(int32_t input) {
  if (input == 0) return 0x7FFFFFFF;
  if (input == -32768) return static_cast<int32_t>(0xFFFF0000);
  const uint32_t mask = static_cast<uint32_t>(input >> 31);
  const uint32_t data = Magnitude(input);
  const int shift = std::countl_zero(data);
  const uint32_t index = ((data << shift) & 0x7FC00000) >> 22;
  const uint32_t result = ((0x10000u | kReciprocal[index]) << 14) >> (31 - shift);
  return static_cast<int32_t>(result ^ mask);
}

int32_t InverseSqrt(int32_t input) {
  if (input == 0) return 0x7FFFFFFF;
  if (input == -32768) return static_cast<int32_t>(0xFFFF0000);
  const uint32_t mask = static_cast<uint32_t>(input >> 31);
  const uint32_t data = Magnitude(input);
  const int shift = std::countl_zero(data);
  const uint32_t index =
      (((data << shift) & 0x7F800000) >> 22) | (static_cast<uint32_t>(shift) & 1);
  const uint32_t result = ((0x10000u | kInverseSqrt[index]) << 14) >> ((31 - shift) >> 1);
  return static_cast<int32_t>(result ^ mask);
}

}  // namespace vantor::rsp
