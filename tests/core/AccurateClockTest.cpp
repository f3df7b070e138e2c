// The machine clock in the accurate mode's step: COUNT at half the processor clock, the timer
// match as an event, the frame on the clock, the idle loop waiting for the next event, and the
// clock in save states.
#include <gtest/gtest.h>

#include <random>

#include "common/StateFile.h"
#include "core/Accurate.h"
#include "core/AccurateClock.h"
#include "core/Cpu.h"
#include "core/MachineImage.h"
#include "core/Scheduler.h"
#include "memory/AccuratePeripherals.h"
#include "memory/AddressMap.h"
#include "memory/PeripheralInterface.h"
#include "memory/PlainPages.h"
#include "tests/support/InstrEncoder.h"
#include "tests/support/Machine.h"
#include "tests/support/RomBytes.h"

namespace vantor {
namespace {

using test::CopMove;
using test::EncodeJ;

constexpr uint32_t kCode = 0x80001000;
constexpr uint32_t kNop = 0;
const uint32_t kMtc0Count = CopMove(16, 4, 8, COUNT);      // mtc0 t0, COUNT
const uint32_t kMtc0Compare = CopMove(16, 4, 9, COMPARE);  // mtc0 t1, COMPARE
const uint32_t kMfc0Count = CopMove(16, 0, 10, COUNT);     // mfc0 t2, COUNT
const uint32_t kJumpToItself = EncodeJ(2, kCode >> 2);

// The first cycle of NTSC field n with the VI registers as reset leaves them: 263 lines of 3,094
// video clocks (48,681,812 Hz) each, counted in processor cycles (93.75 MHz) and rounded up.
uint64_t NtscFieldStart(uint64_t n) {
  return (n * 263 * 3094 * 93'750'000 + 48'681'811) / 48'681'812;
}

// The timer as the processor manual describes it, cycle by cycle: COUNT steps on every second
// processor cycle, and the step that makes it equal to COMPARE raises IP7; writing COMPARE
// lowers IP7. A frame comes as each field begins.
struct TTimerModel {
  uint64_t cycle = 0;
  uint32_t count = 0;
  uint32_t compare = 0;
  bool ip7 = false;
  bool frame = false;
  uint64_t nextField = 1;

  void Execute(uint32_t word, uint32_t value) {
    if (word == kMtc0Count) count = value;
    if (word == kMtc0Compare) {
      compare = value;
      ip7 = false;
    }
    ++cycle;
    frame = cycle == NtscFieldStart(nextField);
    if (frame) ++nextField;
    if (cycle % 2 == 0 && ++count == compare) ip7 = true;
  }
};

class AccurateClockTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    UseAccurateHardware();
  }
  // Runs one instruction word at kCode, with t0 and t1 holding value for the COP0 writes.
  static bool RunOne(uint32_t word, uint32_t value) {
    Program(kCode, {word});
    Gpr[8] = value;
    Gpr[9] = value;
    return Step() == 1;
  }
};

// Random writes of COUNT and COMPARE near the running count, wraps of COUNT past zero among
// them, against the model: every step leaves COUNT, IP7, the clock and the frame as it does.
TEST_F(AccurateClockTest, CountAndCompareFollowTheCycleByCycleModel) {
  std::mt19937 random(26);
  TTimerModel model;
  for (uint64_t step = 0; step < NtscFieldStart(2) + 20000; ++step) {
    uint32_t word = kNop;
    uint32_t value = 0;
    const uint32_t pick = random() % 100;
    if (pick < 4) {
      word = kMtc0Count;
      // Now and then just short of the wrap, so that a COMPARE near zero is reached through it.
      value = random() % 4 == 0 ? 0xFFFFFFF0u + random() % 16 : model.count + random() % 64 - 8;
    } else if (pick < 8) {
      word = kMtc0Compare;
      value = model.count + random() % 48 - 4;
    } else if (pick < 12) {
      word = kMfc0Count;
    }
    const uint32_t countBefore = model.count;
    model.Execute(word, value);
    const bool frame = RunOne(word, value);
    ASSERT_EQ(Cop0Regs[COUNT], model.count) << "step " << step;
    ASSERT_EQ((Cop0Regs[CAUSE] & kCauseIP7) != 0, model.ip7) << "step " << step;
    ASSERT_EQ(MachineClock.Now(), model.cycle) << "step " << step;
    ASSERT_EQ(frame, model.frame) << "step " << step;
    if (word == kMfc0Count) {
      ASSERT_EQ(static_cast<uint32_t>(Gpr[10]), countBefore);
    }
    // The model's IP7 stays up until COMPARE is written; so does the machine's.
    if (model.ip7 && random() % 2 == 0) {
      model.Execute(kMtc0Compare, model.compare);
      RunOne(kMtc0Compare, Cop0Regs[COMPARE]);
    }
  }
}

