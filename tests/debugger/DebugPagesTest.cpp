// The debugger's pages as text: register tabs, the disassembly view read from the address map,
// address parsing, scrolling and the breakpoint list.
#include "debugger/DebugPages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/StateFile.h"
#include "core/Accurate.h"
#include "core/AccurateExceptions.h"
#include "core/Cop0.h"
#include "core/CpuState.h"
#include "core/MachineImage.h"
#include "debugger/Breakpoints.h"
#include "debugger/Disassembler.h"
#include "debugger/RspDisassembler.h"
#include "memory/AddressMap.h"
#include "memory/RomImage.h"
#include "rsp/Rsp.h"
#include "tests/support/InstrEncoder.h"
#include "tests/support/Machine.h"
#include "tests/support/RomBytes.h"

namespace vantor {
namespace {

bool Has(const TTextPage& page, const TTextItem& item) {
  return std::find(page.begin(), page.end(), item) != page.end();
}

class DebugPagesTest : public test::MachineTest {};

TEST_F(DebugPagesTest, RegisterTabsAfterReset) {
  Cop1Regs[5] = 0x3FC00000;  // 1.5 as a single
  Cop1Regs[2] = 0x00000000;  // pair 1: 2.5 as a double, high word in FP03
  Cop1Regs[3] = 0x40040000;
  ViCounter = -5;
  const TMachineSnapshot shot = TakeSnapshot(0);

  const TTextPage gpr = RegisterPage(shot, kGprTab, ".");
  EXPECT_EQ(gpr.size(), 32u * 3 + 5);
  EXPECT_TRUE(Has(gpr, {10, 290, "(1D)"}));
  EXPECT_TRUE(Has(gpr, {40, 290, "FFFFFFFF A4001FF0"}));
  EXPECT_TRUE(Has(gpr, {150, 290, "SP"}));
  EXPECT_TRUE(Has(gpr, {10, 320, "(PC)"}));
  EXPECT_TRUE(Has(gpr, {40, 320, "FFFFFFFF A4000040"}));
  EXPECT_TRUE(Has(gpr, {150, 330, "MUL/DIV Temp reg"}));

  const TTextPage cop0 = RegisterPage(shot, kCop0Tab, ".");
  EXPECT_TRUE(Has(cop0, {40, 120, "34000000"}));
  EXPECT_TRUE(Has(cop0, {100, 120, "STATUS"}));
  EXPECT_TRUE(Has(cop0, {40, 320, "FFFFFFFB"}));  // two's complement of -5
  EXPECT_TRUE(Has(cop0, {100, 320, "VI Counter"}));

  const TTextPage words = RegisterPage(shot, kCop1WordTab, ",");
  EXPECT_TRUE(Has(words, {60, 50, "3FC00000  1,500"}));
  EXPECT_TRUE(Has(words, {220, 50, "FP05"}));
  EXPECT_TRUE(Has(words, {10, 330, "(FCR31)"}));

  const TTextPage pairs = RegisterPage(shot, kCop1PairTab, ".");
  EXPECT_TRUE(Has(pairs, {10, 10, "(01)"}));
  EXPECT_TRUE(Has(pairs, {60, 10, "40040000 00000000"}));
  EXPECT_TRUE(Has(pairs, {174, 10, "2.500"}));  // on the pair's own line
  EXPECT_TRUE(Has(pairs, {270, 10, "FP02"}));
  EXPECT_TRUE(Has(pairs, {220, 320, "FCR0"}));
}

// Each item, as long as its text can get, within the view's grid and clear of the next item on
// its line: the views are sized from the grid, so nothing is cut off or overdrawn.
void ExpectFitsTheGrid(const TTextPage& page, TPageGrid grid, const std::string& what) {
  for (const TTextItem& item : page) {
    const double end = double(item.x) / kCellWidth + double(item.text.size());
    EXPECT_LE(end, grid.columns) << what << ": " << item.text;
    EXPECT_LT(item.y / kRowHeight, grid.rows) << what << ": " << item.text;
    for (const TTextItem& other : page) {
      if (other.y == item.y && other.x > item.x) {
        EXPECT_LE(end, double(other.x) / kCellWidth) << what << ": " << item.text;
      }
    }
  }
}

TEST_F(DebugPagesTest, TheWidestRegisterValuesFitTheirGrid) {
  UseAccurateHardware();  // two more lines on the GPR tab
  for (uint64_t& value : Gpr)
    value = 0xFFFFFFFFFFFFFFFF;
  AccurateHi = AccurateLo = 0xFFFFFFFFFFFFFFFF;
  for (uint32_t& word : Cop0Regs)
    word = 0xFFFFFFFF;
  // The longest values: negative with the largest exponent, single and double.
  for (uint32_t i = 0; i < 32; i += 2) {
    Cop1Regs[i] = 0xFFFFFFFF;
    Cop1Regs[i + 1] = 0xFFEFFFFF;
  }
  Cop1Regs[1] = 0xFF7FFFFF;
  const TMachineSnapshot shot = TakeSnapshot(0);
  EXPECT_EQ(FloatText(-std::numeric_limits<double>::max(), ",").size(), 14u);
  for (int tab = 0; tab < kRegTabs; ++tab)
    ExpectFitsTheGrid(RegisterPage(shot, tab, ","), kRegisterGrid, "tab " + std::to_string(tab));
}

TEST_F(DebugPagesTest, TheGprTabShowsHiAndLoInPlaceOfTheMulDivLineInAccurateMode) {
  MulDivTemp = 0x0000000100000002;
  AccurateHi = 0x1122334455667788;
  AccurateLo = 0xFFFFFFFFFFFFFFFE;
  const TTextPage plain = RegisterPage(TakeSnapshot(0), kGprTab, ".");
  EXPECT_TRUE(Has(plain, {40, 330, "00000001 00000002"}));
  EXPECT_TRUE(Has(plain, {150, 330, "MUL/DIV Temp reg"}));
  EXPECT_TRUE(std::none_of(plain.begin(), plain.end(), [](auto& i) { return i.y > 330; }));

  UseAccurateHardware();  // clears HI and LO
  AccurateHi = 0x1122334455667788;
  AccurateLo = 0xFFFFFFFFFFFFFFFE;
  const TTextPage accurate = RegisterPage(TakeSnapshot(0), kGprTab, ".");
  EXPECT_EQ(accurate.size(), 32u * 3 + 9);
  EXPECT_TRUE(Has(accurate, {10, 330, "(HI)"}));
  EXPECT_TRUE(Has(accurate, {40, 330, "11223344 55667788"}));
  EXPECT_TRUE(Has(accurate, {150, 330, "HI"}));
  EXPECT_TRUE(Has(accurate, {10, 340, "(LO)"}));
  EXPECT_TRUE(Has(accurate, {40, 340, "FFFFFFFF FFFFFFFE"}));
  EXPECT_TRUE(Has(accurate, {150, 340, "LO"}));
  EXPECT_TRUE(Has(accurate, {40, 320, "FFFFFFFF A4000040"}));  // PC's line stays
  EXPECT_TRUE(std::none_of(accurate.begin(), accurate.end(),
                           [](auto& i) { return i.text.starts_with("MUL/DIV"); }));
}

TEST_F(DebugPagesTest, SignalProcessorTabsShowBothUnitsAndTheSpRegisters) {
  UseAccurateHardware();
  RspCore.gpr[31] = 0x00000ABC;
  RspWritePc(0x124);
  RspCore.vu.reg[5].e[7] = 0xBEEF;
  RspCore.vu.accMid.e[0] = 0x1234;
  RspCore.vu.vco = 0x00FF;
  RspCore.vu.vce = 0x81;
  RspWriteRegister(kSpDramAddr, 0x123458);
  // The view over the SP registers reads SP_SEMAPHORE without taking it.
  const TMachineSnapshot shot = TakeSnapshot(0xA4040010);
  EXPECT_EQ(RspPeekRegister(kSpSemaphore), 0u);
  EXPECT_EQ(shot.words[kViewLead / 4], kSpStatusHalt);

  const TTextPage scalar = RegisterPage(shot, kRspTab, ".");
  EXPECT_TRUE(Has(scalar, {10, 310, "(1F)"}));
  EXPECT_TRUE(Has(scalar, {40, 310, "00000ABC"}));
  EXPECT_TRUE(Has(scalar, {100, 310, "RA"}));
  EXPECT_TRUE(Has(scalar, {150, 10, "DRAM_ADDR"}));
  EXPECT_TRUE(Has(scalar, {210, 10, "00123458"}));
  EXPECT_TRUE(Has(scalar, {210, 40, "00000001"}));  // STATUS: halted
  EXPECT_TRUE(Has(scalar, {210, 90, "00000124"}));  // PC

  const TTextPage vector = RegisterPage(shot, kRspVectorTab, ".");
  EXPECT_TRUE(Has(vector, {4, 50, "05"}));
  EXPECT_TRUE(Has(vector, {22, 50, "0000 0000 0000 0000 0000 0000 0000 BEEF"}));
  EXPECT_TRUE(Has(vector, {4, 330, "AM"}));
  EXPECT_TRUE(Has(vector, {22, 330, "1234 0000 0000 0000 0000 0000 0000 0000"}));
  EXPECT_TRUE(Has(scalar, {150, 110, "VCO"}));
  EXPECT_TRUE(Has(scalar, {210, 110, "00FF"}));
  EXPECT_TRUE(Has(scalar, {210, 130, "81"}));
}

TEST_F(DebugPagesTest, InAccurateModeTheViewShowsImemAsTheSignalProcessorsCode) {
  // A vector load in IMEM, read as the main processor's SWC2 in the default mode.
  const uint32_t lqv = 0xC8020800 | 0x3F;  // lqv $v2[0], -16(zero)
  Poke(0xA4001008, lqv);
  const TTextPage plain = DisassemblyPage(TakeSnapshot(0xA4001008));
  EXPECT_TRUE(Has(plain, {20, 160, "A4001008 : " + DisasmOpcode(lqv, 0xA4001008)}));

  UseAccurateHardware();
  Poke(0xA4001008, lqv);
  RspWritePc(0x008);
  const TTextPage accurate = DisassemblyPage(TakeSnapshot(0xA4001008));
  EXPECT_TRUE(Has(accurate, {20, 160, "A4001008 : " + DisasmRspOpcode(lqv, 0xA4001008)}));
  EXPECT_NE(DisasmRspOpcode(lqv, 0xA4001008), DisasmOpcode(lqv, 0xA4001008));
  EXPECT_TRUE(Has(accurate, {0, 160, "=>"}));
}

// In the accurate mode the view reads through the TLB: a mapped page shows its physical words,
// a page no entry maps shows as unmapped, and reading it raises nothing.
TEST_F(DebugPagesTest, TheAccurateViewReadsThroughTheTlbAndRaisesNothing) {
  UseAccurateHardware();
  Poke(0x80010000, test::EncodeI(9, 9, 9, 1));
  TlbEntry& entry = Tlb[0];
  entry = TlbEntry{};
  entry.Vpn2 = 0x40000000 >> 13;
  entry.Global = 1;
  entry.EvenPfn = 0x10;
  entry.EvenValid = 1;
  const uint32_t cause = Cop0Regs[CAUSE];
  const TTextPage view = DisassemblyPage(TakeSnapshot(0x40000000));
  EXPECT_TRUE(
      Has(view, {20, 160, "40000000 : " + DisasmOpcode(test::EncodeI(9, 9, 9, 1), 0x40000000)}));
  EXPECT_TRUE(Has(view, {20, 150, "3FFFFFFC : * UNMAPPED MEMORY! *"}));
  EXPECT_EQ(Cop0Regs[CAUSE], cause);
  EXPECT_EQ(PC.Lo, 0xA4000040u);
}

// A user program's view in the accurate mode: its mapped page reads through the TLB with its
// ASID; the entry's invalid half, a misaligned view and the kernel's segments show as unmapped;
// and none of it changes the machine (COP0, the TLB, the clock, memory).
TEST_F(DebugPagesTest, TheAccurateViewOfAUserProgramChangesNothing) {
  UseAccurateHardware();
  LoadRom(test::CodeRom({test::EncodeI(9, 9, 9, 1)}));
  const uint32_t addiu = test::EncodeI(9, 9, 9, 1);
  Poke(0x80010FFC, addiu);
  for (TlbEntry& entry : Tlb) {
    entry = TlbEntry{};
    entry.Vpn2 = 0x7FFFF;  // matches nothing here
  }
  Tlb[5].Vpn2 = 0x00400000 >> 13;
  Tlb[5].Asid = 7;
  Tlb[5].EvenPfn = 0x10;
  Tlb[5].EvenValid = 1;
  Tlb[5].OddPfn = 0x11;     // not valid
  Cop0Regs[STATUS] = 0x10;  // user mode
  Cop0Regs[ENTRYHI] = 7;
  const uint32_t raised = RaisedException;
  const TStateImage before = CaptureMachine();

  const TTextPage edge = DisassemblyPage(TakeSnapshot(0x00401000));
  EXPECT_TRUE(Has(edge, {20, 150, "00400FFC : " + DisasmOpcode(addiu, 0x00400FFC)}));
  EXPECT_TRUE(Has(edge, {20, 160, "00401000 : * UNMAPPED MEMORY! *"}));
  for (const uint32_t unreadable : {0x00400002u, 0x80010FFCu, 0xA4001000u}) {
    const TTextPage view = DisassemblyPage(TakeSnapshot(unreadable));
    EXPECT_EQ(std::count_if(view.begin(), view.end(),
                            [](const TTextItem& item) {
                              return item.text.ends_with(" : * UNMAPPED MEMORY! *");
                            }),
              kViewLines)
        << std::hex << unreadable;
  }

  const TStateImage after = CaptureMachine();
  ASSERT_EQ(before.Sections.size(), after.Sections.size());
  for (size_t i = 0; i < before.Sections.size(); ++i)
    EXPECT_TRUE(before.Sections[i].Data == after.Sections[i].Data) << before.Sections[i].Name;
  EXPECT_EQ(RaisedException, raised);
  EXPECT_TRUE(host.Lines().empty());
}

TEST(FloatTextTest, SevenSignificantDigitsThreeDecimalsOrScientific) {
  EXPECT_EQ(FloatText(1.5, "."), "1.500");
  EXPECT_EQ(FloatText(-0.0626, ","), "-0,063");
  EXPECT_EQ(FloatText(123456.789, "."), "123456.800");
  EXPECT_EQ(FloatText(9999999.0, "."), "9999999.000");
  EXPECT_EQ(FloatText(12345678.0, "."), "1.234568E+07");
  EXPECT_EQ(FloatText(-3e300, ","), "-3,000000E+300");
  EXPECT_EQ(FloatText(std::numeric_limits<double>::infinity(), "."), "inf");
  EXPECT_EQ(FloatText(-std::numeric_limits<double>::infinity(), "."), "-inf");
  EXPECT_EQ(FloatText(std::numeric_limits<double>::quiet_NaN(), "."), "nan");
}

TEST_F(DebugPagesTest, BeforeAnyMapEveryLineIsIllegalMemory) {
  std::fill(std::begin(ReadTable), std::end(ReadTable), nullptr);
  const TTextPage view = DisassemblyPage(TakeSnapshot(0));
  ASSERT_EQ(view.size(), 32u);  // PC is not among these lines: no arrow
  EXPECT_EQ(view.front(), (TTextItem{20, 0, "FFFFFFC0 : * ILLEGAL MEMORY! *"}));
  EXPECT_EQ(view.back(), (TTextItem{20, 310, "0000003C : * ILLEGAL MEMORY! *"}));
  for (const TTextItem& line : view)
    EXPECT_TRUE(line.text.ends_with(" : * ILLEGAL MEMORY! *")) << line.text;
}

TEST_F(DebugPagesTest, TheViewReadsMappedPagesAndNeverTouchesUnmappedOnes) {
  LoadRom(test::CodeRom({test::EncodeI(9, 9, 9, 1)}));  // addiu t1, t1, 1 at A4000040
  const TTextPage view = DisassemblyPage(TakeSnapshot(0xA4000040));
  EXPECT_TRUE(
      Has(view, {20, 160, "A4000040 : " + DisasmOpcode(test::EncodeI(9, 9, 9, 1), 0xA4000040)}));
  EXPECT_TRUE(Has(view, {0, 160, "->"}));
  EXPECT_EQ(std::count_if(view.begin(), view.end(), [](auto& i) { return i.text == "->"; }), 1);

  const TTextPage unmapped = DisassemblyPage(TakeSnapshot(0x00001000));
  EXPECT_EQ(unmapped.front().text, "00000FC0 : * UNMAPPED MEMORY! *");
  EXPECT_EQ(unmapped.back().text, "0000103C : * UNMAPPED MEMORY! *");
  EXPECT_TRUE(host.Lines().empty());  // the unmapped-page handler was never called
}

TEST_F(DebugPagesTest, BreakpointLinesAreMarkedAndTheLongestLinesFit) {
  // The longest instruction text at the view's first line, a breakpoint on it and on PC's line.
  LoadRom(test::CodeRom({0x00000028, test::EncodeI(9, 9, 9, 1)}));  // a reserved function
  const TTextPage view =
      DisassemblyPage(TakeSnapshot(0xA4000080), {0xA4000040, 0xA4000044, 0x80000000});
  EXPECT_EQ(view.front().text.size(), 11u + kLongestDisasmText);
  EXPECT_EQ(view.front().tone, TTextTone::Break);
  EXPECT_TRUE(Has(view, {12, 0, "*", TTextTone::Break}));
  EXPECT_TRUE(Has(view, {12, 10, "*", TTextTone::Break}));
  EXPECT_TRUE(Has(view, {0, 0, "->"}));  // PC's arrow beside the mark
  EXPECT_EQ(
      std::count_if(view.begin(), view.end(), [](auto& i) { return i.tone == TTextTone::Break; }),
      4);
  EXPECT_TRUE(Has(view, {20, 20, "A4000048 : " + DisasmOpcode(0, 0xA4000048)}));
  ExpectFitsTheGrid(view, kDisassemblyGrid, "disassembly");
}

TEST_F(DebugPagesTest, CartridgePagesOfAClosedRomAreNotRead) {
  LoadRom(test::CodeRom({0x24090001}));
  UnloadRomImage();  // the map still points into the freed image
  const TTextPage view = DisassemblyPage(TakeSnapshot(0xB0000040));
  for (const TTextItem& line : view)
    EXPECT_TRUE(line.text.ends_with("* UNMAPPED MEMORY! *")) << line.text;
  // Main memory is still there to read.
  EXPECT_EQ(DisassemblyPage(TakeSnapshot(0x80000040))[0].text,
            "80000000 : " + DisasmOpcode(0, 0x80000000));
}

TEST(ViewTest, ClicksScrollingAndFollowingPc) {
  EXPECT_EQ(ClickedAddress(0x80001000, 40), 0x80001000u - 48);
  EXPECT_EQ(ClickedAddress(0x80001000, 49), 0x80001000u - 48);
  EXPECT_EQ(ClickedAddress(0x80001000, 160), 0x80001000u);
  EXPECT_EQ(ClickedAddress(0, 0), 0xFFFFFFC0u);

  const uint32_t pc = 0xA4000040;
  EXPECT_EQ(ScrolledViewAddr(0x100, TScrollCode::LineUp, pc), 0xFCu);
  EXPECT_EQ(ScrolledViewAddr(0x100, TScrollCode::LineDown, pc), 0x104u);
  EXPECT_EQ(ScrolledViewAddr(0x20, TScrollCode::PageUp, pc), 0xFFFFFFE0u);
  EXPECT_EQ(ScrolledViewAddr(0x100, TScrollCode::PageDown, pc), 0x140u);
  EXPECT_EQ(ScrolledViewAddr(0x100, TScrollCode::Top, pc), pc);
  EXPECT_EQ(ScrolledViewAddr(0x100, TScrollCode::Bottom, pc), pc);
  EXPECT_EQ(ScrolledViewAddr(0x100, TScrollCode::Thumb, pc), 0x100u);

  EXPECT_EQ(FollowPc(0x1000, 0x1000 - 64), 0x1000u);  // first line
  EXPECT_EQ(FollowPc(0x1000, 0x1000 + 60), 0x1000u);  // last line
  EXPECT_EQ(FollowPc(0x1000, 0x1000 + 64), 0x1040u);
  EXPECT_EQ(FollowPc(0x1000, 0x1000 - 68), 0xFBCu);
  EXPECT_EQ(FollowPc(0, 0xFFFFFFC0), 0u);  // across the wrap
}

TEST(HexToAddrTest, HexDigitsOnlyEachOtherCharacterReported) {
  int bad = 0;
  const auto report = [&] { ++bad; };
  EXPECT_EQ(HexToAddr("80000400", report), 0x80000400u);
  EXPECT_EQ(HexToAddr("", report), 0u);
  EXPECT_EQ(bad, 0);
  EXPECT_EQ(HexToAddr("8g0a", report), 0x80u);  // lower case is no digit either
  EXPECT_EQ(bad, 2);
  EXPECT_EQ(HexToAddr("123456789", report), 0x23456789u);  // 32-bit arithmetic
}

TEST(BreakListTest, DuplicatesAreRefusedAndEntriesKeepTheirOrder) {
  TBreakList list;
  EXPECT_TRUE(list.Add({.Addr = 0x80001000}));
  EXPECT_TRUE(list.Add({.Addr = 0x80000400}));
  EXPECT_FALSE(list.Add({.Addr = 0x80001000}));
  EXPECT_TRUE(list.Add({.Addr = 0x80001000, .Kind = 1}));
  ASSERT_EQ(list.Items().size(), 3u);
  EXPECT_EQ(BreakCaption(list.Items()[0]), "Addr of : 80001000");
  EXPECT_EQ(BreakCaption(list.Items()[2]), "");
  EXPECT_EQ(list.ExecutionAddresses(), (std::vector<uint32_t>{0x80001000, 0x80000400}));
  list.Remove(-1);
  list.Remove(3);
  list.Remove(0);
  EXPECT_EQ(list.ExecutionAddresses(), (std::vector<uint32_t>{0x80000400}));
}

}  // namespace
}  // namespace vantor
