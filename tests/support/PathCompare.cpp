#include "tests/support/PathCompare.h"

#include <algorithm>
#include <cstring>

#include "core/Accurate.h"
#include "core/AccurateClock.h"
#include "core/AccurateExceptions.h"
#include "core/AccurateMemory.h"
#include "core/BlockRunner.h"
#include "core/Cop0.h"
#include "core/Cop1.h"
#include "core/Cpu.h"
#include "memory/PlainPages.h"
#include "memory/SignalProcessor.h"

namespace vantor::test {

namespace {

std::vector<uint8_t> Bytes(const TMemoryHandler* block) {
  return {block->Data, block->Data + block->Size};
}

}  // namespace

TMachineImage CaptureMachine(const CaptureHost& host, std::vector<uint64_t> frames) {
  TMachineImage image;
  std::copy(std::begin(Gpr), std::end(Gpr), image.gpr.begin());
  image.pc = PC.Lo;
  image.branchState = BranchState;
  image.branchTarget = BranchTarget;
  image.mulDiv = MulDivTemp;
  std::copy(std::begin(Cop0Regs), std::end(Cop0Regs), image.cop0.begin());
  std::copy(std::begin(Cop1Regs), std::end(Cop1Regs), image.cop1.begin());
  image.fcr31 = FCR31;
  image.viCounter = ViCounter;
  image.miIntr = *MI_INTR;
  image.accurateHi = AccurateHi;
  image.accurateLo = AccurateLo;
  image.llBit = LLBit;
  std::copy(std::begin(Cop1Upper), std::end(Cop1Upper), image.cop1Upper.begin());
  const TScheduler::TSaved clock = MachineClock.Save();
  image.now = clock.now;
  image.events.assign(clock.when.begin(), clock.when.end());
  image.fetchFaulted = FetchFaulted;
  image.raisedException = RaisedException;
  image.rdram = Bytes(RDRAM);
  image.dmem = Bytes(DMEMPage);
  image.imem = Bytes(IMEMPage);
  image.lines = host.Lines();
  image.frames = std::move(frames);
  return image;
}

std::string FirstDifference(const TMachineImage& a, const TMachineImage& b) {
  if (a.gpr != b.gpr) return "general registers";
  if (a.pc != b.pc) return "PC";
  if (a.branchState != b.branchState || a.branchTarget != b.branchTarget) return "branch state";
  if (a.mulDiv != b.mulDiv) return "MulDivTemp";
  for (size_t i = 0; i < a.cop0.size(); ++i)
    if (a.cop0[i] != b.cop0[i]) return "COP0 register " + std::to_string(i);
  if (a.cop1 != b.cop1 || a.fcr31 != b.fcr31) return "COP1 registers";
  if (a.viCounter != b.viCounter) return "ViCounter";
  if (a.miIntr != b.miIntr) return "MI_INTR";
  if (a.accurateHi != b.accurateHi || a.accurateLo != b.accurateLo) return "HI and LO";
  if (a.llBit != b.llBit) return "LLbit";
  if (a.cop1Upper != b.cop1Upper) return "upper FPU words";
  if (a.now != b.now) return "machine clock";
  if (a.events != b.events) return "pending events";
  if (a.fetchFaulted != b.fetchFaulted) return "fetch fault";
  if (a.raisedException != b.raisedException) return "last exception";
  if (a.rdram != b.rdram) return "RDRAM";
  if (a.dmem != b.dmem || a.imem != b.imem) return "SP memories";
  if (a.lines != b.lines) return "console lines";
  if (a.frames != b.frames) return "due frames";
  return {};
}

namespace {

uint64_t SkippedCycles() {
  return AccurateHardware ? TakeSkippedCycles() : 0;
}

}  // namespace

void RunExactSteps(uint64_t steps, uint64_t& done, std::vector<uint64_t>& frames) {
  const uint64_t end = done + steps;
  while (done < end) {
    ++done;
    const bool frameDue = AccurateHardware ? CpuStep<true>() : CpuStep<false>();
    done += SkippedCycles();
    if (frameDue) frames.push_back(done);
  }
}

void RunFastSteps(uint64_t steps, uint64_t& done, std::vector<uint64_t>& frames) {
  const uint64_t end = done + steps;
  while (done < end) {
    bool frameDue = false;
    done += AccurateHardware ? vantor::RunFastSteps<true>(end - done, frameDue)
                             : vantor::RunFastSteps<false>(end - done, frameDue);
    done += SkippedCycles();
    if (frameDue) frames.push_back(done);
  }
}

void TPersistentState::Save() {
  const auto* tlb = reinterpret_cast<const uint8_t*>(Tlb);
  tlb_.assign(tlb, tlb + sizeof Tlb);
  fcr0_ = FCR0;
  fcr31_ = FCR31;
  branchTarget_ = BranchTarget;
  mulDiv_ = MulDivTemp;
  dummyPage_ = Bytes(DummyPage);
}

void TPersistentState::Restore() const {
  std::memcpy(reinterpret_cast<uint8_t*>(Tlb), tlb_.data(), tlb_.size());
  FCR0 = fcr0_;
  FCR31 = fcr31_;
  BranchTarget = branchTarget_;
  MulDivTemp = mulDiv_;
  std::memcpy(DummyPage->Data, dummyPage_.data(), dummyPage_.size());
  RaisedException = kNoException;
}

}  // namespace vantor::test
