// The accurate mode's segments by privilege and addressing width, and its exception vectors.
#include <gtest/gtest.h>

#include "common/StateFile.h"
#include "core/Accurate.h"
#include "core/AccurateExceptions.h"
#include "core/AccurateMemory.h"
#include "core/AccurateOps.h"
#include "core/Cop0.h"
#include "core/CpuState.h"
#include "core/MachineImage.h"
#include "tests/support/Machine.h"
#include "tests/support/RomBytes.h"

namespace vantor {
namespace {

using R = TTranslation::Result;

struct TCase {
  uint32_t status;
  uint64_t address;
  R result;
  uint32_t mapped = 0;  // the map address when Mapped
  bool wide = false;    // the XTLB refill vector when Refill
};

// STATUS values: kernel, supervisor (KSU 1), user (KSU 2), with the 64-bit bits and ERL/EXL.
constexpr uint32_t kKernel = 0, kSuper = 0x08, kUser = 0x10, kErl = 0x04, kExl = 0x02;
constexpr uint32_t kUx = 0x20, kSx = 0x40, kKx = 0x80;

const TCase kCases[] = {
    {kKernel, 0xFFFFFFFF'80001000, R::Mapped, 0x80001000},
    {kKernel, 0xFFFFFFFF'A0001000, R::Mapped, 0xA0001000},
    {kKernel, 0x00001000, R::Refill},
    {kKernel, 0xFFFFFFFF'C0000000, R::Refill},
    {kKernel, 0xFFFFFFFF'E0000000, R::Refill},
    {kKernel, 0x00000001'00000000, R::AddressError},  // not a 32-bit address
    {kKernel, 0x00000000'80000000, R::AddressError},
    {kKernel | kErl, 0x00001000, R::Mapped, 0x80001000},          // kuseg unmapped under ERL
    {kKernel | kKx, 0x90000000'00001000, R::Mapped, 0x80001000},  // xkphys
    {kKernel | kKx, 0x98000001'00000000, R::AddressError},
    {kKernel | kKx, 0x00000001'00000000, R::Refill, 0, true},
    {kKernel | kKx, 0x40000000'00000000, R::Refill, 0, true},
    {kKernel | kKx, 0xC0000000'00000000, R::Refill, 0, true},
    {kKernel | kKx, 0xC00000FF'80000000, R::AddressError},
    {kKernel | kKx, 0x00000100'00000000, R::AddressError},  // past 2^40
    {kKernel | kKx, 0xFFFFFFFF'80001000, R::Mapped, 0x80001000},
    {kSuper, 0xFFFFFFFF'80001000, R::AddressError},
    {kSuper, 0xFFFFFFFF'C0000000, R::Refill},
    {kSuper, 0xFFFFFFFF'E0000000, R::AddressError},
    {kSuper, 0x00001000, R::Refill},
    {kSuper | kSx, 0x40000000'00001000, R::Refill, 0, true},
    {kSuper | kSx, 0x90000000'00000000, R::AddressError},
    {kSuper | kSx, 0xC0000000'00000000, R::AddressError},
    {kUser, 0xFFFFFFFF'80001000, R::AddressError},
    {kUser, 0xFFFFFFFF'C0000000, R::AddressError},
    {kUser, 0x00001000, R::Refill},
    {kUser, 0x00000001'00000000, R::AddressError},
    {kUser | kUx, 0x00000001'00000000, R::Refill, 0, true},
    {kUser | kUx, 0x40000000'00000000, R::AddressError},
    {kUser | kExl, 0xFFFFFFFF'80001000, R::Mapped, 0x80001000},  // EXL: kernel mode
};

class AccurateAddressTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    UseAccurateHardware();
    for (TlbEntry& entry : Tlb) {
      entry = TlbEntry{};
      entry.Vpn2 = 0x7FFFF;  // nothing this test looks up
    }
  }
};

TEST_F(AccurateAddressTest, SegmentsFollowPrivilegeAndAddressingWidth) {
  for (const TCase& c : kCases) {
    Cop0Regs[STATUS] = c.status;
    const TTranslation t = LookUpAddress(c.address, TAccessKind::Load);
    SCOPED_TRACE(testing::Message()
                 << std::hex << "status " << c.status << " address " << c.address);
    EXPECT_EQ(t.result, c.result);
    if (c.result == R::Mapped) {
      EXPECT_EQ(t.address, c.mapped);
    }
    if (c.result == R::Refill) {
      EXPECT_EQ(t.wide, c.wide);
    }
  }
}

// With BEV the vectors move to 0xBFC00200 + offset; the refill vectors follow the width.
TEST_F(AccurateAddressTest, BootVectorsWhileBevIsSet) {
  constexpr uint32_t kBev = 0x00400000;
  const struct {
    uint32_t status;
    uint32_t word;
    uint32_t vector;
  } cases[] = {
      {kBev, 0x0000000C, 0xBFC00380},         // syscall: general
      {kBev, 0x8C080000, 0xBFC00200},         // lw t0, 0(zero): TLB refill
      {kBev | kKx, 0x8C080000, 0xBFC00280},   // XTLB refill
      {0, 0x8C080000, 0x80000000},            // without BEV
      {kBev | kExl, 0x8C080000, 0xBFC00380},  // under EXL: general, EPC kept
  };
  for (const auto& c : cases) {
    Cop0Regs[STATUS] = c.status;
    Cop0Regs[EPC] = 0x12345678;
    Program(0x80001000, {c.word});
    Step();
    EXPECT_EQ(PC.Lo, c.vector) << std::hex << c.status << " " << c.word;
    EXPECT_EQ(Cop0Regs[EPC], (c.status & kExl) != 0 ? 0x12345678u : 0x80001000u);
  }
}

// A TLBWI that remaps the page the program runs in: the next instruction comes from the new
// physical page, not from the host page the fetch pointer held.
TEST_F(AccurateAddressTest, RewritingTheRunningPagesEntryFetchesFromTheNewPage) {
  Cop0Regs[STATUS] = 0;
  TlbEntry& entry = Tlb[0];
  entry = TlbEntry{};
  entry.Global = 1;
  entry.EvenPfn = 0x10;
  entry.EvenValid = 1;
  Poke(0x80010000, 0x42000002);  // tlbwi
  Poke(0x80010004, 0x25290001);  // addiu t1, t1, 1
  Poke(0x80020004, 0x25290100);  // addiu t1, t1, 0x100
  Cop0Regs[INDEX] = 0;
  Cop0Regs[ENTRYHI] = 0;
  Cop0Regs[PAGEMASK] = 0;
  Cop0Regs[ENTRYLO0] = 0x20 << 6 | 3;  // physical 0x20000, valid, global
  Cop0Regs[ENTRYLO1] = 1;
  Gpr[9] = 0;
  PC.Lo = 0;
  BranchState = kBranchNone;
  SetAccurateFetch(0);
  Step(2);
  EXPECT_EQ(Gpr[9], 0x100u);
  EXPECT_EQ(PC.Lo, 8u);
}

// The upper words of the 64-bit COP0 registers and of the TLB's EntryHi travel in the accurate
// mode's states; a state saved before they existed gets its 32-bit values sign-extended, and
// states of the default mode have no such section.
TEST_F(AccurateAddressTest, StatesCarryTheUpperWordsOfTheWideRegisters) {
  LoadRom(test::CodeRom({0}));
  UseAccurateHardware();
  SetAccurateCop0(EPC, 0x00000001'80000040);
  SetAccurateCop0(ENTRYHI, 0xC0000012'34560005);
  SetAccurateCop0(XCONTEXT, 0x12345679'9A2B3C50);
  Tlb[3].Vpn2 = 0x7FFFF;  // address bit 31 set
  SetTlbEntryUpper(3, 0x40000012);
  const TStateImage saved = CaptureMachine();
  ASSERT_EQ(CheckMachineImage(saved), "");
  SignExtendCop0Upper();
  RestoreMachine(saved);
  EXPECT_EQ(AccurateCop0(EPC), 0x00000001'80000040u);
  EXPECT_EQ(AccurateCop0(ENTRYHI), 0xC0000012'34560005u);
  EXPECT_EQ(AccurateCop0(XCONTEXT), 0x12345679'9A2B3C50u);
  EXPECT_EQ(TlbEntryUpper(3), 0x40000012u);

  TStateImage older = saved;
  std::erase_if(older.Sections, [](const TStateSection& s) { return s.Name == "cop0-accurate"; });
  ASSERT_EQ(CheckMachineImage(older), "");
  RestoreMachine(older);
  EXPECT_EQ(AccurateCop0(EPC), 0xFFFFFFFF'80000040u);
  EXPECT_EQ(AccurateCop0(ENTRYHI), 0x00000000'34560005u);
  EXPECT_EQ(TlbEntryUpper(3), 0xC00000FFu);  // a kseg3 entry: region 3

  TStateImage cut = saved;
  for (TStateSection& section : cut.Sections)
    if (section.Name == "cop0-accurate") section.Data.pop_back();
  EXPECT_EQ(CheckMachineImage(cut), "its section cop0-accurate has the wrong size");
  AccurateHardware = false;
  Reset();
  TStateImage defaultState = CaptureMachine();
  EXPECT_EQ(defaultState.Find("cop0-accurate"), nullptr);
  defaultState.Sections.push_back(*saved.Find("cop0-accurate"));
  EXPECT_NE(CheckMachineImage(defaultState).find("(cop0-accurate)"), std::string::npos);
}

// TLBWR's Random counts down with the clock from the cycle it last read 31; a restored state
// goes on with the same sequence, whatever the phase was when it was restored.
TEST_F(AccurateAddressTest, RandomKeepsItsPhaseThroughAState) {
  LoadRom(test::CodeRom({0}));
  UseAccurateHardware();
  Cop0Regs[STATUS] = 0;
  Cop0Regs[WIRED] = 5;
  auto sequence = [] {
    std::vector<uint32_t> values;
    for (int i = 0; i < 40; ++i) {
      Program(0x80001000, {0});
      Step();
      values.push_back(accurate::TlbRandom());
    }
    return values;
  };
  Program(0x80001000, {0});
  Step(3);
  accurate::RestartRandom();
  Step(4);  // Random now reads 27
  ASSERT_EQ(accurate::TlbRandom(), 27u);
  const TStateImage saved = CaptureMachine();
  const std::vector<uint32_t> first = sequence();
  EXPECT_EQ(first[0], 26u);
  EXPECT_EQ(first[21], 5u);  // 26 steps from 31: Wired
  EXPECT_EQ(first[22], 31u);
  accurate::RestartRandom();  // another phase
  RestoreMachine(saved);
  EXPECT_EQ(sequence(), first);
}

}  // namespace
}  // namespace vantor
