#include "debugger/Disassembler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/support/InstrEncoder.h"

namespace vantor {
namespace {

using test::Cop1Arith;
using test::Cop1Branch;
using test::CopMove;
using test::EncodeI;
using test::EncodeJ;
using test::EncodeR;
using test::RegImm;
using test::Special;

// Register numbers whose names differ, so a swapped or misread field changes the text.
constexpr uint32_t V1 = 3, T0 = 8, T2 = 10, S1 = 17, SP = 29;

const std::string kIllCpu = "* ILLEGAL CPU OPCODE! *";
const std::string kIllSpecial = "* ILLEGAL CPU SPECIAL OPCODE! *";
const std::string kIllRegImm = "* ILLEGAL CPU REGIMM OPCODE! *";
const std::string kIllCop0 = "* ILLEGAL COP0 OPCODE! *";
const std::string kIllTlb = "* ILLEGAL TLB OPCODE! *";
const std::string kIllCop1 = "* ILLEGAL COP1 OPCODE! *";
const std::string kIllCop1Ext = "* ILLEGAL COP1 EXT OPCODE! *";
const std::string kUnimpl = "** UNIMPLEMENTED **";

class DisassemblerTest : public ::testing::Test {
 protected:
  void SetUp() override { DisasmAddr = 0x80001000; }

