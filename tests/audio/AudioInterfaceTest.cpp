// The accurate mode's audio interface with the machine clock driven by hand: the queue of two
// buffers and its status bits, the interrupt as each buffer starts, the DAC's timing over many
// buffers against an exact model, the frames the sink receives, and save states.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "audio/AudioInterface.h"
#include "common/MachineState.h"
#include "core/Accurate.h"
#include "core/MachineImage.h"
#include "core/Scheduler.h"
#include "memory/AddressMap.h"
#include "tests/support/CaptureAudio.h"
#include "tests/support/Machine.h"
#include "tests/support/RomBytes.h"

namespace vantor {
namespace {

constexpr uint32_t kAiPage = 0xA4500;
enum : uint32_t {
  kDramAddr = 0x00,
  kLen = 0x04,
  kControl = 0x08,
  kStatus = 0x0C,
  kDacRate = 0x10,
  kBitRate = 0x14,
};
constexpr uint32_t kFull = 0x80000001;
constexpr uint32_t kBusy = 0x40000000;
constexpr uint32_t kEnabled = 0x02000000;

// The left sample of frame i of a test buffer; the right one is its negation.
int16_t LeftOf(uint32_t address, uint32_t i) {
  return static_cast<int16_t>(address / 8 * 31 + i * 7 - 1000);
}

class AudioInterfaceTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    StartAccurateRun();
  }

  // A new accurate run of the loaded cartridge: the clock first, then the blocks.
  static void StartAccurateRun() {
    MachineClock.Reset();
    UseAccurateHardware();
  }

  static void Write(uint32_t offset, uint32_t value) {
    WriteTable[kAiPage](kAiPage, offset, value);
  }
  static uint32_t Read(uint32_t offset) { return ReadTable[kAiPage](kAiPage, offset); }
  static bool Interrupt() { return (*MI_INTR & kMiIntrAI) != 0; }

  // Runs the clock to `cycle`, each event at its time.
  static void RunTo(uint64_t cycle) {
    while (MachineClock.NextEvent() <= cycle) {
      MachineClock.Advance(MachineClock.NextEvent() - MachineClock.Now());
      MachineClock.RunDue();
    }
    MachineClock.Advance(cycle - MachineClock.Now());
  }

  // Test frames at an RDRAM address, and the samples they should play as.
  static void Fill(uint32_t address, uint32_t frames, std::vector<int16_t>* expected) {
    for (uint32_t i = 0; i < frames; ++i) {
      const int16_t left = LeftOf(address, i);
      const auto right = static_cast<int16_t>(-left);
      Poke(0x80000000 + address + 4 * i,
           uint32_t{static_cast<uint16_t>(left)} << 16 | static_cast<uint16_t>(right));
      if (expected != nullptr) expected->insert(expected->end(), {left, right});
    }
  }

  // Queues a filled buffer of `frames` frames at `address`.
  static void Queue(uint32_t address, uint32_t frames, std::vector<int16_t>* expected) {
    Fill(address, frames, expected);
    Write(kDramAddr, address);
    Write(kLen, frames * 4);
  }

  // The first cycle by which `frames` frames at this DAC rate have played, counted from cycle 0
  // as one exact fraction (not buffer by buffer).
  static uint64_t EndCycle(uint64_t frames, uint32_t dacRate, uint32_t clock) {
    const unsigned __int128 scaled =
        static_cast<unsigned __int128>(frames) * (dacRate + 1) * kCpuClockHz;
    return static_cast<uint64_t>((scaled + clock - 1) / clock);
  }

  test::CaptureAudio audio;
};

TEST_F(AudioInterfaceTest, OneBufferPlaysAtTheDacRateAndInterruptsAsItStarts) {
  constexpr uint32_t kRate = 1103;  // 44095.8 frames a second on NTSC
  constexpr uint32_t kFrames = 1000;
  Write(kDacRate, 0xFFFFC000 | kRate);  // 14 bits
  Write(kBitRate, 15);
  Write(kControl, 0xFFFFFFFF);  // only the enable bit
  EXPECT_EQ(Read(kStatus), kEnabled);
  EXPECT_EQ(Read(kLen), 0u);
  std::vector<int16_t> expected;
  Fill(0x2000, kFrames, &expected);
  Write(kDramAddr, 0xFF002007);  // 24 bits, 8-byte aligned
  Write(kLen, 0xFFFC0000 | kFrames * 4 | 7);
  EXPECT_TRUE(Interrupt());
  EXPECT_EQ(Read(kStatus), kEnabled | kBusy);
  EXPECT_EQ(Read(kLen), kFrames * 4);
  for (uint32_t mirror : {kDramAddr, kControl, kDacRate, kBitRate})
    EXPECT_EQ(Read(mirror), kFrames * 4) << mirror;
  EXPECT_EQ(Read(0x18), 0u);
  Write(kStatus, 0);
  EXPECT_FALSE(Interrupt());

  const uint64_t end = EndCycle(kFrames, kRate, kNtscVideoClockHz);
  RunTo(end / 2);
  const uint32_t playedHalf = static_cast<uint32_t>(uint64_t{end / 2} * kFrames / end);
  EXPECT_NEAR(Read(kLen), (kFrames - playedHalf) * 4, 8);
  EXPECT_EQ(Read(kLen) % 8, 0u);
  RunTo(end - 1);
  EXPECT_EQ(Read(kStatus), kEnabled | kBusy);
  EXPECT_EQ(Read(kLen), 8u);                         // the last frame is still playing
  EXPECT_EQ(audio.Frames(), 3 * kAudioChunkFrames);  // handed over as they played
  RunTo(end);
  EXPECT_EQ(Read(kStatus), kEnabled);
  EXPECT_EQ(Read(kLen), 0u);
  EXPECT_FALSE(Interrupt());
  EXPECT_FALSE(MachineClock.Pending(TEventKind::AiBuffer));
  EXPECT_EQ(audio.Samples(), expected);
  ASSERT_EQ(audio.Rates().size(), 1u);
  EXPECT_DOUBLE_EQ(audio.Rates()[0], 48'681'812.0 / 1104);
  EXPECT_DOUBLE_EQ(AudioFrameRate(), 48'681'812.0 / 1104);
}

