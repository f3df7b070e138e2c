#include <gtest/gtest.h>

#include "core/Cpu.h"
#include "tests/support/InstrEncoder.h"
#include "tests/support/Machine.h"

namespace vantor {
namespace {

using test::EncodeI;
using test::Special;

// Operand registers t1 (rs) and t2 (rt), destination t3 (rd) or t2 for immediates, so a swapped
// field reads or writes the wrong register.
constexpr uint32_t kRs = 9, kRt = 10, kRd = 11;

uint32_t Imm(uint32_t op, int32_t imm) {
  return EncodeI(op, kRs, kRt, imm);
}
uint32_t Reg(uint32_t funct, uint32_t sa = 0) {
  return Special(funct, kRs, kRt, kRd, sa);
}

struct Case {
  const char* name;
  uint32_t word;
  uint64_t rs, rt;
  uint32_t dest;
  uint64_t expected;
};

class IntegerOpsTest : public test::MachineTest {
 protected:
  void Execute(uint32_t word, uint64_t rs, uint64_t rt) {
    Gpr[kRs] = rs;
    Gpr[kRt] = rt;
    Gpr[kRd] = 0xDEADBEEF'DEADBEEF;
    ExecuteOpcode(word);
  }
  void RunCases(std::initializer_list<Case> cases) {
    for (const auto& c : cases) {
      Execute(c.word, c.rs, c.rt);
      EXPECT_EQ(Gpr[c.dest], c.expected) << c.name;
    }
  }
};

TEST_F(IntegerOpsTest, ImmediateArithmeticAndLogic) {
  RunCases({
      {"ADDI wraps into the sign", Imm(8, 1), 0x7FFFFFFF, 0, kRt, 0xFFFFFFFF'80000000},
      {"ADDIU ignores rs.hi", Imm(9, -1), 0x12345678'00000005, 0, kRt, 4},
      {"SLTI signed 64-bit", Imm(10, 0), 0xFFFFFFFF'FFFFFFFF, 0, kRt, 1},
      {"SLTI high words decide", Imm(10, 5), 0x00000001'00000000, 0, kRt, 0},
      {"SLTIU against all ones", Imm(11, -1), 0xFFFFFFFF'FFFFFFFE, 0, kRt, 1},
      {"SLTIU all ones itself", Imm(11, -1), 0xFFFFFFFF'FFFFFFFF, 0, kRt, 0},
      {"ANDI clears the high word", Imm(12, 0xFF0F), 0x12345678'ABCDEFFF, 0, kRt, 0xEF0F},
      {"ORI keeps the high word", Imm(13, 0x8000), 0x12345678'00000001, 0, kRt,
       0x12345678'00008001},
      {"XORI keeps the high word", Imm(14, 0xFFFF), 0x12345678'0000FF00, 0, kRt,
       0x12345678'000000FF},
      {"LUI sign-extends", Imm(15, 0x8000), 0, 0, kRt, 0xFFFFFFFF'80000000},
      {"DADDI carries into the high word", Imm(24, 1), 0x00000000'FFFFFFFF, 0, kRt,
       0x00000001'00000000},
      {"DADDIU subtracts", Imm(25, -2), 1, 0, kRt, 0xFFFFFFFF'FFFFFFFF},
  });
}

TEST_F(IntegerOpsTest, RegisterArithmeticLogicAndCompares) {
  RunCases({
      {"ADD wraps", Reg(32), 0x7FFFFFFF, 1, kRd, 0xFFFFFFFF'80000000},
      {"ADDU ignores high words", Reg(33), 0xFFFF0000'00000002, 0x0000FFFF'00000003, kRd, 5},
      {"SUB", Reg(34), 3, 5, kRd, 0xFFFFFFFF'FFFFFFFE},
      {"SUBU", Reg(35), 5, 3, kRd, 2},
      {"AND", Reg(36), 0xF0F0F0F0'FFFF0000, 0xFF00FF00'00FFFF00, kRd, 0xF000F000'00FF0000},
      {"OR", Reg(37), 0xF0000000'00000001, 0x0F000000'00000002, kRd, 0xFF000000'00000003},
      {"XOR", Reg(38), 0xFFFF0000'FFFF0000, 0xFF00FF00'FF00FF00, kRd, 0x00FFFF00'00FFFF00},
      {"NOR", Reg(39), 0xFFFF0000'00000000, 0x0000FFFF'0000000F, kRd, 0x00000000'FFFFFFF0},
      {"SLT signed", Reg(42), 0x80000000'00000000, 1, kRd, 1},
      {"SLT low words unsigned", Reg(42), 0x00000000'80000000, 0x00000000'7FFFFFFF, kRd, 0},
      {"SLTU unsigned", Reg(43), 1, 0x80000000'00000000, kRd, 1},
      {"DADD", Reg(44), 0x00000001'FFFFFFFF, 1, kRd, 0x00000002'00000000},
      {"DADDU", Reg(45), 0xFFFFFFFF'FFFFFFFF, 2, kRd, 1},
      {"DSUB borrows", Reg(46), 0x00000001'00000000, 1, kRd, 0x00000000'FFFFFFFF},
      {"DSUBU", Reg(47), 0, 1, kRd, 0xFFFFFFFF'FFFFFFFF},
  });
}

TEST_F(IntegerOpsTest, ShiftsUseTheRightWordsAndAmounts) {
  RunCases({
      {"SLL into the sign", Reg(0, 1), 0, 0x40000000, kRd, 0xFFFFFFFF'80000000},
      {"SRL logical", Reg(2, 4), 0, 0xFFFFFFFF'80000000, kRd, 0x08000000},
      {"SRA arithmetic", Reg(3, 4), 0, 0x80000000, kRd, 0xFFFFFFFF'F8000000},
      {"SLLV uses rs & 31", Reg(4), 33, 1, kRd, 2},
      {"SRLV", Reg(6), 31, 0x80000000, kRd, 1},
      {"SRAV", Reg(7), 28, 0x80000000, kRd, 0xFFFFFFFF'FFFFFFF8},
      {"DSLLV by 32", Reg(20), 32, 1, kRd, 0x00000001'00000000},
      {"DSRLV by 63", Reg(22), 63, 0x80000000'00000000, kRd, 1},
      {"DSRAV by 63", Reg(23), 63, 0x80000000'00000000, kRd, 0xFFFFFFFF'FFFFFFFF},
      {"DSLL", Reg(56, 4), 0, 0x0F000000'00000001, kRd, 0xF0000000'00000010},
      {"DSRL", Reg(58, 4), 0, 0x80000000'00000010, kRd, 0x08000000'00000001},
      {"DSRA", Reg(59, 4), 0, 0x80000000'00000000, kRd, 0xF8000000'00000000},
      {"DSLL32", Reg(60, 1), 0, 0x00000000'80000001, kRd, 0x00000002'00000000},
      {"DSRL32", Reg(62, 1), 0, 0x80000000'00000000, kRd, 0x40000000},
      {"DSRA32", Reg(63, 4), 0, 0x80000000'00000000, kRd, 0xFFFFFFFF'F8000000},
  });
}

TEST_F(IntegerOpsTest, MultiplyAndTheSingleLoHiRegister) {
  Execute(Reg(24), 0xFFFFFFFF, 0xFFFFFFFF);  // MULT -1 * -1
  EXPECT_EQ(MulDivTemp, 1u);
  Execute(Reg(25), 0xFFFFFFFF, 0xFFFFFFFF);  // MULTU
  EXPECT_EQ(MulDivTemp, 0xFFFFFFFE'00000001u);
  ExecuteOpcode(Special(18, 0, 0, kRd));  // MFLO hands out both words
  EXPECT_EQ(Gpr[kRd], 0xFFFFFFFE'00000001u);
  ExecuteOpcode(Special(16, 0, 0, kRd));  // MFHI sign-extends HI
  EXPECT_EQ(Gpr[kRd], 0xFFFFFFFF'FFFFFFFEu);

  Execute(Special(19, kRs, 0, 0), 0x12345678'9ABCDEF0, 0);  // MTLO sets HI too
  EXPECT_EQ(MulDivTemp, 0x12345678'9ABCDEF0u);
  ExecuteOpcode(Special(16, 0, 0, kRd));
  EXPECT_EQ(Gpr[kRd], 0x12345678u);
  Execute(Special(17, kRs, 0, 0), 0xFFFF0000'87654321, 0);  // MTHI keeps LO
  EXPECT_EQ(MulDivTemp, 0x87654321'9ABCDEF0u);

  Execute(Reg(28), 0x00000002'00000003, 0x00000004'00000005);  // DMULT, low 64 bits
  EXPECT_EQ(MulDivTemp, 0x00000016'0000000Fu);
  Execute(Reg(29), 0xFFFFFFFF'FFFFFFFF, 3);
  EXPECT_EQ(MulDivTemp, 0xFFFFFFFF'FFFFFFFDu);
}

TEST_F(IntegerOpsTest, DividesIncludingTheCasesWithoutAQuotient) {
  const struct {
    const char* name;
    uint32_t word;
    uint64_t rs, rt, muldiv;
    const char* line;
  } cases[] = {
      {"DIV truncates", Reg(26), static_cast<uint64_t>(-7), 2, 0xFFFFFFFF'FFFFFFFD, nullptr},
      {"DIVU", Reg(27), 0xFFFFFFFF, 16, 0x0000000F'0FFFFFFF, nullptr},
      {"DIV by zero", Reg(26), 5, 0, 0x00000005'FFFFFFFF, nullptr},
      {"DIV negative by zero", Reg(26), static_cast<uint64_t>(-5), 0, 0xFFFFFFFB'00000001, nullptr},
      {"DIV overflow", Reg(26), 0x80000000, 0xFFFFFFFF, 0x00000000'80000000, nullptr},
      {"DIVU by zero", Reg(27), 9, 0, 0x00000009'FFFFFFFF, nullptr},
      {"DDIV 64 by 32", Reg(30), 0xFFFFFFFF'FFFFFFF9, 0xFFFFFFFF'00000002, 0xFFFFFFFF'FFFFFFFD,
       nullptr},
      {"DDIV of zero", Reg(30), 0, 5, 0, nullptr},
      {"DDIV by zero", Reg(30), 10, 0x00000007'00000000, 0x1111, "DIV BY 0!"},
      {"DDIV too big", Reg(30), 10, 0x00000001'00000002, 0x1111,
       "Number too big to be divided with current method!"},
      {"DDIV wide quotient keeps its low word", Reg(30), 0x00000010'00000000, 2,
       0x00000000'00000000, nullptr},
      {"DDIV minimum by -1", Reg(30), 0x80000000'00000000, 0xFFFFFFFF'FFFFFFFF, 0, nullptr},
      {"DDIVU", Reg(31), 0x00000001'00000001, 0x10, 0x00000001'10000000, nullptr},
      {"DDIVU by zero", Reg(31), 10, 0, 0x1111, "DIV BY 0!"},
      {"DDIVU too big", Reg(31), 10, 0x00000001'00000000, 0x1111,
       "Number too big to be divided with current method!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host.Clear();
    MulDivTemp = 0x1111;
    Execute(c.word, c.rs, c.rt);
    EXPECT_EQ(MulDivTemp, c.muldiv);
    EXPECT_EQ(host.Lines(), c.line ? std::vector<std::string>{c.line} : std::vector<std::string>{});
  }
}

TEST_F(IntegerOpsTest, DestinationEqualToASourceSeesTheOldValue) {
  Gpr[kRs] = 5;
  ExecuteOpcode(Special(33, kRs, kRs, kRs));  // addu t1, t1, t1
  EXPECT_EQ(Gpr[kRs], 10u);
}

}  // namespace
}  // namespace vantor
