#include "core/Engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <thread>

#include "common/HexText.h"
#include "common/QueuedHost.h"
#include "core/CpuState.h"
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

using test::EncodeI;
using test::EncodeJ;
using Lines = std::vector<std::string>;

// A host like the programs': lines from the emulation thread queue up, the test thread drains.
class QueueHost : public TQueuedHost {
 public:
  explicit QueueHost(size_t capacity) : TQueuedHost(capacity) { InstallHost(this); }
  ~QueueHost() override { InstallHost(nullptr); }
  void ShowMessage(std::string_view) override {}
  Lines lines;
  std::string status;

 protected:
  void DeliverLine(std::string_view line) override { lines.emplace_back(line); }
  void DeliverStatus(std::string_view text) override { status = text; }
};

constexpr uint32_t kT0 = 8, kT1 = 9;
const uint32_t kLuiViBase = EncodeI(15, 0, kT0, 0xA440);
uint32_t SetT1(int32_t value) {
  return EncodeI(13, 0, kT1, value);
}
const uint32_t kStoreWidth = EncodeI(43, kT0, kT1, 8);
// j to its own address as the instruction at index `at` of a program run from 0xA4000040.
uint32_t IdleAt(size_t at) {
  return EncodeJ(2, (0xA4000040 + 4 * static_cast<uint32_t>(at)) >> 2);
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateMemoryBlocks());
    test::BindRecordingRenderer();
    PublishTargetRect({10, 20, 640, 480});
  }
  void TearDown() override {
    ReleaseRenderer();
    UnloadRomImage();
  }
  void Load(const std::vector<uint32_t>& code) {
    ASSERT_TRUE(LoadRomImage(dir.WriteFile("engine.z64", test::CodeRom(code))));
    host.lines.clear();
  }
  static Lines Calls() { return test::RecordedCalls(); }

  // Every call that waits for the emulation thread (WaitForEnd, Stop, SingleStep) waits at most
  // this long; a stuck engine ends the program with the test's name.
  test::Watchdog watchdog{std::string("EngineTest.") +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                          ", waiting for the emulation thread,"};
  test::TempDir dir;
  QueueHost host{64};
};

TEST_F(EngineTest, CallsTheRendererInItsOrder) {
  Load({kLuiViBase, SetT1(320), kStoreWidth, kStoreWidth, SetT1(640), kStoreWidth, IdleAt(6), 0});
  TEngine engine;
  engine.Start({.frames = 2});
  engine.WaitForEnd();
  EXPECT_EQ(Calls(),
            (Lines{"Load 1", "Init 320x240", "DeInit", "Init 640x480", "Target 10,20,640,480",
                   "Flip", "Target 10,20,640,480", "Flip", "DeInit", "Unload"}));
  EXPECT_EQ(FrameCount, 2u);
  host.Drain();
  EXPECT_TRUE(host.status.starts_with("FPS = ")) << host.status;
  EXPECT_EQ(host.lines.front(), "Resolution set to 320x240");
  EXPECT_TRUE(std::regex_match(
      host.lines.back(), std::regex("Emulated 2 frames in [0-9]+ ms, a whopping [0-9]+ fps!")))
      << host.lines.back();
}

TEST_F(EngineTest, ARunWithoutAWidthPresentsNothing) {
  Load({IdleAt(0), 0});
  TEngine engine;
  engine.Start({.frames = 3});
  engine.WaitForEnd();
  EXPECT_EQ(Calls(), (Lines{"Load 1", "Unload"}));
  EXPECT_EQ(engine.FramesDue(), 3u);
  ASSERT_EQ(host.lines.size(), 1u);
  EXPECT_TRUE(host.lines[0].starts_with("Emulated 0 frames in ")) << host.lines[0];
  EXPECT_TRUE(host.lines[0].ends_with(" ms, a whopping 0 fps!"));
}

