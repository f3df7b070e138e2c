// Jumps and branches. None changes PC itself: each posts a delayed transfer (the delay slot runs
// first) or, for a likely branch not taken, an immediate one past the delay slot.
#include <cstdint>

#include "core/AccurateClock.h"
#include "core/AccurateOps.h"
#include "core/CpuState.h"
#include "core/InstrFields.h"
#include "core/Instructions.h"
#include "core/RegisterAccess.h"
#include "core/Semantics.h"
#include "core/Transfer.h"

namespace vantor::ops {

namespace {

uint64_t LinkValue() {
  return Sext32(PC.Lo + 8);
}
using Condition = bool (*)(uint64_t, uint64_t);
template <Condition F>
bool Taken(uint32_t w) {
  return F(Gpr[Rs(w)], Gpr[Rt(w)]);
}

void Branch(uint32_t w, bool taken) {
  ConditionalBranch(w, taken, false);
}
void BranchLikely(uint32_t w, bool taken) {
  ConditionalBranch(w, taken, true);
}

// The link register is written only when the branch is taken.
void BranchLink(uint32_t w, bool taken) {
  if (taken) Gpr[31] = LinkValue();
  Branch(w, taken);
}

void BranchLinkLikely(uint32_t w, bool taken) {
  if (taken) Gpr[31] = LinkValue();
  BranchLikely(w, taken);
}

uint32_t JumpDest(uint32_t w) {
  return ((PC.Lo + 4) & 0xF0000000) | Target(w) << 2;
}

}  // namespace

// A jump to itself is an idle loop: the rest of the frame's steps are counted at once and the
// countdown expires in the delay slot, so the next interrupt comes without spinning.
void J(uint32_t w) {
  const uint32_t target = JumpDest(w);
  PostDelayedTransfer(target);
  if (target != PC.Lo) return;
  Cop0Regs[COUNT] += static_cast<uint32_t>(ViCounter);
  const auto compare = static_cast<int32_t>(Cop0Regs[COMPARE]);
  if (compare > 0 && compare < static_cast<int32_t>(Cop0Regs[COUNT])) Cop0Regs[CAUSE] |= kCauseIP7;
  ViCounter = 0;
}

void JAL(uint32_t w) {
  Gpr[31] = LinkValue();
  PostDelayedTransfer(JumpDest(w));
}

void JR(uint32_t w) {
  PostDelayedTransfer(LowWord(Gpr[Rs(w)]));
}

// The target is read after the link is written, so rd = rs continues at the link address.
void JALR(uint32_t w) {
  if (Rd(w) != 0) Gpr[Rd(w)] = LinkValue();
  PostDelayedTransfer(LowWord(Gpr[Rs(w)]));
}

void BEQ(uint32_t w) {
  Branch(w, Taken<sem::Equal>(w));
}
void BNE(uint32_t w) {
  Branch(w, Taken<sem::NotEqual>(w));
}
void BLEZ(uint32_t w) {
  Branch(w, Taken<sem::AtMostZero>(w));
}
void BGTZ(uint32_t w) {
  Branch(w, Taken<sem::AboveZero>(w));
}
void BEQL(uint32_t w) {
  BranchLikely(w, Taken<sem::Equal>(w));
}
void BNEL(uint32_t w) {
  BranchLikely(w, Taken<sem::NotEqual>(w));
}
void BLEZL(uint32_t w) {
  BranchLikely(w, Taken<sem::AtMostZero>(w));
}
void BGTZL(uint32_t w) {
  BranchLikely(w, Taken<sem::AboveZero>(w));
}

void BLTZ(uint32_t w) {
  Branch(w, Taken<sem::BelowZero>(w));
}
void BGEZ(uint32_t w) {
  Branch(w, Taken<sem::AtLeastZero>(w));
}
void BLTZL(uint32_t w) {
  BranchLikely(w, Taken<sem::BelowZero>(w));
}
void BGEZL(uint32_t w) {
  BranchLikely(w, Taken<sem::AtLeastZero>(w));
}
void BLTZAL(uint32_t w) {
  BranchLink(w, Taken<sem::BelowZero>(w));
}
void BGEZAL(uint32_t w) {
  BranchLink(w, Taken<sem::AtLeastZero>(w));
}
void BLTZALL(uint32_t w) {
  BranchLinkLikely(w, Taken<sem::BelowZero>(w));
}
void BGEZALL(uint32_t w) {
  BranchLinkLikely(w, Taken<sem::AtLeastZero>(w));
}

}  // namespace vantor::ops

namespace vantor::accurate {

// The accurate mode's idle loop waits on the machine clock instead: it moves on to just before
// the next event, whatever that is, and that event falls due in the delay slot.
void J(uint32_t w) {
  const uint32_t target = ops::JumpDest(w);
  PostDelayedTransfer(target);
  if (target == PC.Lo) SkipToNextEvent();
}

}  // namespace vantor::accurate
