// The accurate-hardware mode's instructions that raise exceptions of their own: the arithmetic
// that traps on signed overflow, the conditional traps, SYSCALL and BREAK, and every encoding
// the r4300i does not define (reserved instruction) or whose coprocessor is unusable.
#include <cstdint>

#include "core/AccurateExceptions.h"
#include "core/AccurateOps.h"
#include "core/CpuState.h"
#include "core/InstrFields.h"
#include "core/RegisterAccess.h"
#include "core/Semantics.h"

namespace vantor::accurate {

namespace {

// Signed overflow of a sum: both operands share a sign the result does not. A difference a - b
// overflows when the operands' signs differ and the result's sign is b's.
constexpr bool Overflows32(uint32_t a, uint32_t b, uint32_t sum) {
  return ((a ^ sum) & (b ^ sum)) >> 31 != 0;
}
constexpr bool Overflows64(uint64_t a, uint64_t b, uint64_t sum) {
  return ((a ^ sum) & (b ^ sum)) >> 63 != 0;
}

// rd (or rt) takes the sum only when it does not overflow.
void Sum32(uint32_t reg, uint64_t s, uint64_t t) {
  const uint32_t a = LowWord(s), b = LowWord(t), sum = a + b;
  if (Overflows32(a, b, sum))
    RaiseException(kExcOverflow);
  else
    Gpr[reg] = Sext32(sum);
}
void Difference32(uint32_t reg, uint64_t s, uint64_t t) {
  const uint32_t a = LowWord(s), b = LowWord(t), difference = a - b;
  if ((((a ^ b) & (a ^ difference)) >> 31) != 0)
    RaiseException(kExcOverflow);
  else
    Gpr[reg] = Sext32(difference);
}
void Sum64(uint32_t reg, uint64_t s, uint64_t t) {
  const uint64_t sum = s + t;
  if (Overflows64(s, t, sum))
    RaiseException(kExcOverflow);
  else
    Gpr[reg] = sum;
}
void Difference64(uint32_t reg, uint64_t s, uint64_t t) {
  const uint64_t difference = s - t;
  if ((((s ^ t) & (s ^ difference)) >> 63) != 0)
    RaiseException(kExcOverflow);
  else
    Gpr[reg] = difference;
}

void TrapIf(bool condition) {
  if (condition) RaiseException(kExcTrap);
}

}  // namespace

void ADD(uint32_t w) {
  Sum32(Rd(w), Gpr[Rs(w)], Gpr[Rt(w)]);
}
void ADDI(uint32_t w) {
  Sum32(Rt(w), Gpr[Rs(w)], SImm64(w));
}
void SUB(uint32_t w) {
  Difference32(Rd(w), Gpr[Rs(w)], Gpr[Rt(w)]);
}
void DADD(uint32_t w) {
  Sum64(Rd(w), Gpr[Rs(w)], Gpr[Rt(w)]);
}
void DADDI(uint32_t w) {
  Sum64(Rt(w), Gpr[Rs(w)], SImm64(w));
}
void DSUB(uint32_t w) {
  Difference64(Rd(w), Gpr[Rs(w)], Gpr[Rt(w)]);
}

void TGE(uint32_t w) {
  TrapIf(sem::Signed(Gpr[Rs(w)]) >= sem::Signed(Gpr[Rt(w)]));
}
void TGEU(uint32_t w) {
  TrapIf(Gpr[Rs(w)] >= Gpr[Rt(w)]);
}
void TLT(uint32_t w) {
  TrapIf(sem::Signed(Gpr[Rs(w)]) < sem::Signed(Gpr[Rt(w)]));
}
void TLTU(uint32_t w) {
  TrapIf(Gpr[Rs(w)] < Gpr[Rt(w)]);
}
void TEQ(uint32_t w) {
  TrapIf(Gpr[Rs(w)] == Gpr[Rt(w)]);
}
void TNE(uint32_t w) {
  TrapIf(Gpr[Rs(w)] != Gpr[Rt(w)]);
}
// The immediate forms compare with the immediate sign-extended, the unsigned ones too.
void TGEI(uint32_t w) {
  TrapIf(sem::Signed(Gpr[Rs(w)]) >= sem::Signed(SImm64(w)));
}
void TGEIU(uint32_t w) {
  TrapIf(Gpr[Rs(w)] >= SImm64(w));
}
void TLTI(uint32_t w) {
  TrapIf(sem::Signed(Gpr[Rs(w)]) < sem::Signed(SImm64(w)));
}
void TLTIU(uint32_t w) {
  TrapIf(Gpr[Rs(w)] < SImm64(w));
}
void TEQI(uint32_t w) {
  TrapIf(Gpr[Rs(w)] == SImm64(w));
}
void TNEI(uint32_t w) {
  TrapIf(Gpr[Rs(w)] != SImm64(w));
}

void SYSCALL(uint32_t) {
  RaiseException(kExcSyscall);
}
void BREAK(uint32_t) {
  RaiseException(kExcBreak);
}
void Reserved(uint32_t) {
  RaiseException(kExcReserved);
}
// COP2 and its loads and stores: no such coprocessor, so unusable without CU2 and reserved with.
void Cop2(uint32_t) {
  if (CoprocessorUsable(2)) RaiseException(kExcReserved);
}

}  // namespace vantor::accurate
