#include <gtest/gtest.h>

#include <cstring>

#include "core/Cpu.h"
#include "core/RegisterAccess.h"
#include "core/Transfer.h"
#include "memory/PlainPages.h"
#include "memory/SignalProcessor.h"
#include "tests/support/InstrEncoder.h"
#include "tests/support/Machine.h"

namespace vantor {
namespace {

using test::EncodeI;
using test::Special;

constexpr uint32_t kCode = 0x80001000;
constexpr uint32_t kNop = 0;
const uint32_t kAddiuT0 = EncodeI(9, 8, 8, 1);   // addiu t0, t0, 1
const uint32_t kBeqTaken = EncodeI(4, 0, 0, 3);  // beq r0, r0, +3 (to kCode + 16)

class CpuStepTest : public test::MachineTest {};

TEST_F(CpuStepTest, ResetSetsThePowerOnState) {
  Gpr[5] = 123;
  MulDivTemp = 0x1122334455667788;
  CpuReset();
  for (int i = 0; i < 32; ++i) {
    const uint64_t expected = i == 20 ? 1 : i == 22 ? 0x3F : i == 29 ? 0xFFFFFFFF'A4001FF0 : 0;
    EXPECT_EQ(Gpr[i], expected) << "r" << i;
  }
  EXPECT_EQ(PC.Lo, 0xA4000040u);
  EXPECT_EQ(PC.Hi, 0xFFFFFFFFu);
  EXPECT_EQ(Cop0Regs[CONFIG], 0x0006E463u);
  EXPECT_EQ(Cop0Regs[STATUS], 0x34000000u);
  EXPECT_EQ(Cop0Regs[PREVID], 0x00000B00u);
  EXPECT_EQ(Cop0Regs[RANDOM], 31u);
  EXPECT_EQ(ViCounter, FramePeriod);
  EXPECT_EQ(MulDivTemp, 0x1122334455667788u);  // reset leaves it alone
  EXPECT_EQ(InstrPtr, reinterpret_cast<const uint32_t*>(DMEMPage->Data + 0x40));
}

TEST_F(CpuStepTest, TheZeroWordCostsOneTickAndNothingElse) {
  Program(kCode, {kNop});
  const uint32_t count = Cop0Regs[COUNT];
  Step();
  EXPECT_EQ(Cop0Regs[COUNT], count + 1);
  EXPECT_EQ(ViCounter, FramePeriod - 1);
  EXPECT_EQ(PC.Lo, kCode + 4);
  EXPECT_TRUE(host.Lines().empty());
}

TEST_F(CpuStepTest, FrameCountdownRaisesTheVideoInterruptUntilAcknowledged) {
  Program(kCode, {kNop, kNop, kNop});
  ViCounter = 2;
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(ViCounter, FramePeriod);
  EXPECT_EQ(*MI_INTR & kMiIntrVI, kMiIntrVI);
  EXPECT_NE(Cop0Regs[CAUSE] & kCauseIP2, 0u);
  Step();
  EXPECT_NE(Cop0Regs[CAUSE] & kCauseIP2, 0u);  // still pending while MI_INTR is set
  *MI_INTR = 0;
  Step();
  EXPECT_EQ(Cop0Regs[CAUSE] & kCauseIP2, 0u);
}

TEST_F(CpuStepTest, TimerFiresWhenCountReachesANonZeroCompare) {
  Program(kCode, {kNop, kNop, kNop});
  Cop0Regs[COMPARE] = 5;
  Cop0Regs[COUNT] = 3;
  Step();
  EXPECT_EQ(Cop0Regs[CAUSE] & kCauseIP7, 0u);
  Step();
  EXPECT_NE(Cop0Regs[CAUSE] & kCauseIP7, 0u);
  Step();
  EXPECT_NE(Cop0Regs[CAUSE] & kCauseIP7, 0u);  // the step never clears it

  Program(kCode, {kNop});
  Cop0Regs[CAUSE] = 0;
  Cop0Regs[COMPARE] = 0;
  Cop0Regs[COUNT] = 0xFFFFFFFF;  // COUNT wraps to 0 but COMPARE 0 never fires
  Step();
  EXPECT_EQ(Cop0Regs[COUNT], 0u);
  EXPECT_EQ(Cop0Regs[CAUSE] & kCauseIP7, 0u);
}

TEST_F(CpuStepTest, InterruptEntrySavesWhereExecutionWouldHaveGone) {
  const struct {
    const char* name;
    uint32_t first;   // the instruction at kCode
    int stepsBefore;  // steps run before the timer interrupt becomes pending
    uint32_t epc;
    bool inDelaySlot;
  } cases[] = {
      {"after an ordinary instruction", kAddiuT0, 0, kCode + 4, false},
      {"after a taken branch", kBeqTaken, 0, kCode, true},
      {"after the delay slot", kBeqTaken, 1, kCode + 16, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Program(kCode, {c.first, kAddiuT0, kNop, kNop, kNop});
    Cop0Regs[STATUS] = 0x8001;  // IE and IM7
    Cop0Regs[CAUSE] = 0;
    Step(c.stepsBefore);
    Cop0Regs[CAUSE] |= kCauseIP7;
    const int32_t vi = ViCounter;
    Step();
    EXPECT_EQ(PC.Lo, kExceptionVector);
    EXPECT_EQ(Cop0Regs[EPC], c.epc);
    EXPECT_EQ((Cop0Regs[CAUSE] & kCauseBD) != 0, c.inDelaySlot);
    EXPECT_EQ(Cop0Regs[CAUSE] & 0x7C, 0u);
    EXPECT_EQ(Cop0Regs[STATUS] & kStatusEXL, kStatusEXL);
    EXPECT_EQ(ViCounter, vi - 2);  // the entry costs one extra count
  }
}

TEST_F(CpuStepTest, InterruptsWaitWhileDisabledOrAtExceptionLevel) {
  for (uint32_t status : {0x8000u, 0x8003u, 0x8005u, 0x0001u}) {
    Program(kCode, {kNop});
    Cop0Regs[STATUS] = status;
    Cop0Regs[CAUSE] = 0xFF00 & ~kCauseIP2;
    Step();
    EXPECT_EQ(PC.Lo, kCode + 4) << std::hex << status;
  }
}

TEST_F(CpuStepTest, ProgramCounterWrapsInItsLowWordOnly) {
  JumpTo(0xFFFFFFFC);
  Step();
  EXPECT_EQ(PC.Lo, 0u);
  EXPECT_EQ(PC.Hi, 0xFFFFFFFFu);
  EXPECT_EQ(InstrPtr, reinterpret_cast<const uint32_t*>(PageTable[0]));
}

TEST_F(CpuStepTest, SequentialFetchEntersTheNextPagesOwnStorage) {
  // DMEM and IMEM are separate 4 KB blocks: the word after DMEM's last comes from IMEM.
  Poke(0xA4000FFC, kNop);
  Poke(0xA4001000, kAddiuT0);
  JumpTo(0xA4000FFC);
  Step(2);
  EXPECT_EQ(Gpr[8], 1u);
  EXPECT_EQ(PC.Lo, 0xA4001004u);
}

TEST_F(CpuStepTest, TransfersToMisalignedAddressesRunTheWordThatHoldsThem) {
  // The last words of DMEM, a 4 KB block of its own, then the first word of IMEM.
  for (uint32_t at = 0xA4000FF0; at < 0xA4001000; at += 4)
    Poke(at, kAddiuT0);
  Poke(0xA4001000, EncodeI(9, 9, 9, 1));  // addiu t1, t1, 1
  auto runToImem = [&](uint32_t expectedPc) {
    EXPECT_EQ(PC.Lo, expectedPc);
    Gpr[8] = Gpr[9] = 0;
    Step((0xA4001000 - expectedPc) / 4 + 1);
    EXPECT_EQ(Gpr[8], (0xA4001000 - expectedPc) / 4);
    EXPECT_EQ(Gpr[9], 1u);
    EXPECT_EQ(PC.Lo, 0xA4001004u);
  };

  for (uint32_t target : {0xA4000FF1u, 0xA4000FF6u, 0xA4000FFFu}) {
    SCOPED_TRACE(target);
    Gpr[10] = Sext32(target);
    Program(kCode, {Special(8, 10, 0, 0), kNop});  // jr t2
    Step(2);
    runToImem(target & ~3u);
  }

  // Exception return to an odd EPC, and the debugger's immediate transfer.
  Program(kCode, {EncodeI(16, 16, 0, 24)});  // eret
  Cop0Regs[STATUS] = kStatusEXL;
  Cop0Regs[EPC] = 0xA4000FFD;
  Step();
  runToImem(0xA4000FFC);
  PostImmediateTransfer(0xA4000FF3);
  Step();
  EXPECT_EQ(PC.Lo, 0xA4000FF0u);
  EXPECT_TRUE(host.Lines().empty());
}

TEST_F(CpuStepTest, FetchFromAnUnmappedPageReadsTheDummyPage) {
  uint32_t word = kAddiuT0;
  std::memcpy(DummyPage->Data + 0x10, &word, 4);
  JumpTo(0x00000010);
  Step();
  EXPECT_EQ(Gpr[8], 1u);
  std::memset(DummyPage->Data, 0, 4096);
}

TEST_F(CpuStepTest, RegisterZeroDiscardsResults) {
  Program(kCode, {EncodeI(15, 0, 0, 0x1234), Special(33, 0, 0, 0)});  // lui r0; addu r0
  Step(2);
  EXPECT_EQ(Gpr[0], 0u);
}

}  // namespace
}  // namespace vantor