// A program that feeds the AI from its interrupt: each buffer starts exactly where the one
// before ended, so after many buffers of odd lengths the time is still the exact fraction, on
// both video standards' clocks.
TEST_F(AudioInterfaceTest, InterruptDrivenDoubleBufferingKeepsTheExactRate) {
  struct TCase {
    char country;
    uint32_t clock;
    uint32_t dacRate;
  };
  for (const TCase& standard :
       {TCase{'E', kNtscVideoClockHz, 1103}, TCase{'P', kPalVideoClockHz, 2216}}) {
    SCOPED_TRACE(standard.country);
    test::TestCartridge cartridge;
    cartridge.country = static_cast<uint8_t>(standard.country);
    LoadRom(test::BigEndianRom(cartridge));
    StartAccurateRun();
    test::CaptureAudio sink;
    std::vector<int16_t> expected;
    constexpr uint32_t kBuffers = 24;
    auto framesOf = [](uint32_t k) { return 202 + 34 * (k % 5) + (k % 3) * 2; };
    auto addressOf = [](uint32_t k) { return 0x10000 + (k % 2) * 0x8000; };

    Write(kDacRate, standard.dacRate);
    Write(kControl, 1);
    Queue(addressOf(0), framesOf(0), &expected);
    EXPECT_EQ(Read(kStatus), kEnabled | kBusy);
    Queue(addressOf(1), framesOf(1), &expected);
    EXPECT_EQ(Read(kStatus), kEnabled | kBusy | kFull);
    Write(kLen, 64);  // lost: both places are taken
    EXPECT_EQ(Read(kStatus), kEnabled | kBusy | kFull);
    int interrupts = Interrupt() ? 1 : 0;
    Write(kStatus, 0);

    uint64_t framesSoFar = 0;
    for (uint32_t k = 0; k < kBuffers; ++k) {
      framesSoFar += framesOf(k);
      const uint64_t end = EndCycle(framesSoFar, standard.dacRate, standard.clock);
      RunTo(end - 1);
      ASSERT_FALSE(Interrupt()) << "buffer " << k << " ended early";
      ASSERT_EQ(Read(kStatus) & kBusy, kBusy);
      RunTo(end);
      const bool next = k + 1 < kBuffers;
      ASSERT_EQ(Interrupt(), next) << "buffer " << k + 1 << " start";
      ASSERT_EQ(Read(kStatus), kEnabled | (next ? kBusy : 0u));
      if (!next) break;
      ++interrupts;
      Write(kStatus, 0);
      if (k + 2 < kBuffers) {
        Queue(addressOf(k + 2), framesOf(k + 2), &expected);
        ASSERT_EQ(Read(kStatus), kEnabled | kBusy | kFull);
      }
      ASSERT_EQ(sink.Frames() * 2,
                expected.size() - 2 * (framesOf(k + 1) + (k + 2 < kBuffers ? framesOf(k + 2) : 0)));
    }
    EXPECT_EQ(interrupts, static_cast<int>(kBuffers));
    EXPECT_EQ(sink.Samples(), expected);
    ASSERT_EQ(sink.Rates().size(), 1u);
    EXPECT_DOUBLE_EQ(sink.Rates()[0], static_cast<double>(standard.clock) / (standard.dacRate + 1));
  }
}

