// Integer arithmetic, logic, shifts, multiply and divide. None traps on overflow. On this 64-bit
// host the 64-bit operations are native, with the same results as word-pair arithmetic.
#include <cstdint>

#include "common/DebugLog.h"
#include "core/CpuState.h"
#include "core/InstrFields.h"
#include "core/Instructions.h"
#include "core/RegisterAccess.h"

namespace vantor::ops {

namespace {

uint32_t RsLo(uint32_t w) {
  return LowWord(Gpr[Rs(w)]);
}
uint32_t RtLo(uint32_t w) {
  return LowWord(Gpr[Rt(w)]);
}
int64_t Signed(uint64_t value) {
  return static_cast<int64_t>(value);
}

// LO in the low word, HI in the high word.
void SetLoHi(uint32_t lo, uint32_t hi) {
  MulDivTemp = uint64_t{hi} << 32 | lo;
}

}  // namespace

void ADDI(uint32_t w) {
  Gpr[Rt(w)] = Sext32(RsLo(w) + SImm32(w));
}
void ADDIU(uint32_t w) {
  ADDI(w);
}
void SLTI(uint32_t w) {
  Gpr[Rt(w)] = Signed(Gpr[Rs(w)]) < Signed(SImm64(w));
}
void SLTIU(uint32_t w) {
  Gpr[Rt(w)] = Gpr[Rs(w)] < SImm64(w);
}
void ANDI(uint32_t w) {
  Gpr[Rt(w)] = RsLo(w) & Imm(w);
}
void ORI(uint32_t w) {
  Gpr[Rt(w)] = Gpr[Rs(w)] | Imm(w);
}
void XORI(uint32_t w) {
  Gpr[Rt(w)] = Gpr[Rs(w)] ^ Imm(w);
}
void LUI(uint32_t w) {
  Gpr[Rt(w)] = Sext32(Imm(w) << 16);
}
void DADDI(uint32_t w) {
  Gpr[Rt(w)] = Gpr[Rs(w)] + SImm64(w);
}
void DADDIU(uint32_t w) {
  DADDI(w);
}

void SLL(uint32_t w) {
  Gpr[Rd(w)] = Sext32(RtLo(w) << Sa(w));
}
void SRL(uint32_t w) {
  Gpr[Rd(w)] = Sext32(RtLo(w) >> Sa(w));
}
void SRA(uint32_t w) {
  Gpr[Rd(w)] = Sext32(static_cast<uint32_t>(static_cast<int32_t>(RtLo(w)) >> Sa(w)));
}
void SLLV(uint32_t w) {
  Gpr[Rd(w)] = Sext32(RtLo(w) << (RsLo(w) & 31));
}
void SRLV(uint32_t w) {
  Gpr[Rd(w)] = Sext32(RtLo(w) >> (RsLo(w) & 31));
}
void SRAV(uint32_t w) {
  Gpr[Rd(w)] = Sext32(static_cast<uint32_t>(static_cast<int32_t>(RtLo(w)) >> (RsLo(w) & 31)));
}

// One 64-bit MulDivTemp serves as LO (low word) and HI (high word): MFLO hands out both words
// and MTLO sets both, which programs written for this machine rely on.
void MFHI(uint32_t w) {
  Gpr[Rd(w)] = Sext32(HighWord(MulDivTemp));
}
void MTHI(uint32_t w) {
  SetLoHi(LowWord(MulDivTemp), RsLo(w));
}
void MFLO(uint32_t w) {
  Gpr[Rd(w)] = MulDivTemp;
}
void MTLO(uint32_t w) {
  MulDivTemp = Gpr[Rs(w)];
}

void DSLLV(uint32_t w) {
  Gpr[Rd(w)] = Gpr[Rt(w)] << (RsLo(w) & 63);
}
void DSRLV(uint32_t w) {
  Gpr[Rd(w)] = Gpr[Rt(w)] >> (RsLo(w) & 63);
}
void DSRAV(uint32_t w) {
  Gpr[Rd(w)] = static_cast<uint64_t>(Signed(Gpr[Rt(w)]) >> (RsLo(w) & 63));
}

void MULT(uint32_t w) {
  MulDivTemp = static_cast<uint64_t>(int64_t{static_cast<int32_t>(RsLo(w))} *
                                     int64_t{static_cast<int32_t>(RtLo(w))});
}
void MULTU(uint32_t w) {
  MulDivTemp = uint64_t{RsLo(w)} * RtLo(w);
}

// A zero divisor leaves the quotient all ones for a non-negative dividend and 1 for a negative
// one, with the dividend as remainder; 0x80000000 / -1 gives 0x80000000 remainder 0. These are
// the r4300i's own results, and they keep the host from faulting.
void DIV(uint32_t w) {
  const auto dividend = static_cast<int32_t>(RsLo(w));
  const auto divisor = static_cast<int32_t>(RtLo(w));
  if (divisor == 0) {
    SetLoHi(dividend < 0 ? 1 : 0xFFFFFFFF, static_cast<uint32_t>(dividend));
  } else if (dividend == INT32_MIN && divisor == -1) {
    SetLoHi(0x80000000, 0);
  } else {
    SetLoHi(static_cast<uint32_t>(dividend / divisor), static_cast<uint32_t>(dividend % divisor));
  }
}

void DIVU(uint32_t w) {
  const uint32_t dividend = RsLo(w);
  const uint32_t divisor = RtLo(w);
  if (divisor == 0)
    SetLoHi(0xFFFFFFFF, dividend);
  else
    SetLoHi(dividend / divisor, dividend % divisor);
}

void DMULT(uint32_t w) {
  MulDivTemp = Gpr[Rs(w)] * Gpr[Rt(w)];
}
void DMULTU(uint32_t w) {
  DMULT(w);
}

// The 64-bit divides take a 32-bit divisor and leave a 32-bit quotient in LO and a 32-bit
// remainder in HI. A quotient that does not fit 32 bits keeps its low 32 bits.
void DDIV(uint32_t w) {
  const uint64_t divisorReg = Gpr[Rt(w)];
  if (LowWord(divisorReg) == 0) {
    DbgAddLine("DIV BY 0!");
    return;
  }
  if (static_cast<int32_t>(HighWord(divisorReg)) > 0) {
    DbgAddLine("Number too big to be divided with current method!");
    return;
  }
  const int64_t dividend = Signed(Gpr[Rs(w)]);
  const int64_t divisor = static_cast<int32_t>(LowWord(divisorReg));
  if (dividend == INT64_MIN && divisor == -1) {  // the quotient 2^63 wraps; no host fault
    SetLoHi(0, 0);
    return;
  }
  SetLoHi(static_cast<uint32_t>(dividend / divisor), static_cast<uint32_t>(dividend % divisor));
}

void DDIVU(uint32_t w) {
  const uint64_t divisorReg = Gpr[Rt(w)];
  if (divisorReg == 0) {
    DbgAddLine("DIV BY 0!");
    return;
  }
  if (HighWord(divisorReg) != 0) {
    DbgAddLine("Number too big to be divided with current method!");
    return;
  }
  const uint64_t dividend = Gpr[Rs(w)];
  SetLoHi(static_cast<uint32_t>(dividend / divisorReg),
          static_cast<uint32_t>(dividend % divisorReg));
}

void ADD(uint32_t w) {
  Gpr[Rd(w)] = Sext32(RsLo(w) + RtLo(w));
}
void ADDU(uint32_t w) {
  ADD(w);
}
void SUB(uint32_t w) {
  Gpr[Rd(w)] = Sext32(RsLo(w) - RtLo(w));
}
void SUBU(uint32_t w) {
  SUB(w);
}
void AND(uint32_t w) {
  Gpr[Rd(w)] = Gpr[Rs(w)] & Gpr[Rt(w)];
}
void OR(uint32_t w) {
  Gpr[Rd(w)] = Gpr[Rs(w)] | Gpr[Rt(w)];
}
void XOR(uint32_t w) {
  Gpr[Rd(w)] = Gpr[Rs(w)] ^ Gpr[Rt(w)];
}
void NOR(uint32_t w) {
  Gpr[Rd(w)] = ~(Gpr[Rs(w)] | Gpr[Rt(w)]);
}
void SLT(uint32_t w) {
  Gpr[Rd(w)] = Signed(Gpr[Rs(w)]) < Signed(Gpr[Rt(w)]);
}
void SLTU(uint32_t w) {
  Gpr[Rd(w)] = Gpr[Rs(w)] < Gpr[Rt(w)];
}
void DADD(uint32_t w) {
  Gpr[Rd(w)] = Gpr[Rs(w)] + Gpr[Rt(w)];
}
void DADDU(uint32_t w) {
  DADD(w);
}
void DSUB(uint32_t w) {
  Gpr[Rd(w)] = Gpr[Rs(w)] - Gpr[Rt(w)];
}
void DSUBU(uint32_t w) {
  DSUB(w);
}

void DSLL(uint32_t w) {
  Gpr[Rd(w)] = Gpr[Rt(w)] << Sa(w);
}
void DSRL(uint32_t w) {
  Gpr[Rd(w)] = Gpr[Rt(w)] >> Sa(w);
}
void DSRA(uint32_t w) {
  Gpr[Rd(w)] = static_cast<uint64_t>(Signed(Gpr[Rt(w)]) >> Sa(w));
}
void DSLL32(uint32_t w) {
  Gpr[Rd(w)] = Gpr[Rt(w)] << (Sa(w) + 32);
}
void DSRL32(uint32_t w) {
  Gpr[Rd(w)] = Gpr[Rt(w)] >> (Sa(w) + 32);
}
void DSRA32(uint32_t w) {
  Gpr[Rd(w)] = static_cast<uint64_t>(Signed(Gpr[Rt(w)]) >> (Sa(w) + 32));
}

}  // namespace vantor::ops
