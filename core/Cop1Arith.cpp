// COP1 arithmetic, conversions and compares. Every handler takes its operand size from bit 21 of
// the word alone (clear: single words, for S and W; set: double pairs, for D and L); only CVT.S
// and CVT.D look at more of the format. The values follow FloatSemantics.h; the rounding mode in
// FCR31 is ignored and no floating-point exception reaches the emulated program.
#include <cstdint>
#include <limits>

#include "common/DebugLog.h"
#include "core/Cop1.h"
#include "core/Cop1Ops.h"
#include "core/CpuState.h"
#include "core/FloatSemantics.h"
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

// The words a field names: a single's register, or the even word of a double's pair.
uint32_t* Word(uint32_t reg) {
  return &Cop1Regs[reg];
}
uint32_t* Pair(uint32_t reg) {
  return &Cop1Regs[reg & 30];
}

// fd = f(fs, ft), every operand in the precision bit 21 selects.
template <fpu::Step S, fpu::Step D>
void Sized(uint32_t w) {
  if (IsDouble(w))
    D(Pair(Fd(w)), Pair(Fs(w)), Pair(Ft(w)));
  else
    S(Word(Fd(w)), Word(Fs(w)), Word(Ft(w)));
}

}  // namespace

void ADD(uint32_t w) {
  Sized<fpu::ArithS<fpu::Add>, fpu::ArithD<fpu::Add>>(w);
}
void SUB(uint32_t w) {
  Sized<fpu::ArithS<fpu::Sub>, fpu::ArithD<fpu::Sub>>(w);
}
void MUL(uint32_t w) {
  Sized<fpu::ArithS<fpu::Mul>, fpu::ArithD<fpu::Mul>>(w);
}
void DIV(uint32_t w) {
  Sized<fpu::ArithS<fpu::Div>, fpu::ArithD<fpu::Div>>(w);
}
void SQRT(uint32_t w) {
  Sized<fpu::UnaryS<fpu::Sqrt>, fpu::UnaryD<fpu::Sqrt>>(w);
}
void NEG(uint32_t w) {
  Sized<fpu::UnaryS<fpu::Neg>, fpu::UnaryD<fpu::Neg>>(w);
}
void MOV(uint32_t w) {
  Sized<fpu::MoveS, fpu::MoveD>(w);
}

// The result is a word: fd names a single register in both precisions.
void TRUNC_W(uint32_t w) {
  if (IsDouble(w))
    fpu::TruncateD(Word(Fd(w)), Pair(Fs(w)), nullptr);
  else
    fpu::TruncateS(Word(Fd(w)), Word(Fs(w)), nullptr);
}
void CVT_W(uint32_t w) {
  TRUNC_W(w);
}
// Only half done: the low word of the result goes to the even word of fd's pair and the high word
// is dropped, which the notice line owns up to on every execution.
void CVT_L(uint32_t w) {
  Cop1Regs[Fd(w) & 30] = static_cast<uint32_t>(
      fpu::Truncate(IsDouble(w) ? fpu::GetD(Pair(Fs(w))) : fpu::GetS(Word(Fs(w)))));
  DbgAddLine("OWWW... CVT.L sucks bigtime :P");
}

// An L source is the 64-bit integer in pair fs, converted by value as on the r4300i: programs
// reach these forms only through CVT.S.L and CVT.D.L on 64-bit integers, and reading the pair's
// bits as a double would hand them a meaningless number.
void CVT_S(uint32_t w) {
  switch (Fmt(w) & 5) {
    case kFormatD:
      fpu::SingleFromD(Word(Fd(w)), Pair(Fs(w)), nullptr);
      break;
    case kFormatW:
      fpu::SingleFromW(Word(Fd(w)), Word(Fs(w)), nullptr);
      break;
    case kFormatL:
      fpu::SingleFromL(Word(Fd(w)), Pair(Fs(w)), nullptr);
      break;
    default:  // S to S changes nothing
      break;
  }
}
void CVT_D(uint32_t w) {
  switch (Fmt(w) & 5) {
    case kFormatS:
      fpu::DoubleFromS(Pair(Fd(w)), Word(Fs(w)), nullptr);
      break;
    case kFormatW:
      fpu::DoubleFromW(Pair(Fd(w)), Word(Fs(w)), nullptr);
      break;
    case kFormatL:
      fpu::DoubleFromL(Pair(Fd(w)), Pair(Fs(w)), nullptr);
      break;
    default:  // D to D changes nothing
      break;
  }
}

void C_EQ(uint32_t w) {
  Sized<fpu::CompareS<fpu::Equal>, fpu::CompareD<fpu::Equal>>(w);
}
void C_LT(uint32_t w) {
  Sized<fpu::CompareS<fpu::Less>, fpu::CompareD<fpu::Less>>(w);
}
void C_LE(uint32_t w) {
  Sized<fpu::CompareS<fpu::LessEqual>, fpu::CompareD<fpu::LessEqual>>(w);
}
// Decided on the bit patterns of both operands, not on host comparisons.
void C_UN(uint32_t w) {
  if (IsDouble(w))
    fpu::SetCondition(fpu::IsNanD(ReadPair(Fs(w))) || fpu::IsNanD(ReadPair(Ft(w))));
  else
    fpu::SetCondition(fpu::IsNanS(Cop1Regs[Fs(w)]) || fpu::IsNanS(Cop1Regs[Ft(w)]));
}

}  // namespace vantor::cop1
