// The block runner's handlers, shared by the decoders of both modes (FastOps.cpp for the default
// machine, AccurateFastOps.cpp for the accurate-hardware mode): the steps an entry runs, and the
// threaded handlers that chain them. The threading is built once per mode: the accurate mode's
// delay slots name their branch for an exception and its jumps keep a misaligned target.
#pragma once

#include <cstdint>

#include "core/Accurate.h"
#include "core/AccurateExceptions.h"
#include "core/Cop1.h"
#include "core/Cop1Ops.h"
#include "core/CpuState.h"
#include "core/FastOps.h"
#include "core/FloatSemantics.h"
#include "core/Semantics.h"
#include "memory/AddressMap.h"
#include "memory/PlainPages.h"

namespace vantor::fast {

// Where the writes to r0 of a block's instructions go; never read.
extern uint64_t DiscardedWrite;

using Binary = uint64_t (*)(uint64_t, uint64_t);
using Shift = uint64_t (*)(uint64_t, uint32_t);
using Condition = bool (*)(uint64_t, uint64_t);

// The handlers below are the steps the threaded handlers are made of (always inlined there), and
// are also called on their own for a delay slot.
[[gnu::always_inline]] inline uint32_t Nop(const TFastOp&, uint32_t index) {
  return index + 1;
}
[[gnu::always_inline]] inline uint32_t Stop(const TFastOp&, uint32_t) {
  return kStopBefore;
}

template <Binary F>
[[gnu::always_inline]] inline uint32_t RegReg(const TFastOp& op, uint32_t index) {
  *op.d = F(*op.s, *op.t);
  return index + 1;
}
template <Binary F>
[[gnu::always_inline]] inline uint32_t RegImm(const TFastOp& op, uint32_t index) {
  *op.d = F(*op.s, Sext32(op.imm));
  return index + 1;
}
template <Shift F>
[[gnu::always_inline]] inline uint32_t ShiftSa(const TFastOp& op, uint32_t index) {
  *op.d = F(*op.t, op.imm);
  return index + 1;
}
template <Binary F>
[[gnu::always_inline]] inline uint32_t MulDiv(const TFastOp& op, uint32_t index) {
  MulDivTemp = F(*op.s, *op.t);
  return index + 1;
}
template <uint64_t (*F)(uint64_t)>
[[gnu::always_inline]] inline uint32_t MoveFrom(const TFastOp& op, uint32_t index) {
  *op.d = F(MulDivTemp);
  return index + 1;
}

// COP1: the register words were found once, at decode.
template <fpu::Step F>
[[gnu::always_inline]] inline uint32_t Float(const TFastOp& op, uint32_t index) {
  F(op.fd, op.fs, op.ft);
  return index + 1;
}
[[gnu::always_inline]] inline uint32_t MoveToCop1(const TFastOp& op, uint32_t index) {
  *op.fd = fpu::WordToCop1(*op.t);
  return index + 1;
}
[[gnu::always_inline]] inline uint32_t MoveFromCop1(const TFastOp& op, uint32_t index) {
  *op.d = fpu::WordFromCop1(*op.fs);
  return index + 1;
}
// The BC1 branches as conditions of the branch handlers below, which pass them rs and rt unused.
inline bool Cop1True(uint64_t, uint64_t) {
  return fpu::Condition();
}
inline bool Cop1False(uint64_t, uint64_t) {
  return !fpu::Condition();
}

// Inside a block, loads and stores reach only pages whose handlers are plain memory, whose words
// are the host words of the page's storage; any other page ends the block before the access.
struct TPlainRead {
  const uint8_t* page;
  uint32_t operator()(uint32_t offset) const { return PageWord(page, offset); }
};
struct TPlainWrite {
  uint8_t* page;
  void operator()(uint32_t offset, uint32_t value) const { SetPageWord(page, offset, value); }
};

inline uint32_t Address(const TFastOp& op) {
  return sem::EffectiveAddress(LowWord(*op.s), op.imm);
}

template <uint64_t (*F)(uint32_t, TPlainRead)>
[[gnu::always_inline]] inline uint32_t Load(const TFastOp& op, uint32_t index) {
  const uint32_t address = Address(op);
  const uint32_t page = address >> 12;
  if (ReadTable[page] != RamRead) return kStopBefore;
  *op.d = F(address & 0xFFF, TPlainRead{PageTable[page]});
  return index + 1;
}

using Storer = void (*)(uint8_t* page, uint32_t offset, uint64_t value);
inline void StoreWord(uint8_t* page, uint32_t offset, uint64_t value) {
  sem::StoreWord(offset, value, TPlainWrite{page});
}
inline void StoreDouble(uint8_t* page, uint32_t offset, uint64_t value) {
  sem::StoreDouble(offset, value, TPlainWrite{page});
}

// Byte and halfword stores need a plain page too: one into a register page (MI_INTR) must run
// as a single step, whose end sees the interrupt line change.
template <Storer F>
[[gnu::always_inline]] inline uint32_t Store(const TFastOp& op, uint32_t index) {
  const uint32_t address = Address(op);
  const uint32_t page = address >> 12;
  if (WriteTable[page] != RamWrite) return kStopBefore;
  F(PageTable[page], address & 0xFFF, *op.t);
  return index + 1;
}

// Conditional branches: imm is the address past the delay slot, where a linking branch links
// and a likely branch not taken goes on. The condition is read before the link is written.
template <Condition F>
[[gnu::always_inline]] inline uint32_t Branch(const TFastOp& op, uint32_t index) {
  if (!F(*op.s, *op.t)) return index + 1;
  BranchTarget = op.target;
  return kTransferTaken;
}
template <Condition F>
[[gnu::always_inline]] inline uint32_t BranchLikely(const TFastOp& op, uint32_t index) {
  if (!F(*op.s, *op.t)) {
    BranchTarget = op.imm;
    return index + 2;
  }
  BranchTarget = op.target;
  return kTransferTaken;
}
template <Condition F>
[[gnu::always_inline]] inline uint32_t BranchLink(const TFastOp& op, uint32_t index) {
  if (!F(*op.s, *op.t)) return index + 1;
  *op.d = Sext32(op.imm);
  BranchTarget = op.target;
  return kTransferTaken;
}
template <Condition F>
[[gnu::always_inline]] inline uint32_t BranchLinkLikely(const TFastOp& op, uint32_t index) {
  if (!F(*op.s, *op.t)) {
    BranchTarget = op.imm;
    return index + 2;
  }
  *op.d = Sext32(op.imm);
  BranchTarget = op.target;
  return kTransferTaken;
}
[[gnu::always_inline]] inline uint32_t Jump(const TFastOp& op, uint32_t) {
  BranchTarget = op.target;
  return kTransferTaken;
}
[[gnu::always_inline]] inline uint32_t JumpLink(const TFastOp& op, uint32_t) {
  *op.d = Sext32(op.imm);
  BranchTarget = op.target;
  return kTransferTaken;
}
[[gnu::always_inline]] inline uint32_t JumpRegister(const TFastOp& op, uint32_t) {
  BranchTarget = LowWord(*op.s);
  return kTransferTaken;
}
// The target is read after the link is written, so rd = rs continues at the link address.
[[gnu::always_inline]] inline uint32_t JumpRegisterLink(const TFastOp& op, uint32_t) {
  *op.d = Sext32(op.imm);
  BranchTarget = LowWord(*op.s);
  return kTransferTaken;
}

// The instructions without a handler of their own here run through their single-step handler,
// after the same page checks.
[[gnu::always_inline]] inline uint32_t ThroughPlain(const TFastOp& op, uint32_t index) {
  op.exact(op.word);
  Gpr[0] = 0;
  return index + 1;
}
[[gnu::always_inline]] inline uint32_t ThroughLoad(const TFastOp& op, uint32_t index) {
  if (ReadTable[Address(op) >> 12] != RamRead) return kStopBefore;
  return ThroughPlain(op, index);
}
[[gnu::always_inline]] inline uint32_t ThroughStore(const TFastOp& op, uint32_t index) {
  if (WriteTable[Address(op) >> 12] != RamWrite) return kStopBefore;
  return ThroughPlain(op, index);
}
[[gnu::always_inline]] inline uint32_t ThroughLoadStore(const TFastOp& op, uint32_t index) {
  const uint32_t page = Address(op) >> 12;
  if (ReadTable[page] != RamRead || WriteTable[page] != RamWrite) return kStopBefore;
  return ThroughPlain(op, index);
}
// A transfer reads PC (target holds the instruction's address) and posts its transfer.
[[gnu::always_inline]] inline uint32_t ThroughTransfer(const TFastOp& op, uint32_t index) {
  PC.Lo = op.target;
  op.exact(op.word);
  Gpr[0] = 0;
  const uint32_t posted = BranchState;
  BranchState = kBranchNone;
  if (posted == kBranchDelayed) return kTransferTaken;
  return posted == kBranchImmediate ? index + 2 : index + 1;
}

template <bool kAccurate>
uint32_t TakeTransfer(const TFastOp& op, uint32_t index, TBlockRun& run, uint32_t left);

// The call of the next handler is a tail call: optimised builds jump from handler to handler
// without growing the stack; unoptimised ones nest at most one call per step of the block
// (kMaxBlockSteps). kFollows: H always goes on with the following word, and the entry is not the
// page's last, so the next index needs no test.
template <TFastHandler H, bool kFollows, bool kAccurate>
uint32_t Threaded(const TFastOp& op, uint32_t index, TBlockRun& run, uint32_t left) {
  const uint32_t next = H(op, index);
  if ((!kFollows && next >= kWordsPerPage) || --left == 0) [[unlikely]] {
    if (next == kTransferTaken) {
      // The common case first: a target on the page, with the zero word in the delay slot.
      if (op.targetIndex != kNoIndex && left > 2 && StorageWord(run.storage, index + 1) == 0) {
        const TFastOp& following = run.ops[op.targetIndex];
        if (following.word == StorageWord(run.storage, op.targetIndex)) [[likely]]
          return following.threaded(following, op.targetIndex, run, left - 2);
        run.left = left - 2;
        run.index = index;
        return kTransferDone;
      }
      return TakeTransfer<kAccurate>(op, index, run, left);
    }
    run.left = left;
    run.index = index;
    return next;
  }
  // Entries of one page are consecutive: the next one is found from this one.
  const TFastOp& following = (&op)[next - index];
  if (following.word != StorageWord(run.storage, next)) [[unlikely]] {
    run.left = left;
    run.index = index;
    return next;
  }
  return following.threaded(following, next, run, left);
}

// Runs the delay slot of a taken transfer inside a block: kStopBefore when it must run as a
// single step, kRaised when it raised an exception. The accurate mode's exception in a slot
// names the transfer (CAUSE.BD, EPC), as it does on the single step, where the transfer is
// pending while the slot runs.
template <bool kAccurate>
[[gnu::always_inline]] inline uint32_t RunSlot(const TFastOp& slotOp, uint32_t slot) {
  if constexpr (kAccurate) {
    BranchState = kBranchImmediate;
    const uint32_t next = slotOp.run(slotOp, slot);
    BranchState = kBranchNone;
    return next;
  } else {
    return slotOp.run(slotOp, slot);
  }
}

// The continuation of a jump through a register inside the page, or nothing (kNoIndex): the
// accurate mode fetches a misaligned target, which faults, as the single step does.
template <bool kAccurate>
[[gnu::always_inline]] inline uint32_t RegisterTargetIndex(uint32_t virtualPage) {
  const uint32_t target = kAccurate ? BranchTarget : BranchTarget & ~3u;
  if ((target >> 12) != virtualPage || (target & 3) != 0) return kNoIndex;
  return (target & 0xFFF) >> 2;
}

// A taken transfer at index runs its delay slot and goes on at the target when the slot is on
// the page, current, no transfer itself and allowed in a block, and the target is on the page;
// otherwise the runner finishes the transfer.
template <bool kAccurate>
uint32_t TakeTransfer(const TFastOp& op, uint32_t index, TBlockRun& run, uint32_t left) {
  run.index = index;
  run.left = left;
  const uint32_t slot = index + 1;
  if (slot == kWordsPerPage || left < 2) return kTransferTaken;
  // The zero word, the usual filler of a delay slot, does nothing whatever its entry holds.
  const uint32_t slotWord = StorageWord(run.storage, slot);
  if (slotWord != 0) {
    const TFastOp& slotOp = run.ops[slot];
    if (slotOp.word != slotWord || slotOp.transfer) return kTransferTaken;
    const uint32_t done = RunSlot<kAccurate>(slotOp, slot);
    if (done == kStopBefore) return kTransferTaken;
    if (kAccurate && done == kRaised) {
      // The transfer's step is done; the runner counts the slot's.
      run.left = left - 1;
      run.index = slot;
      return kRaised;
    }
  }
  left -= 2;
  run.left = left;
  if (left == 0) return kTransferDone;
  uint32_t next = op.targetIndex;
  if (next == kNoIndex) {  // a jump through a register
    next = RegisterTargetIndex<kAccurate>(run.virtualPage);
    if (next == kNoIndex) return kTransferDone;
  }
  const TFastOp& following = run.ops[next];
  if (following.word != StorageWord(run.storage, next)) return kTransferDone;
  return following.threaded(following, next, run, left);
}

// The threaded handlers of an entry for each mode, in the page and at its last word.
struct TThreading {
  TThreadedHandler threaded;
  TThreadedHandler threadedAtPageEnd;
};
struct THandlers {
  TFastHandler run;
  TThreading modes[2];  // the default machine's, the accurate mode's
};
template <TFastHandler H>
constexpr THandlers kHandlers{H,
                              {{Threaded<H, false, false>, Threaded<H, false, false>},
                               {Threaded<H, false, true>, Threaded<H, false, true>}}};
// For handlers that always go on with the following word.
template <TFastHandler H>
constexpr THandlers kFollowingHandlers{H,
                                       {{Threaded<H, true, false>, Threaded<H, false, false>},
                                        {Threaded<H, true, true>, Threaded<H, false, true>}}};

// Puts an entry's handlers for the mode and its position in the page in place.
inline void Set(TFastOp& op, const THandlers& handlers, uint32_t pc, bool accurate) {
  const TThreading& threading = handlers.modes[accurate ? 1 : 0];
  op.run = handlers.run;
  op.threaded = (pc & 0xFFF) == kPageSize - 4 ? threading.threadedAtPageEnd : threading.threaded;
}

// Decodes an instruction whose fast entry both machines share (the integer arithmetic that
// cannot trap, logic, shifts, branches and jumps) for the mode; false for any other.
bool DecodeShared(TFastOp& op, uint32_t word, uint32_t pc, bool accurate);

// A fresh entry for a word: the word kept, the operands at harmless places.
TFastOp BlankEntry(uint32_t word);

}  // namespace vantor::fast
