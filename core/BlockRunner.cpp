#include "core/BlockRunner.h"

#include <algorithm>
#include <cstring>

#include "core/AccurateClock.h"
#include "core/AccurateMemory.h"
#include "core/BlockCache.h"
#include "core/Cpu.h"
#include "core/FastHandlers.h"
#include "core/RegisterAccess.h"

namespace vantor {

namespace {

// The entry at index, decoded again when the word there changed since it was decoded: the check
// on every use keeps the cache exact through stores, DMA and remapping.
template <bool kAccurate>
[[gnu::always_inline]] inline const TFastOp* Fetch(TFastOp* ops, const uint8_t* storage,
                                                   uint32_t index, uint32_t virtualPage) {
  TFastOp* op = &ops[index];
  const uint32_t word = StorageWord(storage, index);
  if (op->word != word) [[unlikely]] {
    if constexpr (kAccurate)
      RedecodeAccurate(*op, word, virtualPage << 12 | index << 2);
    else
      Redecode(*op, virtualPage << 12 | index << 2);
  }
  return op;
}

// The storage the step fetches PC's page from: the default machine's page table, the accurate
// mode's fetch (through the TLB for a mapped page), which a block starts from.
template <bool kAccurate>
const uint8_t* CodeStorage(uint32_t pc) {
  if constexpr (kAccurate)
    return reinterpret_cast<const uint8_t*>(InstrPtr) - (pc & 0xFFF);
  else
    return PageTable[pc >> 12];
}

// The end of a block at pc, with the transfer state the last step left: the accurate mode
// fetches a target off the page through its translation, which may fault for the next step.
template <bool kAccurate>
void Leave(uint32_t pc, uint32_t branchState, uint32_t steps, const uint8_t* storage,
           uint32_t virtualPage) {
  PC.Lo = pc;
  BranchState = branchState;
  if constexpr (kAccurate) {
    if ((pc >> 12) == virtualPage && (pc & 3) == 0)
      InstrPtr = reinterpret_cast<const uint32_t*>(storage + (pc & 0xFFF));
    else
      SetAccurateFetch(pc);
    AdvanceClock(steps * kCyclesPerStep);
  } else {
    SetInstrPtr(pc);
    Cop0Regs[COUNT] += steps;
    ViCounter -= static_cast<int32_t>(steps);
  }
}

// Runs at most maxSteps steps from PC, within PC's page; stops before an instruction that must
// run as a single step, and after a step that leaves the page. PC and the branch state live in
// locals: a block starts with no transfer pending, and a taken transfer runs its delay slot here
// when the slot is on the page and may run in a block, else the block ends between the two
// steps with the transfer pending, as the single step leaves it. In the accurate mode a step that
// raised an exception ends the block with the exception's transfer carried out.
template <bool kAccurate>
[[gnu::noinline]] uint32_t RunBlock(uint32_t maxSteps) {
  const uint32_t virtualPage = PC.Lo >> 12;
  TFastOp* const ops = (kAccurate ? AccurateBlockCache : BlockCache).Page(virtualPage).ops;
  const uint8_t* const storage = CodeStorage<kAccurate>(PC.Lo);
  TBlockRun run{ops, storage, virtualPage, maxSteps, 0};
  uint32_t index = (PC.Lo & 0xFFF) >> 2;
  uint32_t pc;
  uint32_t branchState = kBranchNone;
  for (;;) {
    const TFastOp* op = Fetch<kAccurate>(ops, storage, index, virtualPage);
    uint32_t next = op->threaded(*op, index, run, run.left);
    if (next < kWordsPerPage) {  // the block's steps are done, or the next entry is outdated
      index = next;
      if (run.left == 0) break;
      continue;
    }
    index = run.index;
    if (next == kStopBefore) break;
    if (next == kTransferTaken) {
      // The delay slot, when it can run here.
      --run.left;
      const uint32_t slot = index + 1;
      if (slot == kWordsPerPage || run.left == 0) {
        pc = (virtualPage << 12) + (slot << 2);
        branchState = kBranchImmediate;
        goto leave;
      }
      op = Fetch<kAccurate>(ops, storage, slot, virtualPage);
      if (op->transfer || (next = fast::RunSlot<kAccurate>(*op, slot)) == kStopBefore) {
        pc = (virtualPage << 12) + (slot << 2);
        branchState = kBranchImmediate;
        goto leave;
      }
      --run.left;
      if (kAccurate && next == kRaised) {
        pc = BranchTarget;
        goto leave;
      }
    } else if (kAccurate && next == kRaised) {
      --run.left;
      pc = BranchTarget;
      goto leave;
    } else if (next != kTransferDone) {  // past the page's last word, or a likely skip past it
      --run.left;
      pc = (virtualPage << 12) + (next << 2);
      goto leave;
    }
    pc = kAccurate ? BranchTarget : BranchTarget & ~3u;
    if ((pc >> 12) != virtualPage || (pc & 3) != 0) goto leave;
    index = (pc & 0xFFF) >> 2;
    if (run.left == 0) break;
  }
  pc = virtualPage << 12 | index << 2;
leave:
  const uint32_t steps = maxSteps - run.left;
  Leave<kAccurate>(pc, branchState, steps, storage, virtualPage);
  return steps;
}

// Whether the accurate mode's fetch takes PC's whole page from one storage at the words' own
// offsets, the storage InstrPtr points into: kseg0 and kseg1 do, a TLB-mapped page does when its
// first and last words translate a page apart (an address past physical memory reads elsewhere).
bool FetchedAsOnePage(uint32_t pc) {
  const uint32_t offset = pc & 0xFFF;
  uint32_t first = pc - offset;
  if (first - 0x80000000u >= 0x40000000u) {
    const TTranslation base = LookUpAddress(Sext32(first), TAccessKind::Fetch);
    const TTranslation last = LookUpAddress(Sext32(first + kPageSize - 4), TAccessKind::Fetch);
    if (base.result != TTranslation::Mapped || last.result != TTranslation::Mapped ||
        last.address != base.address + kPageSize - 4)
      return false;
    first = base.address;
  }
  return InstrPtr == reinterpret_cast<const uint32_t*>(HostAddress(first) + offset);
}

// Whether COUNT, CAUSE and EPC stay as they are at the end of every step of a block: no
// interrupt is due and IP2 already mirrors the interrupt lines. No transfer is pending, and the
// fetch pointer is the one PC's page gives (in the accurate mode: the fetch did not fault and
// takes the page from one storage).
template <bool kAccurate>
bool BlockMayStart() {
  if (InterruptPending()) return false;
  const uint32_t lines = kAccurate ? *MI_INTR & MiInterruptMask() : *MI_INTR;
  if (((Cop0Regs[CAUSE] & kCauseIP2) != 0) != (lines != 0)) return false;
  if (BranchState != kBranchNone) return false;
  if constexpr (kAccurate)
    return !FetchFaulted && FetchedAsOnePage(PC.Lo);
  else
    return InstrPtr == reinterpret_cast<const uint32_t*>(HostAddress(PC.Lo));
}

}  // namespace

template <bool kAccurate>
uint32_t BlockAllowance(uint64_t budget) {
  if (!BlockMayStart<kAccurate>()) return 0;
  uint64_t steps = std::min<uint64_t>(budget, kMaxBlockSteps);
  if constexpr (kAccurate) {
    // The step at which the next event of the machine clock falls due runs singly.
    const uint64_t cycles = MachineClock.CyclesToNextEvent();
    steps = std::min<uint64_t>(steps, cycles > 0 ? (cycles - 1) / kCyclesPerStep : 0);
  } else {
    // The step that ends a frame runs singly.
    steps = std::min<uint64_t>(steps, ViCounter > 1 ? static_cast<uint32_t>(ViCounter - 1) : 0);
    // So does the step after which COUNT equals a non-zero COMPARE.
    if (Cop0Regs[COMPARE] != 0) {
      const uint32_t gap = Cop0Regs[COMPARE] - Cop0Regs[COUNT];
      if (gap != 0) steps = std::min<uint64_t>(steps, gap - 1);
    }
  }
  return static_cast<uint32_t>(steps);
}

template <bool kAccurate>
uint32_t RunFastSteps(uint64_t budget, bool& frameDue) {
  const uint32_t allowance = BlockAllowance<kAccurate>(budget);
  const uint32_t steps = allowance == 0 ? 0 : RunBlock<kAccurate>(allowance);
  frameDue = false;
  if (steps == budget) return steps;
  frameDue = CpuStep<kAccurate>();
  return steps + 1;
}

template uint32_t BlockAllowance<false>(uint64_t budget);
template uint32_t BlockAllowance<true>(uint64_t budget);
template uint32_t RunFastSteps<false>(uint64_t budget, bool& frameDue);
template uint32_t RunFastSteps<true>(uint64_t budget, bool& frameDue);

}  // namespace vantor
