// Handlers of the accurate-hardware mode, as its decode tables hold them (see Accurate.h).
#pragma once

#include <array>
#include <cstdint>

#include "core/Interpreter.h"

namespace vantor::accurate {

// HI and LO as two 64-bit registers.
void MFHI(uint32_t w);
void MTHI(uint32_t w);
void MFLO(uint32_t w);
void MTLO(uint32_t w);
void MULT(uint32_t w);
void MULTU(uint32_t w);
void DIV(uint32_t w);
void DIVU(uint32_t w);
void DMULT(uint32_t w);
void DMULTU(uint32_t w);
void DDIV(uint32_t w);
void DDIVU(uint32_t w);
// J, whose jump to itself (an idle loop) moves the clock on to the next event.
void J(uint32_t w);
// A no-operation on a single processor.
void SYNC(uint32_t w);

// Unaligned double words, linked loads and conditional stores, double-word FPU transfers.
void LDL(uint32_t w);
void LDR(uint32_t w);
void SDL(uint32_t w);
void SDR(uint32_t w);
void LL(uint32_t w);
void LLD(uint32_t w);
void SC(uint32_t w);
void SCD(uint32_t w);
void LDC1(uint32_t w);
void SDC1(uint32_t w);

// The COP1 decoder of the mode (primary opcode 0x11).
void Cop1Op(uint32_t w);
// The handler Cop1Op runs for a word once COP1 is usable (the block runner calls it directly).
OpcodeHandler Cop1Handler(uint32_t w);

// Loads and stores that check their address and may fault (AccurateLoadStore.cpp).
void LB(uint32_t w);
void LBU(uint32_t w);
void LH(uint32_t w);
void LHU(uint32_t w);
void LW(uint32_t w);
void LWU(uint32_t w);
void LD(uint32_t w);
void LWL(uint32_t w);
void LWR(uint32_t w);
void LWC1(uint32_t w);
void SB(uint32_t w);
void SH(uint32_t w);
void SW(uint32_t w);
void SD(uint32_t w);
void SWL(uint32_t w);
void SWR(uint32_t w);
void SWC1(uint32_t w);
void CACHE(uint32_t w);

// Arithmetic that traps on overflow, the traps, SYSCALL, BREAK, reserved encodings and COP2.
void ADD(uint32_t w);
void ADDI(uint32_t w);
void SUB(uint32_t w);
void DADD(uint32_t w);
void DADDI(uint32_t w);
void DSUB(uint32_t w);
void TGE(uint32_t w);
void TGEU(uint32_t w);
void TLT(uint32_t w);
void TLTU(uint32_t w);
void TEQ(uint32_t w);
void TNE(uint32_t w);
void TGEI(uint32_t w);
void TGEIU(uint32_t w);
void TLTI(uint32_t w);
void TLTIU(uint32_t w);
void TEQI(uint32_t w);
void TNEI(uint32_t w);
void SYSCALL(uint32_t w);
void BREAK(uint32_t w);
void Reserved(uint32_t w);
void Cop2(uint32_t w);

// The TLB instructions, and Random: counting down from 31 to Wired, one step per cycle.
void TLBR(uint32_t w);
void TLBWI(uint32_t w);
void TLBWR(uint32_t w);
void TLBP(uint32_t w);
uint32_t TlbRandom();
// Random reads 31 from now on (at reset and on a write of Wired).
void RestartRandom();

}  // namespace vantor::accurate
