// The COP1 decoder, the moves between the register files, the branches on the condition bit and
// the reports of what the coprocessor does not model.
#include "core/Cop1.h"

#include <cfenv>

#include "common/DebugLog.h"
#include "common/HexText.h"
#include "core/Cop1Ops.h"
#include "core/CpuState.h"
#include "core/FloatSemantics.h"
#include "core/InstrFields.h"
#include "core/RegisterAccess.h"
#include "core/Transfer.h"

namespace vantor {

uint32_t FCR0;
uint32_t FCR31;

namespace cop1 {

namespace {

// Only control registers 0 and 31 exist: the others read as 0 and ignore writes.
constexpr uint32_t kFcr0 = 0;
constexpr uint32_t kFcr31 = 31;

}  // namespace

void MFC1(uint32_t w) {
  Gpr[Rt(w)] = fpu::WordFromCop1(Cop1Regs[Fs(w)]);
}
void DMFC1(uint32_t w) {
  Gpr[Rt(w)] = ReadPair(Fs(w));
}
void CFC1(uint32_t w) {
  uint32_t value = 0;
  if (Fs(w) == kFcr0)
    value = FCR0;
  else if (Fs(w) == kFcr31)
    value = FCR31;
  Gpr[Rt(w)] = Sext32(value);
}
void MTC1(uint32_t w) {
  Cop1Regs[Fs(w)] = fpu::WordToCop1(Gpr[Rt(w)]);
}
void DMTC1(uint32_t w) {
  WritePair(Fs(w), Gpr[Rt(w)]);
}
// FCR0 is writable here, unlike on the chip; the other bits of FCR31 are stored but never act.
void CTC1(uint32_t w) {
  if (Fs(w) == kFcr0)
    FCR0 = LowWord(Gpr[Rt(w)]);
  else if (Fs(w) == kFcr31)
    FCR31 = LowWord(Gpr[Rt(w)]);
}

void BC1F(uint32_t w) {
  ConditionalBranch(w, !fpu::Condition(), false);
}
void BC1T(uint32_t w) {
  ConditionalBranch(w, fpu::Condition(), false);
}
void BC1FL(uint32_t w) {
  ConditionalBranch(w, !fpu::Condition(), true);
}
void BC1TL(uint32_t w) {
  ConditionalBranch(w, fpu::Condition(), true);
}

void IllegalCop1(uint32_t w) {
  DbgAddLine("Illegal COP1 opcode at " + Hex8(PC.Lo));
  DbgAddLine("Opcode " + Hex2(Fmt(w)));
}
void IllegalCop1Ex(uint32_t w) {
  DbgAddLine("Illegal COP1 Ex opcode at " + Hex8(PC.Lo));
  DbgAddLine("Opcode " + Hex2(Funct(w)));
}
void UnimplementedCop1Ex(uint32_t w) {
  DbgAddLine("Unimplemented COP 1 Ex opcode at " + Hex8(PC.Lo));
  DbgAddLine("Opcode " + Hex2(Funct(w)));
}

}  // namespace cop1

namespace {

void BC1(uint32_t w) {
  Bc1Table[(w >> 16) & 3](w);
}
void Function(uint32_t w) {
  Cop1FunctionTable[Funct(w)](w);
}

using namespace cop1;
constexpr OpcodeHandler kIll = IllegalCop1;
constexpr OpcodeHandler kIllEx = IllegalCop1Ex;
constexpr OpcodeHandler kUnimpEx = UnimplementedCop1Ex;

}  // namespace

// clang-format off
const OpcodeHandler Cop1Table[32] = {
  MFC1,     DMFC1,    CFC1,     kIll,     MTC1,     DMTC1,    CTC1,     kIll,
  BC1,      kIll,     kIll,     kIll,     kIll,     kIll,     kIll,     kIll,
  Function, Function, kIll,     kIll,     Function, Function, kIll,     kIll,  // S D - - W L
  kIll,     kIll,     kIll,     kIll,     kIll,     kIll,     kIll,     kIll,
};

const OpcodeHandler Bc1Table[4] = {BC1F, BC1T, BC1FL, BC1TL};

// Not modelled: ABS, ROUND.L, TRUNC.L, CEIL.L, FLOOR.L, ROUND.W, CEIL.W, FLOOR.W and twelve of the
// sixteen compares.
const OpcodeHandler Cop1FunctionTable[64] = {
  ADD,      SUB,      MUL,      DIV,      SQRT,     kUnimpEx, MOV,      NEG,
  kUnimpEx, kUnimpEx, kUnimpEx, kUnimpEx, kUnimpEx, TRUNC_W,  kUnimpEx, kUnimpEx,
  kIllEx,   kIllEx,   kIllEx,   kIllEx,   kIllEx,   kIllEx,   kIllEx,   kIllEx,
  kIllEx,   kIllEx,   kIllEx,   kIllEx,   kIllEx,   kIllEx,   kIllEx,   kIllEx,
  CVT_S,    CVT_D,    kIllEx,   kIllEx,   CVT_W,    CVT_L,    kIllEx,   kIllEx,
  kIllEx,   kIllEx,   kIllEx,   kIllEx,   kIllEx,   kIllEx,   kIllEx,   kIllEx,
  kUnimpEx, C_UN,     C_EQ,     kUnimpEx, kUnimpEx, kUnimpEx, kUnimpEx, kUnimpEx,
  kUnimpEx, kUnimpEx, kUnimpEx, kUnimpEx, C_LT,     kUnimpEx, C_LE,     kUnimpEx,
};
// clang-format on

void Cop1Op(uint32_t word) {
  Cop1Table[Fmt(word)](word);
}

// The default environment rounds to nearest with every exception masked; on x86-64 it also clears
// the flush-to-zero and denormals-are-zero modes, which would change results on tiny operands.
void PrepareHostFloatingPoint() {
  std::fesetenv(FE_DFL_ENV);
}

}  // namespace vantor
