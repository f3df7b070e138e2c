#include "core/BlockRunner.h"

#include <algorithm>
#include <cstring>

#include "core/BlockCache.h"
#include "core/Cpu.h"

namespace vantor {

namespace {

// The entry at index, decoded again when the word there changed since it was decoded: the check
// on every use keeps the cache exact through stores, DMA and remapping.
[[gnu::always_inline]] inline const TFastOp* Fetch(TFastOp* ops, const uint8_t* storage,
                                                   uint32_t index, uint32_t virtualPage) {
  TFastOp* op = &ops[index];
  if (op->word != StorageWord(storage, index)) [[unlikely]]
    Redecode(*op, virtualPage << 12 | index << 2);
  return op;
}

// Runs at most maxSteps steps from PC, within PC's page; stops before an instruction that must
// run as a single step, and after a step that leaves the page. PC and the branch state live in
// locals: a block starts with no transfer pending, and a taken transfer runs its delay slot here
// when the slot is on the page and may run in a block, else the block ends between the two
// steps with the transfer pending, as the single step leaves it.
[[gnu::noinline]] uint32_t RunBlock(uint32_t maxSteps) {
  const uint32_t virtualPage = PC.Lo >> 12;
  TFastOp* const ops = BlockCache.Page(virtualPage).ops;
  const uint8_t* const storage = PageTable[virtualPage];
  TBlockRun run{ops, storage, virtualPage, maxSteps, 0};
  uint32_t index = (PC.Lo & 0xFFF) >> 2;
  uint32_t pc;
  uint32_t branchState = kBranchNone;
  for (;;) {
    const TFastOp* op = Fetch(ops, storage, index, virtualPage);
    const uint32_t next = op->threaded(*op, index, run, run.left);
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
      op = Fetch(ops, storage, slot, virtualPage);
      if (op->transfer || op->run(*op, slot) == kStopBefore) {
        pc = (virtualPage << 12) + (slot << 2);
        branchState = kBranchImmediate;
        goto leave;
      }
      --run.left;
    } else if (next != kTransferDone) {  // past the page's last word, or a likely skip past it
      --run.left;
      pc = (virtualPage << 12) + (next << 2);
      goto leave;
    }
    pc = BranchTarget & ~3u;
    if ((pc >> 12) != virtualPage) goto leave;
    index = (pc & 0xFFF) >> 2;
    if (run.left == 0) break;
  }
  pc = virtualPage << 12 | index << 2;
leave:
  PC.Lo = pc;
  SetInstrPtr(pc);
  BranchState = branchState;
  const uint32_t steps = maxSteps - run.left;
  Cop0Regs[COUNT] += steps;
  ViCounter -= static_cast<int32_t>(steps);
  return steps;
}

}  // namespace

uint32_t BlockAllowance(uint64_t budget) {
  // The end of every step inside a block would leave CAUSE and EPC as they are: no interrupt is
  // due and IP2 already mirrors MI_INTR. No transfer is pending, and the fetch pointer is the
  // one PC's page gives.
  if (InterruptPending()) return 0;
  if (((Cop0Regs[CAUSE] & kCauseIP2) != 0) != (*MI_INTR != 0)) return 0;
  if (BranchState != kBranchNone) return 0;
  if (InstrPtr != reinterpret_cast<const uint32_t*>(HostAddress(PC.Lo))) return 0;

  uint64_t steps = std::min<uint64_t>(budget, kMaxBlockSteps);
  // The step that ends a frame runs singly.
  steps = std::min<uint64_t>(steps, ViCounter > 1 ? static_cast<uint32_t>(ViCounter - 1) : 0);
  // So does the step after which COUNT equals a non-zero COMPARE.
  if (Cop0Regs[COMPARE] != 0) {
    const uint32_t gap = Cop0Regs[COMPARE] - Cop0Regs[COUNT];
    if (gap != 0) steps = std::min<uint64_t>(steps, gap - 1);
  }
  return static_cast<uint32_t>(steps);
}

uint32_t RunFastSteps(uint64_t budget, bool& frameDue) {
  const uint32_t allowance = BlockAllowance(budget);
  const uint32_t steps = allowance == 0 ? 0 : RunBlock(allowance);
  frameDue = false;
  if (steps == budget) return steps;
  frameDue = CpuStep();
  return steps + 1;
}

}  // namespace vantor
