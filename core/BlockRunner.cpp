#include "core/BlockRunner.h"

#include <algorithm>
#include <cstring>

#include "core/BlockCache.h"
#include "core/Cpu.h"

namespace vantor {

namespace {

uint32_t StorageWord(const uint8_t* storage, uint32_t index) {
  uint32_t word;
  std::memcpy(&word, storage + 4 * index, sizeof word);
  return word;
}

// Runs at most maxSteps steps from PC, within PC's page; stops before an instruction that must
// run as a single step, and after a step that leaves the page. PC and the branch state live in
// locals: a block starts with no transfer pending, and a taken transfer runs its delay slot here
// when the slot is on the page and may run in a block, else the block ends between the two
// steps with the transfer pending, as the single step leaves it.
uint32_t RunBlock(uint32_t maxSteps) {
  const uint32_t virtualPage = PC.Lo >> 12;
  const uint32_t base = virtualPage << 12;
  TCodePage& page = BlockCache.Page(virtualPage);
  const uint8_t* const storage = PageTable[virtualPage];
  uint32_t index = (PC.Lo & 0xFFF) >> 2;
  uint32_t steps = 0;
  uint32_t pc;
  uint32_t branchState = kBranchNone;
  for (;;) {
    const TFastOp& op = CachedOp(page, index, StorageWord(storage, index), base + 4 * index);
    const uint32_t next = op.run(op, index);
    if (next < kWordsPerPage) [[likely]] {
      index = next;
      if (++steps == maxSteps) break;
      continue;
    }
    if (next == kStopBefore) break;
    ++steps;
    if (next != kTransferTaken) {  // past the page's last word, or a likely skip past it
      pc = base + 4 * next;
      goto left;
    }
    // The delay slot, when it can run here.
    const uint32_t slot = index + 1;
    if (slot == kWordsPerPage || steps == maxSteps) goto inDelaySlot;
    {
      const TFastOp& slotOp = CachedOp(page, slot, StorageWord(storage, slot), base + 4 * slot);
      if (slotOp.transfer || slotOp.run(slotOp, slot) == kStopBefore) goto inDelaySlot;
    }
    ++steps;
    pc = BranchTarget & ~3u;
    if ((pc >> 12) != virtualPage) goto left;
    index = (pc & 0xFFF) >> 2;
    if (steps == maxSteps) break;
    continue;
  inDelaySlot:
    pc = base + 4 * slot;
    branchState = kBranchImmediate;
    goto left;
  }
  pc = base + 4 * index;
left:
  PC.Lo = pc;
  SetInstrPtr(pc);
  BranchState = branchState;
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