  // Disassembles encode(i) for every index of a table and compares with expected[i].
  static void ExpectTable(const std::function<uint32_t(uint32_t)>& encode,
                          const std::vector<std::string>& expected) {
    for (uint32_t i = 0; i < expected.size(); ++i)
      EXPECT_EQ(DisasmOpcode(encode(i)), expected[i]) << "table index " << i;
  }
};

std::vector<std::string> Repeat(const std::string& text, size_t count) {
  return std::vector<std::string>(count, text);
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

// rs = S1, rt = T2, imm = -8; the sub-tables see funct 56, rd 31, sa 31 through the immediate.
TEST_F(DisassemblerTest, PrimaryTableEveryEntry) {
  const std::string b = "80000FE4";  // 80001000 + 4 - 8 * 4
  const std::string m = "(FFFFFFF8,S1)";
  const auto& I = kIllCpu;
  const auto& U = kUnimpl;
  // clang-format off
  const std::vector<std::string> expected = {
      "DSLL RA,T2,0000001F", U, "J 88ABFFE0", "JAL 88ABFFE0",
      "BEQ T2,S1," + b, "BNE T2,S1," + b, "BLEZ S1," + b, "BGTZ S1," + b,
      "ADDI T2,S1,FFFFFFF8", "ADDIU T2,S1,FFFFFFF8", "SLTI T2,S1,FFFFFFF8", "SLTIU T2,S1,FFFFFFF8",
      "ANDI T2,S1,0000FFF8", "ORI T2,S1,0000FFF8", "XORI T2,S1,0000FFF8", "LUI T2,0000FFF8",
      kIllCop0, "CSF.D FP1F,FP0A", I, I,
      "BEQL T2,S1," + b, "BNEL T2,S1," + b, "BLEZL S1," + b, "BGTZL S1," + b,
      "DADDI T2,S1,FFFFFFF8", "DADDIU T2,S1,FFFFFFF8", U, U, I, I, I, I,
      "LB T2," + m, "LH T2," + m, "LWL T2," + m, "LW T2," + m,
      "LBU T2," + m, "LHU T2," + m, "LWR T2," + m, "LWU T2," + m,
      "SB T2," + m, "SH T2," + m, "SWL T2," + m, "SW T2," + m, U, U, "SWR T2," + m, "CACHE <N/A>",
      U, "LWC1 FP0A," + m, I, I, U, "LDC1 FP0A," + m, U, "LD T2," + m,
      U, "SWC1 FP0A," + m, I, I, U, U, U, "SD T2," + m};
  // clang-format on
  ExpectTable([](uint32_t op) { return EncodeI(op, S1, T2, -8); }, expected);
}

TEST_F(DisassemblerTest, SpecialTableEveryEntry) {
  const auto& I = kIllSpecial;
  const auto& U = kUnimpl;
  const std::string sh = " V1,T2,0000001D", shv = " V1,T2,S1", md = " S1,T2", r3 = " V1,S1,T2";
  // clang-format off
  const std::vector<std::string> expected = {
      "SLL" + sh, I, "SRL" + sh, "SRA" + sh, "SLLV" + shv, I, "SRLV" + shv, "SRAV" + shv,
      "JR S1", "JALR V1,S1", I, I, U, U, I, U,
      "MFHI V1", "MTHI S1", "MFLO V1", "MTLO S1", "DSLLV" + shv, I, "DSRLV" + shv, "DSRAV" + shv,
      "MULT" + md, "MULTU" + md, "DIV" + md, "DIVU" + md,
      "DMULT" + md, "DMULTU" + md, "DDIV" + md, "DDIVU" + md,
      "ADD" + r3, "ADDU" + r3, "SUB" + r3, "SUBU" + r3,
      "AND" + r3, "OR" + r3, "XOR" + r3, "NOR" + r3,
      I, I, "SLT" + r3, "SLTU" + r3, "DADD" + r3, "DADDU" + r3, "DSUB" + r3, "DSUBU" + r3,
      U, U, U, U, U, I, U, I,
      "DSLL" + sh, I, "DSRL" + sh, "DSRA" + sh, "DSLL32" + sh, I, "DSRL32" + sh, "DSRA32" + sh};
  // clang-format on
  ExpectTable([](uint32_t funct) { return Special(funct, S1, T2, V1, 0x1D); }, expected);
}

TEST_F(DisassemblerTest, RegImmTableEveryEntry) {
  const auto& I = kIllRegImm;
  const auto& U = kUnimpl;
  const std::string t = " S1,80001044";  // 80001000 + 4 + 0x10 * 4
  ExpectTable([](uint32_t code) { return RegImm(code, S1, 0x10); },
              Concat({{"BLTZ" + t, "BGEZ" + t, "BLTZL" + t, "BGEZL" + t, I, I, I, I},
                      {U, U, U, U, U, I, U, I},
                      {"BLTZAL" + t, "BGEZAL" + t, "BLTZALL" + t, "BGEZALL" + t, I, I, I, I},
                      Repeat(I, 8)}));
}

// Funct 24 is ERET's: only sub-opcode 16 may reach the TLB table with it.
TEST_F(DisassemblerTest, Cop0TableEveryEntry) {
  std::vector<std::string> expected = Repeat(kIllCop0, 32);
  expected[0] = "MFC0 T2,STATUS";
  expected[4] = "MTC0 T2,STATUS";
  expected[16] = "ERET";
  ExpectTable([](uint32_t sub) { return CopMove(16, sub, T2, 12) | 24; }, expected);
}

TEST_F(DisassemblerTest, TlbTableEveryEntryPrintsTheMnemonicAlone) {
  std::vector<std::string> expected = Repeat(kIllTlb, 64);
  expected[1] = "TLBR";
  expected[2] = "TLBWI";
  expected[6] = "TLBWR";
  expected[8] = "TLBP";
  expected[24] = "ERET";
  ExpectTable([](uint32_t funct) { return EncodeR(16, 16, T2, 5, 3, funct); }, expected);
}

// rt = T2 and fs = 5; as a BC1 word that is condition 2 and offset 0x2800.
TEST_F(DisassemblerTest, Cop1TableEveryEntry) {
  std::vector<std::string> expected = Repeat(kIllCop1, 32);
  expected[0] = "MFC1 T2,FP05";
  expected[1] = "DMFC1 T2,FP05";
  expected[2] = "CFC1 T2,FCR5 ***";
  expected[4] = "MTC1 FP05,T2";
  expected[5] = "DMTC1 FP05,T2";
  expected[6] = "CTC1 FCR5 ***,T2";
  expected[8] = "BC1FL 8000B004";
  expected[16] = expected[20] = "ADD.S FP00,FP05,FP0A";
  expected[17] = expected[21] = "ADD.D FP00,FP05,FP0A";
  ExpectTable([](uint32_t sub) { return CopMove(17, sub, T2, 5); }, expected);
}

// Bits 18-20 are set to show that only bits 16-17 choose the branch.
TEST_F(DisassemblerTest, Bc1TableEveryEntry) {
  ExpectTable([](uint32_t cond) { return Cop1Branch(cond, -2) | (0x1Cu << 16); },
              {"BC1F 80000FFC", "BC1T 80000FFC", "BC1FL 80000FFC", "BC1TL 80000FFC"});
}

// Arithmetic and compares print W as .S and L as .D; conversions show all four formats.
TEST_F(DisassemblerTest, Cop1FunctionTableEveryEntry) {
  const auto& I = kIllCop1Ext;
  const struct {
    uint32_t fmt;
    std::string precision, format;
  } formats[] = {{16, ".S", ".S"}, {17, ".D", ".D"}, {20, ".S", ".W"}, {21, ".D", ".L"}};
  for (const auto& f : formats) {
    const std::string a3 = f.precision + " FP03,FP1C,FP0A", a2 = f.precision + " FP03,FP1C";
    const std::string v = f.format + " FP03,FP1C", c = f.precision + " FP1C,FP0A";
    const std::vector<std::string> expected =
        Concat({{"ADD" + a3, "SUB" + a3, "MUL" + a3, "DIV" + a3},
                {"SQRT" + a2, "ABS" + a2, "MOV" + a2, "NEG" + a2},
                {"ROUND.L" + v, "TRUNC.L" + v, "CEIL.L" + v, "FLOOR.L" + v},
                {"ROUND.W" + v, "TRUNC.W" + v, "CEIL.W" + v, "FLOOR.W" + v},
                Repeat(I, 16),
                {"CVT.S" + v, "CVT.D" + v, I, I, "CVT.W" + v, "CVT.L" + v},
                Repeat(I, 10),
                {"CF" + c, "CUN" + c, "CEQ" + c, "CUEQ" + c, "COLT" + c, "CULT" + c},
                {"COLE" + c, "CULE" + c, "CSF" + c, "CNGLE" + c, "CSEQ" + c, "CNGL" + c},
                {"CLT" + c, "CNGE" + c, "CLE" + c, "CNGT" + c}});
    ASSERT_EQ(expected.size(), 64u);
    ExpectTable([&](uint32_t funct) { return Cop1Arith(f.fmt, funct, 0x0A, 0x1C, 0x03); },
                expected);
  }
}

// Every table entry with its fields at their widest: the view is as wide as the longest text.
TEST_F(DisassemblerTest, NoTextIsLongerThanTheViewShows) {
  size_t longest = 0;
  for (const bool accurate : {false, true})
    for (uint32_t op = 0; op < 64; ++op)
      for (uint32_t rs = 0; rs < 32; ++rs)
        for (uint32_t fn = 0; fn < 64; ++fn) {
          // rt selects the entry of REGIMM and of the coprocessor branches.
          const bool rtSelects = op == 1 || (op >= 16 && op <= 19);
          for (uint32_t rt = rtSelects ? 0 : 31; rt < 32; ++rt) {
            const uint32_t word = op << 26 | rs << 21 | rt << 16 | 31 << 11 | 31 << 6 | fn;
            longest = std::max(longest, DisasmOpcode(word, 0x80000000, accurate).size());
          }
        }
  EXPECT_EQ(longest, size_t(kLongestDisasmText));
}

TEST_F(DisassemblerTest, CommonInstructions) {
  EXPECT_EQ(DisasmOpcode(0x00000000), "SLL R0,R0,00000000");
  EXPECT_EQ(DisasmOpcode(EncodeI(9, SP, SP, -24)), "ADDIU SP,SP,FFFFFFE8");
  EXPECT_EQ(DisasmOpcode(EncodeI(9, SP, SP, 0x7FFF)), "ADDIU SP,SP,00007FFF");
  EXPECT_EQ(DisasmOpcode(EncodeI(13, T0, T2, 0x8000)), "ORI T2,T0,00008000");
  EXPECT_EQ(DisasmOpcode(EncodeI(35, SP, T0, 0x10)), "LW T0,(00000010,SP)");
  EXPECT_EQ(DisasmOpcode(EncodeI(43, SP, T0, -4)), "SW T0,(FFFFFFFC,SP)");
  EXPECT_EQ(DisasmOpcode(EncodeI(4, T0, T2, -1)), "BEQ T2,T0,80001000");
  EXPECT_EQ(DisasmOpcode(EncodeI(5, 0, 0, 0)), "BNE R0,R0,80001004");
  EXPECT_EQ(DisasmOpcode(CopMove(16, 1, T2, 12)), kIllCop0);  // DMFC0
  DisasmAddr = 0x80000180;
  EXPECT_EQ(DisasmOpcode(EncodeJ(2, 0x0100400)), "J 80401000");
}

TEST_F(DisassemblerTest, FloatingPointControlRegisters) {
  EXPECT_EQ(DisasmOpcode(CopMove(17, 2, T0, 0)), "CFC1 T0,FCR0");
  EXPECT_EQ(DisasmOpcode(CopMove(17, 2, T0, 31)), "CFC1 T0,FCR31");
  EXPECT_EQ(DisasmOpcode(CopMove(17, 2, T0, 7)), "CFC1 T0,FCR7 ***");
  EXPECT_EQ(DisasmOpcode(CopMove(17, 2, T0, 30)), "CFC1 T0,FCR30 ***");
  EXPECT_EQ(DisasmOpcode(CopMove(17, 6, T0, 0)), "CTC1 FCR0,T0");
  EXPECT_EQ(DisasmOpcode(CopMove(17, 6, T0, 31)), "CTC1 FCR31,T0");
  EXPECT_EQ(DisasmOpcode(CopMove(17, 6, T0, 5)), "CTC1 FCR5 ***,T0");
}

TEST_F(DisassemblerTest, TargetsWrapAroundTheAddressSpace) {
  DisasmAddr = 0xFFFFFFFC;
  EXPECT_EQ(DisasmOpcode(EncodeI(4, 0, 0, 1)), "BEQ R0,R0,00000004");
  EXPECT_EQ(DisasmOpcode(RegImm(1, T0, 0x7FFF)), "BGEZ T0,0001FFFC");
  EXPECT_EQ(DisasmOpcode(EncodeJ(3, 0x3FFFFFF)), "JAL 0FFFFFFC");
  DisasmAddr = 0x00000000;
  EXPECT_EQ(DisasmOpcode(Cop1Branch(1, -2)), "BC1T FFFFFFFC");
  EXPECT_EQ(DisasmOpcode(EncodeI(7, T0, 0, -0x8000)), "BGTZ T0,FFFE0004");
  // The jump region is the delay slot's: the last word of a region jumps into the next one.
  DisasmAddr = 0x8FFFFFFC;
  EXPECT_EQ(DisasmOpcode(EncodeJ(2, 0x10)), "J 90000040");
}

TEST_F(DisassemblerTest, AnAddressGivenWithTheWordTakesThePlaceOfDisasmAddr) {
  EXPECT_EQ(DisasmOpcode(EncodeI(4, 0, 0, 1), 0x80000180), "BEQ R0,R0,80000188");
  EXPECT_EQ(DisasmOpcode(EncodeJ(2, 0x10), 0x8FFFFFFC), "J 90000040");
  EXPECT_EQ(DisasmAddr, 0x80001000u);  // neither read nor changed
  EXPECT_EQ(DisasmOpcode(EncodeI(4, 0, 0, 1)), "BEQ R0,R0,80001008");
}

// Joins the operand printed after `prefix` for each of the 32 register numbers.
std::string NamesVia(const std::function<uint32_t(uint32_t)>& encode, const std::string& prefix) {
  std::string names;
  for (uint32_t r = 0; r < 32; ++r) {
    const std::string text = DisasmOpcode(encode(r));
    EXPECT_EQ(text.rfind(prefix, 0), 0u) << text;
    names += (r ? " " : "") + text.substr(prefix.size());
  }
  return names;
}

TEST_F(DisassemblerTest, RegisterNames) {
  EXPECT_EQ(NamesVia([](uint32_t r) { return Special(8, r, 0, 0); }, "JR "),
            "R0 AT V0 V1 A0 A1 A2 A3 T0 T1 T2 T3 T4 T5 T6 T7 "
            "S0 S1 S2 S3 S4 S5 S6 S7 T8 T9 K0 K1 GP SP S8 RA");
  EXPECT_EQ(NamesVia([](uint32_t r) { return CopMove(17, 0, 0, r); }, "MFC1 R0,"),
            "FP00 FP01 FP02 FP03 FP04 FP05 FP06 FP07 FP08 FP09 FP0A FP0B FP0C FP0D FP0E FP0F "
            "FP10 FP11 FP12 FP13 FP14 FP15 FP16 FP17 FP18 FP19 FP1A FP1B FP1C FP1D FP1E FP1F");
  EXPECT_EQ(NamesVia([](uint32_t r) { return CopMove(16, 4, 0, r); }, "MTC0 R0,"),
            "INDEX RANDOM ENTRYLO0 ENTRYLO1 CONTEXT PAGEMASK WIRED RESERVED0 "
            "BADVADDR COUNT ENTRYHI COMPARE STATUS CAUSE EPC PREVID "
            "CONFIG LLADDR WATCHLO WATCHHI XCONTEXT RESERVED1 RESERVED2 RESERVED3 "
            "RESERVED4 RESERVED5 PERR CACHEERR TAGLO TAGHI ERROREPC RESERVED6");
}

// Any word yields a well-formed line: never empty, no doubled or trailing space, no ", ".
TEST_F(DisassemblerTest, RandomWordsAlwaysGiveALine) {
  std::mt19937 random(64);
  for (int i = 0; i < 200000; ++i) {
    const uint32_t word = static_cast<uint32_t>(random());
    DisasmAddr = static_cast<uint32_t>(random()) & ~3u;
    const std::string text = DisasmOpcode(word);
    ASSERT_FALSE(text.empty()) << std::hex << word;
    EXPECT_EQ(text.find("  "), std::string::npos) << text;
    EXPECT_EQ(text.find(", "), std::string::npos) << text;
    EXPECT_NE(text.back(), ' ') << text;
  }
}

}  // namespace
}  // namespace vantor

namespace vantor {
namespace {

// The accurate-hardware mode executes what the default machine reports, and names it.
TEST(AccurateDisassembly, NamesTheInstructionsTheModeExecutes) {
  const uint32_t ldl = 0x68A40010;   // LDL A0, 0x10(A1)
  const uint32_t sdc1 = 0xF6010008;  // SDC1 FP01, 8(S0)
  const uint32_t sync = 0x0000000F;
  EXPECT_EQ(DisasmOpcode(ldl, 0, false), "** UNIMPLEMENTED **");
  EXPECT_EQ(DisasmOpcode(sync, 0, false), "** UNIMPLEMENTED **");
  EXPECT_EQ(DisasmOpcode(ldl, 0, true), "LDL A0,(00000010,A1)");
  EXPECT_EQ(DisasmOpcode(sdc1, 0, true), "SDC1 FP01,(00000008,S0)");
  EXPECT_EQ(DisasmOpcode(sync, 0, true), "SYNC");
  EXPECT_EQ(DisasmOpcode(0xF8000000, 0, true), "** UNIMPLEMENTED **");  // SDC2 stays
}

}  // namespace
}  // namespace vantor
