// The engine under the debugger: breakpoints and step mode stop the run before an instruction,
// resuming runs on, and the machine is read between two steps through Inspect.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/QueuedHost.h"
#include "core/CpuState.h"
#include "core/Engine.h"
#include "memory/AddressMap.h"
#include "memory/RomImage.h"
#include "rsp/Rsp.h"
#include "tests/support/Deadline.h"
#include "tests/support/InstrEncoder.h"
#include "tests/support/RecordingRenderer.h"
#include "tests/support/RomBytes.h"
#include "tests/support/TempDir.h"
#include "video/RendererHost.h"

namespace vantor {
namespace {

using test::CopMove;
using test::EncodeI;
using test::EncodeJ;

class QuietHost : public TQueuedHost {
 public:
  QuietHost() : TQueuedHost(64) { InstallHost(this); }
  ~QuietHost() override { InstallHost(nullptr); }
  void ShowMessage(std::string_view) override {}
  // The console's lines, as the main thread drains them.
  std::vector<std::string> lines;
  // Runs once at the next drain, as a window's event may while the main thread waits.
  std::function<void()> atNextDrain;
  void DrainPending() override {
    TQueuedHost::DrainPending();
    if (auto work = std::exchange(atNextDrain, nullptr)) work();
  }

 protected:
  void DeliverLine(std::string_view line) override { lines.emplace_back(line); }
  void DeliverStatus(std::string_view) override {}
};

constexpr uint32_t kT1 = 9, kT2 = 10, kT3 = 11;
constexpr uint32_t kBase = 0xA4000040;
uint32_t AddT1(int32_t value) {
  return EncodeI(9, kT1, kT1, value);
}
// addiu t1, t1, 1 in an endless loop: A4000040 add, A4000044 j A4000040, A4000048 nop.
const std::vector<uint32_t> kCountingLoop = {AddT1(1), EncodeJ(2, kBase >> 2), 0};

struct TSeen {
  uint32_t pc = 0;
  uint64_t t1 = 0;
  uint32_t epc = 0;
};

class EngineDebugTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateMemoryBlocks());
    test::BindRecordingRenderer();
  }
  void TearDown() override {
    engine.Stop();
    ReleaseRenderer();
    UnloadRomImage();
  }
  void Load(const std::vector<uint32_t>& code) {
    ASSERT_TRUE(LoadRomImage(dir.WriteFile("debug.z64", test::CodeRom(code))));
  }
  TSeen Look() {
    TSeen seen;
    // Generous: a loaded machine may not schedule the emulation thread for a while.
    EXPECT_TRUE(engine.Inspect([&] { seen = {PC.Lo, Gpr[kT1], Cop0Regs[EPC]}; }, 30000));
    return seen;
  }
  // Waits for the next stop; false when the run ended instead.
  bool NextStop() { return engine.WaitForStop(stops++); }
  // The Step button: step mode on, then on from the stop.
  void Step() {
    engine.SetDebugControl(true, {});
    engine.Resume();
    ASSERT_TRUE(NextStop());
  }

  test::Watchdog watchdog{std::string("EngineDebugTest.") +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                          ", waiting for the emulation thread,"};
  test::TempDir dir;
  QuietHost host;
  TEngine engine;
  uint64_t stops = 0;
};

TEST_F(EngineDebugTest, ABreakpointInALoopStopsBeforeItEveryTimeTheRunGoesOn) {
  Load(kCountingLoop);
  int handled = 0;
  engine.SetStopHandler([&] { ++handled; });  // on the emulation thread, while it is paused
  engine.SetDebugControl(false, {kBase + 4});
  engine.Start();
  for (uint64_t round = 1; round <= 3; ++round) {
    ASSERT_TRUE(NextStop());
    EXPECT_TRUE(engine.Paused());
    const TSeen seen = Look();
    EXPECT_EQ(seen.pc, kBase + 4);
    EXPECT_EQ(seen.t1, round);  // the add before it ran, the jump has not
    engine.Resume();
  }
  ASSERT_TRUE(NextStop());
  EXPECT_EQ(handled, 4);
}

