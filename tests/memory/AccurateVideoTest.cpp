// The accurate video interface's registers as a program and a restored state reach them: each
// keeps only its documented bits, and a page holding any bits at all still gives a bounded
// picture and line timing that moves on.
#include "memory/AccurateVideo.h"

#include <gtest/gtest.h>

#include "common/MachineState.h"
#include "core/Scheduler.h"
#include "memory/AddressMap.h"
#include "memory/VideoInterface.h"
#include "tests/support/Machine.h"

namespace vantor {
namespace {

void Write(uint32_t address, uint32_t value) {
  WriteTable[address >> 12](address >> 12, address & 0xFFF, value);
}
uint32_t Read(uint32_t address) {
  return ReadTable[address >> 12](address >> 12, address & 0xFFF);
}

class AccurateVideoTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    UseAccurateHardware();
  }
};

TEST_F(AccurateVideoTest, RegistersKeepTheirBitsAndTheCurrentLineWriteOnlyAcknowledges) {
  const uint32_t masks[] = {0x0001FBFF, 0x00FFFFFF, 0x00000FFF, 0x000003FF, 0,
                            0x3FFFFFFF, 0x000003FF, 0x001F0FFF, 0x0FFF0FFF, 0x03FF03FF,
                            0x03FF03FF, 0x03FF03FF, 0x0FFF0FFF, 0x0FFF0FFF};
  for (uint32_t i = 0; i < std::size(masks); ++i) {
    if (i == 4) continue;
    Write(0xA4400000 + 4 * i, 0xFFFFFFFF);
    EXPECT_EQ(Read(0xA4400000 + 4 * i), masks[i]) << i;
    EXPECT_EQ(Read(0xA4410000 + 4 * i), masks[i]) << "another page of the range, " << i;
  }
  EXPECT_EQ(Read(0xA4400038), 0u);  // past the registers
  *MI_INTR = 0x0F;
  const uint32_t line = Read(0xA4400010);
  Write(0xA4400010, 0x155);
  EXPECT_EQ(*MI_INTR, 0x07u);
  EXPECT_EQ(Read(0xA4400010), line);
}

TEST_F(AccurateVideoTest, ARestoredPageOfAnyBitsGivesABoundedPictureAndMovingLines) {
  for (uint32_t offset = 0; offset < 0x38; offset += 4)
    SetPageWord(VIRegisterPage, offset, 0xFFFFFFFF);
  AccurateVideoRestored();
  TViPicture picture;
  ASSERT_TRUE(DescribeViPicture(picture));
  EXPECT_LE(picture.width, 0xFFF);
  EXPECT_LE(picture.height, 0x3FF * 4);
  EXPECT_LE(ViHalfLinesPerField(), 1024u);
  // The line events keep moving the clock on and the current half-line stays in its field.
  for (int i = 0; i < 1000; ++i) {
    const uint64_t before = MachineClock.Now();
    MachineClock.Advance(MachineClock.CyclesToNextEvent());
    MachineClock.RunDue();
    ASSERT_GT(MachineClock.When(TEventKind::ViLine), before);
    ASSERT_LT(ViCurrentHalfLine(), ViHalfLinesPerField());
  }
}

}  // namespace
}  // namespace vantor
