// A program drives the display processor as the console's programs do: a command list from
// RDRAM, the DP interrupt through MI_INTR and its clearing through MI_MODE, and a list fetched
// from DMEM over XBUS.
#include <gtest/gtest.h>

#include "tests/support/Machine.h"

namespace vantor {
namespace {

class RdpRomTest : public test::MachineTest {
 protected:
  void Run(bool accurate) {
    if (accurate) UseAccurateHardware();
    RunRomFile(std::string(VANTOR_ROM_DIR) + "/rdp_lists.z64", 200000);
  }
};

TEST_F(RdpRomTest, AProgramDrawsFromRdramAndFromDmem) {
  Run(true);
  EXPECT_GT(Result(0), 0u);         // the DP interrupt came
  EXPECT_EQ(Result(1), 0x20u);      // in MI_INTR
  EXPECT_EQ(Result(2), 0x210030u);  // DPC_CURRENT at the list's end
  EXPECT_EQ(Result(3), 0u);         // MI_MODE cleared it
  EXPECT_EQ(Result(4), 0xF801u);    // the fill colour's upper half at an even pixel
  EXPECT_EQ(Result(5), 0xF801u);    // ... its lower half at an odd one
  EXPECT_EQ(Result(6), 0u);
  EXPECT_GT(Result(7), 0u);  // the second list's interrupt came too
  EXPECT_EQ(Result(8) & 0xFFF, Result(8));
  EXPECT_EQ(Result(9), 1u);        // XBUS
  EXPECT_EQ(Result(10), 0x07C1u);  // green, full coverage
  EXPECT_EQ(Result(11), 0x07C1u);
  EXPECT_EQ(Result(12), 0u);
  EXPECT_EQ(Result(13), 0u);
}

TEST_F(RdpRomTest, TheDefaultMachineHasNoDisplayProcessor) {
  Run(false);
  EXPECT_EQ(Result(0), 0u);  // the wait never sees the interrupt
  EXPECT_EQ(Result(4), 0u);  // nothing drawn
  EXPECT_EQ(Result(10), 0u);
}

}  // namespace
}  // namespace vantor