TEST_F(EngineDebugTest, ABreakpointInImemStopsTheRunBeforeTheSignalProcessorRunsIt) {
  // The processor puts a counting loop into IMEM (addiu $1, $1, 1; b 0; nop), starts the
  // signal processor on it and idles.
  const uint32_t add = EncodeI(9, 1, 1, 1), branch = EncodeI(4, 0, 0, -2);
  Load({EncodeI(0x0F, 0, kT2, 0xA400), EncodeI(0x0F, 0, kT3, static_cast<int32_t>(add >> 16)),
        EncodeI(0x0D, kT3, kT3, static_cast<int32_t>(add & 0xFFFF)),
        EncodeI(0x2B, kT2, kT3, 0x1000), EncodeI(0x0F, 0, kT3, static_cast<int32_t>(branch >> 16)),
        EncodeI(0x0D, kT3, kT3, static_cast<int32_t>(branch & 0xFFFF)),
        EncodeI(0x2B, kT2, kT3, 0x1004), EncodeI(0x2B, kT2, 0, 0x1008),
        EncodeI(0x0F, 0, kT3, 0xA404), EncodeI(0x0D, 0, kT1, 1), EncodeI(0x2B, kT3, kT1, 0x10),
        EncodeJ(2, (kBase + 44) >> 2), 0});
  engine.SetAccurateHardware(true);
  engine.SetDebugControl(false, {0xA4001004});
  engine.Start();
  for (uint32_t round = 1; round <= 3; ++round) {
    ASSERT_TRUE(NextStop());
    uint32_t pc = 0, count = 0;
    ASSERT_TRUE(engine.Inspect([&] { pc = RspCore.pc, count = RspCore.gpr[1]; }, 30000));
    EXPECT_EQ(pc, 4u);
    EXPECT_EQ(count, round);  // the add before it ran, the branch has not
    engine.Resume();
  }
  ASSERT_TRUE(NextStop());
}

// In the accurate mode a SYSCALL stops the run before the handler's first instruction, with the
// cause in the console; unchecked, the run goes on.
TEST_F(EngineDebugTest, StopOnExceptionStopsBeforeTheHandlerWithTheCauseInTheConsole) {
  Load({AddT1(1), 0x0000000C, AddT1(1)});  // 40 addiu, 44 syscall, 48 addiu
  engine.SetAccurateHardware(true);
  engine.SetStopOnException(true);
  engine.Start();
  ASSERT_TRUE(NextStop());
  const TSeen seen = Look();
  EXPECT_EQ(seen.pc, 0x80000180u);
  EXPECT_EQ(seen.epc, kBase + 4);
  EXPECT_EQ(seen.t1, 1u);
  host.DrainPending();
  EXPECT_NE(std::find(host.lines.begin(), host.lines.end(),
                      "Exception 8 (syscall) EPC A4000044 BadVAddr 00000000"),
            host.lines.end());
  engine.SetStopOnException(false);
  engine.SetDebugControl(false, {});
  engine.Resume();
  EXPECT_TRUE(engine.Inspect([] {}, 30000));
  EXPECT_FALSE(engine.Paused());
}

