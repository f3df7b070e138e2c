// Runs the machine on the single-step path and on the block runner, and captures everything the
// processor and its memories hold, so that a test can tell the two paths apart.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/CaptureHost.h"

namespace vantor::test {

struct TMachineImage {
  std::array<uint64_t, 32> gpr;
  uint32_t pc;
  uint32_t branchState;
  uint32_t branchTarget;
  uint64_t mulDiv;
  std::array<uint32_t, 32> cop0;
  std::array<uint32_t, 32> cop1;
  uint32_t fcr31;
  int32_t viCounter;
  uint32_t miIntr;
  // The accurate mode's own state: HI and LO, the link bit, the upper FPU words, the machine
  // clock with every pending event, the fetch and the last exception raised.
  uint64_t accurateHi;
  uint64_t accurateLo;
  bool llBit;
  std::array<uint32_t, 32> cop1Upper;
  uint64_t now;
  std::vector<uint64_t> events;
  bool fetchFaulted;
  uint32_t raisedException;
  std::vector<uint8_t> rdram;
  std::vector<uint8_t> dmem;
  std::vector<uint8_t> imem;
  std::vector<std::string> lines;
  // The steps (counted from the start of the run) after which a frame fell due.
  std::vector<uint64_t> frames;

  bool operator==(const TMachineImage&) const = default;
};

TMachineImage CaptureMachine(const CaptureHost& host, std::vector<uint64_t> frames);

// Names the first part of the machine in which two images differ; empty when they agree.
std::string FirstDifference(const TMachineImage& a, const TMachineImage& b);

// Runs `steps` steps on one path in the machine's mode, adding the step number of each due frame
// to `frames`; `done` counts the steps of the run so far. In the accurate mode the cycles an idle
// loop skipped count as steps, as the engine counts them, so a run may end a little past `steps`.
void RunExactSteps(uint64_t steps, uint64_t& done, std::vector<uint64_t>& frames);
void RunFastSteps(uint64_t steps, uint64_t& done, std::vector<uint64_t>& frames);

// What a run leaves behind that reset does not clear (the TLB, FCR0, FCR31, BranchTarget,
// MulDivTemp and the dummy page behind unmapped addresses), kept so that
// the second of two runs starts as the first did.
class TPersistentState {
 public:
  // Takes the state as it is now; needs the memory blocks.
  void Save();
  void Restore() const;

 private:
  std::vector<uint8_t> tlb_;
  uint32_t fcr0_ = 0;
  uint32_t fcr31_ = 0;
  uint32_t branchTarget_ = 0;
  uint64_t mulDiv_ = 0;
  std::vector<uint8_t> dummyPage_;
};

}  // namespace vantor::test
