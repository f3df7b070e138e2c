// The emulation thread paced against clocks the test drives: frames at the ROM's video rate,
// requests served at once during a wait, and states taken and put back between steps.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "common/FramePacer.h"
#include "common/QueuedHost.h"
#include "core/CpuState.h"
#include "core/Engine.h"
#include "core/MachineImage.h"
#include "memory/AddressMap.h"
#include "memory/RomImage.h"
#include "tests/support/Deadline.h"
#include "tests/support/InstrEncoder.h"
#include "tests/support/RecordingRenderer.h"
#include "tests/support/RomBytes.h"
#include "tests/support/TempDir.h"
#include "video/RendererHost.h"

namespace vantor {
namespace {

using std::chrono::milliseconds;
using test::EncodeI;
using test::EncodeJ;

class QuietHost : public TQueuedHost {
 public:
  QuietHost() : TQueuedHost(256) { InstallHost(this); }
  ~QuietHost() override { InstallHost(nullptr); }
  void ShowMessage(std::string_view) override {}

 protected:
  void DeliverLine(std::string_view) override {}
  void DeliverStatus(std::string_view) override {}
};

// Time passes only by waiting: each wait that is not woken jumps to its deadline.
class SkippingClock : public TPaceClock {
 public:
  TNanos Now() override { return now_; }
  void WaitUntil(std::unique_lock<std::mutex>&, std::condition_variable&, TNanos deadline,
                 const std::function<bool()>& woken) override {
    if (woken() || deadline <= now_) return;
    now_ = deadline;
    ++waits;
  }
  int waits = 0;

 private:
  TNanos now_{0};
};

// Time stands still: a wait ends only when a request wakes it.
class FrozenClock : public TPaceClock {
 public:
  TNanos Now() override { return TNanos(0); }
  void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, TNanos deadline,
                 const std::function<bool()>& woken) override {
    if (deadline <= TNanos(0)) return;
    waiting = true;
    wake.wait(lock, woken);
    waiting = false;
  }
  std::atomic<bool> waiting{false};
};

// The first wait lasts until a request wakes it; every later one jumps to its deadline.
class FirstWaitHeldClock : public TPaceClock {
 public:
  TNanos Now() override { return now_; }
  void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, TNanos deadline,
                 const std::function<bool()>& woken) override {
    if (woken() || deadline <= now_) return;
    if (held_) {
      now_ = deadline;
      return;
    }
    waiting = true;
    wake.wait(lock, woken);
    waiting = false;
    held_ = true;
  }
  std::atomic<bool> waiting{false};

 private:
  TNanos now_{0};
  bool held_ = false;
};

// Time moves only when the test moves it.
class SteppedClock : public TPaceClock {
 public:
  TNanos Now() override { return now_.load(); }
  void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, TNanos,
                 const std::function<bool()>& woken) override {
    wake.wait(lock, woken);
  }
  void Advance(milliseconds by) { now_ = now_.load() + by; }

 private:
  std::atomic<TNanos> now_{TNanos(0)};
};

constexpr uint32_t kT0 = 8, kT1 = 9, kT2 = 10;

class EnginePacingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateMemoryBlocks());
    test::BindRecordingRenderer();
  }
  void TearDown() override {
    ReleaseRenderer();
    UnloadRomImage();
  }
  // Sets a 320-pixel frame width, then counts in t2 for ever.
  void LoadCounter(uint8_t country) {
    auto rom = test::CodeRom({EncodeI(15, 0, kT0, 0xA440), EncodeI(13, 0, kT1, 320),
                              EncodeI(43, kT0, kT1, 8), EncodeI(9, kT2, kT2, 1),
                              EncodeJ(2, 0xA400004C >> 2), 0});
    rom[62] = country;
    ASSERT_TRUE(LoadRomImage(dir.WriteFile("pacing.z64", rom)));
  }

  test::Watchdog watchdog{std::string("EnginePacingTest.") +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                          ", waiting for the emulation thread,"};
  test::TempDir dir;
  QuietHost host;
};

TEST_F(EnginePacingTest, FramesAreReleasedAtTheRomsVideoRate) {
  for (const auto& [country, rate] : {std::pair{'E', 60}, std::pair{'P', 50}}) {
    SCOPED_TRACE(country);
    LoadCounter(static_cast<uint8_t>(country));
    SkippingClock clock;
    TEngine engine;
    engine.SetPaceClock(clock);
    engine.SetLimitSpeed(true);
    engine.Start({.frames = 13});
    engine.WaitForEnd();
    EXPECT_EQ(engine.FrameRate(), static_cast<uint32_t>(rate));
    EXPECT_EQ(engine.FramesDue(), 13u);
    // The first frame starts the schedule; the 12 after it take exactly 12 periods.
    EXPECT_EQ(clock.waits, 12);
    EXPECT_EQ(clock.Now(), milliseconds(12 * 1000 / rate));
    UnloadRomImage();
  }
}

TEST_F(EnginePacingTest, WithoutTheLimitNoFrameWaits) {
  LoadCounter('E');
  SkippingClock clock;
  TEngine engine;
  engine.SetPaceClock(clock);
  engine.Start({.frames = 5});
  engine.WaitForEnd();
  EXPECT_EQ(clock.waits, 0);
}

