#include <gtest/gtest.h>

#include <bit>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/Accurate.h"
#include "core/Cop1.h"
#include "core/Cpu.h"
#include "tests/support/InstrEncoder.h"
#include "tests/support/Machine.h"

namespace vantor {
namespace {

using Lines = std::vector<std::string>;
using test::Cop1Arith;
using test::Cop1Branch;

constexpr uint32_t kCode = 0x80001000;
constexpr uint32_t kS = 16, kD = 17, kW = 20, kL = 21;
enum : uint32_t { kAdd = 0, kSub, kMul, kDiv, kSqrt, kAbs, kMov, kNeg };
constexpr uint32_t kTruncW = 13, kCvtS = 32, kCvtD = 33, kCvtW = 36, kCvtL = 37;
constexpr uint32_t kCUn = 49, kCEq = 50, kCLt = 60, kCLe = 62;
constexpr uint32_t kDefaultNanS = 0x7FBFFFFF;
constexpr uint64_t kDefaultNanD = 0x7FF7FFFF'FFFFFFFF;
constexpr uint32_t kInvalidWord = 0x7FFFFFFF;
const char* const kCvtLNotice = "OWWW... CVT.L sucks bigtime :P";

uint32_t Move(uint32_t sub, uint32_t rt, uint32_t fs) {
  return test::CopMove(17, sub, rt, fs);
}
uint32_t Bits(float value) {
  return std::bit_cast<uint32_t>(value);
}
uint64_t Bits(double value) {
  return std::bit_cast<uint64_t>(value);
}

class Cop1Test : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    PrepareHostFloatingPoint();
    FCR0 = 0;  // both outlive resets, so every test starts them afresh
    FCR31 = 0;
  }
  // Executes one word as the instruction at kCode; returns the console lines it wrote.
  Lines Exec(uint32_t word) {
    PC.Lo = kCode;
    host.Clear();
    ExecuteOpcode(word);
    return host.Lines();
  }
  // Pair k is words 2k (low half) and 2k + 1 (high half).
  static void SetPair(uint32_t k, uint64_t bits) {
    Cop1Regs[2 * k] = static_cast<uint32_t>(bits);
    Cop1Regs[2 * k + 1] = static_cast<uint32_t>(bits >> 32);
  }
  static uint64_t Pair(uint32_t k) { return uint64_t{Cop1Regs[2 * k + 1]} << 32 | Cop1Regs[2 * k]; }
};

Lines Report(const std::string& first, uint32_t field) {
  char digits[3];
  std::snprintf(digits, sizeof digits, "%02X", field);
  return {first + "80001000", std::string("Opcode ") + digits};
}

