// The command registers, the command fetch from RDRAM and DMEM, the DP interrupt on the machine
// clock, hostile lists and the save-state section.
#include <gtest/gtest.h>

#include <random>

#include "common/MachineState.h"
#include "core/Accurate.h"
#include "core/MachineImage.h"
#include "core/Scheduler.h"
#include "memory/AddressMap.h"
#include "memory/PlainPages.h"
#include "memory/SignalProcessor.h"
#include "rdp/Rdp.h"
#include "tests/rdp/RdpCommands.h"

namespace vantor::test {
namespace {

class RdpRegistersTest : public RdpTest {};

uint32_t ReadMapped(uint32_t address) {
  return ReadTable[address >> 12](address >> 12, address & 0xFFF);
}
void WriteMapped(uint32_t address, uint32_t value) {
  WriteTable[address >> 12](address >> 12, address & 0xFFF, value);
}

// A 16-bit image 16 pixels wide filled with one colour, then SYNC_FULL.
TCommands FillList(uint32_t color) {
  return {SetColorImage(0, 2, 16, kColorAddress),
          SetScissor(0, 0, Q(16), Q(16)),
          TModes{.cycle = 3}.Word(),
          SetFillColor(color),
          FillRectangle(0, 0, Q(15), Q(15)),
          SyncFull()};
}

TEST_F(RdpRegistersTest, StartEndAndCurrentRunAListAndTheStatusFollows) {
  const TCommands list = FillList(0x12341234);
  for (size_t i = 0; i < list.size(); ++i) {
    PokeWord(kListAddress + static_cast<uint32_t>(i) * 8, static_cast<uint32_t>(list[i] >> 32));
    PokeWord(kListAddress + static_cast<uint32_t>(i) * 8 + 4, static_cast<uint32_t>(list[i]));
  }
  const uint32_t end = kListAddress + static_cast<uint32_t>(list.size()) * 8;
  // Addresses keep 24 bits in 64-bit steps; START waits for END.
  RdpWriteRegister(kDpcStart, 0xFF000000 | kListAddress | 7);
  EXPECT_EQ(RdpReadRegister(kDpcStart), kListAddress);
  EXPECT_EQ(RdpReadRegister(kDpcStatus) & (kDpcStatusStartValid | kDpcStatusCbufReady),
            kDpcStatusStartValid);
  EXPECT_EQ(RdpReadRegister(kDpcCurrent), 0u);
  RdpWriteRegister(kDpcEnd, end);
  EXPECT_EQ(RdpReadRegister(kDpcCurrent), kListAddress);
  EXPECT_EQ(
      RdpReadRegister(kDpcStatus) & (kDpcStatusStartValid | kDpcStatusCbufReady |
                                     kDpcStatusDmaBusy | kDpcStatusEndValid | kDpcStatusCmdBusy),
      kDpcStatusCbufReady | kDpcStatusDmaBusy | kDpcStatusEndValid | kDpcStatusCmdBusy);
  RunUntilIdle();
  EXPECT_EQ(RdpReadRegister(kDpcCurrent), end);
  EXPECT_EQ(RdpReadRegister(kDpcStatus) & ~kDpcStatusCbufReady, 0u);
  EXPECT_EQ(PeekWord(kColorAddress + 16 * 2 * 15 + 28), 0x12341234u);
  // The counters ran; CURRENT and the counters ignore writes, the clear bits zero them.
  const uint32_t clock = RdpReadRegister(kDpcClock);
  EXPECT_GT(clock, 64u);
  RdpWriteRegister(kDpcCurrent, 0);
  RdpWriteRegister(kDpcClock, 0);
  EXPECT_EQ(RdpReadRegister(kDpcCurrent), end);
  EXPECT_EQ(RdpReadRegister(kDpcClock), clock);
  RdpWriteRegister(kDpcStatus, kDpcClearClockCounter | kDpcClearBufferCounter |
                                   kDpcClearPipeCounter | kDpcClearTmemCounter);
  for (uint32_t r : {kDpcClock, kDpcBufBusy, kDpcPipeBusy, kDpcTmem})
    EXPECT_EQ(RdpReadRegister(r), 0u) << r;
  // The set and clear bits of XBUS, freeze and flush.
  RdpWriteRegister(kDpcStatus, kDpcSetXbus | kDpcSetFlush);
  EXPECT_EQ(RdpReadRegister(kDpcStatus) & 7, kDpcStatusXbus | kDpcStatusFlush);
  RdpWriteRegister(kDpcStatus, kDpcClearXbus | kDpcClearFlush | kDpcSetFreeze);
  EXPECT_EQ(RdpReadRegister(kDpcStatus) & 7, kDpcStatusFreeze);
  // END alone continues the list from CURRENT.
  RdpWriteRegister(kDpcStatus, kDpcClearFreeze);
  PokeWord(end, static_cast<uint32_t>(SetFillColor(0) >> 32));
  PokeWord(end + 4, 0);
  RdpWriteRegister(kDpcEnd, end + 8);
  RunUntilIdle();
  EXPECT_EQ(RdpReadRegister(kDpcCurrent), end + 8);
}

TEST_F(RdpRegistersTest, TheAccurateMapShowsTheRegistersAndTheDefaultMachineDoesNot) {
  Run(FillList(0));
  for (uint32_t segment : {0x80000000u, 0xA0000000u}) {
    EXPECT_EQ(ReadMapped(segment | 0x04100004), RdpReadRegister(kDpcEnd));
    // The page repeats every 4 KB, and its storage mirrors the registers for byte loads.
    EXPECT_EQ(ReadMapped(segment | 0x04108004), RdpReadRegister(kDpcEnd));
    EXPECT_EQ(PageWord(PageTable[(segment | 0x04100000) >> 12], 4), RdpReadRegister(kDpcEnd));
    EXPECT_EQ(ReadMapped(segment | 0x04200000), 0u);
  }
  WriteMapped(0xA4100000, kListAddress + 0x100);
  EXPECT_EQ(RdpReadRegister(kDpcStart), kListAddress + 0x100);
  // The default machine leaves the range unmapped.
  AccurateHardware = false;
  Reset();
  EXPECT_EQ(ReadTable[0xA4100], IllegalRead);
  EXPECT_EQ(ReadTable[0x84200], IllegalRead);
}

TEST_F(RdpRegistersTest, SyncFullRaisesTheInterruptWhenTheWorkBeforeItIsDone) {
  TCommands list = FillList(0xFFFFFFFF);
  // A one-cycle rectangle of 64 x 64 pixels takes thousands of cycles.
  list.insert(list.end() - 1, {SetColorImage(0, 2, 64, kColorAddress), TModes{}.Word(),
                               SetScissor(0, 0, Q(64), Q(64)), FillRectangle(0, 0, Q(64), Q(64))});
  for (size_t i = 0; i < list.size(); ++i) {
    PokeWord(kListAddress + static_cast<uint32_t>(i) * 8, static_cast<uint32_t>(list[i] >> 32));
    PokeWord(kListAddress + static_cast<uint32_t>(i) * 8 + 4, static_cast<uint32_t>(list[i]));
  }
  RdpWriteRegister(kDpcStart, kListAddress);
  RdpWriteRegister(kDpcEnd, kListAddress + static_cast<uint32_t>(list.size()) * 8);
  // The interrupt waits for the cycles the list takes, one pixel a cycle at two thirds of the
  // processor's clock, and comes with the last event of the work.
  uint64_t raisedAt = 0;
  while (MachineClock.Pending(TEventKind::DpWork)) {
    EXPECT_EQ(*MI_INTR & kMiIntrDP, 0u);
    MachineClock.Advance(MachineClock.CyclesToNextEvent());
    MachineClock.RunDue();
    if ((*MI_INTR & kMiIntrDP) != 0 && raisedAt == 0) raisedAt = MachineClock.Now();
  }
  EXPECT_GE(raisedAt, 64u * 64u * 3 / 2);
  EXPECT_EQ(raisedAt, MachineClock.Now());
  // MI_MODE's clear bit drops it; other MI_MODE writes leave it.
  WriteMapped(0xA4300000, 0x100);
  EXPECT_EQ(*MI_INTR & kMiIntrDP, kMiIntrDP);
  WriteMapped(0xA4300000, kMiModeClearDP);
  EXPECT_EQ(*MI_INTR & kMiIntrDP, 0u);
}

TEST_F(RdpRegistersTest, XbusFetchesTheListFromDmem) {
  const TCommands list = FillList(0xABCDABCD);
  for (size_t i = 0; i < list.size(); ++i) {
    SetPageWord(DMEMPage->Data, 0x800 + static_cast<uint32_t>(i) * 8,
                static_cast<uint32_t>(list[i] >> 32));
    SetPageWord(DMEMPage->Data, 0x804 + static_cast<uint32_t>(i) * 8,
                static_cast<uint32_t>(list[i]));
  }
  RdpWriteRegister(kDpcStatus, kDpcSetXbus);
  RdpWriteRegister(kDpcStart, 0x800);
  RdpWriteRegister(kDpcEnd, 0x800 + static_cast<uint32_t>(list.size()) * 8);
  RunUntilIdle();
  EXPECT_EQ(PeekWord(kColorAddress), 0xABCDABCDu);
  EXPECT_EQ(*MI_INTR & kMiIntrDP, kMiIntrDP);
}

TEST_F(RdpRegistersTest, ACommandSplitAcrossTwoListsWaitsForItsEndAndFreezeHoldsTheList) {
  TCommands list = {SetColorImage(0, 2, 16, kColorAddress), SetScissor(0, 0, Q(16), Q(16)),
                    TModes{.cycle = 3}.Word(), SetFillColor(0x77777777)};
  const TCommands triangle = EdgeTriangle(true, 16, 16, 0, 0, 0, 0, 0, 4 << 16, -(1 << 16));
  list.insert(list.end(), triangle.begin(), triangle.end());
  for (size_t i = 0; i < list.size(); ++i) {
    PokeWord(kListAddress + static_cast<uint32_t>(i) * 8, static_cast<uint32_t>(list[i] >> 32));
    PokeWord(kListAddress + static_cast<uint32_t>(i) * 8 + 4, static_cast<uint32_t>(list[i]));
  }
  RdpWriteRegister(kDpcStatus, kDpcSetFreeze);
  RdpWriteRegister(kDpcStart, kListAddress);
  RdpWriteRegister(kDpcEnd, kListAddress + 6 * 8);
  RunUntilIdle();
  EXPECT_EQ(RdpReadRegister(kDpcCurrent), kListAddress);
  RdpWriteRegister(kDpcStatus, kDpcClearFreeze);
  RunUntilIdle();
  // Two of the triangle's four words are in: nothing drawn yet.
  EXPECT_EQ(RdpReadRegister(kDpcCurrent), kListAddress + 6 * 8);
  EXPECT_EQ(PeekHalf(kColorAddress), 0u);
  RdpWriteRegister(kDpcEnd, kListAddress + 8 * 8);
  RunUntilIdle();
  EXPECT_EQ(PeekHalf(kColorAddress), 0x7777u);
}

TEST_F(RdpRegistersTest, AHostileListStaysInsideRdramAndNeverHoldsUpTheClock) {
  // An image whose rows run past the end of RDRAM, drawn in every mode that writes.
  const uint32_t nearEnd = RDRAM->Size - 64;
  TCommands list = {SetColorImage(0, 3, 1024, nearEnd),
                    SetZImage(RDRAM->Size - 8),
                    SetScissor(0, 0, 0xFFF, 0xFFF),
                    TModes{.cycle = 3}.Word(),
                    SetFillColor(0xFFFFFFFF),
                    FillRectangle(0, 0, 0xFFF, 0xFFF),
                    TModes{.zUpdate = true, .zCompare = true}.Word(),
                    FillRectangle(0, 0, 0xFFF, 0xFFF),
                    SetColorImage(0, 2, 1024, 0x3FFFFFE),
                    TModes{.cycle = 1}.Word(),
                    FillRectangle(0, 0, 0xFFF, 0xFFF),
                    SetTextureImage(0, 3, 1024, RDRAM->Size - 4),
                    SetTile({.size = 3, .line = 0x1FF, .tmem = 0x1FF}),
                    LoadTile(0, 0, 0, 0xFFF, 0xFFF),
                    LoadBlock(0, 0, 0, 0xFFF, 0xFFF),
                    LoadTlut(0, 0, 0, 0xFFF, 0xFFF),
                    SyncFull()};
  Run(list);
  // The one-cycle rectangle left black with full coverage in the last word.
  EXPECT_EQ(PeekWord(RDRAM->Size - 4), 0xE0u);
  EXPECT_EQ(*MI_INTR & kMiIntrDP, kMiIntrDP);
  // A list of 16 MB of random words: each slice of work ends, and the list runs to its end.
  std::mt19937 random(29);
  for (uint32_t i = 0; i < 0x4000; i += 4)
    PokeWord(kListAddress + i, random());
  RdpWriteRegister(kDpcStart, 0);
  RdpWriteRegister(kDpcEnd, 0xFFFFF8);
  int slices = 0;
  while (MachineClock.Pending(TEventKind::DpWork)) {
    MachineClock.Advance(MachineClock.CyclesToNextEvent());
    MachineClock.RunDue();
    ++slices;
  }
  EXPECT_EQ(RdpReadRegister(kDpcCurrent), 0xFFFFF8u);
  EXPECT_GT(slices, 100);
}

TEST_F(RdpRegistersTest, TheStateSectionCarriesAListHalfwayThrough) {
  TCommands list = {SetColorImage(0, 2, 16, kColorAddress),
                    SetScissor(0, 0, Q(16), Q(16)),
                    TModes{.cycle = 3}.Word(),
                    SetFillColor(0x55555555),
                    SetTile({.tile = 3, .palette = 7}),
                    SetTileSize(3, 1, 2, 3, 4)};
  const TCommands triangle = EdgeTriangle(true, 16, 16, 0, 0, 0, 0, 0, 4 << 16, -(1 << 16));
  list.insert(list.end(), triangle.begin(), triangle.end());
  for (size_t i = 0; i < list.size(); ++i) {
    PokeWord(kListAddress + static_cast<uint32_t>(i) * 8, static_cast<uint32_t>(list[i] >> 32));
    PokeWord(kListAddress + static_cast<uint32_t>(i) * 8 + 4, static_cast<uint32_t>(list[i]));
  }
  RdpWriteRegister(kDpcStart, kListAddress);
  RdpWriteRegister(kDpcEnd, kListAddress + 8 * 8);
  RunUntilIdle();
  const std::vector<uint8_t> saved = RdpSaveState();
  EXPECT_EQ(RdpCheckState(saved), "");
  // The section is part of a state of the accurate mode only.
  const TStateImage image = CaptureMachine();
  ASSERT_NE(image.Find(kRdpStateSection), nullptr);
  EXPECT_EQ(image.Find(kRdpStateSection)->Data, saved);
  RdpReset();
  RdpRestoreState(saved);
  EXPECT_EQ(RdpSaveState(), saved);
  RdpWriteRegister(kDpcEnd, kListAddress + 10 * 8);
  RunUntilIdle();
  EXPECT_EQ(PeekHalf(kColorAddress), 0x5555u);
  // Damaged sections are refused before anything is touched.
  std::vector<uint8_t> cut(saved.begin(), saved.end() - 1);
  EXPECT_NE(RdpCheckState(cut), "");
  std::vector<uint8_t> flag = saved;
  flag[3 * 4] = 2;
  EXPECT_NE(RdpCheckState(flag), "");
  std::vector<uint8_t> gathered = saved;
  gathered[13 * 4] = 22;
  EXPECT_NE(RdpCheckState(gathered), "");
  AccurateHardware = false;
  EXPECT_EQ(CaptureMachine().Find(kRdpStateSection), nullptr);
}

}  // namespace
}  // namespace vantor::test