TEST_F(EngineDebugTest, StepModeRunsOneInstructionPerStepThroughBranchesAndAnInterrupt) {
  Load({
      EncodeI(4, 0, 0, 3),          // 40 beq zero, zero, 50
      AddT1(1),                     // 44 delay slot
      AddT1(0x100),                 // 48 jumped over
      0,                            // 4C
      EncodeI(20, 0, 0, 3),         // 50 beql zero, zero, 60: taken, its delay slot runs
      AddT1(2),                     // 54
      0, 0,                         // 58, 5C
      EncodeI(21, 0, 0, 3),         // 60 bnel zero, zero: not taken, its delay slot is skipped
      AddT1(0x1000),                // 64
      EncodeI(13, 0, kT2, 0x8001),  // 68 ori t2, zero, IM7 | IE
      EncodeI(9, 0, kT3, 16),       // 6C addiu t3, zero, 16
      CopMove(16, 4, kT3, 11),      // 70 mtc0 t3, COMPARE
      CopMove(16, 4, kT2, 12),      // 74 mtc0 t2, STATUS
  });
  engine.SetDebugControl(true, {});
  engine.Start();
  ASSERT_TRUE(NextStop());  // before the first instruction
  EXPECT_EQ(Look().pc, kBase);

  const std::vector<uint32_t> expected = {0x44, 0x50, 0x54, 0x60, 0x68, 0x6C, 0x70, 0x74, 0x78};
  for (uint32_t offset : expected) {
    Step();
    EXPECT_EQ(Look().pc, 0xA4000000 + offset);
  }
  EXPECT_EQ(Look().t1, 3u);
  // COUNT reaches COMPARE in the instruction at 90: the interrupt is taken at its end.
  for (int i = 0; i < 6; ++i)
    Step();
  EXPECT_EQ(Look().pc, 0xA4000090u);
  Step();
  const TSeen entered = Look();
  EXPECT_EQ(entered.pc, kExceptionVector);
  EXPECT_EQ(entered.epc, 0xA4000094u);
}

TEST_F(EngineDebugTest, JumpHereRunsTheCurrentInstructionThenTheTarget) {
  std::vector<uint32_t> code = kCountingLoop;
  code.resize(16, 0);
  code[12] = AddT1(0x10);  // A4000070
  Load(code);
  engine.SetDebugControl(true, {});
  engine.Start();
  ASSERT_TRUE(NextStop());
  ASSERT_EQ(Look().pc, kBase);
  engine.JumpHere(0xA4000070);
  Step();  // the add at A4000040 runs, then execution goes on at the typed address
  const TSeen jumped = Look();
  EXPECT_EQ(jumped.pc, 0xA4000070u);
  EXPECT_EQ(jumped.t1, 1u);
  Step();
  EXPECT_EQ(Look().t1, 0x11u);
}

// In the accurate mode "Jump to CEV" enters the exception as the processor's own do, before the
// instruction at PC: from a delay slot EPC names the branch with BD set; under EXL EPC and BD stay;
// with BEV the vector is the boot one. The vector's instruction is the next to run.
TEST_F(EngineDebugTest, JumpToCevInAccurateModeEntersBeforeTheNextInstruction) {
  Load(kCountingLoop);
  engine.SetAccurateHardware(true);
  engine.SetDebugControl(true, {});
  engine.Start();
  ASSERT_TRUE(NextStop());
  Step();
  Step();
  ASSERT_EQ(Look().pc, kBase + 8);  // the jump's delay slot is next
  struct {
    uint32_t pc, epc, cause, status;
  } seen{};
  const auto look = [&] {
    EXPECT_TRUE(engine.Inspect(
        [&] {
          seen = {PC.Lo, Cop0Regs[EPC], Cop0Regs[CAUSE], Cop0Regs[STATUS]};
        },
        30000));
  };
  engine.JumpToCev();
  look();
  EXPECT_EQ(seen.pc, 0x80000180u);
  EXPECT_EQ(seen.epc, kBase + 4);
  EXPECT_EQ(seen.cause & 0x8000007C, 0x80000000u);  // BD, interrupt code
  EXPECT_NE(seen.status & kStatusEXL, 0u);
  Step();  // the vector's first word (0: a nop), not the delay slot
  EXPECT_EQ(Look().pc, 0x80000184u);

  engine.JumpToCev();  // EXL set: EPC and BD stay
  look();
  EXPECT_EQ(seen.pc, 0x80000180u);
  EXPECT_EQ(seen.epc, kBase + 4);
  EXPECT_NE(seen.cause & kCauseBD, 0u);

  EXPECT_TRUE(engine.Inspect(
      [] { Cop0Regs[STATUS] = (Cop0Regs[STATUS] & ~kStatusEXL) | 0x00400000; }, 30000));
  engine.JumpToCev();  // BEV: the boot vector; EPC names the vector's instruction
  look();
  EXPECT_EQ(seen.pc, 0xBFC00380u);
  EXPECT_EQ(seen.epc, 0x80000180u);
  EXPECT_EQ(seen.cause & kCauseBD, 0u);
  EXPECT_EQ(Look().t1, 1u);  // the loop's add ran once, before all this
}

