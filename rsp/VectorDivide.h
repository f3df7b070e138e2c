// The vector unit's divide unit: reciprocal and inverse square root from two 512-entry tables,
// as VRCP, VRCPL, VRCPH, VRSQ, VRSQL and VRSQH use them.
#pragma once

#include <array>
#include <cstdint>

namespace vantor::rsp {

// The tables' 16 fraction bits below an implied leading one: entry i of the reciprocal table is
// 1 / (1 + i / 512) scaled to [1, 2); the inverse square root table interleaves the two exponent
// parities (odd entries for an even exponent), each over 256 steps of the mantissa.
const std::array<uint16_t, 512>& ReciprocalTable();
const std::array<uint16_t, 512>& InverseSqrtTable();

// 2^31 / input and 2^31 / sqrt(|input|) to the tables' precision, negated (ones' complement) for
// a negative input; zero gives 0x7FFFFFFF and -32768 gives 0xFFFF0000.
int32_t Reciprocal(int32_t input);
int32_t InverseSqrt(int32_t input);

}  // namespace vantor::rsp
