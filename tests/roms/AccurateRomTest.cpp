// Programs that the accurate-hardware mode exists for, run in both modes: the default machine
// keeps its own results, the accurate one gives the console's.
#include <gtest/gtest.h>

#include "core/Accurate.h"
#include "core/Cpu.h"
#include "tests/support/Machine.h"

namespace vantor {
namespace {

class AccurateRomTest : public test::MachineTest {
 protected:
  void Run(const std::string& name, int steps, bool accurate) {
    if (accurate) UseAccurateHardware();
    RunRomFile(std::string(VANTOR_ROM_DIR) + "/" + name + ".z64", steps);
  }
};

constexpr int kSystemSteps = 3 * FramePeriod;

TEST_F(AccurateRomTest, SystemRegistersAndVideoLineOnTheConsole) {
  Run("accurate_system", kSystemSteps, true);
  EXPECT_EQ(Result(0), 0x241000E0u);  // STATUS as the boot code leaves it
  EXPECT_EQ(Result(1), 0xFFFFFFFFu);  // EPC
  EXPECT_EQ(Result(2), 0xFFFFFFFFu);  // ErrorEPC
  EXPECT_EQ(Result(3), 0x00000B22u);  // PRevID
  EXPECT_EQ(Result(4), 0x7006E463u);  // Config
  EXPECT_EQ(Result(5), 0x00000300u);  // only IP0 and IP1 took the write
  EXPECT_EQ(Result(6), 0u);           // the video interrupt masked in MI: no IP2
  EXPECT_EQ(Result(7), 0x00000400u);  // unmasked: IP2
  EXPECT_EQ(Result(8), 1u);           // the software interrupt was taken once
  EXPECT_EQ(Result(9) & 0x0000FF7Cu, 0x00000100u);
  EXPECT_GE(Result(10), 0x200u);
  EXPECT_LT(Result(10), 525u);
  EXPECT_EQ(Result(11), 1u);  // the vertical-blank wait ended
  EXPECT_TRUE(host.Lines().empty());
}

TEST_F(AccurateRomTest, SystemRegistersAndVideoLineOfTheDefaultMachine) {
  Run("accurate_system", kSystemSteps, false);
  EXPECT_EQ(Result(0), 0x34000000u);
  EXPECT_EQ(Result(1), 0u);
  EXPECT_EQ(Result(2), 0u);
  EXPECT_EQ(Result(3), 0x00000B00u);
  EXPECT_EQ(Result(4), 0x0006E463u);
  EXPECT_EQ(Result(5), 0xFFFFFBFFu);  // every bit written; the step then cleared IP2
  EXPECT_EQ(Result(6), 0x00000400u);  // IP2 for any bit of MI_INTR
  EXPECT_EQ(Result(7), 0x00000400u);
  EXPECT_EQ(Result(8), 1u);
  EXPECT_EQ(Result(11), 0u);  // VI_V_CURRENT keeps what was written: the wait never ends
}

}  // namespace
}  // namespace vantor
