// The block runner against the single step: random programs, biased towards what a block must
// stop for or carry through exactly (transfers at page ends, branches in delay slots, likely
// branches, self-modifying stores, COP0 moves, COP1 arithmetic on special values, ERET, TLBWI,
// cartridge DMA, MI_INTR byte stores, unaligned accesses), run from the same state on both paths
// must leave the same machine. In the accurate mode the same programs also raise every kind of
// exception inside blocks (overflow, traps, reserved instructions, misaligned and TLB-refused
// accesses, an unusable COP1) and run a block up to the next event of the machine clock.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <random>

#include "core/Accurate.h"
#include "core/AccurateClock.h"
#include "core/BlockCache.h"
#include "core/BlockRunner.h"
#include "core/Cop1.h"
#include "core/Cpu.h"
#include "core/RegisterAccess.h"
#include "memory/AddressMap.h"
#include "tests/support/Machine.h"
#include "tests/support/PathCompare.h"

namespace vantor {
namespace {

using test::TMachineImage;

// Code spans the end of one page and the start of the next, in RDRAM. The TLB-mapped view at
// 0x00010F80 is mapped before each program starts: its first page is the same code, its second
// page is frame 0x30, which holds other code, so the two pages of the mapped view are not
// consecutive in host memory.
constexpr uint32_t kCodeStart = 0x80010F80;
constexpr uint32_t kCodeWords = 96;
constexpr uint32_t kFirstPageWords = 32;
constexpr uint32_t kMappedCodeStart = 0x00010F80;
constexpr uint32_t kMappedSecondPage = 0x80030000;

uint32_t IType(uint32_t op, uint32_t rs, uint32_t rt, uint32_t imm) {
  return op << 26 | rs << 21 | rt << 16 | (imm & 0xFFFF);
}
uint32_t RType(uint32_t funct, uint32_t rs, uint32_t rt, uint32_t rd, uint32_t sa = 0) {
  return rs << 21 | rt << 16 | rd << 11 | sa << 6 | funct;
}

void PokeWord(uint32_t address, uint32_t word) {
  std::memcpy(HostAddress(address), &word, sizeof word);
}

class RandomProgram {
 public:
  explicit RandomProgram(uint32_t seed) : random_(seed) {}

  uint32_t Below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(random_); }
  uint32_t Word() { return static_cast<uint32_t>(random_()); }
  // Registers 1 to 8 hold addresses the program loads from and stores to.
  uint32_t BaseReg() { return 1 + Below(8); }
  uint32_t AnyReg() { return Below(32); }
  // Results go to registers 9 to 24, and sometimes to r0, which discards them.
  uint32_t Dest() { return Below(8) == 0 ? 0 : 9 + Below(16); }

