#include "core/Cop0.h"

#include <gtest/gtest.h>

#include <set>

#include "core/Accurate.h"
#include "core/Cpu.h"
#include "core/RegisterAccess.h"
#include "memory/MipsInterface.h"
#include "memory/PlainPages.h"
#include "tests/support/InstrEncoder.h"
#include "tests/support/Machine.h"

namespace vantor {
namespace {

using Lines = std::vector<std::string>;
using test::CopMove;
using test::EncodeI;
using test::EncodeR;

constexpr uint32_t kCode = 0x80001000;
constexpr uint32_t kMfc0 = 0;
constexpr uint32_t kMtc0 = 4;
constexpr uint32_t kTlbGroup = 16;
constexpr uint32_t kTlbwi = 2;
constexpr uint32_t kEret = 24;

constexpr uint32_t TlbOp(uint32_t funct) {
  return EncodeR(16, kTlbGroup, 0, 0, 0, funct);
}
const uint32_t kAddiuT0 = EncodeI(9, 8, 8, 1);  // addiu t0, t0, 1
const uint32_t kAddiuT1 = EncodeI(9, 9, 9, 1);  // addiu t1, t1, 1

class Cop0Test : public test::MachineTest {};

TEST_F(Cop0Test, MovesSignExtendAndTakeTheLowWord) {
  Cop0Regs[EPC] = 0x80000000;
  RunWord(CopMove(16, kMfc0, 8, EPC));
  EXPECT_EQ(Gpr[8], 0xFFFFFFFF'80000000u);
  Cop0Regs[COUNT] = 0x7FFFFFFE;
  RunWord(CopMove(16, kMfc0, 8, COUNT));
  EXPECT_EQ(Gpr[8], 0x7FFFFFFFu);  // COUNT ticked before the move
  RunWord(CopMove(16, kMfc0, 0, EPC));
  EXPECT_EQ(Gpr[0], 0u);

  Gpr[9] = 0x12345678'9ABCDEF0;
  RunWord(CopMove(16, kMtc0, 9, WIRED));
  EXPECT_EQ(Cop0Regs[WIRED], 0x9ABCDEF0u);
}

TEST_F(Cop0Test, WritingCompareAcknowledgesTheTimerEvenWithTheSameValue) {
  Cop0Regs[COMPARE] = 0x100;
  Cop0Regs[CAUSE] = kCauseIP7 | kCauseIP2 | 0x7C;
  Gpr[9] = 0x100;
  RunWord(CopMove(16, kMtc0, 9, COMPARE));
  EXPECT_EQ(Cop0Regs[COMPARE], 0x100u);
  EXPECT_EQ(Cop0Regs[CAUSE], 0x7Cu);  // only bit 15 cleared; IP2 follows the idle MI_INTR

  Cop0Regs[CAUSE] = kCauseIP7;
  Gpr[9] = kCauseIP7;
  RunWord(CopMove(16, kMtc0, 9, CAUSE));  // other registers simply take the value
  EXPECT_EQ(Cop0Regs[CAUSE], kCauseIP7);
}

TEST_F(Cop0Test, UndefinedCodesAreReportedAndChangeNothing) {
  for (uint32_t rs = 0; rs < 32; ++rs) {
    SCOPED_TRACE(rs);
    const Lines lines = RunWord(CopMove(16, rs, 0, RESERVED0) | kEret);
    if (rs == kMfc0 || rs == kMtc0 || rs == kTlbGroup)
      EXPECT_NE(lines, Lines{"Illegal COP0 opcode at 80001000"});
    else
      EXPECT_EQ(lines, Lines{"Illegal COP0 opcode at 80001000"});
  }

  const std::set<uint32_t> defined = {1, 2, 6, 8, 24};
  Cop0Regs[INDEX] = 5;
  Cop0Regs[ENTRYHI] = 0x00400000;
  Cop0Regs[ENTRYLO0] = 0x100 << 6 | 2;
  for (uint32_t funct = 0; funct < 64; ++funct) {
    if (funct == kTlbwi || funct == kEret) continue;  // these log and transfer; tested below
    SCOPED_TRACE(funct);
    const uint32_t status = Cop0Regs[STATUS];
    const Lines lines = RunWord(TlbOp(funct));
    if (defined.contains(funct)) {
      EXPECT_EQ(lines, Lines{});
    } else {
      char digits[3];
      std::snprintf(digits, sizeof digits, "%02X", funct);
      EXPECT_EQ(lines, Lines{"Illegal COP0 TLB opcode " + std::string(digits) + " at 80001000"});
    }
    EXPECT_EQ(Cop0Regs[STATUS], status);
    EXPECT_EQ(PC.Lo, kCode + 4);
    EXPECT_EQ(ReadTable[0x00400], IllegalRead);  // TLBR, TLBWR and TLBP leave the map alone
  }
}

TEST_F(Cop0Test, ExceptionReturnContinuesAtEpcWithoutADelaySlot) {
  Program(kCode + 0x100, {kAddiuT1});
  Program(kCode, {TlbOp(kEret), kAddiuT0});
  Cop0Regs[STATUS] = kStatusEXL | kStatusERL;
  Cop0Regs[EPC] = kCode + 0x100;
  Cop0Regs[ERROREPC] = kCode + 0x200;
  Step();
  EXPECT_EQ(PC.Lo, kCode + 0x100);
  EXPECT_EQ(Cop0Regs[STATUS], kStatusERL);  // only the exception level is left
  Step();
  EXPECT_EQ(Gpr[8], 0u);
  EXPECT_EQ(Gpr[9], 1u);
  EXPECT_TRUE(host.Lines().empty());
}

TEST_F(Cop0Test, ExceptionReturnWithoutExceptionLevelUsesErrorEpc) {
  Program(kCode + 0x200, {kAddiuT1});
  Program(kCode, {TlbOp(kEret), kAddiuT0});
  Cop0Regs[STATUS] = kStatusERL | kStatusIE;
  Cop0Regs[EPC] = kCode + 0x100;
  Cop0Regs[ERROREPC] = kCode + 0x200;
  Step(2);
  EXPECT_EQ(Cop0Regs[STATUS], kStatusIE);
  EXPECT_EQ(Gpr[8], 0u);
  EXPECT_EQ(Gpr[9], 1u);
  EXPECT_EQ(PC.Lo, kCode + 0x204);
  EXPECT_EQ(host.Lines(), Lines{"ERREREPC Return?"});
}

// The accurate mode returns from an error first, as the r4300i does, and breaks the link of LL.
TEST_F(Cop0Test, AccurateExceptionReturnPrefersTheErrorLevel) {
  UseAccurateHardware();
  const struct {
    uint32_t status, statusAfter, target;
  } cases[] = {
      {kStatusEXL | kStatusERL, kStatusEXL, kCode + 0x200},
      {kStatusERL, 0, kCode + 0x200},
      {kStatusEXL, 0, kCode + 0x100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    Program(kCode, {TlbOp(kEret)});
    Cop0Regs[STATUS] = c.status;
    Cop0Regs[EPC] = kCode + 0x100;
    Cop0Regs[ERROREPC] = kCode + 0x200;
    LLBit = true;
    Step();
    EXPECT_EQ(PC.Lo, c.target);
    EXPECT_EQ(Cop0Regs[STATUS], c.statusAfter);
    EXPECT_FALSE(LLBit);
  }
  EXPECT_TRUE(host.Lines().empty());
}

class TlbTest : public Cop0Test {
 protected:
  // Writes entry `index` through TLBWI; lo values are PFN << 6 plus the flag bits.
  Lines Write(uint32_t index, uint32_t pageMask, uint32_t entryHi, uint32_t lo0, uint32_t lo1) {
    Cop0Regs[INDEX] = index;
    Cop0Regs[PAGEMASK] = pageMask;
    Cop0Regs[ENTRYHI] = entryHi;
    Cop0Regs[ENTRYLO0] = lo0;
    Cop0Regs[ENTRYLO1] = lo1;
    return RunWord(TlbOp(kTlbwi));
  }
  static uint64_t LoadWord(uint32_t address) {
    Gpr[10] = Sext32(address);
    ExecuteOpcode(EncodeI(35, 10, 11, 0));  // lw t3, 0(t2)
    return Gpr[11];
  }
  static constexpr uint32_t kValid = 2;
  static constexpr uint32_t Lo(uint32_t pfn, uint32_t flags) { return pfn << 6 | flags; }
};

TEST_F(TlbTest, WriteIndexedFillsTheEntryAndMapsBothHalvesOntoPhysicalPages) {
  Poke(0x80100010, 0x11223344);
  Poke(0x80200FFC, 0x55667788);
  const Lines lines = Write(7, 0, 0x00400000 | 0x2A, Lo(0x100, 0x1F), Lo(0x200, 0x2F));
  EXPECT_EQ(lines, (Lines{"Virtual address : 00400000", "Physical address : 00100000"}));

  const TlbEntry& e = Tlb[7];
  EXPECT_EQ(e.PageMask, 0u);
  EXPECT_EQ(e.Vpn2, 0x200u);
  EXPECT_EQ(e.Asid, 0x2Au);
  EXPECT_EQ(e.Global, 1);
  EXPECT_EQ(e.EvenPfn, 0x100u);
  EXPECT_EQ(e.EvenCache, 3u);
  EXPECT_EQ(e.EvenDirty, 1);
  EXPECT_EQ(e.EvenValid, 1);
  EXPECT_EQ(e.OddPfn, 0x200u);
  EXPECT_EQ(e.OddCache, 5u);
  EXPECT_EQ(e.OddDirty, 1);
  EXPECT_EQ(e.OddValid, 1);

  EXPECT_EQ(LoadWord(0x00400010), 0x11223344u);
  EXPECT_EQ(LoadWord(0x00401FFC), 0x55667788u);
  EXPECT_EQ(PageTable[0x00401], RDRAM->Data + 0x200000);
  EXPECT_EQ(ReadTable[0x00402], IllegalRead);
  EXPECT_EQ(host.Lines(), lines);  // mapped pages load without a report
}

TEST_F(TlbTest, PageMaskWidensBothHalvesAndRegisterPagesKeepTheirHandlers) {
  // 16 KB halves: the even half at 0xC0000000 shows the MI registers, the odd half RDRAM.
  Write(0, 0x6000, 0xC0006000, Lo(0x04300 | 3, kValid), Lo(0x40, kValid));
  EXPECT_EQ(host.Lines(), (Lines{"Virtual address : C0000000", "Physical address : 04300000"}));
  *MI_INTR = 0x2A;
  EXPECT_EQ(LoadWord(0xC0003008), 0x2Au);
  EXPECT_EQ(ReadTable[0xC0003], MIRead);
  EXPECT_EQ(WriteTable[0xC0003], MIWrite);
  for (uint32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(PageTable[0xC0000 + i], MIRegisterPage->Data);
    EXPECT_EQ(PageTable[0xC0004 + i], RDRAM->Data + (0x40 + i) * 0x1000);
  }
  EXPECT_EQ(ReadTable[0xC0008], IllegalRead);
}

TEST_F(TlbTest, InvalidHalvesMapLikeValidOnes) {
  Write(3, 0, 0x00400000, Lo(0x100, 0), Lo(0x101, 0x3C));  // V clear, other flags in any state
  EXPECT_EQ(PageTable[0x00400], RDRAM->Data + 0x100000);
  EXPECT_EQ(PageTable[0x00401], RDRAM->Data + 0x101000);
  EXPECT_EQ(ReadTable[0x00401], RamRead);
}

TEST_F(TlbTest, WritingAnEntryNeverTakesPagesOutOfTheMap) {
  // A never-used index holds zeros, which name virtual pages 0 and 1: writing it must not
  // unmap them from the entry that mapped them.
  Write(1, 0, 0x00000000, Lo(0x100, kValid), Lo(0x101, kValid));
  Tlb[2] = {};
  Write(2, 0, 0x00400000, Lo(0x200, kValid), Lo(0x201, kValid));
  EXPECT_EQ(PageTable[0x00000], RDRAM->Data + 0x100000);
  EXPECT_EQ(PageTable[0x00001], RDRAM->Data + 0x101000);

  // Rewriting an index keeps what it mapped before; mappings last until the next start.
  Write(2, 0, 0x00800000, Lo(0x200, kValid), Lo(0x201, kValid));
  EXPECT_EQ(ReadTable[0x00400], RamRead);
  EXPECT_EQ(ReadTable[0x00801], RamRead);

  // An index written in an earlier run: the next run has remapped its pages through another one.
  InitMemoryMap();
  EXPECT_EQ(ReadTable[0x00800], IllegalRead);
  Write(6, 0, 0x00800000, Lo(0x300, kValid), Lo(0x301, kValid));
  Write(2, 0, 0x00C00000, Lo(0x200, kValid), Lo(0x201, kValid));
  EXPECT_EQ(PageTable[0x00800], RDRAM->Data + 0x300000);
  EXPECT_EQ(PageTable[0x00801], RDRAM->Data + 0x301000);

  // The idiom that invalidates an entry points it into the unmapped segment, which stays as it is.
  Write(3, 0, 0x80000000, 0, 0);
  EXPECT_EQ(PageTable[0x80000], RDRAM->Data);
  EXPECT_EQ(PageTable[0x80001], RDRAM->Data + 0x1000);
  EXPECT_EQ(ReadTable[0xA0001], RamRead);
}

TEST_F(TlbTest, IndexAndPageRangesStayInsideTheirTables) {
  Write(0xFFFFFFFF, 0, 0x00400000, Lo(0x100, kValid), 0);
  EXPECT_EQ(Tlb[31].Vpn2, 0x200u);

  // A three-page mask near the top: the odd half would end one page past the table.
  Write(30, 0x4000, 0xFFFFE000, Lo(0x10, kValid), Lo(0x20, kValid));
  EXPECT_EQ(host.Lines(), (Lines{"Virtual address : FFFFA000", "Physical address : 00010000"}));
  EXPECT_EQ(PageTable[0xFFFFA], RDRAM->Data + 0x10000);
  EXPECT_EQ(PageTable[0xFFFFF], RDRAM->Data + 0x22000);

  // Just below the kernel segments the same shape stops at 0x80000000.
  Write(29, 0x4000, 0x7FFFE000, Lo(0x10, kValid), Lo(0x20, kValid));
  EXPECT_EQ(PageTable[0x7FFFF], RDRAM->Data + 0x22000);
  EXPECT_EQ(PageTable[0x80000], RDRAM->Data);

  // Physical pages past the 512 MB the map can show are not reachable.
  Write(28, 0, 0x00600000, Lo(0x20000, kValid), Lo(0x1FC00, kValid));
  EXPECT_EQ(ReadTable[0x00600], IllegalRead);
  EXPECT_EQ(PageTable[0x00601], PIFPage->Data);
}

}  // namespace
}  // namespace vantor
