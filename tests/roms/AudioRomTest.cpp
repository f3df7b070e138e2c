// The audio test ROM in the accurate mode, at two DAC rates on the clocks of both video
// standards: what it saw of the interrupt, AI_STATUS and AI_LEN for each buffer, and every frame
// it played, at its rate.
#include <gtest/gtest.h>

#include "audio/AudioInterface.h"
#include "core/Scheduler.h"
#include "tests/support/AudioRom.h"
#include "tests/support/CaptureAudio.h"
#include "tests/support/Machine.h"

namespace vantor {
namespace {

constexpr uint32_t kBusyEnabled = 0x42000000;
constexpr uint32_t kFullBusyEnabled = 0xC2000001;
constexpr uint32_t kEnabled = 0x02000000;

class AudioRomTest : public test::MachineTest {
 protected:
  // Runs the ROM until it reports the end of its last part; the clock moves one cycle per
  // instruction and its events run as they fall due.
  void Run(const std::string& name) {
    MachineClock.Reset();
    UseAccurateHardware();
    LoadRomFile(std::string(VANTOR_ROM_DIR) + "/" + name + ".z64");
    for (int chunk = 0; chunk < 400 && Result(26) != 0x600D; ++chunk) {
      for (int i = 0; i < 100'000; ++i) {
        const uint64_t before = MachineClock.Now();
        Step();
        if (MachineClock.Now() == before) {
          MachineClock.Advance(1);
          MachineClock.RunDue();
        }
      }
    }
    ASSERT_EQ(Result(26), 0x600Du) << "the ROM did not finish";
  }
};

TEST_F(AudioRomTest, OneBufferInterruptDrivenAndPolledAtTwoRates) {
  for (const test::TAudioRomBuild& build : test::kAudioRomBuilds) {
    SCOPED_TRACE(build.name);
    test::CaptureAudio audio;
    Run(build.name);
    // One buffer: the interrupt and busy as it starts, AI_LEN counting down, idle at its end.
    EXPECT_EQ(Result(0), 4u);
    EXPECT_EQ(Result(1), kBusyEnabled);
    EXPECT_EQ(Result(2), 1024u);
    EXPECT_EQ(Result(3), 0u);  // acknowledged
    EXPECT_GT(Result(4), 0u);
    EXPECT_LT(Result(4), 1024u);
    EXPECT_EQ(Result(4) % 8, 0u);
    EXPECT_EQ(Result(5), kEnabled);
    EXPECT_EQ(Result(6), 0u);
    EXPECT_EQ(Result(7), 0u);  // no buffer started after it
    // From the interrupt: six starts, each seen busy and not full, full once the next is queued.
    EXPECT_EQ(Result(8), 6u);
    EXPECT_EQ(Result(9), kBusyEnabled);
    for (int k = 0; k < 6; ++k)
      EXPECT_EQ(Result(10 + k), kBusyEnabled) << "start " << k;
    for (int k = 0; k < 5; ++k)
      EXPECT_EQ(Result(16 + k), kFullBusyEnabled) << "queued after start " << k;
    EXPECT_EQ(Result(22), kEnabled);
    // By polling: six starts counted from MI_INTR, the queue found full on the way.
    EXPECT_EQ(Result(23), 6u);
    EXPECT_GT(Result(24), 0u);
    EXPECT_EQ(Result(25), kEnabled);

    EXPECT_EQ(audio.Samples(), test::AudioRomSamples());
    EXPECT_EQ(audio.Rates(), std::vector<double>{build.rate});
    EXPECT_TRUE(host.Lines().empty());
  }
}

}  // namespace
}  // namespace vantor