  uint32_t Instruction(uint32_t index) {
    static constexpr uint32_t kAlu[] = {0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x2A,
                                        0x2B, 0x2C, 0x2D, 0x2E, 0x2F, 0x00, 0x02, 0x03, 0x04,
                                        0x06, 0x07, 0x10, 0x12, 0x18, 0x19, 0x1A, 0x1B, 0x38};
    static constexpr uint32_t kImm[] = {0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x19};
    static constexpr uint32_t kBranches[] = {0x04, 0x05, 0x06, 0x07, 0x14, 0x15, 0x16, 0x17};
    static constexpr uint32_t kMemory[] = {0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x37,
                                           0x28, 0x29, 0x2A, 0x2B, 0x2E, 0x3F, 0x31, 0x39};
    const uint32_t offset = (Below(24) - 12) & 0xFFFF;  // a few words either way
    switch (Below(22)) {
      case 0:
      case 1:
      case 2:
      case 3:
        return RType(kAlu[Below(std::size(kAlu))], AnyReg(), AnyReg(), Dest(), Below(32));
      case 4:
      case 5:
        return IType(kImm[Below(std::size(kImm))], AnyReg(), Dest(), Word());
      case 6:
      case 7:
        return IType(kBranches[Below(std::size(kBranches))], AnyReg(), AnyReg(), offset);
      case 8:  // REGIMM: BLTZ, BGEZ and their likely and linking forms
        return IType(0x01, AnyReg(), std::array{0u, 1u, 2u, 3u, 16u, 17u, 18u, 19u}[Below(8)],
                     offset);
      case 9: {  // J and JAL within the code, sometimes to itself
        const uint32_t target = kCodeStart + 4 * (Below(2) == 0 ? index : Below(kCodeWords));
        return (2 + Below(2)) << 26 | ((target >> 2) & 0x03FFFFFF);
      }
      case 10:  // JR and JALR through a register that may hold a code address
        return RType(Below(2) == 0 ? 0x08 : 0x09, Below(2) == 0 ? 25u : AnyReg(), 0, 31);
      case 11:
      case 12:
      case 13:
      case 14:
        return IType(kMemory[Below(std::size(kMemory))], BaseReg(), Dest(), Word() & 0x1F);
      case 15: {  // COP0: MFC0 and MTC0 of COUNT, COMPARE, STATUS, CAUSE, EPC, ENTRYHI, ENTRYLO
        static constexpr uint32_t kRegs[] = {9, 11, 12, 13, 14, 10, 2, 3, 0, 5};
        return 0x10 << 26 | (Below(2) == 0 ? 0u : 4u) << 21 | (9 + Below(16)) << 16 |
               kRegs[Below(std::size(kRegs))] << 11;
      }
      case 16:  // ERET or TLBWI
        return Below(2) == 0 ? 0x42000018 : 0x42000002;
      case 17:  // COP1 moves both ways and branches on the condition
        switch (Below(3)) {
          case 0:
            return 0x11 << 26 | 4 << 21 | AnyReg() << 16 | Below(32) << 11;
          case 1:
            return 0x11 << 26 | 0 << 21 | Dest() << 16 | Below(32) << 11;
          default:
            return IType(0x11, 8, Below(4), offset);
        }
      case 18:
      case 19:
        return FloatInstruction();
      case 20:
        return 0;
      default:
        return Word();
    }
  }

  // COP1 arithmetic, compares and conversions in every format, on any registers.
  uint32_t FloatInstruction() {
    static constexpr uint32_t kFormats[] = {16, 17, 20, 21};
    static constexpr uint32_t kFunctions[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x06, 0x07, 0x0D,
                                              0x20, 0x21, 0x24, 0x31, 0x32, 0x3C, 0x3E};
    return 0x11 << 26 | kFormats[Below(4)] << 21 | Below(32) << 16 | Below(32) << 11 |
           Below(32) << 6 | kFunctions[Below(std::size(kFunctions))];
  }

  // A COP1 register word: ordinary values, integers, zeros, infinities, NaNs and denormals.
  uint32_t FloatWord() {
    static constexpr uint32_t kSpecial[] = {0x00000000, 0x80000000, 0x7F800000, 0xFF800000,
                                            0x7FC00000, 0x7FBFFFFF, 0x00000001, 0x3F800000,
                                            0x7FF00000, 0x7FF80000, 0x41E00000, 0xC1E00000};
    switch (Below(4)) {
      case 0:
        return kSpecial[Below(std::size(kSpecial))];
      case 1:
        return Below(2000) - 1000;
      case 2:
        return 0x3F000000 + Below(0x02000000);  // 0.5 to 512 as a single, the high half of a double
      default:
        return Word();
    }
  }

  static bool IsTransfer(uint32_t word) {
    const uint32_t op = word >> 26;
    if (op == 0) return (word & 0x3E) == 0x08;          // JR, JALR
    if (op == 0x11) return ((word >> 21) & 0x1F) == 8;  // BC1F, BC1T and their likely forms
    return (op >= 1 && op <= 7) || (op >= 0x14 && op <= 0x17);
  }

