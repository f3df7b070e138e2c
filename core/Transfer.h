// Control-transfer requests: instructions and debugger commands never set PC themselves; they
// post a transfer that the step carries out at its end.
#pragma once

#include <cstdint>

#include "core/CpuState.h"
#include "core/InstrFields.h"

namespace vantor {

// The instruction after the current one (the delay slot) runs, then execution goes on at target.
inline void PostDelayedTransfer(uint32_t target) {
  BranchTarget = target;
  BranchState = kBranchDelayed;
}

// The next instruction executed is the one at target.
inline void PostImmediateTransfer(uint32_t target) {
  BranchTarget = target;
  BranchState = kBranchImmediate;
}

// A conditional branch of the instruction at PC: taken, it runs its delay slot and continues at
// PC + 4 + offset * 4; a likely branch not taken skips its delay slot.
inline void ConditionalBranch(uint32_t word, bool taken, bool likely) {
  if (taken)
    PostDelayedTransfer(PC.Lo + 4 + (SImm32(word) << 2));
  else if (likely)
    PostImmediateTransfer(PC.Lo + 8);
}

}  // namespace vantor
