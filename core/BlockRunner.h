// The fast path: steps run in blocks from the decoded-instruction cache, with the per-step
// bookkeeping (COUNT, the frame countdown, the interrupt lines; in the accurate mode the machine
// clock) done once per block. A block never reaches an event, so it ends in exactly the state the
// same number of single steps would. Each mode has its own instantiation, chosen once per run.
#pragma once

#include <cstdint>

namespace vantor {

// The most steps one call runs, which bounds how late the engine sees a request.
inline constexpr uint32_t kMaxBlockSteps = 4096;

// Runs between 1 and min(budget, kMaxBlockSteps + 1) steps (budget at least 1): a block, then one
// single step for whatever ended it. Returns the steps run; frameDue tells whether the last one
// made a video frame fall due (no other can).
// In the accurate mode, a single step that idles adds the skipped cycles (TakeSkippedCycles).
template <bool kAccurate = false>
uint32_t RunFastSteps(uint64_t budget, bool& frameDue);

// The steps a block may run from here: none unless the step boundary allows a block, else as
// many as reach neither the frame, nor COUNT matching COMPARE, nor the budget; in the accurate
// mode neither the next event of the machine clock nor the budget.
template <bool kAccurate = false>
uint32_t BlockAllowance(uint64_t budget);

}  // namespace vantor
