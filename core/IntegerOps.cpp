// Integer arithmetic, logic, shifts, multiply and divide. None traps on overflow. On this 64-bit
// host the 64-bit operations are native, with the same results as word-pair arithmetic.
#include <cstdint>

#include "common/DebugLog.h"
#include "core/CpuState.h"
#include "core/InstrFields.h"
#include "core/Instructions.h"
#include "core/RegisterAccess.h"
#include "core/Semantics.h"

namespace vantor::ops {

namespace {

using Binary = uint64_t (*)(uint64_t, uint64_t);
using Shift = uint64_t (*)(uint64_t, uint32_t);

template <Binary F>
void RegReg(uint32_t w) {
  Gpr[Rd(w)] = F(Gpr[Rs(w)], Gpr[Rt(w)]);
}
template <Binary F>
void RegSignedImm(uint32_t w) {
  Gpr[Rt(w)] = F(Gpr[Rs(w)], SImm64(w));
}
template <Binary F>
void RegImm(uint32_t w) {
  Gpr[Rt(w)] = F(Gpr[Rs(w)], Imm(w));
}
template <Shift F, uint32_t kExtra = 0>
void ShiftSa(uint32_t w) {
  Gpr[Rd(w)] = F(Gpr[Rt(w)], Sa(w) + kExtra);
}
template <Binary F>
void MulDiv(uint32_t w) {
  MulDivTemp = F(Gpr[Rs(w)], Gpr[Rt(w)]);
}

// The 64-bit divides keep the low words of the quotient (LO) and the remainder (HI).
void SetFromDivision(sem::TDivision division) {
  MulDivTemp = sem::LoHi(LowWord(division.quotient), LowWord(division.remainder));
}

}  // namespace

void ADDI(uint32_t w) {
  RegSignedImm<sem::AddImm32>(w);
}
void ADDIU(uint32_t w) {
  RegSignedImm<sem::AddImm32>(w);
}
void SLTI(uint32_t w) {
  RegSignedImm<sem::LessSigned>(w);
}
void SLTIU(uint32_t w) {
  RegSignedImm<sem::LessUnsigned>(w);
}
void ANDI(uint32_t w) {
  RegImm<sem::AndImm>(w);
}
void ORI(uint32_t w) {
  RegImm<sem::Or>(w);
}
void XORI(uint32_t w) {
  RegImm<sem::Xor>(w);
}
void LUI(uint32_t w) {
  RegImm<sem::LoadUpper>(w);
}
void DADDI(uint32_t w) {
  RegSignedImm<sem::Add64>(w);
}
void DADDIU(uint32_t w) {
  RegSignedImm<sem::Add64>(w);
}

void SLL(uint32_t w) {
  ShiftSa<sem::ShiftLeft32>(w);
}
void SRL(uint32_t w) {
  ShiftSa<sem::ShiftRight32>(w);
}
void SRA(uint32_t w) {
  ShiftSa<sem::ShiftArith32>(w);
}
void SLLV(uint32_t w) {
  RegReg<sem::ShiftLeftVar32>(w);
}
void SRLV(uint32_t w) {
  RegReg<sem::ShiftRightVar32>(w);
}
void SRAV(uint32_t w) {
  RegReg<sem::ShiftArithVar32>(w);
}

// One 64-bit MulDivTemp serves as LO (low word) and HI (high word): MFLO hands out both words
// and MTLO sets both, which programs written for this machine rely on.
void MFHI(uint32_t w) {
  Gpr[Rd(w)] = sem::FromHi(MulDivTemp);
}
void MTHI(uint32_t w) {
  MulDivTemp = sem::LoHi(LowWord(MulDivTemp), LowWord(Gpr[Rs(w)]));
}
void MFLO(uint32_t w) {
  Gpr[Rd(w)] = sem::FromLo(MulDivTemp);
}
void MTLO(uint32_t w) {
  MulDivTemp = Gpr[Rs(w)];
}

void DSLLV(uint32_t w) {
  RegReg<sem::ShiftLeftVar64>(w);
}
void DSRLV(uint32_t w) {
  RegReg<sem::ShiftRightVar64>(w);
}
void DSRAV(uint32_t w) {
  RegReg<sem::ShiftArithVar64>(w);
}

void MULT(uint32_t w) {
  MulDiv<sem::Mult>(w);
}
void MULTU(uint32_t w) {
  MulDiv<sem::MultU>(w);
}
void DIV(uint32_t w) {
  MulDiv<sem::Div>(w);
}
void DIVU(uint32_t w) {
  MulDiv<sem::DivU>(w);
}
void DMULT(uint32_t w) {
  MulDiv<sem::Mult64>(w);
}
void DMULTU(uint32_t w) {
  MulDiv<sem::Mult64>(w);
}

// The 64-bit divides take a 32-bit divisor and leave a 32-bit quotient in LO and a 32-bit
// remainder in HI.
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
  SetFromDivision(sem::Div64(sem::Signed(Gpr[Rs(w)]), static_cast<int32_t>(LowWord(divisorReg))));
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
  SetFromDivision(sem::DivU64(Gpr[Rs(w)], divisorReg));
}

void ADD(uint32_t w) {
  RegReg<sem::Add32>(w);
}
void ADDU(uint32_t w) {
  RegReg<sem::Add32>(w);
}
void SUB(uint32_t w) {
  RegReg<sem::Sub32>(w);
}
void SUBU(uint32_t w) {
  RegReg<sem::Sub32>(w);
}
void AND(uint32_t w) {
  RegReg<sem::And>(w);
}
void OR(uint32_t w) {
  RegReg<sem::Or>(w);
}
void XOR(uint32_t w) {
  RegReg<sem::Xor>(w);
}
void NOR(uint32_t w) {
  RegReg<sem::Nor>(w);
}
void SLT(uint32_t w) {
  RegReg<sem::LessSigned>(w);
}
void SLTU(uint32_t w) {
  RegReg<sem::LessUnsigned>(w);
}
void DADD(uint32_t w) {
  RegReg<sem::Add64>(w);
}
void DADDU(uint32_t w) {
  RegReg<sem::Add64>(w);
}
void DSUB(uint32_t w) {
  RegReg<sem::Sub64>(w);
}
void DSUBU(uint32_t w) {
  RegReg<sem::Sub64>(w);
}

void DSLL(uint32_t w) {
  ShiftSa<sem::ShiftLeft64>(w);
}
void DSRL(uint32_t w) {
  ShiftSa<sem::ShiftRight64>(w);
}
void DSRA(uint32_t w) {
  ShiftSa<sem::ShiftArith64>(w);
}
void DSLL32(uint32_t w) {
  ShiftSa<sem::ShiftLeft64, 32>(w);
}
void DSRL32(uint32_t w) {
  ShiftSa<sem::ShiftRight64, 32>(w);
}
void DSRA32(uint32_t w) {
  ShiftSa<sem::ShiftArith64, 32>(w);
}

}  // namespace vantor::ops
