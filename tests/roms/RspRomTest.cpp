// A program drives the signal processor as the console's programs do: the semaphore, DMA with
// rows and skips in both directions, microcode of ours started with and without the interrupt on
// BREAK, and that microcode's scalar and vector loads and stores at odd and wrapping addresses.
#include <gtest/gtest.h>

#include <array>

#include "tests/support/Machine.h"

namespace vantor {
namespace {

class RspRomTest : public test::MachineTest {
 protected:
  void Run(bool accurate) {
    if (accurate) UseAccurateHardware();
    RunRomFile(std::string(VANTOR_ROM_DIR) + "/rsp_microcode.z64", 300000);
  }
  // What the microcode wrote to RDRAM, word by word from `address`.
  static void ExpectWords(uint32_t address, std::array<uint32_t, 4> words) {
    for (uint32_t i = 0; i < 4; ++i)
      EXPECT_EQ(Peek(0x80000000 + address + 4 * i), words[i]) << std::hex << address + 4 * i;
  }
};

TEST_F(RspRomTest, TheMainProcessorDrivesTheRegistersAndDma) {
  Run(true);
  EXPECT_EQ(Result(0), 1u);  // halted
  EXPECT_EQ(Result(1), 0u);  // the semaphore: free, then taken
  EXPECT_EQ(Result(2), 1u);
  EXPECT_EQ(Result(3), 0u);
  EXPECT_EQ(Result(4), 1u);  // busy right after the length's write
  EXPECT_GT(Result(5), 0u);
  EXPECT_EQ(Result(6), 0x0C0D0E0Fu);
  EXPECT_EQ(Result(7), 0x18191A1Bu);  // the second row, 8 bytes skipped
  EXPECT_EQ(Result(8), 0xC20u);
  EXPECT_EQ(Result(9), 0x300030u);
  EXPECT_EQ(Result(10), 0x00800FF8u);
}

TEST_F(RspRomTest, MicrocodeBreaksWithAndWithoutTheInterrupt) {
  Run(true);
  EXPECT_GT(Result(11), 0u);      // the SP interrupt came
  EXPECT_EQ(Result(12), 0x143u);  // halt, broke, interrupt on break, signal 1
  EXPECT_EQ(Result(13), 0xC8u);   // past the BREAK
  EXPECT_EQ(Result(14), 0u);      // cleared through SP_STATUS
  EXPECT_EQ(Result(15), 0u);      // running
  EXPECT_GT(Result(16), 0u);      // the halt came
  EXPECT_EQ(Result(17), 0x103u);  // no interrupt on break this time
  EXPECT_EQ(Result(18), 0u);
  EXPECT_EQ(Result(19), 0xDEADBEEFu);  // the write DMA's skip
  EXPECT_EQ(Result(20), 0xDEADBEEFu);
}

TEST_F(RspRomTest, MicrocodeLoadsAndStoresAtOddAndWrappingAddresses) {
  Run(true);
  ExpectWords(0x200, {0x05060708, 0x090A0B0C, 0x0D0E0F18, 0x191A1B1C});  // LQV, LRV from odd
  ExpectWords(0x210, {0x05060708, 0x090A0B0C, 0x0D0E0F18, 0x191A1B1C});
  // SSV wrapping in the register, LW across DMEM's end, the semaphore taken, MFC2.
  ExpectWords(0x220, {0x001C0500, 0x03040506, 1, 0x0809});
  ExpectWords(0x230, {0, 0, 0, 0x00030405});  // LLV across DMEM's end, three bytes fit
  ExpectWords(0x280, {0x03000400, 0x05000600, 0x07000800, 0x09000A00});  // LPV
  ExpectWords(0x290, {0x0006080A, 0x0C0E1012, 0x14000004, 0x05000000});  // SUV, odd SH
  ExpectWords(0x2A0, {0x00010003, 0x00050007, 0x0009000B, 0x000D000F});  // LHV, SHV
  ExpectWords(0x2B0, {0x1A1B1C05, 0x06070809, 0x0A0B0C0D, 0x0E0F1819});  // SWV
}

// Multiply-accumulate, add with carry, compare and merge and a reciprocal, checked by the main
// processor against the values the instructions' definitions give.
TEST_F(RspRomTest, MicrocodeComputesWithTheVectorUnit) {
  UseAccurateHardware();
  RunRomFile(std::string(VANTOR_ROM_DIR) + "/rsp_vector.z64", 200000);
  EXPECT_GT(Result(0), 0u);  // the microcode halted
  EXPECT_EQ(Result(1), 0u) << "word " << Result(2) << std::hex << ": " << Result(3)
                           << " instead of " << Result(4);
}

TEST_F(RspRomTest, TheDefaultMachineHasNoSignalProcessor) {
  Run(false);
  EXPECT_EQ(Result(0), 0u);
  EXPECT_EQ(Result(4), 0u);      // never busy
  EXPECT_EQ(Result(5), 10000u);  // so the DMA wait ends at once, having moved nothing
  EXPECT_EQ(Result(6), 0u);
  EXPECT_EQ(Result(11), 0u);  // the other waits give up
  EXPECT_EQ(Result(16), 0u);
  ExpectWords(0x200, {0, 0, 0, 0});
}

}  // namespace
}  // namespace vantor