// A run paused for 5 s, going for 40 ms, then held 7 s by the debugger ran for 40 ms.
TEST_F(EnginePacingTest, TheRunsTimeLeavesOutPausesAndDebuggerStops) {
  LoadCounter('E');
  SteppedClock clock;
  TEngine engine;
  engine.SetPaceClock(clock);
  engine.Start({}, true);
  ASSERT_TRUE(test::WaitUntil([&] { return engine.Paused(); }));
  clock.Advance(milliseconds(5000));
  engine.Resume();
  ASSERT_TRUE(test::WaitUntil([&] { return !engine.Paused(); }));
  clock.Advance(milliseconds(40));
  engine.SetDebugControl(true, {});
  ASSERT_TRUE(test::WaitUntil([&] { return engine.Stops() > 0 && engine.Paused(); }));
  clock.Advance(milliseconds(7000));
  engine.Stop();
  EXPECT_EQ(engine.ElapsedMs(), 40u);
}

TEST_F(EnginePacingTest, RequestsAreServedAtOnceDuringAWait) {
  LoadCounter('E');
  FrozenClock clock;
  TEngine engine;
  engine.SetPaceClock(clock);
  engine.SetLimitSpeed(true);
  engine.Start();
  ASSERT_TRUE(test::WaitUntil([&] { return clock.waiting.load(); }));

  // A state taken during the wait, and the pause and resume around it, come back without time
  // moving on.
  const TStateImage during = engine.CaptureState();
  engine.Pause();
  ASSERT_TRUE(test::WaitUntil([&] { return engine.Paused(); }));
  engine.Resume();
  ASSERT_TRUE(test::WaitUntil([&] { return clock.waiting.load() && !engine.Paused(); }));

  // Switching the limit off releases the frame; the run then goes as fast as it can.
  engine.SetLimitSpeed(false);
  ASSERT_TRUE(test::WaitUntil([&] { return engine.ThreadId() != 0 && !clock.waiting.load(); }));
  engine.SetLimitSpeed(true);
  ASSERT_TRUE(test::WaitUntil([&] { return clock.waiting.load(); }));
  engine.Stop();
  EXPECT_FALSE(engine.Exists());
  // The state holds the video registers as the ROM set them: width 320 at offset 8.
  const TStateSection* video = during.Find("block-84400");
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->Data[8] | video->Data[9] << 8, 320);
}

// No request follows the breakpoint, so only the control served during the wait can hand the run
// to the loop that checks breakpoints.
TEST_F(EnginePacingTest, ABreakpointSetWhileAFrameWaitsStopsTheRun) {
  LoadCounter('E');
  FirstWaitHeldClock clock;
  TEngine engine;
  engine.SetPaceClock(clock);
  engine.SetLimitSpeed(true);
  engine.Start();
  ASSERT_TRUE(test::WaitUntil([&] { return clock.waiting.load(); }));
  const uint32_t loopJump = 0xA4000050;
  engine.SetDebugControl(false, {loopJump});
  ASSERT_TRUE(test::WaitUntil([&] { return engine.Stops() > 0; }));
  uint32_t pc = 0;
  ASSERT_TRUE(engine.Inspect([&] { pc = PC.Lo; }));
  EXPECT_EQ(pc, loopJump);
  engine.Stop();
}

TEST_F(EnginePacingTest, AStatePutBackWhilePausedIsTheMachineExactly) {
  LoadCounter('E');
  TEngine engine;
  engine.Start();
  engine.Pause();
  ASSERT_TRUE(test::WaitUntil([&] { return engine.Paused(); }));
  const auto saved = std::make_shared<const TStateImage>(engine.CaptureState());
  ASSERT_EQ(CheckMachineImage(*saved), "");

  engine.Resume();
  ASSERT_TRUE(test::WaitUntil([&] { return !engine.Paused(); }));
  engine.Pause();
  ASSERT_TRUE(test::WaitUntil([&] { return engine.Paused(); }));
  EXPECT_NE(EncodeState(engine.CaptureState()), EncodeState(*saved));

  engine.RestoreState(saved);
  EXPECT_TRUE(engine.Paused());
  EXPECT_EQ(EncodeState(engine.CaptureState()), EncodeState(*saved));
  engine.Stop();
  // Stopped, the machine is where the restore put it.
  EXPECT_EQ(EncodeState(engine.CaptureState()), EncodeState(*saved));
}

TEST_F(EnginePacingTest, AStateOfAnotherRomOrWithAChangedSectionDoesNotFit) {
  LoadCounter('E');
  TEngine engine;
  engine.Start({.frames = 2});
  engine.WaitForEnd();
  const TStateImage good = engine.CaptureState();
  EXPECT_EQ(CheckMachineImage(good), "");

  TStateImage shortCpu = good;
  shortCpu.Sections[0].Data.pop_back();
  EXPECT_EQ(CheckMachineImage(shortCpu), "its section cpu has the wrong size");
  TStateImage newer = good;
  newer.Sections[0].Version = 2;
  EXPECT_NE(CheckMachineImage(newer).find("version 2"), std::string::npos);
  TStateImage extra = good;
  extra.Sections.push_back({"future-block", 1, {}});
  EXPECT_NE(CheckMachineImage(extra).find("future-block"), std::string::npos);
  TStateImage badPages = good;
  for (TStateSection& section : badPages.Sections)
    if (section.Name == "tlb-pages") section.Data = {0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(CheckMachineImage(badPages), "its TLB page list names pages outside the map");
  TStateImage other = good;
  other.Identity.RomHash[0] ^= 1;
  EXPECT_NE(CheckMachineImage(other).find("another ROM"), std::string::npos);
}

}  // namespace
}  // namespace vantor
