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

}  // namespace vantor::accurate
