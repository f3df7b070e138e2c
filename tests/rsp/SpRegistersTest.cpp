// The SP registers as both processors see them: DMA with rows, counts and skips in both
// directions and its time on the clock, the status bits with their set/clear pairs, the SP
// interrupt through MI_INTR, the slices at the signal processor's rate, and the save state.
#include <gtest/gtest.h>

#include <random>

#include "common/MachineState.h"
#include "core/Accurate.h"
#include "core/MachineImage.h"
#include "memory/PlainPages.h"
#include "rdp/Rdp.h"
#include "tests/rsp/RspCode.h"

namespace vantor::test::rspcode {
namespace {

using SpRegistersTest = RspTest;

uint8_t RdramByte(uint32_t address) {
  return RDRAM->Data[address ^ 3];
}
void SetRdramByte(uint32_t address, uint8_t value) {
  RDRAM->Data[address ^ 3] = value;
}

TEST_F(SpRegistersTest, DmaReadsRowsWithSkipsIntoDmemAndTakesItsTime) {
  for (uint32_t i = 0; i < 0x100; ++i)
    SetRdramByte(0x10000 + i, static_cast<uint8_t>(i));
  RspWriteRegister(kSpMemAddr, 0xFFFFE7F8);  // bit 12 clear: DMEM; bits 2-0 dropped
  RspWriteRegister(kSpDramAddr, 0xFF010004 | 3);
  EXPECT_EQ(RspReadRegister(kSpMemAddr), 0x7F8u);
  EXPECT_EQ(RspReadRegister(kSpDramAddr), 0x010000u);
  // Rows of 16 bytes (length 15 rounds up to 8-byte units), 3 rows, 8 bytes skipped between.
  RspWriteRegister(kSpRdLen, 8u << 20 | 2u << 12 | 15);
  EXPECT_EQ(RspReadRegister(kSpDmaBusy), 1u);
  EXPECT_EQ(RspReadRegister(kSpStatus) & kSpStatusDmaBusy, kSpStatusDmaBusy);
  const uint64_t due = MachineClock.When(TEventKind::SpDma);
  // Three rows of a setup and two 8-byte units, at two thirds of the processor's clock.
  EXPECT_EQ(due - MachineClock.Now(), (3 * (8 + 2) * 3 + 1) / 2);
  RunDmas();
  EXPECT_EQ(RspReadRegister(kSpDmaBusy), 0u);
  for (uint32_t row = 0; row < 3; ++row)
    for (uint32_t i = 0; i < 16; ++i)
      ASSERT_EQ(DmemByte(0x7F8 + row * 16 + i), row * 24 + i) << row << " " << i;
  EXPECT_EQ(DmemByte(0x7F8 + 48), 0);
  EXPECT_EQ(RspReadRegister(kSpMemAddr), 0x7F8u + 48);
  EXPECT_EQ(RspReadRegister(kSpDramAddr), 0x010000u + 3 * 24);
  EXPECT_EQ(RspReadRegister(kSpRdLen), 8u << 20 | 0xFF8);
}

TEST_F(SpRegistersTest, DmaWritesRowsToRdramAndWrapsInsideImem) {
  for (uint32_t i = 0; i < 0x20; ++i)
    IMEMPage->Data[((0xFF0 + i) & 0xFFF) ^ 3] = static_cast<uint8_t>(0x80 + i);
  for (uint32_t i = 0; i < 0x40; ++i)
    SetRdramByte(0x20000 + i, 0xEE);
  RspWriteRegister(kSpMemAddr, 0x1FF0);  // IMEM, 16 bytes before its end
  RspWriteRegister(kSpDramAddr, 0x20000);
  RspWriteRegister(kSpWrLen, 16u << 20 | 1u << 12 | 7);  // 2 rows of 8, skip 16
  RunDmas();
  for (uint32_t i = 0; i < 8; ++i) {
    EXPECT_EQ(RdramByte(0x20000 + i), 0x80 + i);
    EXPECT_EQ(RdramByte(0x20008 + i), 0xEE);
    EXPECT_EQ(RdramByte(0x20018 + i), 0x88 + i);
  }
  EXPECT_EQ(RspReadRegister(kSpMemAddr), 0x1000u);  // wrapped to IMEM's start
  EXPECT_EQ(RspReadRegister(kSpWrLen), 16u << 20 | 0xFF8);
  // A DMA past main memory's end reads zeros and writes nothing.
  RspWriteRegister(kSpMemAddr, 0x100);
  RspWriteRegister(kSpDramAddr, RdramBytes - 8);
  RspWriteRegister(kSpRdLen, 15);
  RunDmas();
  EXPECT_EQ(DmemByte(0x108), 0);
}

TEST_F(SpRegistersTest, ASecondDmaWaitsBehindTheFirstAndAThirdIsRefused) {
  SetRdramByte(0x30000, 0x11);
  SetRdramByte(0x30100, 0x22);
  SetRdramByte(0x30200, 0x33);
  RspWriteRegister(kSpMemAddr, 0x000);
  RspWriteRegister(kSpDramAddr, 0x30000);
  RspWriteRegister(kSpRdLen, 7);
  RspWriteRegister(kSpMemAddr, 0x010);
  RspWriteRegister(kSpDramAddr, 0x30100);
  RspWriteRegister(kSpRdLen, 7);
  EXPECT_EQ(RspReadRegister(kSpDmaFull), 1u);
  EXPECT_EQ(RspReadRegister(kSpStatus) & (kSpStatusDmaBusy | kSpStatusDmaFull),
            kSpStatusDmaBusy | kSpStatusDmaFull);
  RspWriteRegister(kSpMemAddr, 0x020);
  RspWriteRegister(kSpDramAddr, 0x30200);
  RspWriteRegister(kSpRdLen, 7);
  EXPECT_EQ(DmemByte(0x010), 0);  // the waiting one has not moved yet
  MachineClock.Advance(MachineClock.When(TEventKind::SpDma) - MachineClock.Now());
  MachineClock.RunDue();
  EXPECT_EQ(RspReadRegister(kSpDmaFull), 0u);
  EXPECT_EQ(RspReadRegister(kSpDmaBusy), 1u);
  RunDmas();
  EXPECT_EQ(DmemByte(0x000), 0x11);
  EXPECT_EQ(DmemByte(0x010), 0x22);
  EXPECT_EQ(DmemByte(0x020), 0);
}

TEST_F(SpRegistersTest, StatusBitsSetAndClearInPairsAndTheInterruptFollowsMiIntr) {
  EXPECT_EQ(RspReadRegister(kSpStatus), kSpStatusHalt);
  RspWriteRegister(kSpStatus, kSpSetSingleStep | kSpSetInterruptOnBreak);
  for (uint32_t i = 0; i < 8; ++i)
    RspWriteRegister(kSpStatus, kSpClearSignal0 << (2 * i + (i % 2 == 0 ? 1 : 0)));
  EXPECT_EQ(RspReadRegister(kSpStatus),
            kSpStatusHalt | kSpStatusSingleStep | kSpStatusInterruptOnBreak | 0x55u << 7);
  // Both bits of a pair: set wins.
  RspWriteRegister(kSpStatus, kSpClearSignal0 << 2 | kSpClearSignal0 << 3);
  EXPECT_EQ(RspReadRegister(kSpStatus) >> 7 & 0xFF, 0x57u);
  RspWriteRegister(kSpStatus, kSpClearSingleStep | kSpClearInterruptOnBreak |
                                  0x5555u << 9);  // every signal's clear bit
  EXPECT_EQ(RspReadRegister(kSpStatus), kSpStatusHalt);
  RspWriteRegister(kSpStatus, kSpSetInterrupt);
  EXPECT_EQ(*MI_INTR & kMiIntrSP, kMiIntrSP);
  RspWriteRegister(kSpStatus, kSpClearInterrupt);
  EXPECT_EQ(*MI_INTR & kMiIntrSP, 0u);
  // The pages mirror the registers and their handlers are the accurate mode's.
  EXPECT_EQ(SpRead(0, 0x10), kSpStatusHalt);
  SpPcWrite(0, 0, 0xFFFFF123);
  EXPECT_EQ(SpPcRead(0, 0), 0x120u);
  EXPECT_EQ(PageWord(SPPCPage->Data, 0), 0x120u);
  // The semaphore through the page.
  EXPECT_EQ(SpRead(0, 0x1C), 0u);
  EXPECT_EQ(SpRead(0, 0x1C), 1u);
  SpWrite(0, 0x1C, 0x1234);
  EXPECT_EQ(SpRead(0, 0x1C), 0u);
}

TEST_F(SpRegistersTest, BreakInterruptsOnlyWhenAsked) {
  LoadMicrocode({Addiu(1, 0, 1), Break()});
  ASSERT_TRUE(RunUntilHalt());
  EXPECT_EQ(*MI_INTR & kMiIntrSP, 0u);
  RspWriteRegister(kSpStatus, kSpSetInterruptOnBreak);
  RspWritePc(0);
  ASSERT_TRUE(RunUntilHalt());
  EXPECT_EQ(*MI_INTR & kMiIntrSP, kMiIntrSP);
  EXPECT_EQ(RspReadRegister(kSpStatus) & kSpStatusBroke, kSpStatusBroke);
  // Halted, the processor has no event on the clock.
  EXPECT_FALSE(MachineClock.Pending(TEventKind::RspSlice));
}

TEST_F(SpRegistersTest, SingleStepRunsOneInstructionAtATime) {
  LoadMicrocode({Addiu(1, 0, 1), Addiu(2, 0, 2), Break()});
  RspWriteRegister(kSpStatus, kSpSetSingleStep);
  ASSERT_TRUE(RunUntilHalt());
  EXPECT_EQ(RspCore.gpr[1], 1u);
  EXPECT_EQ(RspCore.gpr[2], 0u);
  EXPECT_EQ(RspReadPc(), 4u);
  ASSERT_TRUE(RunUntilHalt());
  EXPECT_EQ(RspCore.gpr[2], 2u);
}

TEST_F(SpRegistersTest, ItRunsAtTwoThirdsOfTheProcessorsClockInSlices) {
  // A loop of 3 instructions 2000 times, then BREAK: 6002 cycles of its own.
  LoadMicrocode({Addiu(1, 0, 2000), Addiu(1, 1, -1), Bne(1, 0, -2), Nop(), Break()});
  const uint64_t start = MachineClock.Now();
  RspWriteRegister(kSpStatus, kSpClearHalt);
  EXPECT_TRUE(MachineClock.Pending(TEventKind::RspSlice));
  // A slice runs once its cycles have passed: the halt shows no earlier than its time, and at
  // most a slice later.
  const uint64_t real = 6002 * 3 / 2;
  EXPECT_FALSE(RunClockUntilHalt(real - 1));
  EXPECT_TRUE(RunClockUntilHalt(kRspSliceCycles * 3 / 2 + 1));
  const uint64_t took = MachineClock.Now() - start;
  EXPECT_GE(took, real);
  EXPECT_LE(took, real + kRspSliceCycles * 3 / 2);
}

TEST_F(SpRegistersTest, TheProcessorHaltsItselfAndDmasItsResultsOut) {
  // The microcode stores a word, writes it to RDRAM through COP0, waits for the DMA, signals
  // and halts itself through SP_STATUS.
  LoadMicrocode({
      Lui(1, 0xCAFE),        //
      Ori(1, 1, 0xF00D),     //
      I(0x2B, 0, 1, 0x200),  // sw $1, 0x200($0)
      Addiu(2, 0, 0x200),    //
      Mtc0(2, kSpMemAddr),   //
      Lui(3, 0x0004),        //
      Mtc0(3, kSpDramAddr),  // 0x40000
      Addiu(4, 0, 7),        //
      Mtc0(4, kSpWrLen),     //
      Mfc0(5, kSpDmaBusy),   // wait
      Bne(5, 0, -2),         //
      Nop(),                 //
      Ori(6, 0, 0x0402),     // set signal 0, set halt
      Mtc0(6, kSpStatus),    //
      Addiu(7, 0, 1),        // not reached
  });
  ASSERT_TRUE(RunUntilHalt());
  EXPECT_EQ(RspCore.gpr[3], 0x40000u);
  EXPECT_EQ(PageWord(DMEMPage->Data, 0x200), 0xCAFEF00Du);
  EXPECT_EQ(Peek(0x80040000), 0xCAFEF00Du);
  EXPECT_EQ(RspReadRegister(kSpStatus) & (kSpStatusBroke | kSpStatusSignal0), kSpStatusSignal0);
  EXPECT_EQ(RspCore.gpr[7], 0u);
}

TEST_F(SpRegistersTest, ABreakpointStopsASliceBeforeItsInstructionAndThenPassesIt) {
  LoadMicrocode({Addiu(1, 1, 1), Beq(0, 0, -2), Nop()});
  SetRspBreakpoints({0x1004});  // offsets keep 12 bits
  RspWriteRegister(kSpStatus, kSpClearHalt);
  for (uint32_t round = 1; round <= 3; ++round) {
    while (!RspTakeBreak()) {
      MachineClock.Advance(MachineClock.When(TEventKind::RspSlice) - MachineClock.Now());
      MachineClock.RunDue();
    }
    EXPECT_EQ(RspCore.pc, 4u);
    EXPECT_EQ(RspCore.gpr[1], round);
    EXPECT_FALSE(RspHalted());  // the program sees nothing of it
  }
  SetRspBreakpoints({});
  MachineClock.Advance(MachineClock.When(TEventKind::RspSlice) - MachineClock.Now());
  MachineClock.RunDue();
  EXPECT_FALSE(RspTakeBreak());
  EXPECT_GT(RspCore.gpr[1], 100u);
}

TEST_F(SpRegistersTest, ASavedStateResumesTheProcessorMidRun) {
  std::vector<uint8_t> rom(0x2000, 0);
  rom[0] = 0x80, rom[1] = 0x37, rom[2] = 0x12, rom[3] = 0x40;
  LoadRom(rom);
  LoadMicrocode(
      {Addiu(1, 0, 3000), Addiu(2, 2, 5), Addiu(1, 1, -1), Bne(1, 0, -3), Nop(), Break()});
  RspCore.vu.reg[7].e[3] = 0x1234;
  RspCore.vu.vcc = 0xBEEF;
  RspWriteRegister(kSpStatus, kSpClearHalt | kSpClearSignal0 << 1);
  EXPECT_FALSE(RunClockUntilHalt(3000));
  const TStateImage image = CaptureMachine();
  ASSERT_EQ(CheckMachineImage(image), "");
  ASSERT_TRUE(RunClockUntilHalt(100000));
  const uint32_t finished = RspCore.gpr[2];
  RestoreMachine(image);
  EXPECT_FALSE(RspHalted());
  EXPECT_EQ(RspCore.vu.reg[7].e[3], 0x1234u);
  EXPECT_EQ(RspCore.vu.vcc, 0xBEEFu);
  EXPECT_EQ(RspReadRegister(kSpStatus) & kSpStatusSignal0, kSpStatusSignal0);
  ASSERT_TRUE(RunClockUntilHalt(100000));
  EXPECT_EQ(RspCore.gpr[2], finished);
  EXPECT_EQ(finished, 15000u);
}

TEST_F(SpRegistersTest, AnAccurateStateRestoredIntoADefaultRunReachesTheDisplayProcessor) {
  std::vector<uint8_t> rom(0x2000, 0);
  rom[0] = 0x80, rom[1] = 0x37, rom[2] = 0x12, rom[3] = 0x40;
  LoadRom(rom);
  LoadMicrocode({Mfc0(6, 8 + kDpcStart), Break()});
  const TStateImage image = CaptureMachine();
  // A run of the default mode, in a program that never ran the accurate one.
  SetDpRegisterAccess(nullptr, nullptr);
  AccurateHardware = false;
  Reset();
  RestoreMachine(image);
  ASSERT_TRUE(AccurateHardware);
  RdpWriteRegister(kDpcStart, 0x3000);
  ASSERT_TRUE(RunUntilHalt());
  EXPECT_EQ(RspCore.gpr[6], 0x3000u);
}

TEST_F(SpRegistersTest, RandomMicrocodeStaysInsideItsMemories) {
  // Whatever IMEM holds, every access wraps in DMEM, every DMA stays in its memories and RDRAM,
  // and the processor only ever halts itself: run it (under the sanitizers) and look.
  std::mt19937 random(28);
  for (uint32_t round = 0; round < 20; ++round) {
    for (uint32_t i = 0; i < 0x1000; i += 4)
      SetPageWord(IMEMPage->Data, i, static_cast<uint32_t>(random()));
    for (uint32_t& reg : RspCore.gpr)
      reg = static_cast<uint32_t>(random());
    RspWritePc(static_cast<uint32_t>(random()));
    RspWriteRegister(kSpStatus, kSpClearHalt | kSpClearBroke | kSpClearSingleStep);
    RunClockUntilHalt(20'000);
    EXPECT_EQ(RspCore.gpr[0], 0u);
    EXPECT_EQ(RspReadPc() & ~0xFFCu, 0u);
  }
}

TEST_F(SpRegistersTest, ABrokenSectionIsRefused) {
  std::vector<uint8_t> state = RspSaveState();
  EXPECT_EQ(RspCheckState(state), "");
  EXPECT_NE(RspCheckState(std::vector<uint8_t>(state.begin(), state.end() - 4)), "");
  state[32 * 4] = 0x02;  // a PC off its word boundary
  EXPECT_NE(RspCheckState(state), "");
}

}  // namespace
}  // namespace vantor::test::rspcode
