// Whole programs that use the system coprocessor and the peripheral registers, run from reset.
#include <gtest/gtest.h>

#include "core/CpuState.h"
#include "tests/support/Machine.h"

namespace vantor {
namespace {

using Lines = std::vector<std::string>;

class SystemRomTest : public test::MachineTest {
 protected:
  void Run(const std::string& name, int steps) {
    RunRomFile(std::string(VANTOR_ROM_DIR) + "/" + name + ".z64", steps);
  }
};

TEST_F(SystemRomTest, BootCodeDmasAPayloadIntoMainMemoryAndRunsIt) {
  Run("dma_payload", 200);
  EXPECT_EQ(Result(0), 0x600DF00Du);
  EXPECT_EQ(host.Lines(), (Lines{"PI RAM Set to 00000400", "PI ROM Set to 10001000",
                                 "PI Write Length Set to 00000017"}));
  EXPECT_EQ(PC.Lo & 0xFFFFF000, 0x80000000u);  // still in the payload's idle loop
}

TEST_F(SystemRomTest, CompareTimerInterruptEntersTheVectorAndReturnsWithEret) {
  Run("cop0_timer", 1000);
  EXPECT_EQ(Result(1), 1u);  // acknowledged by the COMPARE write: taken once
  EXPECT_GE(Result(2), Result(6));
  EXPECT_LE(Result(2), Result(7));
  EXPECT_EQ(Result(3) & (kCauseIP7 | 0x7C), kCauseIP7);  // timer pending, code 0 (interrupt)
  EXPECT_GT(Result(4), 10u);
  EXPECT_EQ(Result(5), 0x8001u);
  EXPECT_EQ(Cop0Regs[CAUSE] & kCauseIP7, 0u);
  EXPECT_TRUE(host.Lines().empty());
}

}  // namespace
}  // namespace vantor