  // The same machine, program and registers for a given seed.
  void Install(bool accurate) {
    InitMemoryMap();
    CpuReset();
    BlockCache.Clear();
    AccurateBlockCache.Clear();
    if (accurate) {
      MachineClock.Reset();
      AccurateReset();
    }
    // The mapped view of the code pages, through TLB entry 1: valid, not writable.
    Cop0Regs[INDEX] = 1;
    Cop0Regs[ENTRYHI] = kMappedCodeStart & ~0x1FFF;
    Cop0Regs[ENTRYLO0] = (0x10 << 6) | 2;
    Cop0Regs[ENTRYLO1] = (kMappedSecondPage >> 12 << 6) | 2;
    Cop0Regs[PAGEMASK] = 0;
    (accurate ? AccurateOpcodeTable[0x10] : OpcodeTable[0x10])(0x42000002);
    // Half the transfers get the zero word as their delay slot, as compilers fill slots they
    // cannot use: the block runner takes those transfers on its shortest path.
    uint32_t previous = 0;
    for (uint32_t i = 0; i < kCodeWords; ++i) {
      const uint32_t word = IsTransfer(previous) && Below(2) == 0 ? 0 : Instruction(i);
      PokeWord(kCodeStart + 4 * i, word);
      previous = word;
    }
    for (uint32_t i = kFirstPageWords; i < kCodeWords; ++i)
      PokeWord(kMappedSecondPage + 4 * (i - kFirstPageWords), Instruction(i));
    // An exception handler that acknowledges the timer and returns; in the accurate mode, at the
    // TLB refill vectors too, past the instruction that raised the exception.
    if (accurate) {
      for (uint32_t vector : {0x80000000u, 0x80000080u, 0x80000180u}) {
        PokeWord(vector, 0x401A7000);       // mfc0 $k0, EPC
        PokeWord(vector + 4, 0x275A0004);   // addiu $k0, $k0, 4
        PokeWord(vector + 8, 0x409A7000);   // mtc0 $k0, EPC
        PokeWord(vector + 12, 0x40805800);  // mtc0 $zero, COMPARE
        PokeWord(vector + 16, 0x42000018);  // eret
      }
    } else {
      PokeWord(0x80000180, 0x40805800);  // mtc0 $zero, COMPARE
      PokeWord(0x80000184, 0x42000018);  // eret
    }
    static constexpr uint32_t kBases[] = {0x80010F80, 0xA0010FF8, 0x80011FFC, 0xA4300008,
                                          0xA4600000, 0x80000100, 0xB0000000, 0x00010F80};
    for (uint32_t r = 1; r < 32; ++r)
      Gpr[r] = Sext32(Word());
    for (uint32_t r = 1; r <= 8; ++r)
      Gpr[r] = Sext32(kBases[Below(std::size(kBases))] + Below(8));
    Gpr[25] = Sext32(kCodeStart + 4 * Below(kCodeWords));
    for (uint32_t& reg : Cop1Regs)
      reg = FloatWord();
    FCR31 = Below(2) == 0 ? 0 : kFcr31Condition;
    // The accurate mode's: the boot value, interrupts enabled with COP1 usable, user mode, under
    // EXL, and COP1 unusable with 32-bit addressing.
    static constexpr uint32_t kAccurateStatus[] = {0x241000E0, 0x3400FF01, 0x200000F0, 0x24000002,
                                                   0x00008401};
    Cop0Regs[STATUS] = accurate        ? kAccurateStatus[Below(std::size(kAccurateStatus))]
                       : Below(2) == 0 ? 0x8401
                                       : 0x34000000;
    Cop0Regs[COMPARE] = Below(4) == 0 ? 0 : 1 + Below(600);
    Cop0Regs[COUNT] = Below(100);
    ViCounter = 1 + static_cast<int32_t>(Below(3000));
    if (accurate) ScheduleCompare();
    const uint32_t start = Below(4) == 0 ? kMappedCodeStart : kCodeStart;
    PC.Lo = start;
    if (accurate)
      SetAccurateFetch(start);
    else
      SetInstrPtr(start);
    BranchState = kBranchNone;
  }

 private:
  std::mt19937 random_;
};

class BlockRunnerTest : public test::MachineTest {
 protected:
  TMachineImage RunProgram(uint32_t seed, bool accurate, bool blocks, uint64_t steps) {
    persistent.Restore();
    host.Clear();
    AccurateHardware = accurate;
    RandomProgram(seed).Install(accurate);
    return Run(blocks, steps);
  }

