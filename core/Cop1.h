// The floating-point coprocessor: its control registers, its decode tables and the host set-up its
// arithmetic relies on. The floating-point registers themselves are Cop1Regs (CpuState.h).
#pragma once

#include <cstdint>

#include "core/Interpreter.h"

namespace vantor {

// Implementation/revision and control/status registers. Zero at program start; reset keeps them.
extern uint32_t FCR0;
extern uint32_t FCR31;

// The condition bit of FCR31: set and cleared by the compares, tested by the BC1 branches.
inline constexpr uint32_t kFcr31Condition = 0x00800000;

extern const OpcodeHandler Cop1Table[32];          // by sub-opcode, bits 25-21
extern const OpcodeHandler Bc1Table[4];            // by bits 17-16 (likely, true)
extern const OpcodeHandler Cop1FunctionTable[64];  // by function, bits 5-0; shared by S, D, W, L

// The handler of primary opcode 0x11.
void Cop1Op(uint32_t word);

// Puts the calling thread's floating-point unit in the state COP1 arithmetic assumes: round to
// nearest even, every exception masked, denormals kept. Called when an emulation run starts.
void PrepareHostFloatingPoint();

}  // namespace vantor