TEST_F(EngineTest, AFailedInitLeavesTheRendererNotReady) {
  test::SetInitResult(0);
  Load({kLuiViBase, SetT1(320), kStoreWidth, IdleAt(3), 0});
  TEngine engine;
  engine.Start({.frames = 2});
  engine.WaitForEnd();
  EXPECT_EQ(Calls(), (Lines{"Load 1", "Init 320x240", "Unload"}));
  // The status bar says so; the plug-in's own message says why.
  host.Drain();
  EXPECT_EQ(host.status, kNoPictureStatus);
}

TEST_F(EngineTest, AFrameBufferOutsideMemoryIsNotFlipped) {
  // VI_ORIGIN 0x003FF000: a 320x240 frame would run past the end of RDRAM.
  Load({kLuiViBase, EncodeI(15, 0, kT1, 0x003F), EncodeI(13, kT1, kT1, 0xF000),
        EncodeI(43, kT0, kT1, 4), SetT1(320), kStoreWidth, IdleAt(6), 0});
  TEngine engine;
  engine.Start({.frames = 2});
  engine.WaitForEnd();
  EXPECT_EQ(Calls(), (Lines{"Load 1", "Init 320x240", "DeInit", "Unload"}));
  EXPECT_EQ(std::count(host.lines.begin(), host.lines.end(),
                       "Frame buffer at 803FF000 leaves emulated memory, frame not shown"),
            1);
}

TEST_F(EngineTest, StepLimitStopsRightAfterReset) {
  Load({SetT1(5), IdleAt(1), 0});
  TEngine engine;
  engine.Start({.steps = 0});
  engine.WaitForEnd();
  EXPECT_EQ(engine.StepsExecuted(), 0u);
  engine.Start({.steps = 1});
  engine.WaitForEnd();
  EXPECT_EQ(engine.StepsExecuted(), 1u);
}

// A store to a new unmapped address on each pass of a tight loop: a distinct console line each
// time, so the queue fills.
const std::vector<uint32_t> kFlood = {EncodeI(43, 10, 0, 0x10), EncodeI(9, 10, 10, 4),
                                      EncodeJ(2, 0xA4000040 >> 2), 0};

TEST_F(EngineTest, StoppingAFloodingRunNeverDeadlocksAndEachRunClosesOnce) {
  Load(kFlood);
  TEngine engine;
  for (int run = 0; run < 5; ++run) {
    engine.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    engine.Stop();  // the queue is full and the thread is waiting on it
    EXPECT_FALSE(engine.Exists());
  }
  int closing = 0;
  uint32_t expected = 0x10;
  for (const std::string& line : host.lines) {
    if (line.starts_with("Emulated ")) {
      ++closing;
      expected = 0x10;
      continue;
    }
    // Lines of one run follow the stores' addresses, never reordered or lost.
    ASSERT_EQ(line, "ILLEGAL WRITE 00000000 to " + Hex8(expected) + " PC: A4000040");
    expected += 4;
  }
  EXPECT_EQ(Calls(), (Lines{"Load 1", "Unload", "Load 1", "Unload", "Load 1", "Unload", "Load 1",
                            "Unload", "Load 1", "Unload"}));
}

// The same faults over and over: the pair is reported once, then counted; the run never waits
// for the console, whose queue has room for a few lines only.
TEST_F(EngineTest, RepeatedFaultsAreCountedNotQueued) {
  Load({EncodeI(43, 0, 0, 0x10), EncodeI(43, 0, 0, 0x20), EncodeJ(2, 0xA4000040 >> 2), 0});
  TEngine engine;
  engine.Start({.steps = 300000});
  engine.WaitForEnd();
  host.FlushRepeats();
  // A pass the run's end cut in half shows its first line after the count.
  const Lines& lines = host.lines;
  ASSERT_TRUE(lines.size() == 4u || lines.size() == 5u) << lines.size();
  EXPECT_EQ(lines[0], "ILLEGAL WRITE 00000000 to 00000010 PC: A4000040");
  EXPECT_EQ(lines[1], "ILLEGAL WRITE 00000000 to 00000020 PC: A4000044");
  EXPECT_TRUE(lines[2].starts_with("\u2026 the last 2 lines repeated ")) << lines[2];
  if (lines.size() == 5u) {
    EXPECT_EQ(lines[3], lines[0]);
  }
  EXPECT_TRUE(lines.back().starts_with("Emulated ")) << lines.back();
}