// With the DMA off, buffers wait in the queue; a buffer plays at the DAC rate set when it starts.
TEST_F(AudioInterfaceTest, TheEnableBitHoldsTheQueueAndEachBufferKeepsItsRate) {
  std::vector<int16_t> expected;
  Write(kDacRate, 999);
  Queue(0x4000, 100, &expected);
  EXPECT_FALSE(Interrupt());
  EXPECT_EQ(Read(kStatus), 0u);
  EXPECT_EQ(Read(kLen), 0u);
  Queue(0x6000, 50, &expected);
  EXPECT_EQ(Read(kStatus), kFull);
  RunTo(1'000'000);
  EXPECT_EQ(audio.Frames(), 0u);

  Write(kControl, 1);  // the first starts now
  EXPECT_TRUE(Interrupt());
  EXPECT_EQ(Read(kStatus), kEnabled | kBusy | kFull);
  Write(kStatus, 0);
  Write(kDacRate, 499);  // for the second buffer
  Write(kControl, 0);    // the playing buffer finishes; the second waits
  const uint64_t firstEnd = 1'000'000 + EndCycle(100, 999, kNtscVideoClockHz);
  RunTo(firstEnd);
  EXPECT_EQ(audio.Frames(), 100u);
  EXPECT_FALSE(Interrupt());
  EXPECT_EQ(Read(kStatus), 0u);

  RunTo(firstEnd + 5000);
  Write(kControl, 1);
  EXPECT_TRUE(Interrupt());
  RunTo(firstEnd + 5000 + EndCycle(50, 499, kNtscVideoClockHz) - 1);
  EXPECT_EQ(Read(kStatus), kEnabled | kBusy);
  RunTo(MachineClock.Now() + 1);
  EXPECT_EQ(Read(kStatus), kEnabled);
  EXPECT_EQ(audio.Samples(), expected);
  const std::vector<double> rates = {48'681'812.0 / 1000, 48'681'812.0 / 500};
  EXPECT_EQ(audio.Rates(), rates);

  // A length without frames queues nothing; a buffer reaching past the end of RDRAM plays its
  // frames there as silence.
  Write(kLen, 7);
  EXPECT_EQ(Read(kStatus), kEnabled);
  Write(kDramAddr, 0x3FFFF8);
  Write(kLen, 0x3FFF8);
  RunTo(MachineClock.Now() + EndCycle(0xFFFE, 499, kNtscVideoClockHz));
  EXPECT_EQ(audio.Frames(), 150u + 0xFFFE);
  const std::vector<int16_t> samples = audio.Samples();
  EXPECT_TRUE(
      std::all_of(samples.begin() + 2 * 152, samples.end(), [](int16_t s) { return s == 0; }));
}

TEST_F(AudioInterfaceTest, SaveStatesCarryTheQueueAndItsTiming) {
  LoadRom(test::BigEndianRom({}));
  StartAccurateRun();
  Write(kDacRate, 1103);
  Write(kControl, 1);
  Queue(0x10000, 700, nullptr);
  Queue(0x18000, 300, nullptr);
  RunTo(EndCycle(333, 1103, kNtscVideoClockHz));
  Write(kStatus, 0);
  const TStateImage image = CaptureMachine();
  const TScheduler::TSaved clock = MachineClock.Save();
  ASSERT_NE(image.Find("ai"), nullptr);
  EXPECT_EQ(CheckMachineImage(image), "");

  const size_t before = audio.Frames();
  const uint64_t secondStart = EndCycle(700, 1103, kNtscVideoClockHz);
  RunTo(secondStart);
  EXPECT_TRUE(Interrupt());
  RunTo(EndCycle(1000, 1103, kNtscVideoClockHz));
  const std::vector<int16_t> all = audio.Samples();
  const std::vector<int16_t> tail(all.begin() + 2 * before, all.end());

  // Another run in between, then back to the saved moment.
  StartAccurateRun();
  Write(kControl, 1);
  Queue(0x20000, 64, nullptr);
  RestoreMachine(image);
  MachineClock.Restore(clock);
  EXPECT_EQ(Read(kStatus), kEnabled | kBusy | kFull);
  EXPECT_FALSE(Interrupt());
  test::CaptureAudio replay;
  RunTo(secondStart - 1);
  EXPECT_FALSE(Interrupt());
  RunTo(secondStart);
  EXPECT_TRUE(Interrupt());
  RunTo(EndCycle(1000, 1103, kNtscVideoClockHz));
  EXPECT_EQ(replay.Samples(), tail);
  EXPECT_EQ(Read(kStatus), kEnabled);

  // The section belongs to accurate states only, and a damaged one is refused.
  TStateImage without = image;
  std::erase_if(without.Sections, [](const TStateSection& s) { return s.Name == "ai"; });
  EXPECT_EQ(CheckMachineImage(without), "its section ai is missing");
  TStateImage damaged = image;
  for (TStateSection& section : damaged.Sections)
    if (section.Name == "ai") section.Data[16] = 3;  // three buffers queued
  EXPECT_EQ(CheckMachineImage(damaged), "its audio interface state is impossible");
  // A default run's machine: its own map, with 4 MB of main memory.
  AccurateHardware = false;
  InitMemoryMap();
  const TStateImage plain = CaptureMachine();
  EXPECT_EQ(plain.Find("ai"), nullptr);
  EXPECT_EQ(CheckMachineImage(plain), "");
  TStateImage plainWithAi = plain;
  plainWithAi.Sections.push_back(*image.Find("ai"));
  EXPECT_EQ(CheckMachineImage(plainWithAi), "it holds a section this program does not know (ai)");
}

}  // namespace
}  // namespace vantor
