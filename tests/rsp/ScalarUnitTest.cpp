// The scalar unit running microcode of ours: arithmetic without traps, delay slots, links, loads
// and stores wrapping in DMEM, COP0 reaching the SP and DP registers, the COP2 moves.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "common/MachineState.h"
#include "rdp/Rdp.h"
#include "rsp/ScalarUnit.h"
#include "rsp/SpState.h"
#include "tests/rsp/RspCode.h"

namespace vantor::test::rspcode {
namespace {

using ScalarUnitTest = RspTest;

TEST_F(ScalarUnitTest, ArithmeticBranchesAndWrappingLoadsAndStores) {
  LoadMicrocode({
      Lui(1, 0x8000),       // 0x00
      Ori(1, 1, 0x1234),    // 0x04
      R(0x03, 0, 1, 2, 4),  // 0x08 sra $2, $1, 4
      R(0x02, 0, 1, 3, 4),  // 0x0C srl $3, $1, 4
      Addiu(4, 0, -1),      // 0x10
      R(0x20, 4, 4, 5),     // 0x14 add overflows without a trap
      R(0x2A, 4, 0, 6),     // 0x18 slt
      R(0x2B, 4, 0, 7),     // 0x1C sltu
      Addiu(8, 0, 0xFFE),   // 0x20
      I(0x2B, 8, 1, 0),     // 0x24 sw at 0xFFE: wraps to 0x000
      I(0x23, 8, 9, 0),     // 0x28 lw
      I(0x21, 8, 10, 2),    // 0x2C lh at 0x1000, which is 0x000
      I(0x20, 8, 11, 0),    // 0x30 lb
      I(0x24, 8, 12, 0),    // 0x34 lbu
      I(0x25, 8, 13, 1),    // 0x38 lhu at 0xFFF: odd and wrapping
      I(0x01, 0, 0x11, 3),  // 0x3C bgezal $0: to 0x4C, link 0x44
      Addiu(14, 0, 7),      // 0x40 the delay slot runs
      Addiu(15, 0, 99),     // 0x44 skipped
      Addiu(15, 0, 98),     // 0x48 skipped
      Addiu(16, 0, 5),      // 0x4C
      Addiu(17, 17, 3),     // 0x50 loop
      Addiu(16, 16, -1),    // 0x54
      Bne(16, 0, -3),       // 0x58
      Addiu(0, 0, 5),       // 0x5C $0 stays zero
      R(0x27, 0, 0, 18),    // 0x60 nor: all ones
      R(0x04, 16, 1, 19),   // 0x64 sllv by $16 = 0
      I(0x0A, 4, 20, 0),    // 0x68 slti -1 < 0
      I(0x0B, 0, 21, -1),   // 0x6C sltiu 0 < 0xFFFFFFFF
      I(0x28, 8, 1, 7),     // 0x70 sb at 0x005
      I(0x29, 8, 1, 9),     // 0x74 sh at 0x007: odd
      Break(),              // 0x78
  });
  ASSERT_TRUE(RunUntilHalt());
  const uint32_t* r = RspCore.gpr;
  EXPECT_EQ(r[2], 0xF8000123u);
  EXPECT_EQ(r[3], 0x08000123u);
  EXPECT_EQ(r[5], 0xFFFFFFFEu);
  EXPECT_EQ(r[6], 1u);
  EXPECT_EQ(r[7], 0u);
  EXPECT_EQ(r[9], 0x80001234u);
  EXPECT_EQ(r[10], 0x1234u);
  EXPECT_EQ(r[11], 0xFFFFFF80u);
  EXPECT_EQ(r[12], 0x80u);
  EXPECT_EQ(r[13], 0x0012u);
  EXPECT_EQ(r[31], 0x44u);
  EXPECT_EQ(r[14], 7u);
  EXPECT_EQ(r[15], 0u);
  EXPECT_EQ(r[17], 15u);
  EXPECT_EQ(r[0], 0u);
  EXPECT_EQ(r[18], 0xFFFFFFFFu);
  EXPECT_EQ(r[19], 0x80001234u);
  EXPECT_EQ(r[20], 1u);
  EXPECT_EQ(r[21], 1u);
  EXPECT_EQ(DmemByte(0xFFE), 0x80);
  EXPECT_EQ(DmemByte(0xFFF), 0x00);
  EXPECT_EQ(DmemByte(0x000), 0x12);
  EXPECT_EQ(DmemByte(0x001), 0x34);
  EXPECT_EQ(DmemByte(0x005), 0x34);
  EXPECT_EQ(DmemByte(0x007), 0x12);
  EXPECT_EQ(DmemByte(0x008), 0x34);
  // BREAK halts with broke set; SP_PC rests past it.
  EXPECT_EQ(RspReadRegister(kSpStatus) & (kSpStatusHalt | kSpStatusBroke),
            kSpStatusHalt | kSpStatusBroke);
  EXPECT_EQ(RspReadPc(), 0x7Cu);
}

TEST_F(ScalarUnitTest, JumpsWrapInImemAndLinkTheirReturn) {
  LoadMicrocode({
      I(0x03, 0, 0, 0) | (0x1000F8 >> 2),  // 0x000 jal 0x0F8: only bits 11-2 count
      Nop(),                               // 0x004
      Addiu(2, 0, 1),                      // 0x008 skipped: jalr goes elsewhere
      Addiu(2, 0, 2),                      // 0x00C skipped
      Break(),                             // 0x010
  });
  SetPageWord(IMEMPage->Data, 0xF8, R(0x09, 5, 0, 3));  // jalr $3, $5
  SetPageWord(IMEMPage->Data, 0xFC, Addiu(4, 31, 0));   // its delay slot sees $31
  SetPageWord(IMEMPage->Data, 0xFFC, Addiu(6, 0, 1));   // the last word runs on into 0x000
  RspCore.gpr[5] = 0x1010;                              // wraps to 0x010
  RspWritePc(0xFFC);
  ASSERT_TRUE(RunUntilHalt());
  EXPECT_EQ(RspCore.gpr[6], 1u);
  EXPECT_EQ(RspCore.gpr[31], 0x08u);
  EXPECT_EQ(RspCore.gpr[4], 0x08u);
  EXPECT_EQ(RspCore.gpr[3], 0x100u);
  EXPECT_EQ(RspCore.gpr[2], 0u);
  EXPECT_EQ(RspReadPc(), 0x14u);
}

TEST_F(ScalarUnitTest, Cop0ReachesTheSpAndDpRegistersAndCop2MovesLanes) {
  RdpWriteRegister(kDpcStart, 0x2000);
  LoadMicrocode({
      Mfc0(1, kSpSemaphore),      // 0 (free), and takes it
      Mfc0(2, kSpSemaphore),      // 1 (taken)
      Mtc0(0, kSpSemaphore),      // frees it
      Mfc0(3, kSpSemaphore),      // 0 again
      Ori(4, 0, 0x400 | 0x4000),  // set signals 0 and 2
      Mtc0(4, kSpStatus),         //
      Mfc0(5, kSpStatus),         //
      Mfc0(6, 8 + kDpcStart),     // the display processor's start
      Lui(7, 0x89AB),             //
      Ori(7, 7, 0xCDEF),          //
      Cop2Move(4, 7, 3, 1),       // mtc2 $7, $v3[1]: bytes 1 and 2
      Cop2Move(4, 7, 3, 15),      // mtc2 $7, $v3[15]: byte 15 only
      Cop2Move(0, 8, 3, 1),       // mfc2 $8, $v3[1]
      Cop2Move(0, 9, 3, 15),      // mfc2 $9, $v3[15]: bytes 15 and 0
      Cop2Move(6, 7, 0, 0),       // ctc2 $7, vco
      Cop2Move(6, 7, 1, 0),       // ctc2 $7, vcc
      Cop2Move(6, 7, 2, 0),       // ctc2 $7, vce
      Cop2Move(2, 10, 0, 0),      // cfc2 $10, vco
      Cop2Move(2, 11, 1, 0),      // cfc2 $11, vcc
      Cop2Move(2, 12, 2, 0),      // cfc2 $12, vce
      Break(),
  });
  ASSERT_TRUE(RunUntilHalt());
  const uint32_t* r = RspCore.gpr;
  EXPECT_EQ(r[1], 0u);
  EXPECT_EQ(r[2], 1u);
  EXPECT_EQ(r[3], 0u);
  EXPECT_EQ(r[5] & (0xFFu << 7), kSpStatusSignal0 | kSpStatusSignal0 << 2);
  EXPECT_EQ(r[6], 0x2000u);
  const rsp::TVector& v3 = RspCore.vu.reg[3];
  EXPECT_EQ(v3.e[0], 0x00CDu);
  EXPECT_EQ(v3.e[1], 0xEF00u);
  EXPECT_EQ(v3.e[7], 0x00CDu);
  EXPECT_EQ(r[8], 0xFFFFCDEFu);
  EXPECT_EQ(r[9], 0xFFFFCD00u);
  EXPECT_EQ(r[10], 0xFFFFCDEFu);
  EXPECT_EQ(r[11], 0xFFFFCDEFu);
  EXPECT_EQ(r[12], 0xEFu);
  // The last read took the semaphore again.
  EXPECT_EQ(RspReadRegister(kSpSemaphore), 1u);
}

TEST_F(ScalarUnitTest, Cop2SendsComputationalInstructionsToTheVectorUnit) {
  for (uint16_t i = 0; i < 8; ++i) {
    RspCore.vu.reg[1].e[i] = static_cast<uint16_t>(100 * i);
    RspCore.vu.reg[2].e[i] = static_cast<uint16_t>(i + 1);
  }
  const uint32_t vadd = 0x12u << 26 | 1u << 25 | 2u << 16 | 1u << 11 | 3u << 6 | 0x10;
  LoadMicrocode({vadd, Break()});  // vadd $v3, $v1, $v2
  ASSERT_TRUE(RunUntilHalt());
  for (uint16_t i = 0; i < 8; ++i)
    EXPECT_EQ(RspCore.vu.reg[3].e[i], 101 * i + 1) << i;
}

// The slice's run loop keeps the PCs in registers and sends vector computations straight to the
// vector unit; instruction by instruction it must leave what the plain step leaves. Random
// microcode, half of it vector computations, from the same start through both.
TEST_F(ScalarUnitTest, TheRunLoopMatchesStepByStep) {
  std::mt19937 random(62);
  for (int round = 0; round < 30; ++round) {
    for (uint32_t i = 0; i < 0x1000; i += 4) {
      const uint32_t word = static_cast<uint32_t>(random());
      SetPageWord(IMEMPage->Data, i, (word & 1) != 0 ? 0x4A000000u | (word & 0x01FFFFFE) : word);
    }
    for (uint32_t& reg : RspCore.gpr)
      reg = static_cast<uint32_t>(random());
    RspCore.gpr[0] = 0;
    RspWritePc(static_cast<uint32_t>(random()));
    RspWriteRegister(kSpStatus, kSpClearHalt | kSpClearBroke | kSpClearSingleStep);
    TRspCore startCore;
    std::memcpy(&startCore, &RspCore, sizeof RspCore);
    const rsp::TSpState startSp = rsp::Sp;
    const std::vector<uint8_t> startDmem(DMEMPage->Data, DMEMPage->Data + 0x1000);

    uint32_t stepped = 0;
    while ((rsp::Sp.status & (kSpStatusHalt | kSpStatusSingleStep)) == 0 && stepped < 3000) {
      rsp::StepScalar();
      ++stepped;
    }
    TRspCore steppedCore;
    std::memcpy(&steppedCore, &RspCore, sizeof RspCore);
    const std::vector<uint8_t> steppedDmem(DMEMPage->Data, DMEMPage->Data + 0x1000);

    std::memcpy(&RspCore, &startCore, sizeof RspCore);
    rsp::Sp = startSp;
    std::memcpy(DMEMPage->Data, startDmem.data(), startDmem.size());
    uint32_t run = 0;
    rsp::RunScalar(run, 3000);
    EXPECT_EQ(run, stepped) << round;
    EXPECT_EQ(std::memcmp(&RspCore, &steppedCore, sizeof RspCore), 0) << round;
    EXPECT_TRUE(std::equal(steppedDmem.begin(), steppedDmem.end(), DMEMPage->Data)) << round;
  }
}

}  // namespace
}  // namespace vantor::test::rspcode