// A COMPARE of zero is a value like any other: reached when COUNT wraps.
TEST_F(AccurateClockTest, CompareZeroIsReachedWhenCountWraps) {
  RunOne(kMtc0Compare, 0);
  RunOne(kMtc0Count, 0xFFFFFFFD);
  int steps = 0;
  while (Cop0Regs[COUNT] != 0 && steps < 10) {
    EXPECT_EQ(Cop0Regs[CAUSE] & kCauseIP7, 0u);
    RunOne(kNop, 0);
    ++steps;
  }
  EXPECT_EQ(steps, 4);  // the write at an odd cycle: its own step counts once, then every second
  EXPECT_NE(Cop0Regs[CAUSE] & kCauseIP7, 0u);
}

// `j .` moves the clock to the next event, which falls due in the jump's delay slot: the timer
// match first, then the next field's first line, with the video interrupt (VI_V_INTR is 0) and
// the frame; COUNT counts the skipped cycles at half rate.
TEST_F(AccurateClockTest, AnIdleLoopWaitsForTheNextEvent) {
  RunOne(kMtc0Count, 1000);     // at cycle 0
  RunOne(kMtc0Compare, 11000);  // at cycle 1; cycle 2 counts 1001, so 11000 comes at 20000
  Program(kCode, {kJumpToItself, kNop});
  EXPECT_EQ(Step(2), 0);
  EXPECT_EQ(MachineClock.Now(), 20000u);
  EXPECT_EQ(Cop0Regs[COUNT], 11000u);
  EXPECT_NE(Cop0Regs[CAUSE] & kCauseIP7, 0u);
  EXPECT_EQ(PC.Lo, kCode);

  // Then the frame, as the next field begins, which the step reports.
  EXPECT_EQ(Step(2), 1);
  EXPECT_EQ(MachineClock.Now(), NtscFieldStart(1));
  EXPECT_EQ(Cop0Regs[COUNT], 11000u + (NtscFieldStart(1) - 20000) / 2);
  EXPECT_NE(*MI_INTR & kMiIntrVI, 0u);
  EXPECT_EQ(CyclesToFrame(), static_cast<int32_t>(NtscFieldStart(2) - NtscFieldStart(1)));
}

// An accurate state carries the clock: restoring it replays the same timer match at the same
// step. States of the default mode keep their sections as they were, and 4 MB of main memory.
TEST_F(AccurateClockTest, StatesOfTheAccurateModeCarryTheClockAndTheMemoryExpansion) {
  LoadRom(test::CodeRom({kNop}));
  UseAccurateHardware();
  RunOne(kMtc0Compare, 300);
  Program(kCode, {kNop});
  const TStateImage saved = CaptureMachine();
  ASSERT_EQ(CheckMachineImage(saved), "");
  ASSERT_NE(saved.Find("clock"), nullptr);

  auto stepsToMatch = [] {
    for (int step = 1; step < 2000; ++step) {
      JumpTo(kCode);
      Step();
      if ((Cop0Regs[CAUSE] & kCauseIP7) != 0) return step;
    }
    return 0;
  };
  const int first = stepsToMatch();
  const uint64_t firstNow = MachineClock.Now();
  ASSERT_GT(first, 0);
  MachineClock.Reset();  // a restore must bring back the time and the pending events
  RestoreMachine(saved);
  EXPECT_EQ(stepsToMatch(), first);
  EXPECT_EQ(MachineClock.Now(), firstNow);

  // A state that says accurate but lacks its clock, and a default one that carries one.
  TStateImage noClock = saved;
  std::erase_if(noClock.Sections, [](const TStateSection& s) { return s.Name == "clock"; });
  EXPECT_EQ(CheckMachineImage(noClock), "its section clock is missing");
  AccurateHardware = false;
  Reset();
  TStateImage defaultState = CaptureMachine();
  EXPECT_EQ(defaultState.Find("clock"), nullptr);
  defaultState.Sections.push_back(*saved.Find("clock"));
  EXPECT_NE(CheckMachineImage(defaultState).find("(clock)"), std::string::npos);

  // Main memory is as large as the state's mode has it, and a restore brings that map back.
  EXPECT_EQ(saved.Find("block-80000")->Data.size(), kRdramExpandedSize);
  EXPECT_EQ(defaultState.Find("block-80000")->Data.size(), kRdramSize);
  EXPECT_EQ(PageTable[0x80400], DummyPage->Data);
  RestoreMachine(saved);
  EXPECT_TRUE(AccurateHardware);
  EXPECT_EQ(PageTable[0xA07FF], RDRAM->Data + kRdramExpandedSize - kPageSize);
  EXPECT_EQ(ReadTable[0xA4600], AccuratePIRead);
  defaultState.Sections.pop_back();
  RestoreMachine(defaultState);
  EXPECT_FALSE(AccurateHardware);
  EXPECT_EQ(PageTable[0x80400], DummyPage->Data);
  EXPECT_EQ(ReadTable[0xA4600], PIRead);
}

}  // namespace
}  // namespace vantor
