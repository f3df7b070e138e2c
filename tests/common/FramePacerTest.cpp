// The frame pacer against a clock the test sets: deadlines at the video rate without drift, and
// a bounded catch-up after a stall.
#include "common/FramePacer.h"

#include <gtest/gtest.h>

#include "memory/RomImage.h"

namespace vantor {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(FramePacerTest, FramesOnTimeFollowTheRateWithoutDrift) {
  for (const uint32_t rate : {60u, 50u}) {
    SCOPED_TRACE(rate);
    const TNanos start = seconds(5);
    TFramePacer pacer;
    pacer.Start(start, rate);
    EXPECT_EQ(pacer.Deadline(), start);
    TNanos previous = start;
    for (uint32_t frame = 1; frame <= 10 * rate; ++frame) {
      pacer.Released(pacer.Deadline());
      const TNanos gap = pacer.Deadline() - previous;
      EXPECT_GE(gap.count(), 1'000'000'000 / rate);
      EXPECT_LE(gap.count(), 1'000'000'000 / rate + 1);
      previous = pacer.Deadline();
    }
    // Ten seconds of frames end exactly ten seconds later, however the period rounds.
    EXPECT_EQ(pacer.Deadline(), start + seconds(10));
  }
}

TEST(FramePacerTest, ASmallDelayIsMadeUpAndAStallCatchesUpOnlyABoundedBurst) {
  TFramePacer pacer;
  pacer.Start(TNanos(0), 50);
  // Released 5 ms late: the next frame keeps its place on the 20 ms grid.
  pacer.Released(milliseconds(5));
  EXPECT_EQ(pacer.Deadline(), milliseconds(20));

  // A one-second stall: frames released at once while their deadline has passed.
  const TNanos late = seconds(1);
  pacer.Released(late);
  uint32_t burst = 0;
  while (pacer.Deadline() <= late && burst < 100) {
    pacer.Released(late);
    ++burst;
  }
  EXPECT_EQ(burst, kCatchUpFrames);
  // Then the schedule goes on at the rate from there.
  EXPECT_EQ(pacer.Deadline(), late + milliseconds(20));
}

TEST(FramePacerTest, EuropeanAndAustralianRomsRunAtFiftyFramesOthersAtSixty) {
  for (const int code : {'D', 'P', 'U'})
    EXPECT_EQ(VideoRate(static_cast<uint8_t>(code)), 50u) << code;
  for (const int code : {int{'E'}, int{'J'}, int{'X'}, 0, 0xFF})
    EXPECT_EQ(VideoRate(static_cast<uint8_t>(code)), 60u) << code;
}

}  // namespace
}  // namespace vantor
