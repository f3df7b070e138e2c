#include <gtest/gtest.h>

#include "core/Cpu.h"
#include "tests/support/InstrEncoder.h"
#include "tests/support/Machine.h"

namespace vantor {
namespace {

using test::EncodeI;
using test::EncodeJ;
using test::RegImm;
using test::Special;

constexpr uint32_t kCode = 0x80001000;
// Marks which instructions ran: each adds a distinct bit to t0.
uint32_t Mark(int bit) {
  return EncodeI(13, 8, 8, 1 << bit);
}  // ori t0, t0, bit

class BranchOpsTest : public test::MachineTest {
 protected:
  // Runs a branch at kCode followed by marks at +4 (delay slot), +8 and +12, and a mark at the
  // target kCode + 0x20; returns t0 after `steps` steps.
  uint64_t Trace(uint32_t branch, int steps = 4) {
    Program(kCode, {branch, Mark(0), Mark(1), Mark(2)});
    Poke(kCode + 0x20, Mark(4));
    Poke(kCode + 0x24, Mark(5));
    Gpr[8] = 0;
    Step(steps);
    return Gpr[8];
  }
};

constexpr int32_t kToTarget = 7;                  // kCode + 4 + 7 * 4 = kCode + 0x20
constexpr uint64_t kTaken = 1 | 1 << 4 | 1 << 5;  // delay slot, target, target + 4
constexpr uint64_t kNotTaken = 1 | 2 | 4;         // straight on
constexpr uint64_t kLikelyNotTaken = 2 | 4;       // delay slot skipped

TEST_F(BranchOpsTest, ConditionalBranchesCompareFullRegisters) {
  Gpr[9] = 0x00000001'00000000;
  Gpr[10] = 0;
  Gpr[11] = 0xFFFFFFFF'FFFFFFFF;
  const struct {
    const char* name;
    uint32_t word;
    uint64_t trace;
  } cases[] = {
      {"BEQ equal", EncodeI(4, 10, 0, kToTarget), kTaken},
      {"BEQ high words differ", EncodeI(4, 9, 10, kToTarget), kNotTaken},
      {"BNE high words differ", EncodeI(5, 9, 10, kToTarget), kTaken},
      {"BLEZ negative", EncodeI(6, 11, 0, kToTarget), kTaken},
      {"BLEZ positive 64-bit", EncodeI(6, 9, 0, kToTarget), kNotTaken},
      {"BGTZ", EncodeI(7, 9, 0, kToTarget), kTaken},
      {"BGTZ zero", EncodeI(7, 10, 0, kToTarget), kNotTaken},
      {"BLTZ", RegImm(0, 11, kToTarget), kTaken},
      {"BGEZ zero", RegImm(1, 10, kToTarget), kTaken},
      {"BGEZ negative", RegImm(1, 11, kToTarget), kNotTaken},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Trace(c.word), c.trace) << c.name;
}

TEST_F(BranchOpsTest, LikelyBranchesSkipTheDelaySlotWhenNotTaken) {
  Gpr[9] = 1;
  const struct {
    const char* name;
    uint32_t word;
    uint64_t trace;
  } cases[] = {
      {"BEQL taken", EncodeI(20, 0, 0, kToTarget), kTaken},
      {"BEQL not taken", EncodeI(20, 9, 0, kToTarget), kLikelyNotTaken},
      {"BNEL not taken", EncodeI(21, 0, 0, kToTarget), kLikelyNotTaken},
      {"BLEZL not taken", EncodeI(22, 9, 0, kToTarget), kLikelyNotTaken},
      {"BGTZL not taken", EncodeI(23, 0, 0, kToTarget), kLikelyNotTaken},
      {"BLTZL not taken", RegImm(2, 9, kToTarget), kLikelyNotTaken},
      {"BGEZL taken", RegImm(3, 9, kToTarget), kTaken},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Trace(c.word), c.trace) << c.name;
}

TEST_F(BranchOpsTest, LinkingBranchesWriteRaOnlyWhenTaken) {
  Gpr[9] = static_cast<uint64_t>(-1);
  Gpr[31] = 0x1234;
  EXPECT_EQ(Trace(RegImm(17, 9, kToTarget)), kNotTaken);  // BGEZAL, negative
  EXPECT_EQ(Gpr[31], 0x1234u);
  EXPECT_EQ(Trace(RegImm(16, 9, kToTarget)), kTaken);  // BLTZAL
  EXPECT_EQ(Gpr[31], 0xFFFFFFFF'80001008u);
  Gpr[31] = 0x1234;
  EXPECT_EQ(Trace(RegImm(19, 9, kToTarget)), kLikelyNotTaken);  // BGEZALL not taken skips the slot
  EXPECT_EQ(Gpr[31], 0x1234u);
  EXPECT_EQ(Trace(RegImm(18, 9, kToTarget)), kTaken);  // BLTZALL
  EXPECT_EQ(Gpr[31], 0xFFFFFFFF'80001008u);
}

TEST_F(BranchOpsTest, JumpsTakeTheirTargetsAfterTheDelaySlot) {
  EXPECT_EQ(Trace(EncodeJ(2, (kCode + 0x20) >> 2)), kTaken);
  EXPECT_EQ(Trace(EncodeJ(3, (kCode + 0x20) >> 2)), kTaken);
  EXPECT_EQ(Gpr[31], 0xFFFFFFFF'80001008u);
  Gpr[9] = 0xFFFFFFFF'80001020;
  EXPECT_EQ(Trace(Special(8, 9, 0, 0)), kTaken);   // JR uses rs.lo
  EXPECT_EQ(Trace(Special(9, 9, 0, 12)), kTaken);  // JALR rd = t4
  EXPECT_EQ(Gpr[12], 0xFFFFFFFF'80001008u);
  // JALR with rd = rs reads the target after writing the link: it continues at PC + 8.
  EXPECT_EQ(Trace(Special(9, 9, 0, 9), 3), 1 | 2);
  EXPECT_EQ(PC.Lo, kCode + 12);
}

TEST_F(BranchOpsTest, JumpTargetKeepsTheTopBitsOfTheDelaySlotAddress) {
  Program(0x8FFFFFFC, {EncodeJ(2, 0x100)});
  Step();
  EXPECT_EQ(BranchTarget, 0x90000400u);  // the delay slot at 0x90000000 gives the top bits
}

TEST_F(BranchOpsTest, BranchTargetsWrapAroundTheAddressSpace) {
  Program(0x00000000, {EncodeI(4, 0, 0, -2)});
  Step();
  EXPECT_EQ(BranchTarget, 0xFFFFFFFCu);
}

TEST_F(BranchOpsTest, ABranchInADelaySlotReplacesThePendingTarget) {
  // beq to +0x20 with, in its slot, beq to +0x44: the instruction after the second branch runs
  // as its delay slot, then execution goes on at the second target; +0x20 is never reached.
  Program(kCode, {EncodeI(4, 0, 0, kToTarget), EncodeI(4, 0, 0, 15), Mark(1)});
  Poke(kCode + 0x20, Mark(4));
  Poke(kCode + 0x44, Mark(6));
  Gpr[8] = 0;
  Step(4);
  EXPECT_EQ(Gpr[8], (1u << 1) | (1u << 6));
}

TEST_F(BranchOpsTest, IdleJumpFinishesTheFrameAtOnce) {
  Program(kCode, {EncodeJ(2, kCode >> 2), 0});
  ViCounter = 100000;
  Cop0Regs[COUNT] = 10;
  Cop0Regs[COMPARE] = 5;
  // The jump counts the frame's remaining steps; the countdown of its own step then expires.
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(Cop0Regs[COUNT], 100011u);
  EXPECT_EQ(ViCounter, FramePeriod);
  EXPECT_NE(Cop0Regs[CAUSE] & kCauseIP7, 0u);

  Program(kCode, {EncodeJ(2, kCode >> 2), 0});
  Cop0Regs[CAUSE] = 0;
  Cop0Regs[COMPARE] = 0;
  Step();
  EXPECT_EQ(Cop0Regs[CAUSE] & kCauseIP7, 0u);

  // Only J skips: a JAL to itself spins normally.
  Program(kCode, {EncodeJ(3, kCode >> 2), 0});
  ViCounter = 100000;
  Step();
  EXPECT_EQ(ViCounter, 99999);
}

}  // namespace
}  // namespace vantor
