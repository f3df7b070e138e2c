// The one emulated r4300i: its register file, program counter, control-transfer state and the
// counters the step advances.
#pragma once

#include <cstdint>

#include "common/MachineState.h"

namespace vantor {

// Steps per video frame.
inline constexpr int32_t FramePeriod = 625000;

// BranchState values: what the end of the current step does.
enum : uint32_t {
  kBranchNone = 0,       // advance by 4
  kBranchDelayed = 1,    // advance by 4 into the delay slot, then transfer
  kBranchImmediate = 2,  // continue at BranchTarget
};

// COP0 register numbers.
// clang-format off
enum TCop0Reg : uint32_t {
  INDEX, RANDOM, ENTRYLO0, ENTRYLO1, CONTEXT, PAGEMASK, WIRED, RESERVED0,
  BADVADDR, COUNT, ENTRYHI, COMPARE, STATUS, CAUSE, EPC, PREVID,
  CONFIG, LLADDR, WATCHLO, WATCHHI, XCONTEXT, RESERVED1, RESERVED2, RESERVED3,
  RESERVED4, RESERVED5, PERR, CACHEERR, TAGLO, TAGHI, ERROREPC, RESERVED6,
};
// clang-format on

// STATUS and CAUSE bits used by the step and the coprocessor.
inline constexpr uint32_t kStatusIE = 0x00000001;
inline constexpr uint32_t kStatusEXL = 0x00000002;
inline constexpr uint32_t kStatusERL = 0x00000004;
inline constexpr uint32_t kInterruptMask = 0x0000FF00;
inline constexpr uint32_t kCauseIP2 = 0x00000400;
inline constexpr uint32_t kCauseIP7 = 0x00008000;
inline constexpr uint32_t kCauseBD = 0x80000000;
inline constexpr uint32_t kExceptionVector = 0x80000180;

// General registers r0 to r31, 64 bits each; r0 reads as zero after every step.
extern uint64_t Gpr[32];
// The host word holding the instruction at PC.
extern const uint32_t* InstrPtr;
extern uint32_t BranchState;
extern uint32_t BranchTarget;
// LO in the low word, HI in the high word.
extern uint64_t MulDivTemp;
extern uint32_t Cop0Regs[32];
extern uint32_t Cop1Regs[32];
// Steps left until the next video frame.
extern int32_t ViCounter;

}  // namespace vantor
