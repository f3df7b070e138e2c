// Whole programs assembled from roms/tests, run from reset.
#include <gtest/gtest.h>

#include "core/Cpu.h"
#include "tests/support/Machine.h"

namespace vantor {
namespace {

using Lines = std::vector<std::string>;

class CpuRomTest : public test::MachineTest {
 protected:
  void Run(const std::string& name, int steps) {
    RunRomFile(std::string(VANTOR_ROM_DIR) + "/" + name + ".z64", steps);
  }
};

TEST_F(CpuRomTest, IntegerArithmetic) {
  Run("cpu_integer", 3000);
  EXPECT_EQ(Result(0), 5050u);
  EXPECT_EQ(Result(1), 3628800u);
  EXPECT_EQ(Result(2), static_cast<uint32_t>(-142));
  EXPECT_EQ(Result(3), static_cast<uint32_t>(-6));
  EXPECT_EQ(Result(4), 1u);
  EXPECT_EQ(Result(5), 0x80000000u);
  EXPECT_EQ(Result(6), 0xFFFFFFFFu);
  EXPECT_EQ(Result(7), 0x10u);
  EXPECT_TRUE(host.Lines().empty());
}

TEST_F(CpuRomTest, CallsBranchesAndDelaySlots) {
  Run("cpu_control", 1000);
  EXPECT_EQ(Result(0), 2u);
  EXPECT_EQ(Result(1), 40u);
  EXPECT_EQ(Result(2), 33u);
  EXPECT_EQ(Result(3), 0x601u);
}

TEST_F(CpuRomTest, LoadsAndStoresOfEveryWidth) {
  Run("cpu_memory", 1000);
  const uint32_t expected[] = {0xFFFFFF88, 0x99,       0xFFFFAABB, 0x8899,     0x22003344,
                               0x00CAFEF0, 0x0D000000, 0x01234567, 0x89ABCDEF, 0x5A};
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(Result(i), expected[i]) << i;
  ASSERT_EQ(host.Lines().size(), 2u);
  EXPECT_TRUE(host.Lines()[0].starts_with("ILLEGAL READ from 00001234 PC: A40000"));
  EXPECT_EQ(host.Lines()[1], "ROM WRITE 00000000 to B0000040");
}

TEST_F(CpuRomTest, FloatingPointResultsInMemory) {
  Run("cop1_float", 2000);
  const uint32_t expected[] = {
      0x40A00000,              // sqrt(3 * 3 + 4 * 4) = 5.0f
      5,                       // truncated to a word
      0x4073A28C, 0x59D5433B,  // pi * 10 * 10 as a double, high word first
      314,                     // converted to a word
      3,                       // Newton iterations for sqrt(2)
      0x3FB50505,              // 1.4142157f, rounded from the double
      1,                       // C.UN saw the NaN of 0 / 0 and BC1TL ran its delay slot
      0xC0A00000,              // -5.0f
  };
  for (int i = 0; i < 9; ++i)
    EXPECT_EQ(Result(i), expected[i]) << i;
  EXPECT_TRUE(host.Lines().empty());
}

}  // namespace
}  // namespace vantor