TEST_F(EngineTest, PauseHaltsBetweenStepsAndSingleStepRunsExactlyOne) {
  Load({EncodeI(9, kT1, kT1, 1), EncodeJ(2, 0xA4000040 >> 2), 0});  // addiu t1,t1,1 in a loop
  TEngine engine;
  engine.Start({.steps = 100000}, /*paused=*/true);  // halts before its first step
  ASSERT_TRUE(test::WaitUntil([&] { return engine.Paused(); })) << "the run never paused";
  const uint32_t count = Cop0Regs[COUNT];
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(Cop0Regs[COUNT], count);

  engine.SingleStep();
  EXPECT_EQ(Cop0Regs[COUNT], count + 1);
  engine.SingleStep();
  EXPECT_EQ(Cop0Regs[COUNT], count + 2);
  EXPECT_TRUE(engine.Paused());

  engine.Resume();
  engine.WaitForEnd();  // the run goes on to its step limit
  EXPECT_EQ(engine.StepsExecuted(), 100000u);
  EXPECT_EQ(Cop0Regs[COUNT], 100000u);
}

TEST_F(EngineTest, StopWorksFromThePausedState) {
  Load(kFlood);
  TEngine engine;
  engine.Start();
  engine.Pause();
  ASSERT_TRUE(test::WaitUntil([&] {
    host.Drain();  // the flooding thread reaches the pause only once its lines are taken
    return engine.Paused();
  })) << "the flooding run never paused";
  engine.Stop();
  EXPECT_FALSE(engine.Exists());
  EXPECT_TRUE(host.lines.back().starts_with("Emulated "));
}

TEST_F(EngineTest, TheMachineBelongsToTheRunFromStartUntilItsThreadIsJoined) {
  Load({IdleAt(0), 0});
  TEngine engine;
  EXPECT_FALSE(RunExists);
  engine.Start({}, /*paused=*/true);
  EXPECT_TRUE(RunExists);  // from Start on, not only once the thread runs
  engine.Stop();
  EXPECT_FALSE(RunExists);
}

// Flip holds the emulation thread inside its first frame until the test lets it go.
std::atomic<int> flipsEntered{0};
std::atomic<bool> flipReleased{false};

TEST_F(EngineTest, NoFrameRateFromBeforeAPauseFollowsTheWindowsText) {
  TRendererEntries entries;
  entries.InitRenderer = [](int32_t, int32_t, TWindowHandle, TWindowHandle) -> int32_t {
    return 1;
  };
  entries.Flip = [](const void*) -> int32_t {
    ++flipsEntered;
    while (!flipReleased)
      std::this_thread::yield();
    return 0;
  };
  BindBuiltInRenderer(entries);
  Load({kLuiViBase, SetT1(320), kStoreWidth, IdleAt(3), 0});
  TEngine engine;
  engine.Start();
  ASSERT_TRUE(test::WaitUntil([] { return flipsEntered != 0; })) << "no frame was presented";
  // The window pauses while the frame is on its way, then shows its own text.
  engine.Pause();
  host.SetStatusText("Emulation Paused");
  flipReleased = true;
  ASSERT_TRUE(test::WaitUntil([&] {
    host.Drain();
    return engine.Paused();
  })) << "the run never paused";
  host.Drain();
  EXPECT_EQ(host.status, "Emulation Paused");
  engine.Stop();
}

TEST(FpsTextTest, ShowsAtMostFiveCharactersOfTheRate) {
  FpsLastTime = 1e18;  // no new interval: the last rate is shown
  FpsValue = 59.9250936;
  EXPECT_EQ(FpsText(), "59.92");
  FpsValue = 60;
  EXPECT_EQ(FpsText(), "60");
  FpsValue = 0;
  EXPECT_EQ(FpsText(), "0");
}

}  // namespace
}  // namespace vantor
