// Every instruction encoding, with edge operands, on the block runner against the single step:
// each encoding gets a program that runs it once per operand combination and stores what it
// wrote, so that every fast entry (and any added later) is proven against its exact handler on
// negative values, shift amounts 0, 1, 31 (32, 33 and 63 in the "32" forms), the overflow
// limits and the special floating-point values. Each program runs in both modes: in the accurate
// mode a handler at the exception vector resumes past the instruction that raised one, so the
// variants after an overflow, a trap or a misaligned access still run.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/Accurate.h"
#include "core/AccurateClock.h"
#include "core/AccurateMemory.h"
#include "core/BlockCache.h"
#include "core/Cop1.h"
#include "core/Cpu.h"
#include "core/RegisterAccess.h"
#include "memory/AddressMap.h"
#include "tests/support/Machine.h"
#include "tests/support/PathCompare.h"

namespace vantor {
namespace {

constexpr uint32_t kCode = 0x80100000;
constexpr uint32_t kLoadData = 0x80200000;   // what loads read: r28 points here
constexpr uint32_t kStoreData = 0x80210000;  // where stores write: r29
constexpr uint32_t kRecords = 0x80220000;    // what each variant left: r30

// Operands in r1 to r14.
const uint64_t kEdges[] = {0,
                           1,
                           ~0ull,
                           0x7FFFFFFF,
                           Sext32(0x80000000),
                           0xFFFFFFFF,
                           31,
                           32,
                           63,
                           0x7FFFFFFF'FFFFFFFF,
                           0x80000000'00000000,
                           0x12345678'9ABCDEF0,
                           Sext32(0xFFFF8000),
                           0x00000001'00000000};
constexpr uint32_t kEdgeCount = std::size(kEdges);
constexpr uint32_t kImmediates[] = {0, 1, 0x7FFF, 0x8000, 0xFFFF, 0xFFFE, 31, 32};
constexpr uint32_t kShifts[] = {0, 1, 31};
constexpr uint32_t kOffsets[] = {0, 1, 2, 3, 4, 6, 7, 8, 0xFFF8};
// Floating-point words in f0 to f15: zeros, ones, infinities, NaNs, a denormal, the largest
// single, integer limits and halves.
constexpr uint32_t kFloats[] = {
    0x00000000, 0x80000000, 0x3F800000, 0xBFC00000, 0x7F800000, 0xFF800000, 0x7FC00000, 0x7F800001,
    0x00000001, 0x7F7FFFFF, 0x4F000000, 0xCF000000, 0x3F000000, 0x40200000, 0x41F00000, 0xC1E00000};

constexpr uint32_t kResult = 20, kSecond = 21, kTarget = 25, kLoadBase = 28, kStoreBase = 29,
                   kRecordBase = 30, kPattern = 12;

uint32_t IType(uint32_t op, uint32_t rs, uint32_t rt, uint32_t imm) {
  return op << 26 | rs << 21 | rt << 16 | (imm & 0xFFFF);
}
uint32_t RType(uint32_t funct, uint32_t rs, uint32_t rt, uint32_t rd, uint32_t sa = 0) {
  return rs << 21 | rt << 16 | rd << 11 | sa << 6 | funct;
}
uint32_t Cop1(uint32_t fmt, uint32_t ft, uint32_t fs, uint32_t fd, uint32_t funct) {
  return 0x11u << 26 | fmt << 21 | ft << 16 | fs << 11 | fd << 6 | funct;
}

class TestProgram {
 public:
  uint32_t Here() const { return kCode + 4 * static_cast<uint32_t>(words.size()); }
  void Emit(uint32_t word) { words.push_back(word); }
  // The result register starts each variant with a pattern, so a merge shows what it kept.
  void Prepare() {
    Emit(RType(0x25, kPattern, 0, kResult));  // or r20, r12, r0
    Emit(RType(0x25, 0, 0, kSecond));         // or r21, r0, r0
  }
  void Record(uint32_t reg) {
    Emit(IType(0x3F, kRecordBase, reg, 0));          // sd reg, 0(r30)
    Emit(IType(0x09, kRecordBase, kRecordBase, 8));  // addiu r30, r30, 8
  }
  void RecordFloat() {
    Emit(Cop1(0, kResult, 20, 0, 0));  // mfc1 r20, f20
    Record(kResult);
    Emit(Cop1(0, kResult, 21, 0, 0));  // mfc1 r20, f21
    Record(kResult);
    Emit(Cop1(2, kResult, 31, 0, 0));  // cfc1 r20, FCR31
    Record(kResult);
  }
  // A transfer that skips one word when taken: the slot and the skipped word record both.
  void Transfer(uint32_t word) {
    Emit(IType(0x0D, 0, kResult, 0));  // ori r20, r0, 0
    Emit(IType(0x0D, 0, kSecond, 0));
    Emit(word);
    Emit(IType(0x0D, 0, kResult, 1));  // the slot
    Emit(IType(0x0D, 0, kSecond, 1));  // skipped when taken
    Record(kResult);
    Record(kSecond);
    Record(31);
  }

  std::vector<uint32_t> words;
};

bool IsBranch(uint32_t op) {
  return (op >= 4 && op <= 7) || (op >= 0x14 && op <= 0x17);
}
bool IsLoad(uint32_t op) {
  return op == 0x1A || op == 0x1B || (op >= 0x20 && op <= 0x27) || op == 0x30 || op == 0x34 ||
         op == 0x37;
}
bool IsStore(uint32_t op) {
  return (op >= 0x28 && op <= 0x2E) || op == 0x38 || op == 0x3C || op == 0x3F;
}

// The variants of one primary opcode (not SPECIAL, REGIMM, COP0 or COP1).
void PrimaryVariants(TestProgram& p, uint32_t op) {
  if (op == 0x02 || op == 0x03) {
    p.Transfer(op << 26 | (((p.Here() + 16) >> 2) & 0x03FFFFFF));
  } else if (IsBranch(op)) {
    for (uint32_t s = 1; s <= kEdgeCount; ++s)
      for (uint32_t t = 1; t <= kEdgeCount; t += 3)
        p.Transfer(IType(op, s, t, 2));
  } else if (IsLoad(op) || op == 0x31 || op == 0x35) {
    for (uint32_t offset : kOffsets) {
      p.Prepare();
      p.Emit(IType(op, kLoadBase, kResult, offset));
      if (op == 0x31 || op == 0x35)
        p.RecordFloat();
      else
        p.Record(kResult);
    }
  } else if (IsStore(op) || op == 0x39 || op == 0x3D) {
    for (uint32_t offset : kOffsets)
      for (uint32_t t = 1; t <= kEdgeCount; t += 2) {
        p.Prepare();
        p.Emit(IType(0x09, kStoreBase, kStoreBase, 16));  // each store on fresh bytes
        p.Emit(IType(op, kStoreBase, t, offset));
        p.Record(t);  // SC and SCD write their register
      }
  } else {
    for (uint32_t s = 1; s <= kEdgeCount; ++s)
      for (uint32_t imm : kImmediates) {
        p.Prepare();
        p.Emit(IType(op, s, kResult, imm));
        p.Record(kResult);
      }
  }
}

void SpecialVariants(TestProgram& p, uint32_t funct) {
  if (funct == 0x08 || funct == 0x09) {  // JR, JALR to the word after the skipped one
    const uint32_t target = p.Here() + 8 + 16;
    p.Emit(IType(0x0F, 0, kTarget, target >> 16));
    p.Emit(IType(0x0D, kTarget, kTarget, target & 0xFFFF));
    p.Transfer(RType(funct, kTarget, 0, funct == 0x09 ? 31 : 0));
    return;
  }
  for (uint32_t s = 1; s <= kEdgeCount; ++s)
    for (uint32_t t = 1; t <= kEdgeCount; ++t) {
      p.Prepare();
      p.Emit(RType(funct, s, t, kResult, kShifts[s % std::size(kShifts)]));
      p.Record(kResult);
      if (funct >= 0x18 && funct <= 0x1F) {  // multiply and divide: HI and LO
        p.Emit(RType(0x10, 0, 0, kResult));
        p.Record(kResult);
        p.Emit(RType(0x12, 0, 0, kResult));
        p.Record(kResult);
      }
    }
}

void RegImmVariants(TestProgram& p, uint32_t rt) {
  for (uint32_t s = 1; s <= kEdgeCount; ++s) {
    if ((rt & 0x0C) == 0) {  // the branches, with and without link
      p.Transfer(IType(0x01, s, rt, 2));
      continue;
    }
    for (uint32_t imm : kImmediates)
      p.Emit(IType(0x01, s, rt, imm));
  }
}

// COP1: the moves, the branches on both conditions, every function in every format.
void Cop1Variants(TestProgram& p, uint32_t fmt, uint32_t funct) {
  if (fmt == 8) {
    for (uint32_t condition : {0u, 1u}) {
      p.Emit(IType(0x0F, 0, kSecond, condition << 7));  // lui r21, 0x0080 when set
      p.Emit(Cop1(6, kSecond, 31, 0, 0));               // ctc1 r21, FCR31
      p.Transfer(Cop1(8, funct & 3, 0, 0, 0) | 2);
    }
    return;
  }
  if (fmt < 8) {
    for (uint32_t r = 0; r < 16; ++r) {
      p.Prepare();
      const uint32_t rt = fmt >= 4 ? 1 + r % kEdgeCount : kResult;
      p.Emit(Cop1(fmt, rt, fmt == 2 || fmt == 6 ? 31 : r, 0, 0));
      p.Record(kResult);
      p.RecordFloat();
    }
    return;
  }
  for (uint32_t s = 0; s < 16; s += 2)
    for (uint32_t t = 0; t < 16; t += 2) {
      p.Emit(Cop1(6, 0, 31, 0, 0));  // ctc1 r0, FCR31: no flags, no condition
      p.Emit(Cop1(fmt, t, s, 20, funct));
      p.RecordFloat();
    }
}

class FastEntriesTest : public test::MachineTest {
 protected:
  test::TMachineImage Run(const TestProgram& program, bool accurate, bool blocks) {
    persistent.Restore();
    host.Clear();
    AccurateHardware = accurate;
    InitMemoryMap();
    CpuReset();
    BlockCache.Clear();
    AccurateBlockCache.Clear();
    if (accurate) {
      MachineClock.Reset();
      AccurateReset();
      Program(0x80000180, {0x401A7000,    // mfc0 $k0, EPC
                           0x275A0004,    // addiu $k0, $k0, 4
                           0x409A7000,    // mtc0 $k0, EPC
                           0x42000018});  // eret
    }
    for (size_t i = 0; i < program.words.size(); ++i)
      Poke(kCode + 4 * static_cast<uint32_t>(i), program.words[i]);
    const uint32_t end = kCode + 4 * static_cast<uint32_t>(program.words.size());
    Poke(end, 0x08000000 | (end >> 2 & 0x03FFFFFF));  // j . (an idle loop)
    for (uint32_t i = 0; i < 64; ++i)
      Poke(kLoadData + 4 * i, 0x01234567u * (i + 1) ^ 0x89ABCDEFu);
    for (uint32_t r = 1; r <= kEdgeCount; ++r)
      Gpr[r] = kEdges[r - 1];
    Gpr[kLoadBase] = Sext32(kLoadData + 0x40);
    Gpr[kStoreBase] = Sext32(kStoreData);
    Gpr[kRecordBase] = Sext32(kRecords);
    for (uint32_t r = 0; r < 16; ++r)
      Cop1Regs[r] = kFloats[r];
    FCR31 = 0;
    Cop0Regs[STATUS] = 0x34000000;
    ViCounter = FramePeriod;
    JumpTo(kCode);
    if (accurate) SetAccurateFetch(kCode);
    std::vector<uint64_t> frames;
    uint64_t done = 0;
    // Room for a visit to the handler after every instruction.
    const uint64_t steps = (accurate ? 6 : 1) * program.words.size() + 8;
    if (blocks)
      test::RunFastSteps(steps, done, frames);
    else
      test::RunExactSteps(steps, done, frames);
    return test::CaptureMachine(host, frames);
  }

  void Expect(const TestProgram& program, const std::string& what) {
    ASSERT_LT(program.words.size() * 4, 0x100000u) << what;
    for (bool accurate : {false, true}) {
      const test::TMachineImage exact = Run(program, accurate, false);
      const test::TMachineImage fast = Run(program, accurate, true);
      EXPECT_EQ(test::FirstDifference(exact, fast), "")
          << what << (accurate ? " in the accurate mode" : "");
    }
    AccurateHardware = false;
  }

  void SetUp() override {
    MachineTest::SetUp();
    persistent.Save();
  }

  test::TPersistentState persistent;
};

TEST_F(FastEntriesTest, EveryIntegerEncodingLeavesTheSameMachineOnBothPaths) {
  for (uint32_t op = 0; op < 64; ++op) {
    if (op == 0x00 || op == 0x01 || op == 0x10 || op == 0x11) continue;
    TestProgram p;
    PrimaryVariants(p, op);
    Expect(p, "opcode " + std::to_string(op));
  }
  for (uint32_t funct = 0; funct < 64; ++funct) {
    TestProgram p;
    SpecialVariants(p, funct);
    Expect(p, "SPECIAL function " + std::to_string(funct));
  }
  for (uint32_t rt = 0; rt < 32; ++rt) {
    TestProgram p;
    RegImmVariants(p, rt);
    Expect(p, "REGIMM " + std::to_string(rt));
  }
}

TEST_F(FastEntriesTest, EveryFloatingPointEncodingLeavesTheSameMachineOnBothPaths) {
  for (uint32_t fmt : {0u, 1u, 2u, 4u, 5u, 6u}) {
    TestProgram p;
    Cop1Variants(p, fmt, 0);
    Expect(p, "COP1 move " + std::to_string(fmt));
  }
  for (uint32_t condition = 0; condition < 4; ++condition) {
    TestProgram p;
    Cop1Variants(p, 8, condition);
    Expect(p, "BC1 " + std::to_string(condition));
  }
  for (uint32_t fmt : {16u, 17u, 20u, 21u})
    for (uint32_t funct = 0; funct < 64; ++funct) {
      TestProgram p;
      Cop1Variants(p, fmt, funct);
      Expect(p, "COP1 format " + std::to_string(fmt) + " function " + std::to_string(funct));
    }
}

}  // namespace
}  // namespace vantor