TEST_F(EngineDebugTest, BreakpointsSetWhileRunningTakeEffectAndClearingThemRunsOn) {
  Load(kCountingLoop);
  engine.Start();
  ASSERT_TRUE(test::WaitUntil([&] { return Look().t1 > 1000; }));
  engine.SetDebugControl(false, {kBase});
  ASSERT_TRUE(NextStop());
  const TSeen stopped = Look();
  EXPECT_EQ(stopped.pc, kBase);

  engine.SetDebugControl(false, {});
  engine.Resume();
  ASSERT_TRUE(test::WaitUntil([&] { return Look().t1 > stopped.t1 + 1000; }));
  EXPECT_EQ(engine.Stops(), 1u);
}

TEST_F(EngineDebugTest, StopAndANewRunWorkFromAStop) {
  Load(kCountingLoop);
  engine.SetDebugControl(false, {kBase + 4});
  engine.Start();
  ASSERT_TRUE(NextStop());
  engine.Stop();
  EXPECT_FALSE(engine.Exists());
  EXPECT_EQ(Look().pc, kBase + 4);  // read here: no run exists

  engine.Start();  // the breakpoints stay; a new run counts its stops afresh
  stops = 0;
  ASSERT_TRUE(NextStop());
  EXPECT_EQ(Look().t1, 1u);
}

// The debugger window repaints from an event served while another inspection waits: each gets
// its own work done (the outer one used to come back "served" with nothing read).
TEST_F(EngineDebugTest, AnInspectionMadeWhileAnotherWaitsServesBoth) {
  Load(kCountingLoop);
  // The thread is held at the stop until both inspections wait for it, as a busy machine may.
  std::atomic<bool> stopped = false;
  std::atomic<bool> release = false;
  engine.SetStopHandler([&] {
    stopped = true;
    while (!release)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  engine.SetDebugControl(false, {kBase + 4});
  engine.Start();
  while (!stopped)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  uint32_t innerPc = 0;
  host.atNextDrain = [&] {
    // The nested call's own wait drains too; by then both wait.
    host.atNextDrain = [&] { release = true; };
    EXPECT_TRUE(engine.Inspect([&] { innerPc = PC.Lo; }, 30000));
  };
  const TSeen outer = Look();
  EXPECT_TRUE(release);
  EXPECT_EQ(innerPc, kBase + 4);
  EXPECT_EQ(outer.pc, kBase + 4);
  EXPECT_EQ(outer.t1, 1u);
}

TEST_F(EngineDebugTest, InspectServesARunningThreadAndAStepLimitEndsADebugRun) {
  Load(kCountingLoop);
  engine.SetDebugControl(false, {0x80000000});  // never reached: the debug loop, no stop
  engine.Start({.steps = 3000000});
  uint64_t last = 0;
  for (int i = 0; i < 50; ++i) {
    const uint64_t now = Look().t1;
    EXPECT_GE(now, last);
    last = now;
  }
  engine.WaitForEnd();
  EXPECT_EQ(engine.StepsExecuted(), 3000000u);
  EXPECT_FALSE(engine.WaitForStop(0));
}

}  // namespace
}  // namespace vantor
