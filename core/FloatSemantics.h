// COP1 value rules shared by the single-step handlers and the block runner's handlers: how the
// register words hold singles and doubles, how a result is stored, and the operations themselves.
// Every step takes its operands as pointers to register words (a double: to the even word of its
// pair), so the single step passes the words its fields name and a block passes the ones it
// decoded once. The host computes in IEEE-754 round-to-nearest-even (PrepareHostFloatingPoint).
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/Cop1.h"
#include "core/CpuState.h"
#include "core/RegisterAccess.h"

namespace vantor::fpu {

inline bool IsNanS(uint32_t bits) {
  return (bits & 0x7F800000) == 0x7F800000 && (bits & 0x007FFFFF) != 0;
}
inline bool IsNanD(uint64_t bits) {
  return (bits & 0x7FF00000'00000000) == 0x7FF00000'00000000 && (bits & 0x000FFFFF'FFFFFFFF) != 0;
}

// The r4300i's default NaNs; in its encoding a quiet NaN has the top fraction bit clear. Every NaN
// an operation produces is stored as one of these, so the result does not depend on how the host
// forms NaNs, and the program never receives what its own encoding reads as a signaling NaN.
inline constexpr uint32_t kDefaultNanS = 0x7FBFFFFF;
inline constexpr uint64_t kDefaultNanD = 0x7FF7FFFF'FFFFFFFF;

// A double lives in an even-odd pair of words: the low half in the even word. On a little-endian
// host that is the double's own layout, and a result is written with one 64-bit store: the next
// instruction's 64-bit read of the pair then takes it straight from the store, where two 32-bit
// stores would make it wait for both to reach the cache.
inline uint64_t PairBits(const uint32_t* pair) {
  if constexpr (std::endian::native == std::endian::little) {
    uint64_t bits;
    std::memcpy(&bits, pair, sizeof bits);
    return bits;
  }
  return uint64_t{pair[1]} << 32 | pair[0];
}
inline void SetPairBits(uint32_t* pair, uint64_t bits) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(pair, &bits, sizeof bits);
    return;
  }
  pair[0] = static_cast<uint32_t>(bits);
  pair[1] = static_cast<uint32_t>(bits >> 32);
}

inline float GetS(const uint32_t* reg) {
  return std::bit_cast<float>(*reg);
}
inline double GetD(const uint32_t* pair) {
  return std::bit_cast<double>(PairBits(pair));
}
// The bits a result is stored as: its own, or the default NaN for any NaN.
inline uint32_t ResultBits(float value) {
  const auto bits = std::bit_cast<uint32_t>(value);
  return IsNanS(bits) ? kDefaultNanS : bits;
}
inline uint64_t ResultBits(double value) {
  const auto bits = std::bit_cast<uint64_t>(value);
  return IsNanD(bits) ? kDefaultNanD : bits;
}
inline void SetS(uint32_t* reg, float value) {
  *reg = ResultBits(value);
}
inline void SetD(uint32_t* pair, double value) {
  SetPairBits(pair, ResultBits(value));
}

inline bool Condition() {
  return (FCR31 & kFcr31Condition) != 0;
}
inline void SetCondition(bool holds) {
  FCR31 = holds ? FCR31 | kFcr31Condition : FCR31 & ~kFcr31Condition;
}

// NaN, the infinities and values outside the 64-bit range convert to 2^31 - 1, the r4300i's own
// result for an invalid conversion to a word. The range test also keeps the cast defined.
inline int64_t Truncate(double value) {
  if (!(value >= -0x1p63 && value < 0x1p63)) return 0x7FFFFFFF;
  return static_cast<int64_t>(value);
}

// The operations, for either precision.
struct Add {
  template <typename T>
  T operator()(T a, T b) const {
    return a + b;
  }
};
struct Sub {
  template <typename T>
  T operator()(T a, T b) const {
    return a - b;
  }
};
struct Mul {
  template <typename T>
  T operator()(T a, T b) const {
    return a * b;
  }
};
struct Div {
  template <typename T>
  T operator()(T a, T b) const {
    return a / b;
  }
};
struct Sqrt {
  template <typename T>
  T operator()(T a) const {
    return std::sqrt(a);
  }
};
struct Neg {
  template <typename T>
  T operator()(T a) const {
    return -a;
  }
};
// C.EQ, C.LT and C.LE also hold for unordered operands; the tests themselves are quiet.
struct Equal {
  template <typename T>
  bool operator()(T a, T b) const {
    return std::isunordered(a, b) || a == b;
  }
};
struct Less {
  template <typename T>
  bool operator()(T a, T b) const {
    return std::isunordered(a, b) || std::isless(a, b);
  }
};
struct LessEqual {
  template <typename T>
  bool operator()(T a, T b) const {
    return std::isunordered(a, b) || std::islessequal(a, b);
  }
};

// One step on register words: fd = f(fs, ft), each operand a single's word or a double's pair as
// the step reads it; a step ignores the operands it has no use for.
using Step = void (*)(uint32_t* fd, const uint32_t* fs, const uint32_t* ft);

template <typename Op>
void ArithS(uint32_t* fd, const uint32_t* fs, const uint32_t* ft) {
  SetS(fd, Op{}(GetS(fs), GetS(ft)));
}
template <typename Op>
void ArithD(uint32_t* fd, const uint32_t* fs, const uint32_t* ft) {
  SetD(fd, Op{}(GetD(fs), GetD(ft)));
}
template <typename Op>
void UnaryS(uint32_t* fd, const uint32_t* fs, const uint32_t*) {
  SetS(fd, Op{}(GetS(fs)));
}
template <typename Op>
void UnaryD(uint32_t* fd, const uint32_t* fs, const uint32_t*) {
  SetD(fd, Op{}(GetD(fs)));
}
template <typename Test>
void CompareS(uint32_t*, const uint32_t* fs, const uint32_t* ft) {
  SetCondition(Test{}(GetS(fs), GetS(ft)));
}
template <typename Test>
void CompareD(uint32_t*, const uint32_t* fs, const uint32_t* ft) {
  SetCondition(Test{}(GetD(fs), GetD(ft)));
}
// A bit-for-bit copy: NaN payloads pass unchanged.
inline void MoveS(uint32_t* fd, const uint32_t* fs, const uint32_t*) {
  *fd = *fs;
}
inline void MoveD(uint32_t* fd, const uint32_t* fs, const uint32_t*) {
  SetPairBits(fd, PairBits(fs));
}
// To a word, truncated toward zero whatever rounding mode FCR31 names; values of 2^31 and more
// keep the low 32 bits of their 64-bit truncation.
inline void TruncateS(uint32_t* fd, const uint32_t* fs, const uint32_t*) {
  *fd = static_cast<uint32_t>(Truncate(GetS(fs)));
}
inline void TruncateD(uint32_t* fd, const uint32_t* fs, const uint32_t*) {
  *fd = static_cast<uint32_t>(Truncate(GetD(fs)));
}
// Conversions; an L source is the 64-bit integer in its pair, converted by value.
inline void SingleFromD(uint32_t* fd, const uint32_t* fs, const uint32_t*) {
  SetS(fd, static_cast<float>(GetD(fs)));
}
inline void SingleFromW(uint32_t* fd, const uint32_t* fs, const uint32_t*) {
  SetS(fd, static_cast<float>(static_cast<int32_t>(*fs)));
}
inline void SingleFromL(uint32_t* fd, const uint32_t* fs, const uint32_t*) {
  SetS(fd, static_cast<float>(static_cast<int64_t>(PairBits(fs))));
}
inline void DoubleFromS(uint32_t* fd, const uint32_t* fs, const uint32_t*) {
  SetD(fd, GetS(fs));
}
inline void DoubleFromW(uint32_t* fd, const uint32_t* fs, const uint32_t*) {
  SetD(fd, static_cast<double>(static_cast<int32_t>(*fs)));
}
inline void DoubleFromL(uint32_t* fd, const uint32_t* fs, const uint32_t*) {
  SetD(fd, static_cast<double>(static_cast<int64_t>(PairBits(fs))));
}

// The moves between the register files: a word to COP1, and a word to a GPR, sign-extended.
inline uint32_t WordToCop1(uint64_t gpr) {
  return LowWord(gpr);
}
inline uint64_t WordFromCop1(uint32_t word) {
  return Sext32(word);
}

}  // namespace vantor::fpu
