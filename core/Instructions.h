// Instruction handlers named after their mnemonics, as the decode tables hold them.
#pragma once

#include <cstdint>

namespace vantor::ops {

// Integer arithmetic, logic, shifts, multiply and divide.
void ADDI(uint32_t w);
void ADDIU(uint32_t w);
void SLTI(uint32_t w);
void SLTIU(uint32_t w);
void ANDI(uint32_t w);
void ORI(uint32_t w);
void XORI(uint32_t w);
void LUI(uint32_t w);
void DADDI(uint32_t w);
void DADDIU(uint32_t w);
void SLL(uint32_t w);
void SRL(uint32_t w);
void SRA(uint32_t w);
void SLLV(uint32_t w);
void SRLV(uint32_t w);
void SRAV(uint32_t w);
void MFHI(uint32_t w);
void MTHI(uint32_t w);
void MFLO(uint32_t w);
void MTLO(uint32_t w);
void DSLLV(uint32_t w);
void DSRLV(uint32_t w);
void DSRAV(uint32_t w);
void MULT(uint32_t w);
void MULTU(uint32_t w);
void DIV(uint32_t w);
void DIVU(uint32_t w);
void DMULT(uint32_t w);
void DMULTU(uint32_t w);
void DDIV(uint32_t w);
void DDIVU(uint32_t w);
void ADD(uint32_t w);
void ADDU(uint32_t w);
void SUB(uint32_t w);
void SUBU(uint32_t w);
void AND(uint32_t w);
void OR(uint32_t w);
void XOR(uint32_t w);
void NOR(uint32_t w);
void SLT(uint32_t w);
void SLTU(uint32_t w);
void DADD(uint32_t w);
void DADDU(uint32_t w);
void DSUB(uint32_t w);
void DSUBU(uint32_t w);
void DSLL(uint32_t w);
void DSRL(uint32_t w);
void DSRA(uint32_t w);
void DSLL32(uint32_t w);
void DSRL32(uint32_t w);
void DSRA32(uint32_t w);

// Jumps and branches.
void J(uint32_t w);
void JAL(uint32_t w);
void JR(uint32_t w);
void JALR(uint32_t w);
void BEQ(uint32_t w);
void BNE(uint32_t w);
void BLEZ(uint32_t w);
void BGTZ(uint32_t w);
void BEQL(uint32_t w);
void BNEL(uint32_t w);
void BLEZL(uint32_t w);
void BGTZL(uint32_t w);
void BLTZ(uint32_t w);
void BGEZ(uint32_t w);
void BLTZL(uint32_t w);
void BGEZL(uint32_t w);
void BLTZAL(uint32_t w);
void BGEZAL(uint32_t w);
void BLTZALL(uint32_t w);
void BGEZALL(uint32_t w);

// Loads and stores.
void LB(uint32_t w);
void LBU(uint32_t w);
void LH(uint32_t w);
void LHU(uint32_t w);
void LW(uint32_t w);
void LWU(uint32_t w);
void LWL(uint32_t w);
void LWR(uint32_t w);
void LD(uint32_t w);
void LWC1(uint32_t w);
void LDC1(uint32_t w);
void SB(uint32_t w);
void SH(uint32_t w);
void SW(uint32_t w);
void SWL(uint32_t w);
void SWR(uint32_t w);
void SD(uint32_t w);
void SWC1(uint32_t w);
void CACHE(uint32_t w);

}  // namespace vantor::ops
