// COP1 arithmetic, conversions and compares. Every handler takes its operand size from bit 21 of
// the word alone (clear: single words, for S and W; set: double pairs, for D and L); only CVT.S
// and CVT.D look at more of the format. The host computes every result in IEEE-754
// round-to-nearest-even, which PrepareHostFloatingPoint sets up; the rounding mode in FCR31 is
// ignored and no floating-point exception reaches the emulated program.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "common/DebugLog.h"
#include "core/Cop1.h"
#include "core/Cop1Ops.h"
#include "core/CpuState.h"
#include "core/InstrFields.h"

namespace vantor::cop1 {

// IEEE-754 host formats: division by zero, overflow and narrowing to single have their IEEE
// results (infinities, NaNs) rather than being left undefined.
static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559);

namespace {

bool IsDouble(uint32_t w) {
  return (w >> 21) & 1;
}

// Formats as CVT.S and CVT.D tell them apart: fmt and 5.
enum : uint32_t { kFormatS = 0, kFormatD = 1, kFormatW = 4, kFormatL = 5 };

bool IsNanS(uint32_t bits) {
  return (bits & 0x7F800000) == 0x7F800000 && (bits & 0x007FFFFF) != 0;
}
bool IsNanD(uint64_t bits) {
  return (bits & 0x7FF00000'00000000) == 0x7FF00000'00000000 && (bits & 0x000FFFFF'FFFFFFFF) != 0;
}

// The r4300i's default NaNs; in its encoding a quiet NaN has the top fraction bit clear. Every NaN
// an operation produces is stored as one of these, so the result does not depend on how the host
// forms NaNs, and the program never receives what its own encoding reads as a signaling NaN.
constexpr uint32_t kDefaultNanS = 0x7FBFFFFF;
constexpr uint64_t kDefaultNanD = 0x7FF7FFFF'FFFFFFFF;

float GetS(uint32_t reg) {
  return std::bit_cast<float>(Cop1Regs[reg]);
}
double GetD(uint32_t reg) {
  return std::bit_cast<double>(ReadPair(reg));
}
void SetS(uint32_t reg, float value) {
  const auto bits = std::bit_cast<uint32_t>(value);
  Cop1Regs[reg] = IsNanS(bits) ? kDefaultNanS : bits;
}
void SetD(uint32_t reg, double value) {
  const auto bits = std::bit_cast<uint64_t>(value);
  WritePair(reg, IsNanD(bits) ? kDefaultNanD : bits);
}

// fd = op(fs, ft) and fd = op(fs), in the precision bit 21 selects.
template <typename Op>
void Binary(uint32_t w, Op op) {
  if (IsDouble(w))
    SetD(Fd(w), op(GetD(Fs(w)), GetD(Ft(w))));
  else
    SetS(Fd(w), op(GetS(Fs(w)), GetS(Ft(w))));
}
template <typename Op>
void Unary(uint32_t w, Op op) {
  if (IsDouble(w))
    SetD(Fd(w), op(GetD(Fs(w))));
  else
    SetS(Fd(w), op(GetS(Fs(w))));
}

// NaN, the infinities and values outside the 64-bit range convert to 2^31 - 1, the r4300i's own
// result for an invalid conversion to a word. The range test also keeps the cast defined.
constexpr int64_t kInvalidInteger = 0x7FFFFFFF;

int64_t Truncate(double value) {
  if (!(value >= -0x1p63 && value < 0x1p63)) return kInvalidInteger;
  return static_cast<int64_t>(value);
}
// The source truncated toward zero to 64 bits, whatever rounding mode FCR31 names.
int64_t TruncateSource(uint32_t w) {
  return Truncate(IsDouble(w) ? GetD(Fs(w)) : GetS(Fs(w)));
}

void SetCondition(bool holds) {
  FCR31 = holds ? FCR31 | kFcr31Condition : FCR31 & ~kFcr31Condition;
}
template <typename Test>
void Compare(uint32_t w, Test test) {
  SetCondition(IsDouble(w) ? test(GetD(Fs(w)), GetD(Ft(w))) : test(GetS(Fs(w)), GetS(Ft(w))));
}

}  // namespace

void ADD(uint32_t w) {
  Binary(w, [](auto a, auto b) { return a + b; });
}
void SUB(uint32_t w) {
  Binary(w, [](auto a, auto b) { return a - b; });
}
void MUL(uint32_t w) {
  Binary(w, [](auto a, auto b) { return a * b; });
}
void DIV(uint32_t w) {
  Binary(w, [](auto a, auto b) { return a / b; });
}
void SQRT(uint32_t w) {
  Unary(w, [](auto a) { return std::sqrt(a); });
}
void NEG(uint32_t w) {
  Unary(w, [](auto a) { return -a; });
}
// A bit-for-bit copy: NaN payloads pass unchanged.
void MOV(uint32_t w) {
  if (IsDouble(w))
    WritePair(Fd(w), ReadPair(Fs(w)));
  else
    Cop1Regs[Fd(w)] = Cop1Regs[Fs(w)];
}

// Values of 2^31 and more keep the low 32 bits of their 64-bit truncation.
void TRUNC_W(uint32_t w) {
  Cop1Regs[Fd(w)] = static_cast<uint32_t>(TruncateSource(w));
}
void CVT_W(uint32_t w) {
  TRUNC_W(w);
}
// Only half done: the low word of the result goes to the even word of fd's pair and the high word
// is dropped, which the notice line owns up to on every execution.
void CVT_L(uint32_t w) {
  Cop1Regs[Fd(w) & 30] = static_cast<uint32_t>(TruncateSource(w));
  DbgAddLine("OWWW... CVT.L sucks bigtime :P");
}

// An L source is the 64-bit integer in pair fs, converted by value as on the r4300i: programs
// reach these forms only through CVT.S.L and CVT.D.L on 64-bit integers, and reading the pair's
// bits as a double would hand them a meaningless number.
void CVT_S(uint32_t w) {
  switch (Fmt(w) & 5) {
    case kFormatD:
      SetS(Fd(w), static_cast<float>(GetD(Fs(w))));
      break;
    case kFormatW:
      SetS(Fd(w), static_cast<float>(static_cast<int32_t>(Cop1Regs[Fs(w)])));
      break;
    case kFormatL:
      SetS(Fd(w), static_cast<float>(static_cast<int64_t>(ReadPair(Fs(w)))));
      break;
    default:  // S to S changes nothing
      break;
  }
}
void CVT_D(uint32_t w) {
  switch (Fmt(w) & 5) {
    case kFormatS:
      SetD(Fd(w), GetS(Fs(w)));
      break;
    case kFormatW:
      SetD(Fd(w), static_cast<double>(static_cast<int32_t>(Cop1Regs[Fs(w)])));
      break;
    case kFormatL:
      SetD(Fd(w), static_cast<double>(static_cast<int64_t>(ReadPair(Fs(w)))));
      break;
    default:  // D to D changes nothing
      break;
  }
}

// C.EQ, C.LT and C.LE also hold for unordered operands; the tests themselves are quiet.
void C_EQ(uint32_t w) {
  Compare(w, [](auto a, auto b) { return std::isunordered(a, b) || a == b; });
}
void C_LT(uint32_t w) {
  Compare(w, [](auto a, auto b) { return std::isunordered(a, b) || std::isless(a, b); });
}
void C_LE(uint32_t w) {
  Compare(w, [](auto a, auto b) { return std::isunordered(a, b) || std::islessequal(a, b); });
}
// Decided on the bit patterns of both operands, not on host comparisons.
void C_UN(uint32_t w) {
  if (IsDouble(w))
    SetCondition(IsNanD(ReadPair(Fs(w))) || IsNanD(ReadPair(Ft(w))));
  else
    SetCondition(IsNanS(Cop1Regs[Fs(w)]) || IsNanS(Cop1Regs[Ft(w)]));
}

}  // namespace vantor::cop1
