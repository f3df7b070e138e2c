// The block runner's pre-decoded instructions: each word position of a cached page holds a
// handler that takes operands decoded once (register slots, extended immediates, the branch
// target of that address) and tells the runner where the block goes next.
#pragma once

#include <cstdint>

#include "core/Interpreter.h"

namespace vantor {

struct TFastOp;

// Returns the index of the next word in the page to run (kWordsPerPage or more: the block leaves
// the page there), or one of the codes below.
using TFastHandler = uint32_t (*)(const TFastOp& op, uint32_t index);

inline constexpr uint32_t kWordsPerPage = 1024;

// The instruction must run as a single step; it did nothing.
inline constexpr uint32_t kStopBefore = 0xFFFFFFFF;
// A transfer was taken: BranchTarget holds its target, and the delay slot runs next.
inline constexpr uint32_t kTransferTaken = 0xFFFFFFFE;

// One word position. The word is kept so that a changed word (a store, a DMA, a remapped page)
// is seen on use and decoded again: an entry can never be stale.
struct TFastOp {
  TFastHandler run;
  // Where the result goes: a Gpr slot, or a sink for r0 so no step needs to clear it.
  uint64_t* d;
  const uint64_t* s;
  union {
    const uint64_t* t;
    OpcodeHandler exact;  // the single-step handler, for the instructions run through it
  };
  uint32_t word;
  // The immediate, extended as the instruction extends it; the link address of a linking
  // transfer.
  uint32_t imm;
  // The target of a branch or a direct jump.
  uint32_t target;
  // A transfer may not run in a delay slot inside a block.
  bool transfer;
};

// The entry for a word found at address pc.
TFastOp DecodeFastOp(uint32_t word, uint32_t pc);

}  // namespace vantor
