// The signal processor's scalar unit: the MIPS instructions it has (no 64-bit operations, no
// multiply or divide, no exceptions), with loads and stores that wrap inside DMEM at any
// alignment, COP0 for the SP and DP registers and COP2 for the vector unit.
#pragma once

#include <cstdint>

namespace vantor::rsp {

// Runs the instruction at RspCore.pc in IMEM.
void StepScalar();

// Runs instructions, counting each in `cycles` once it ran (the SP registers read it for the time
// inside a slice), until `cycles` reaches `limit`, the processor halts or single-step is set.
void RunScalar(uint32_t& cycles, uint32_t limit);

// What the SP registers provide to it: BREAK halts the processor (with the interrupt when asked).
void Break();

}  // namespace vantor::rsp