  // A machine just reset in the given mode with its block cache empty, for a test's program.
  void FreshMachine(bool accurate) {
    persistent.Restore();
    host.Clear();
    AccurateHardware = accurate;
    InitMemoryMap();
    CpuReset();
    if (accurate) {
      AccurateBlockCache.Clear();
      MachineClock.Reset();
      AccurateReset();
    } else {
      BlockCache.Clear();
    }
  }

  // The machine after `steps` steps on the block runner or on the exact path.
  TMachineImage Run(bool blocks, uint64_t steps) {
    std::vector<uint64_t> frames;
    uint64_t done = 0;
    if (blocks)
      test::RunFastSteps(steps, done, frames);
    else
      test::RunExactSteps(steps, done, frames);
    return test::CaptureMachine(host, frames);
  }

  void SetUp() override {
    MachineTest::SetUp();
    persistent.Save();
  }

  test::TPersistentState persistent;
};

// VANTOR_FUZZ_PROGRAMS runs more programs by hand.
TEST_F(BlockRunnerTest, RandomProgramsLeaveTheSameMachineOnBothPaths) {
  const char* wanted = std::getenv("VANTOR_FUZZ_PROGRAMS");
  const uint32_t programs = wanted != nullptr ? static_cast<uint32_t>(std::atoi(wanted)) : 150;
  for (bool accurate : {false, true})
    for (uint32_t seed = 1; seed <= programs; ++seed) {
      const TMachineImage exact = RunProgram(seed, accurate, false, 4000);
      const TMachineImage fast = RunProgram(seed, accurate, true, 4000);
      ASSERT_EQ(test::FirstDifference(exact, fast), "")
          << "program " << seed << (accurate ? " in the accurate mode" : "");
    }
}

// A loop whose branch is the last word of a TLB-mapped page, its delay slot the first word of the
// next page, which lies elsewhere in host memory: the slot comes from that page's storage, not
// from the word after the branch in host memory (zero here, which a block could take for an
// empty slot).
TEST_F(BlockRunnerTest, ADelaySlotOnTheNextPageComesFromThatPagesStorage) {
  auto run = [this](bool blocks) {
    FreshMachine(false);
    Cop0Regs[INDEX] = 1;
    Cop0Regs[ENTRYHI] = 0x00010000;
    Cop0Regs[ENTRYLO0] = (0x10 << 6) | 2;
    Cop0Regs[ENTRYLO1] = (0x30 << 6) | 2;
    Cop0Regs[PAGEMASK] = 0;
    ExecuteOpcode(0x42000002);                    // tlbwi
    PokeWord(0x80010FF8, IType(0x09, 8, 8, 1));   // addiu $t0, $t0, 1
    PokeWord(0x80010FFC, IType(0x04, 0, 0, -2));  // b back to the addiu
    PokeWord(0x80011000, 0);
    PokeWord(0x80030000, IType(0x09, 9, 9, 1));  // the slot: addiu $t1, $t1, 1
    PC.Lo = 0x00010FF8;
    SetInstrPtr(PC.Lo);
    BranchState = kBranchNone;
    return Run(blocks, 999);
  };
  const TMachineImage exact = run(false);
  EXPECT_EQ(Gpr[9], 333u);
  const TMachineImage fast = run(true);
  EXPECT_EQ(test::FirstDifference(exact, fast), "");
}

// In the accurate mode, a trap in the delay slot of a taken branch and a SYSCALL in the last word
// of a page raise their exceptions inside a block: the block ends with EPC naming the branch and
// CAUSE.BD set for the first, EPC naming the SYSCALL for the second, as on the single step. The
// handler resumes past the branch and its slot, or past the SYSCALL, and counts in s0.
TEST_F(BlockRunnerTest, ExceptionsInADelaySlotAndInAPagesLastWordEndTheBlockAsTheStepDoes) {
  auto run = [this](bool blocks, uint64_t steps) {
    FreshMachine(true);
    const uint32_t handler[] = {
        0x401A7000,              // mfc0 $k0, EPC
        0x401B6800,              // mfc0 $k1, CAUSE
        IType(0x01, 27, 1, 2),   // bgez $k1 (no BD), past the second addiu
        IType(0x09, 26, 26, 4),  // addiu $k0, $k0, 4
        IType(0x09, 26, 26, 4),  // addiu $k0, $k0, 4
        0x409A7000,              // mtc0 $k0, EPC
        IType(0x09, 16, 16, 1),  // addiu $s0, $s0, 1
        0x42000018,              // eret
    };
    for (uint32_t i = 0; i < std::size(handler); ++i)
      PokeWord(0x80000180 + 4 * i, handler[i]);
    PokeWord(0x80011FF0, IType(0x09, 9, 9, 1));                         // addiu $t1, $t1, 1
    PokeWord(0x80011FF4, IType(0x04, 0, 0, -2));                        // b back to the addiu
    PokeWord(0x80011FF8, RType(0x34, 0, 0, 0));                         // the slot: teq $0, $0
    PokeWord(0x80011FFC, 0x0000000C);                                   // syscall
    PokeWord(0x80012000, 0x08000000 | (0x80011FF0 >> 2 & 0x03FFFFFF));  // j 0x80011FF0
    PokeWord(0x80012004, 0);
    PC.Lo = 0x80011FF0;
    SetAccurateFetch(PC.Lo);
    BranchState = kBranchNone;
    return Run(blocks, steps);
  };
  // Right after the trap in the slot, after the SYSCALL, then after 47 rounds of 21 steps.
  for (uint64_t steps : {3u, 4u, 12u, 13u, 987u}) {
    const TMachineImage exact = run(false, steps);
    if (steps == 3) {
      EXPECT_EQ(PC.Lo, 0x80000180u);
      EXPECT_EQ(Cop0Regs[EPC], 0x80011FF4u);
      EXPECT_NE(Cop0Regs[CAUSE] & kCauseBD, 0u);
    }
    if (steps == 12) {
      EXPECT_EQ(PC.Lo, 0x80000180u);
      EXPECT_EQ(Cop0Regs[EPC], 0x80011FFCu);
      EXPECT_EQ(Cop0Regs[CAUSE] & kCauseBD, 0u);
    }
    const TMachineImage fast = run(true, steps);
    EXPECT_EQ(test::FirstDifference(exact, fast), "") << "after " << steps << " steps";
  }
  EXPECT_EQ(Gpr[9], 47u);
  EXPECT_EQ(Gpr[16], 94u);
}

// A TLB entry that maps a code page past physical memory: the accurate mode's fetch then reads
// every transfer's target from the start of the page the map shows there, not at the target's
// offset, so the page is not one storage at its words' offsets. A block must not run it from
// the storage's offsets: the loop below counts t0 and t1 alike only as the single step runs it.
TEST_F(BlockRunnerTest, AMappedCodePageFetchedFromElsewhereRunsAsTheStepRunsIt) {
  auto run = [this](bool blocks) {
    FreshMachine(true);
    Cop0Regs[INDEX] = 1;
    Cop0Regs[ENTRYHI] = 0x00400000;
    Cop0Regs[ENTRYLO0] = 0x20000 << 6 | 3;  // frame 0x20000000, valid, global
    Cop0Regs[ENTRYLO1] = 0x20001 << 6 | 3;
    Cop0Regs[PAGEMASK] = 0;
    AccurateOpcodeTable[0x10](0x42000002);        // tlbwi
    const uint32_t nothing = 0x00000000;          // where the map shows what lies past memory
    PokeWord(nothing, IType(0x09, 8, 8, 1));      // addiu $t0, $t0, 1
    PokeWord(nothing + 4, IType(0x04, 0, 0, 1));  // b to two words on
    PokeWord(nothing + 8, IType(0x09, 9, 9, 1));  // the slot: addiu $t1, $t1, 1
    PokeWord(nothing + 12, 0);
    PC.Lo = 0x00400000;
    SetAccurateFetch(PC.Lo);
    BranchState = kBranchNone;
    return Run(blocks, 300);
  };
  const TMachineImage exact = run(false);
  EXPECT_EQ(Gpr[8], 100u);
  EXPECT_EQ(Gpr[9], 100u);
  const TMachineImage fast = run(true);
  EXPECT_EQ(test::FirstDifference(exact, fast), "");
}

}  // namespace
}  // namespace vantor