TEST_F(Cop1Test, WordMovesSignExtendAndPairMovesPickThePairOfOddNumbers) {
  Cop1Regs[3] = 0x80000001;
  Exec(Move(0, 8, 3));  // MFC1
  EXPECT_EQ(Gpr[8], 0xFFFFFFFF'80000001u);
  Cop1Regs[4] = 0x7FFFFFFF;
  Exec(Move(0, 8, 4));
  EXPECT_EQ(Gpr[8], 0x7FFFFFFFu);

  Gpr[9] = 0x12345678'9ABCDEF0;
  Cop1Regs[6] = 0x11111111;
  Exec(Move(4, 9, 7));  // MTC1
  EXPECT_EQ(Cop1Regs[7], 0x9ABCDEF0u);
  EXPECT_EQ(Cop1Regs[6], 0x11111111u);

  Exec(Move(5, 9, 5));  // DMTC1 FP05 names pair 2: the low half goes to word 4
  EXPECT_EQ(Cop1Regs[4], 0x9ABCDEF0u);
  EXPECT_EQ(Cop1Regs[5], 0x12345678u);
  Exec(Move(1, 10, 5));  // DMFC1
  EXPECT_EQ(Gpr[10], 0x12345678'9ABCDEF0u);
  Exec(Move(1, 11, 4));
  EXPECT_EQ(Gpr[11], 0x12345678'9ABCDEF0u);

  Program(kCode, {Move(0, 0, 3)});  // MFC1 to r0
  Step();
  EXPECT_EQ(Gpr[0], 0u);
}

TEST_F(Cop1Test, ControlMovesReachOnlyFcr0AndFcr31) {
  Gpr[8] = 0x00000000'80000A00;
  Gpr[9] = 0x01800003;
  EXPECT_EQ(Exec(Move(6, 8, 0)), Lines{});  // CTC1 to FCR0, writable here
  Exec(Move(6, 9, 31));
  EXPECT_EQ(FCR0, 0x80000A00u);
  EXPECT_EQ(FCR31, 0x01800003u);
  Exec(Move(2, 10, 0));  // CFC1 sign-extends
  EXPECT_EQ(Gpr[10], 0xFFFFFFFF'80000A00u);
  Exec(Move(2, 10, 31));
  EXPECT_EQ(Gpr[10], 0x01800003u);

  for (uint32_t fs : {1u, 15u, 30u}) {
    SCOPED_TRACE(fs);
    EXPECT_EQ(Exec(Move(6, 8, fs)), Lines{});
    EXPECT_EQ(FCR0, 0x80000A00u);
    EXPECT_EQ(FCR31, 0x01800003u);
    Gpr[10] = 0x55;
    EXPECT_EQ(Exec(Move(2, 10, fs)), Lines{});
    EXPECT_EQ(Gpr[10], 0u);
  }
}

TEST_F(Cop1Test, ResetClearsTheRegistersButKeepsTheControlRegisters) {
  Cop1Regs[0] = 0x3F800000;
  Cop1Regs[31] = 1;
  FCR0 = 0x00000B22;
  FCR31 = kFcr31Condition | 0x3;
  CpuReset();
  EXPECT_EQ(std::vector<uint32_t>(Cop1Regs, Cop1Regs + 32), std::vector<uint32_t>(32, 0));
  EXPECT_EQ(FCR0, 0x00000B22u);
  EXPECT_EQ(FCR31, kFcr31Condition | 0x3);
}

TEST_F(Cop1Test, BranchesTestTheConditionBitAndLikelyOnesSkipTheDelaySlot) {
  // ori t0, t0, 1 << bit marks which instructions ran.
  auto mark = [](int bit) { return test::EncodeI(13, 8, 8, 1 << bit); };
  constexpr uint64_t kTaken = 1 | 1 << 4 | 1 << 5, kNotTaken = 1 | 2 | 4, kSkipped = 2 | 4;
  const struct {
    uint32_t word;
    bool condition;
    uint64_t trace;
  } cases[] = {
      {Cop1Branch(0, 7), false, kTaken},
      {Cop1Branch(0, 7), true, kNotTaken},
      {Cop1Branch(1, 7), true, kTaken},
      {Cop1Branch(1, 7), false, kNotTaken},
      {Cop1Branch(2, 7), false, kTaken},
      {Cop1Branch(2, 7), true, kSkipped},
      {Cop1Branch(3, 7), true, kTaken},
      {Cop1Branch(3, 7), false, kSkipped},
      {Cop1Branch(1, 7) | 7u << 18, true, kTaken},  // bits 18-20 take no part
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.word << " condition " << c.condition);
    Program(kCode, {c.word, mark(0), mark(1), mark(2)});
    Poke(kCode + 0x20, mark(4));
    Poke(kCode + 0x24, mark(5));
    FCR31 = c.condition ? kFcr31Condition : ~kFcr31Condition;
    Gpr[8] = 0;
    Step(4);
    EXPECT_EQ(Gpr[8], c.trace);
  }
}

TEST_F(Cop1Test, ArithmeticRoundsToNearestInThePrecisionBit21Selects) {
  const struct {
    uint32_t funct;
    float a, b;
    uint32_t single;
    uint64_t dbl;
  } cases[] = {
      {kAdd, 1.5f, 2.25f, Bits(3.75f), Bits(3.75)},
      {kSub, 1.0f, 3.0f, Bits(-2.0f), Bits(-2.0)},
      {kMul, 1.5f, -3.0f, Bits(-4.5f), Bits(-4.5)},
      {kDiv, 1.0f, 3.0f, 0x3EAAAAAB, 0x3FD55555'55555555},
      {kSqrt, 2.0f, 0.0f, 0x3FB504F3, 0x3FF6A09E'667F3BCD},
      {kNeg, 1.5f, 0.0f, Bits(-1.5f), Bits(-1.5)},
  };
  for (uint32_t fmt : {kS, kW, kD, kL}) {
    const bool dbl = fmt & 1;
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << "fmt " << fmt << " funct " << c.funct);
      if (dbl) {
        SetPair(2, Bits(double{c.a}));
        SetPair(3, Bits(double{c.b}));
        SetPair(1, 0);
        Exec(Cop1Arith(fmt, c.funct, 7, 5, 3));  // odd numbers: pairs 3, 2 and 1
        EXPECT_EQ(Pair(1), c.dbl);
      } else {
        Cop1Regs[5] = Bits(c.a);
        Cop1Regs[7] = Bits(c.b);
        Cop1Regs[2] = 0xDEADBEEF;
        Exec(Cop1Arith(fmt, c.funct, 7, 5, 3));
        EXPECT_EQ(Cop1Regs[3], c.single);
        EXPECT_EQ(Cop1Regs[2], 0xDEADBEEFu);
      }
    }
  }
}

TEST_F(Cop1Test, MovCopiesBitsWhileArithmeticGivesIeeeResultsAndTheDefaultNan) {
  Cop1Regs[2] = 0x7F800001;
  Exec(Cop1Arith(kS, kMov, 0, 2, 4));
  EXPECT_EQ(Cop1Regs[4], 0x7F800001u);
  SetPair(1, 0xFFF00000'00000001);
  Exec(Cop1Arith(kD, kMov, 0, 3, 9));
  EXPECT_EQ(Pair(4), 0xFFF00000'00000001u);

  auto single = [this](uint32_t funct, uint32_t a, uint32_t b) {
    Cop1Regs[2] = a;
    Cop1Regs[3] = b;
    Exec(Cop1Arith(kS, funct, 3, 2, 4));
    return Cop1Regs[4];
  };
  const uint32_t one = Bits(1.0f), zero = 0, inf = 0x7F800000, hostNan = 0x7FC00000;
  EXPECT_EQ(single(kDiv, one, zero), inf);
  EXPECT_EQ(single(kDiv, one, 0x80000000), 0xFF800000u);  // 1 / -0
  EXPECT_EQ(single(kMul, 0x7F7FFFFF, Bits(2.0f)), inf);
  EXPECT_EQ(single(kDiv, zero, zero), kDefaultNanS);
  EXPECT_EQ(single(kSub, inf, inf), kDefaultNanS);
  EXPECT_EQ(single(kSqrt, Bits(-1.0f), 0), kDefaultNanS);
  EXPECT_EQ(single(kAdd, hostNan, one), kDefaultNanS);
  EXPECT_EQ(single(kNeg, 0xFFC00000, 0), kDefaultNanS);

  auto dbl = [this](uint32_t funct, uint64_t a, uint64_t b) {
    SetPair(1, a);
    SetPair(2, b);
    Exec(Cop1Arith(kD, funct, 4, 2, 6));
    return Pair(3);
  };
  EXPECT_EQ(dbl(kDiv, Bits(-1.0), 0), 0xFFF00000'00000000u);
  EXPECT_EQ(dbl(kDiv, 0, 0), kDefaultNanD);
  EXPECT_EQ(dbl(kSqrt, Bits(-4.0), 0), kDefaultNanD);
  EXPECT_EQ(dbl(kMul, 0x7FF80000'00000000, Bits(2.0)), kDefaultNanD);
}

TEST_F(Cop1Test, WordConversionsTruncateWhateverTheRoundingModeAndWrapAbove31Bits) {
  for (uint32_t mode = 0; mode < 4; ++mode) {
    FCR31 = mode;
    for (uint32_t funct : {kTruncW, kCvtW}) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << " funct " << funct);
      Cop1Regs[2] = Bits(-2.7f);
      Exec(Cop1Arith(kS, funct, 0, 2, 4));
      EXPECT_EQ(Cop1Regs[4], static_cast<uint32_t>(-2));
      SetPair(3, Bits(2.7));
      Exec(Cop1Arith(kL, funct, 0, 7, 5));  // L reads a double pair like D
      EXPECT_EQ(Cop1Regs[5], 2u);
    }
  }

  auto fromDouble = [this](uint64_t bits) {
    SetPair(1, bits);
    Exec(Cop1Arith(kD, kCvtW, 0, 2, 8));
    return Cop1Regs[8];
  };
  EXPECT_EQ(fromDouble(Bits(3e9)), 0xB2D05E00u);
  EXPECT_EQ(fromDouble(Bits(-0x1p63)), 0u);  // the lowest 64-bit integer is still in range
  EXPECT_EQ(fromDouble(Bits(0x1p63)), kInvalidWord);
  EXPECT_EQ(fromDouble(Bits(-1e19)), kInvalidWord);
  EXPECT_EQ(fromDouble(0x7FF00000'00000000), kInvalidWord);
  EXPECT_EQ(fromDouble(0xFFF00000'00000000), kInvalidWord);
  EXPECT_EQ(fromDouble(kDefaultNanD), kInvalidWord);
  Cop1Regs[2] = 0x7FC00000;
  Exec(Cop1Arith(kS, kTruncW, 0, 2, 8));
  EXPECT_EQ(Cop1Regs[8], kInvalidWord);
  Cop1Regs[2] = Bits(0x1p63f);
  Exec(Cop1Arith(kS, kTruncW, 0, 2, 8));
  EXPECT_EQ(Cop1Regs[8], kInvalidWord);
}

TEST_F(Cop1Test, CvtLWritesOnlyTheEvenWordOfItsPairAndLogsEveryTime) {
  Cop1Regs[2] = Bits(3.0f);
  Cop1Regs[4] = 0x11111111;
  Cop1Regs[5] = 0xDEADBEEF;
  EXPECT_EQ(Exec(Cop1Arith(kS, kCvtL, 0, 2, 5)), Lines{kCvtLNotice});
  EXPECT_EQ(Cop1Regs[4], 3u);
  EXPECT_EQ(Cop1Regs[5], 0xDEADBEEFu);

  SetPair(3, Bits(-2.5));
  EXPECT_EQ(Exec(Cop1Arith(kD, kCvtL, 0, 6, 4)), Lines{kCvtLNotice});
  EXPECT_EQ(Cop1Regs[4], static_cast<uint32_t>(-2));
  EXPECT_EQ(Cop1Regs[5], 0xDEADBEEFu);
}

TEST_F(Cop1Test, CvtSAndCvtDConvertFromEachFormat) {
  auto toSingle = [this](uint32_t fmt, uint64_t source) {
    SetPair(1, source);
    Cop1Regs[9] = 0xDEADBEEF;
    Exec(Cop1Arith(fmt, kCvtS, 0, 2, 9));
    return Cop1Regs[9];
  };
  EXPECT_EQ(toSingle(kD, Bits(0.1)), 0x3DCCCCCDu);
  EXPECT_EQ(toSingle(kD, Bits(1e300)), 0x7F800000u);
  EXPECT_EQ(toSingle(kD, 0x7FF80000'00000000), kDefaultNanS);
  EXPECT_EQ(toSingle(kW, static_cast<uint32_t>(-5)), Bits(-5.0f));
  EXPECT_EQ(toSingle(kW, 16777217), Bits(16777216.0f));
  EXPECT_EQ(toSingle(kS, Bits(2.0)), 0xDEADBEEFu);  // S to S changes nothing
  // An L pair holds a 64-bit integer.
  EXPECT_EQ(toSingle(kL, (uint64_t{1} << 40) + 1), Bits(0x1p40f));
  EXPECT_EQ(toSingle(kL, static_cast<uint64_t>(-3)), Bits(-3.0f));

  auto toDouble = [this](uint32_t fmt, uint64_t source) {
    SetPair(1, source);
    SetPair(4, 0xDEADBEEF'DEADBEEF);
    Exec(Cop1Arith(fmt, kCvtD, 0, 2, 9));
    return Pair(4);
  };
  EXPECT_EQ(toDouble(kS, Bits(0.1f)), Bits(double{0.1f}));
  EXPECT_EQ(toDouble(kS, 0xFFC00000), kDefaultNanD);
  EXPECT_EQ(toDouble(kW, static_cast<uint32_t>(-7)), Bits(-7.0));
  EXPECT_EQ(toDouble(kD, Bits(2.0)), 0xDEADBEEF'DEADBEEFu);  // D to D changes nothing
  EXPECT_EQ(toDouble(kL, static_cast<uint64_t>(-3)), Bits(-3.0));
  EXPECT_EQ(toDouble(kL, (uint64_t{1} << 53) + 1), Bits(0x1p53));
}

TEST_F(Cop1Test, ComparesHoldForUnorderedOperandsAndChangeOnlyTheConditionBit) {
  const float nan = std::bit_cast<float>(0x7FC00000u);
  const struct {
    uint32_t funct;
    float a, b;
    bool holds;
  } cases[] = {
      {kCEq, 1, 1, true},   {kCEq, 1, 2, false},  {kCEq, nan, 1, true}, {kCEq, 0.0f, -0.0f, true},
      {kCLt, 1, 2, true},   {kCLt, 2, 1, false},  {kCLt, 1, 1, false},  {kCLt, 1, nan, true},
      {kCLe, 1, 1, true},   {kCLe, 2, 1, false},  {kCLe, nan, 2, true}, {kCUn, 1, 2, false},
      {kCUn, nan, 1, true}, {kCUn, 1, nan, true},
  };
  constexpr uint32_t kOtherBits = 0x01000F83;
  for (uint32_t fmt : {kS, kD, kW, kL}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message()
                   << "fmt " << fmt << " funct " << c.funct << " " << c.a << " " << c.b);
      if (fmt & 1) {
        SetPair(5, Bits(double{c.a}));
        SetPair(6, Bits(double{c.b}));
      } else {
        Cop1Regs[11] = Bits(c.a);
        Cop1Regs[13] = Bits(c.b);
      }
      FCR31 = kOtherBits | (c.holds ? 0 : kFcr31Condition);
      Exec(Cop1Arith(fmt, c.funct, 13, 11, 0));
      EXPECT_EQ(FCR31, kOtherBits | (c.holds ? kFcr31Condition : 0));
    }
  }
}

TEST_F(Cop1Test, CUnTestsTheNanBitPatternsOfBothOperands) {
  const struct {
    uint32_t bits;
    bool nan;
  } singles[] = {{0x7F800001, true},  {0xFF800001, true},  {0x7FFFFFFF, true},
                 {0x7F800000, false}, {0xFF800000, false}, {0x7F7FFFFF, false}};
  for (const auto& s : singles) {
    SCOPED_TRACE(testing::Message() << std::hex << s.bits);
    Cop1Regs[2] = s.bits;
    Cop1Regs[3] = 0;
    Exec(Cop1Arith(kS, kCUn, 3, 2, 0));
    EXPECT_EQ(FCR31 == kFcr31Condition, s.nan);
    Exec(Cop1Arith(kS, kCUn, 2, 3, 0));
    EXPECT_EQ(FCR31 == kFcr31Condition, s.nan);
  }
  const struct {
    uint64_t bits;
    bool nan;
  } doubles[] = {{0x7FF00000'00000001, true},  {0x7FF80000'00000000, true},
                 {0xFFF00001'00000000, true},  {0x7FF00000'00000000, false},
                 {0x7FEFFFFF'FFFFFFFF, false}, {0x000FFFFF'FFFFFFFF, false}};
  for (const auto& d : doubles) {
    SCOPED_TRACE(testing::Message() << std::hex << d.bits);
    SetPair(4, d.bits);
    SetPair(5, 0);
    Exec(Cop1Arith(kD, kCUn, 11, 9, 0));
    EXPECT_EQ(FCR31 == kFcr31Condition, d.nan);
    Exec(Cop1Arith(kD, kCUn, 9, 11, 0));
    EXPECT_EQ(FCR31 == kFcr31Condition, d.nan);
  }
}

TEST_F(Cop1Test, EverySubOpcodeSlotExecutesOrReportsAsIllegal) {
  const std::set<uint32_t> implemented = {0, 1, 2, 4, 5, 6, 8, 16, 17, 20, 21};
  for (uint32_t sub = 0; sub < 32; ++sub) {
    SCOPED_TRACE(sub);
    EXPECT_EQ(Exec(Move(sub, 0, 0)),
              implemented.contains(sub) ? Lines{} : Report("Illegal COP1 opcode at ", sub));
  }
}

TEST_F(Cop1Test, EveryFunctionSlotExecutesOrReportsAndReportsChangeNothing) {
  std::set<uint32_t> illegal = {34, 35};
  for (uint32_t f = 16; f < 32; ++f)
    illegal.insert(f);
  for (uint32_t f = 38; f < 48; ++f)
    illegal.insert(f);
  std::set<uint32_t> unimplemented = {5, 8, 9, 10, 11, 12, 14, 15, 48, 61, 63};
  for (uint32_t f = 51; f < 60; ++f)
    unimplemented.insert(f);

  for (uint32_t fmt : {kS, kD, kW, kL}) {
    for (uint32_t funct = 0; funct < 64; ++funct) {
      SCOPED_TRACE(testing::Message() << "fmt " << fmt << " funct " << funct);
      for (uint32_t i = 0; i < 32; ++i)
        Cop1Regs[i] = 0x3F800000 + i;
      FCR31 = 0x00000F83;
      const std::vector<uint32_t> before(Cop1Regs, Cop1Regs + 32);
      const Lines lines = Exec(Cop1Arith(fmt, funct, 6, 4, 2));
      if (illegal.contains(funct) || unimplemented.contains(funct)) {
        EXPECT_EQ(lines, illegal.contains(funct)
                             ? Report("Illegal COP1 Ex opcode at ", funct)
                             : Report("Unimplemented COP 1 Ex opcode at ", funct));
        EXPECT_EQ(std::vector<uint32_t>(Cop1Regs, Cop1Regs + 32), before);
        EXPECT_EQ(FCR31, 0x00000F83u);
      } else {
        EXPECT_EQ(lines, funct == kCvtL ? Lines{kCvtLNotice} : Lines{});
      }
    }
  }
}

TEST_F(Cop1Test, HostPreparationRestoresNearestRoundingAndMasksTraps) {
  std::fesetround(FE_DOWNWARD);
  feenableexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW);
  PrepareHostFloatingPoint();
  Cop1Regs[2] = Bits(1.0f);
  Cop1Regs[3] = Bits(3.0f);
  Cop1Regs[4] = 0;
  Exec(Cop1Arith(kS, kDiv, 3, 2, 5));
  EXPECT_EQ(Cop1Regs[5], 0x3EAAAAABu);  // rounding down would give 0x3EAAAAAA
  Exec(Cop1Arith(kS, kDiv, 4, 2, 5));
  EXPECT_EQ(Cop1Regs[5], 0x7F800000u);
  Exec(Cop1Arith(kS, kDiv, 4, 4, 5));
  EXPECT_EQ(Cop1Regs[5], kDefaultNanS);
}

// The accurate mode's cause bits come from the host's exception flags of the instruction's own
// operation, whatever other host code left in either of the host's floating-point units (the
// x87 one through long double, the SSE one through double).
TEST_F(Cop1Test, AccurateCauseBitsIgnoreHostFlagsLeftByOtherCode) {
  UseAccurateHardware();
  FCR31 = 0;
  Cop1Regs[0] = Bits(1.0f);
  Cop1Regs[1] = Bits(2.0f);
  for (int unit = 0; unit < 2; ++unit) {
    volatile long double wideOne = 1.0L, wideZero = 0.0L;
    volatile double one = 1.0, three = 3.0;
    if (unit == 0) [[maybe_unused]]
      volatile long double wide = wideOne / wideZero;
    else [[maybe_unused]]
      volatile double third = one / three;
    AccurateOpcodeTable[0x11](Cop1Arith(kS, kAdd, 1, 0, 2));  // exact: no exception
    EXPECT_EQ(Cop1Regs[2], Bits(3.0f));
    EXPECT_EQ(FCR31, 0u) << (unit == 0 ? "after x87 code" : "after SSE code");
  }
}

// Random operands through every operation the host computes, in every rounding mode, after
// other code left no host flags, SSE flags or x87 flags: FCR31 and the result match a reference
// that sets the rounding mode, clears and reads the flags through <cfenv> around the same
// operation. NaN and denormal operands, which never reach the host, are left out.
class AccurateHostOperationTest : public Cop1Test {
 protected:
  template <typename T, typename Bits>
  static T Operand(std::mt19937_64& random) {
    const uint64_t bits = random();
    const T magnitudes[4] = {T(0), std::numeric_limits<T>::infinity(), T(bits % 64), T(1)};
    if (bits % 8 < 4) return std::copysign(magnitudes[bits % 4], bits & 16 ? T(-1) : T(1));
    const T value = std::bit_cast<T>(static_cast<Bits>(bits >> 1));
    return std::isnormal(value) ? value : T(1);
  }
  // Leaves flags in the host's SSE unit (double) or x87 unit (long double).
  template <typename Wide>
  static void LeaveHostFlags() {
    volatile Wide one = 1, zero = 0, huge = std::numeric_limits<Wide>::max();
    [[maybe_unused]] volatile Wide flags[] = {one / zero, zero / zero, huge * huge, one / 3};
  }
  // Runs the instruction on the accurate unit and checks it against the reference result and
  // flags of the same operation.
  template <typename R>
  void Check(uint32_t word, uint32_t mode, int leftover, R (*operation)(), const char* what) {
    static constexpr int kModes[4] = {FE_TONEAREST, FE_TOWARDZERO, FE_UPWARD, FE_DOWNWARD};
    std::fesetround(kModes[mode]);
    std::feclearexcept(FE_ALL_EXCEPT);
    volatile R expected = operation();
    const int raised = std::fetestexcept(FE_ALL_EXCEPT);
    std::fesetround(FE_TONEAREST);
    uint32_t cause = 0;
    for (auto [host, bit] : {std::pair{FE_INEXACT, kFpInexact},
                             {FE_UNDERFLOW, kFpUnderflow},
                             {FE_OVERFLOW, kFpOverflow},
                             {FE_DIVBYZERO, kFpDivByZero},
                             {FE_INVALID, kFpInvalid}})
      if (raised & host) cause |= bit;
    if (leftover == 1) LeaveHostFlags<double>();
    if (leftover == 2) LeaveHostFlags<long double>();
    FCR31 = mode;
    WriteAccurateFpr64(4, 0x5A5A5A5A'5A5A5A5A);
    AccurateOpcodeTable[0x11](word);
    const R value = expected;
    const bool tiny = value != 0 && std::fabs(value) < std::numeric_limits<R>::min();
    const uint64_t bits = sizeof(R) == 4 ? Cop1Regs[4] : AccurateFpr64(4);
    const std::string where = std::string(what) + " mode " + std::to_string(mode) + " leftover " +
                              std::to_string(leftover);
    if ((cause & kFpUnderflow) != 0 || tiny) {
      EXPECT_EQ(FCR31, mode | kFcr31Unimplemented) << where;
      EXPECT_EQ(bits, sizeof(R) == 4 ? 0x5A5A5A5Au : 0x5A5A5A5A'5A5A5A5Au) << where;
      return;
    }
    EXPECT_EQ(FCR31, mode | cause << kFcr31CauseShift | cause << kFcr31FlagShift) << where;
    if (std::isnan(value))
      EXPECT_EQ(bits, sizeof(R) == 4 ? kDefaultNanS : kDefaultNanD) << where;
    else
      EXPECT_EQ(bits, Bits(value)) << where;
  }
  // ADD, SUB, MUL, DIV and SQRT of a and b in double (fs f0, ft f2), then of a and b as floats.
  void CheckArithmetic(uint32_t mode, int leftover) {
    static constexpr uint32_t kArith[5] = {kAdd, kSub, kMul, kDiv, kSqrt};
    using D = double (*)();
    using S = float (*)();
    static constexpr D kDoubleOps[5] = {[] { return a + b; }, [] { return a - b; },
                                        [] { return a * b; }, [] { return a / b; },
                                        [] { return std::sqrt(a); }};
    static constexpr S kFloatOps[5] = {
        [] { return float(a) + float(b); }, [] { return float(a) - float(b); },
        [] { return float(a) * float(b); }, [] { return float(a) / float(b); },
        [] { return std::sqrt(float(a)); }};
    WriteAccurateFpr64(0, Bits(a));
    WriteAccurateFpr64(2, Bits(b));
    for (int op = 0; op < 5; ++op)
      Check(Cop1Arith(kD, kArith[op], 2, 0, 4), mode, leftover, kDoubleOps[op], "double");
    if (float(a) != a || float(b) != b) return;
    Cop1Regs[0] = Bits(float(a));
    Cop1Regs[2] = Bits(float(b));
    for (int op = 0; op < 5; ++op)
      Check(Cop1Arith(kS, kArith[op], 2, 0, 4), mode, leftover, kFloatOps[op], "float");
  }
  static inline volatile double a, b;
};

TEST_F(AccurateHostOperationTest, FlagsAndResultsMatchTheHostsOwnOfTheOperation) {
  UseAccurateHardware();
  std::mt19937_64 random(64);
  static volatile int64_t integer;
  for (int round = 0; round < 300; ++round) {
    for (uint32_t mode = 0; mode < 4; ++mode) {
      for (int leftover = 0; leftover < 3; ++leftover) {
        a = Operand<double, uint64_t>(random);
        b = Operand<double, uint64_t>(random);
        integer = static_cast<int64_t>(random()) >> (random() % 64);
        WriteAccurateFpr64(0, Bits(a));
        WriteAccurateFpr64(6, static_cast<uint64_t>(integer));
        Check(
            Cop1Arith(kD, kCvtS, 0, 0, 4), mode, leftover, +[] { return float(a); }, "cvt.s.d");
        Check(
            Cop1Arith(kL, kCvtD, 0, 6, 4), mode, leftover, +[] { return double(integer); },
            "cvt.d.l");
        Check(
            Cop1Arith(kL, kCvtS, 0, 6, 4), mode, leftover, +[] { return float(integer); },
            "cvt.s.l");
        CheckArithmetic(mode, leftover);
        a = Operand<float, uint32_t>(random);
        b = Operand<float, uint32_t>(random);
        CheckArithmetic(mode, leftover);
      }
    }
  }
}

// Operands where the unit tells rounding from the operands in round-to-nearest, and where it
// stops: magnitudes near the bounds of that (2^-900 and 2^1000 for doubles, 2^-100 and 2^100
// for floats) and near the limits of the formats, few significant bits so that products,
// quotients, roots and sums of far exponents come out exact as often as rounded, dividends that
// are products of the divisor and squares under the roots. Run again with VANTOR_NO_FMA=1 for
// hosts without a fused multiply-add.
TEST_F(AccurateHostOperationTest, ExactAndRoundedResultsNearTheBoundsMatchTheHost) {
  UseAccurateHardware();
  std::mt19937_64 random(900);
  static constexpr int kDoubleExponents[] = {-1022, -1000, -961, -901, -900, -899, -452,
                                             -451,  -450,  -1,   0,    1,    511,  512,
                                             999,   1000,  1001, 1022, 1023};
  static constexpr int kFloatExponents[] = {-126, -113, -101, -100, -99, -51, -50, -1,
                                            0,    1,    63,   64,   99,  100, 101, 127};
  // A number of exponent `exponent`: odd, with few or all significant bits of the format.
  const auto near = [&random](int exponent, int digits) {
    const uint64_t bits = random();
    const int width = bits % 4 == 0 ? digits : 1 + static_cast<int>(bits >> 60) % 6;
    const double mantissa = static_cast<double>((bits >> 4 & ((uint64_t{1} << width) - 1)) |
                                                uint64_t{1} << (width - 1) | 1);
    const double value = std::ldexp(bits & 2 ? -mantissa : mantissa, exponent - width + 1);
    return std::isnormal(value) ? value : 1.0;
  };
  for (int round = 0; round < 150; ++round) {
    const bool single = round % 2 != 0;
    const int digits = single ? 24 : 53;
    const int* exponents = single ? kFloatExponents : kDoubleExponents;
    const size_t count = single ? std::size(kFloatExponents) : std::size(kDoubleExponents);
    const int ea = exponents[random() % count];
    // b near a bound too, far below a (sums that round or not), or near 1 / a (products near 1).
    const uint64_t pick = random();
    const int eb = pick % 3 == 0   ? exponents[pick / 3 % count]
                   : pick % 3 == 1 ? ea - static_cast<int>(pick / 3 % (digits + 8))
                                   : -ea + static_cast<int>(pick / 3 % 3) - 1;
    const double x = single ? float(near(ea, digits)) : near(ea, digits);
    const double y = single ? float(near(eb, digits)) : near(eb, digits);
    const double product = single ? double(float(x) * float(y)) : x * y;
    const double square = single ? double(float(x) * float(x)) : x * x;
    const std::pair<double, double> pairs[] = {
        {x, y}, {y, x}, {product, y}, {std::fabs(square), x}};
    for (auto [first, second] : pairs) {
      // Denormal operands never reach the host.
      const auto usable = [single](double value) {
        return single ? std::fpclassify(float(value)) != FP_SUBNORMAL
                      : std::fpclassify(value) != FP_SUBNORMAL;
      };
      if (!std::isfinite(first) || !usable(first) || !usable(second)) continue;
      for (uint32_t mode = 0; mode < 4; ++mode) {
        for (int leftover = 0; leftover < 3; ++leftover) {
          a = first;
          b = second;
          CheckArithmetic(mode, leftover);
        }
      }
    }
  }
}

}  // namespace
}  // namespace vantor
