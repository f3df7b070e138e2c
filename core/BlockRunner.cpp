#include "core/BlockRunner.h"

#include <algorithm>
#include <cstring>

#include "core/BlockCache.h"
#include "core/Cpu.h"
#include "core/InstrFields.h"
#include "memory/PlainPages.h"

namespace vantor {

namespace {

uint32_t EffectivePage(uint32_t word) {
  return (static_cast<uint32_t>(Gpr[Rs(word)]) + SImm32(word)) >> 12;
}

// Runs at most maxSteps steps of the page PC is in, with PC, the fetch position and the branch
// state in locals; stops before an instruction that must run as a single step, and after a step
// that leaves the page. Only transfers read PC and the branch state, so only they see the
// globals brought up to date.
uint32_t RunBlock(uint32_t maxSteps) {
  const uint32_t virtualPage = PC.Lo >> 12;
  const uint32_t base = virtualPage << 12;
  TDecodedOp* const ops = BlockCache.Page(virtualPage).ops;
  const uint8_t* const storage = PageTable[virtualPage];
  uint32_t index = (PC.Lo & 0xFFF) >> 2;
  uint32_t branchState = BranchState;
  uint32_t steps = 0;
  uint32_t pc = PC.Lo;
  for (;;) {
    if (steps == maxSteps) break;
    uint32_t word;
    std::memcpy(&word, storage + 4 * index, sizeof word);
    TDecodedOp* op = &ops[index];
    if (op->word != word) [[unlikely]]
      *op = DecodeOp(word, base + 4 * index);
    switch (op->kind) {
      case TOpKind::Nop:
        break;
      case TOpKind::Plain:
        op->handler(word);
        break;
      case TOpKind::Transfer:
        PC.Lo = base + 4 * index;
        BranchState = branchState;
        op->handler(word);
        branchState = BranchState;
        break;
      case TOpKind::Load:
        if (ReadTable[EffectivePage(word)] != RamRead) goto stopBefore;
        op->handler(word);
        break;
      case TOpKind::Store:
        if (WriteTable[EffectivePage(word)] != RamWrite) goto stopBefore;
        op->handler(word);
        break;
      case TOpKind::LoadStore: {
        const uint32_t target = EffectivePage(word);
        if (ReadTable[target] != RamRead || WriteTable[target] != RamWrite) goto stopBefore;
        op->handler(word);
        break;
      }
      case TOpKind::Exact:
        goto stopBefore;
    }
    Gpr[0] = 0;
    ++steps;
    // The end of the step, as AdvancePc carries it out.
    if (branchState == kBranchImmediate) {
      branchState = kBranchNone;
      pc = BranchTarget & ~3u;
      if ((pc >> 12) != virtualPage) goto left;
      index = (pc & 0xFFF) >> 2;
      continue;
    }
    if (branchState == kBranchDelayed) branchState = kBranchImmediate;
    if (++index == kWordsPerPage) {
      pc = base + kPageSize;
      goto left;
    }
  }
stopBefore:
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
  // The end of every step inside a block would leave CAUSE, EPC and the branch state as they are:
  // no interrupt is due, IP2 already mirrors MI_INTR, and no delayed transfer is half-way. The
  // fetch pointer is the one PC's page gives.
  if (InterruptPending()) return 0;
  if (((Cop0Regs[CAUSE] & kCauseIP2) != 0) != (*MI_INTR != 0)) return 0;
  if (BranchState == kBranchDelayed) return 0;
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
