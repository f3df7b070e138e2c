// COP1 instruction handlers, named after their mnemonics, and the register-pair access they share.
#pragma once

#include <cstdint>

#include "core/CpuState.h"

namespace vantor::cop1 {

// A 64-bit operand lives in pair reg >> 1: the low half in the even word, the high half in the
// odd one. An odd register number names the pair of the even number below it (Status.FR = 0).
inline uint64_t ReadPair(uint32_t reg) {
  return uint64_t{Cop1Regs[reg | 1]} << 32 | Cop1Regs[reg & 30];
}
inline void WritePair(uint32_t reg, uint64_t value) {
  Cop1Regs[reg & 30] = static_cast<uint32_t>(value);
  Cop1Regs[reg | 1] = static_cast<uint32_t>(value >> 32);
}

// Moves between the register files.
void MFC1(uint32_t w);
void DMFC1(uint32_t w);
void CFC1(uint32_t w);
void MTC1(uint32_t w);
void DMTC1(uint32_t w);
void CTC1(uint32_t w);

// Branches on the condition bit.
void BC1F(uint32_t w);
void BC1T(uint32_t w);
void BC1FL(uint32_t w);
void BC1TL(uint32_t w);

// Arithmetic, conversions and compares, for every format.
void ADD(uint32_t w);
void SUB(uint32_t w);
void MUL(uint32_t w);
void DIV(uint32_t w);
void SQRT(uint32_t w);
void MOV(uint32_t w);
void NEG(uint32_t w);
void TRUNC_W(uint32_t w);
void CVT_S(uint32_t w);
void CVT_D(uint32_t w);
void CVT_W(uint32_t w);
void CVT_L(uint32_t w);
void C_UN(uint32_t w);
void C_EQ(uint32_t w);
void C_LT(uint32_t w);
void C_LE(uint32_t w);

// Reports: undefined sub-opcode, undefined function, function not modelled.
void IllegalCop1(uint32_t w);
void IllegalCop1Ex(uint32_t w);
void UnimplementedCop1Ex(uint32_t w);

}  // namespace vantor::cop1
