// The block runner's pre-decoded instructions: each word position of a cached page holds a
// handler that takes operands decoded once (register slots, extended immediates, the branch
// target of that address) and tells the runner where the block goes next.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/Interpreter.h"

namespace vantor {

struct TFastOp;
struct TBlockRun;

// Runs the instruction at index; returns the index of the next word in the page to run
// (kWordsPerPage or more: the block leaves the page there), or one of the codes below.
using TFastHandler = uint32_t (*)(const TFastOp& op, uint32_t index);
// Runs the instruction, then goes straight on to the next one's threaded handler while the block
// may go on and the next entry is current. left (the steps still allowed, this one included)
// travels in a register rather than in run, so that counting the steps is no chain of stores and
// loads. Returns what the last instruction run returned, with its index in run.index and the
// steps still allowed in run.left.
using TThreadedHandler = uint32_t (*)(const TFastOp& op, uint32_t index, TBlockRun& run,
                                      uint32_t left);

inline constexpr uint32_t kWordsPerPage = 1024;

// The state of a running block that the threaded handlers share.
struct TBlockRun {
  const TFastOp* ops;
  const uint8_t* storage;
  uint32_t virtualPage;
  uint32_t left;
  uint32_t index;
};

// The instruction must run as a single step; it did nothing.
inline constexpr uint32_t kStopBefore = 0xFFFFFFFF;
// A transfer was taken: BranchTarget holds its target, and the delay slot runs next.
inline constexpr uint32_t kTransferTaken = 0xFFFFFFFE;
// A transfer and its delay slot ran: the block goes on at BranchTarget.
inline constexpr uint32_t kTransferDone = 0xFFFFFFFD;
// The instruction raised an exception (the accurate mode): the step is done, and the block ends
// with the exception's transfer posted.
inline constexpr uint32_t kRaised = 0xFFFFFFFC;

inline constexpr uint16_t kNoIndex = 0xFFFF;

// One word position. The word is kept so that a changed word (a store, a DMA, a remapped page)
// is seen on use and decoded again: an entry can never be stale.
struct alignas(64) TFastOp {
  TThreadedHandler threaded;
  TFastHandler run;
  // Where the result goes: a Gpr slot, or a sink for r0 so no step needs to clear it; for COP1
  // instructions, the register words (a double's: the even word of its pair).
  union {
    uint64_t* d;
    uint32_t* fd;
  };
  union {
    const uint64_t* s;
    const uint32_t* fs;
  };
  union {
    const uint64_t* t;
    const uint32_t* ft;
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
  // The page index of a branch's or direct jump's target when it and the delay slot are on the
  // instruction's page, else kNoIndex.
  uint16_t targetIndex;
};

// The host word at a page index of a page's storage.
inline uint32_t StorageWord(const uint8_t* storage, size_t index) {
  uint32_t word;
  std::memcpy(&word, storage + 4 * index, sizeof word);
  return word;
}

// The entry for a word found at address pc, for the default machine and for the accurate mode.
TFastOp DecodeFastOp(uint32_t word, uint32_t pc);
TFastOp DecodeAccurateFastOp(uint32_t word, uint32_t pc);

}  // namespace vantor
