// The video interface's line timing in the accurate mode, as a program on the console measures
// it with COUNT: lines, the interrupt at VI_V_INTR once a field, the field bit of interlaced
// modes, and the NTSC and PAL rates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "core/Accurate.h"
#include "core/Engine.h"
#include "memory/AddressMap.h"
#include "memory/RomImage.h"
#include "tests/support/CaptureHost.h"
#include "tests/support/InstrEncoder.h"
#include "tests/support/Machine.h"
#include "tests/support/RomBytes.h"
#include "tests/support/TempDir.h"

namespace vantor {
namespace {

struct TStandard {
  const char* rom;
  double videoClockHz;
  double lineClocks;  // video clocks per line
  double fieldLines;  // lines per non-interlaced field
};

// COUNT runs at half the 93.75 MHz processor clock.
double Counts(double videoClocks, const TStandard& standard) {
  return videoClocks / standard.videoClockHz * 93'750'000 / 2;
}

class VideoRomTest : public test::MachineTest, public ::testing::WithParamInterface<TStandard> {};

TEST_P(VideoRomTest, LinesInterruptsAndFieldsKeepTheStandardsTiming) {
  const TStandard& standard = GetParam();
  UseAccurateHardware();
  RunRomFile(std::string(VANTOR_ROM_DIR) + "/" + standard.rom + ".z64", 14'000'000);
  ASSERT_EQ(Result(16), 0x600Du);

  // VI_V_CURRENT steps two half-lines a line, a line every line's time.
  const double lineCounts = Counts(standard.lineClocks, standard);
  for (int i = 1; i < 5; ++i) {
    EXPECT_EQ(Result(i), Result(i - 1) + 2) << i;
    EXPECT_NEAR(Result(4 + i), lineCounts, 2.0) << i;  // a 3-instruction poll
  }
  EXPECT_EQ(Result(0) % 2, 0u);

  // The interrupt comes on VI_V_INTR's line, once a field.
  EXPECT_EQ(Result(9), 0x010u);
  EXPECT_EQ(Result(10), 0x100u);
  EXPECT_EQ(Result(11), 0x200u);
  EXPECT_NEAR(Result(12), Counts(standard.lineClocks * standard.fieldLines, standard), 3.0);
  EXPECT_EQ(Result(13), 3u);

  // 525 half-lines a field: the fields alternate, and bit 0 tells which.
  const uint32_t first = std::min(Result(14), Result(15));
  const uint32_t second = std::max(Result(14), Result(15));
  EXPECT_EQ(first, 0x100u);
  EXPECT_EQ(second, 0x101u);
}

INSTANTIATE_TEST_SUITE_P(Standards, VideoRomTest,
                         ::testing::Values(TStandard{"video_lines", 48'681'812, 3094, 263},
                                           TStandard{"video_lines_pal", 49'656'530, 3178, 313}),
                         [](const auto& info) { return std::string(info.param.rom); });

// A program that waits in `j .` for an interrupt it never enabled still sees the fields go by at
// the standard's rate: each skip of the idle loop counts as the cycles it stood for, so a run of
// ten fields takes ten fields' steps and no frame comes of a skip alone.
TEST(VideoEngineTest, AnIdleLoopWithTheInterruptMaskedRunsTheFieldsAtTheirRate) {
  ASSERT_TRUE(CreateMemoryBlocks());
  test::TempDir dir;
  ASSERT_TRUE(LoadRomImage(
      dir.WriteFile("idle.z64", test::CodeRom({test::EncodeJ(2, 0xA4000040 >> 2), 0}))));
  test::CaptureHost host;
  TEngine engine;
  engine.SetAccurateHardware(true);
  engine.Start({.frames = 10});
  engine.WaitForEnd();
  const double fieldCycles = 263 * 3094 * 93'750'000.0 / 48'681'812;
  EXPECT_GT(static_cast<double>(engine.StepsExecuted()), 9.9 * fieldCycles);
  EXPECT_LT(static_cast<double>(engine.StepsExecuted()), 10.1 * fieldCycles);
  UnloadRomImage();
  AccurateHardware = false;
}

}  // namespace
}  // namespace vantor
