#include "debugger/RspDisassembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/InstrEncoder.h"

namespace vantor {
namespace {

using test::EncodeI;
using test::EncodeJ;
using test::EncodeR;

const std::string I = "* ILLEGAL RSP OPCODE! *";
constexpr uint32_t kPc = 0x04001100;
constexpr uint32_t T0 = 8, T2 = 10, S1 = 17;

uint32_t VectorWord(uint32_t funct, uint32_t vd, uint32_t vs, uint32_t vt, uint32_t e) {
  return 0x12u << 26 | 1u << 25 | e << 21 | vt << 16 | vs << 11 | vd << 6 | funct;
}
uint32_t VectorMemoryWord(bool store, uint32_t sub, uint32_t base, uint32_t vt, uint32_t element,
                          int32_t offset) {
  return (store ? 0x3Au : 0x32u) << 26 | base << 21 | vt << 16 | sub << 11 | element << 7 |
         (static_cast<uint32_t>(offset) & 0x7F);
}

void ExpectTable(uint32_t (*encode)(uint32_t), const std::vector<std::string>& expected) {
  for (uint32_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(DisasmRspOpcode(encode(i), kPc), expected[i]) << "table index " << i;
}

// vd = 1, vs = 2, vt = 3, e = 2 for every function code of COP2.
TEST(RspDisassemblerTest, EveryVectorOperation) {
  const std::string o = " $V1,$V2,$V3[0Q]", one = " $V1[2],$V3[0Q]";
  // clang-format off
  const std::vector<std::string> expected = {
    "VMULF" + o, "VMULU" + o, "VRNDP" + o, "VMULQ" + o, "VMUDL" + o, "VMUDM" + o, "VMUDN" + o,
    "VMUDH" + o, "VMACF" + o, "VMACU" + o, "VRNDN" + o, "VMACQ" + o, "VMADL" + o, "VMADM" + o,
    "VMADN" + o, "VMADH" + o, "VADD" + o, "VSUB" + o, I, "VABS" + o, "VADDC" + o, "VSUBC" + o,
    I, I, I, I, I, I, I, "VSAR $V1,E2", I, I,
    "VLT" + o, "VEQ" + o, "VNE" + o, "VGE" + o, "VCL" + o, "VCH" + o, "VCR" + o, "VMRG" + o,
    "VAND" + o, "VNAND" + o, "VOR" + o, "VNOR" + o, "VXOR" + o, "VNXOR" + o, I, I,
    "VRCP" + one, "VRCPL" + one, "VRCPH" + one, "VMOV" + one, "VRSQ" + one, "VRSQL" + one,
    "VRSQH" + one, "VNOP", I, I, I, I, I, I, I, I};
  // clang-format on
  ExpectTable([](uint32_t funct) { return VectorWord(funct, 1, 2, 3, 2); }, expected);
}

TEST(RspDisassemblerTest, ElementSuffixesAndAccumulatorSlices) {
  const std::vector<std::string> suffixes = {"",     "[E1]", "[0Q]", "[1Q]", "[0H]", "[1H]",
                                             "[2H]", "[3H]", "[0]",  "[1]",  "[2]",  "[3]",
                                             "[4]",  "[5]",  "[6]",  "[7]"};
  for (uint32_t e = 0; e < 16; ++e)
    EXPECT_EQ(DisasmRspOpcode(VectorWord(0x07, 31, 0, 17, e), kPc),
              "VMUDH $V31,$V0,$V17" + suffixes[e]);
  EXPECT_EQ(DisasmRspOpcode(VectorWord(0x1D, 4, 0, 0, 8), kPc), "VSAR $V4,ACC_H");
  EXPECT_EQ(DisasmRspOpcode(VectorWord(0x1D, 4, 0, 0, 9), kPc), "VSAR $V4,ACC_M");
  EXPECT_EQ(DisasmRspOpcode(VectorWord(0x1D, 4, 0, 0, 10), kPc), "VSAR $V4,ACC_L");
  EXPECT_EQ(DisasmRspOpcode(VectorWord(0x30, 4, 15, 6, 13), kPc), "VRCP $V4[7],$V6[5]");
}

// Offset -1 in units of each access's size, element 5, base S1, register $V9.
TEST(RspDisassemblerTest, EveryVectorLoadAndStore) {
  const std::vector<std::string> loads = {"LBV $V9[5],(FFFFFFFF,S1)",
                                          "LSV $V9[5],(FFFFFFFE,S1)",
                                          "LLV $V9[5],(FFFFFFFC,S1)",
                                          "LDV $V9[5],(FFFFFFF8,S1)",
                                          "LQV $V9[5],(FFFFFFF0,S1)",
                                          "LRV $V9[5],(FFFFFFF0,S1)",
                                          "LPV $V9[5],(FFFFFFF8,S1)",
                                          "LUV $V9[5],(FFFFFFF8,S1)",
                                          "LHV $V9[5],(FFFFFFF0,S1)",
                                          "LFV $V9[5],(FFFFFFF0,S1)",
                                          I,
                                          "LTV $V9[5],(FFFFFFF0,S1)"};
  const std::vector<std::string> stores = {
      "SBV $V9[5],(FFFFFFFF,S1)", "SSV $V9[5],(FFFFFFFE,S1)", "SLV $V9[5],(FFFFFFFC,S1)",
      "SDV $V9[5],(FFFFFFF8,S1)", "SQV $V9[5],(FFFFFFF0,S1)", "SRV $V9[5],(FFFFFFF0,S1)",
      "SPV $V9[5],(FFFFFFF8,S1)", "SUV $V9[5],(FFFFFFF8,S1)", "SHV $V9[5],(FFFFFFF0,S1)",
      "SFV $V9[5],(FFFFFFF0,S1)", "SWV $V9[5],(FFFFFFF0,S1)", "STV $V9[5],(FFFFFFF0,S1)"};
  for (uint32_t sub = 0; sub < 32; ++sub) {
    const std::string load = sub < loads.size() ? loads[sub] : I;
    const std::string store = sub < stores.size() ? stores[sub] : I;
    EXPECT_EQ(DisasmRspOpcode(VectorMemoryWord(false, sub, S1, 9, 5, -1), kPc), load) << sub;
    EXPECT_EQ(DisasmRspOpcode(VectorMemoryWord(true, sub, S1, 9, 5, -1), kPc), store) << sub;
  }
  EXPECT_EQ(DisasmRspOpcode(VectorMemoryWord(false, 4, T0, 2, 0, 63), kPc),
            "LQV $V2[0],(000003F0,T0)");
}

TEST(RspDisassemblerTest, MovesAndControlRegisters) {
  auto move = [](uint32_t sub, uint32_t rd, uint32_t element) {
    return 0x12u << 26 | sub << 21 | T2 << 16 | rd << 11 | element << 7;
  };
  EXPECT_EQ(DisasmRspOpcode(move(0, 7, 9), kPc), "MFC2 T2,$V7[9]");
  EXPECT_EQ(DisasmRspOpcode(move(4, 7, 14), kPc), "MTC2 T2,$V7[14]");
  EXPECT_EQ(DisasmRspOpcode(move(2, 0, 0), kPc), "CFC2 T2,VCO");
  EXPECT_EQ(DisasmRspOpcode(move(6, 1, 0), kPc), "CTC2 T2,VCC");
  EXPECT_EQ(DisasmRspOpcode(move(2, 2, 0), kPc), "CFC2 T2,VCE");
  EXPECT_EQ(DisasmRspOpcode(move(2, 5, 0), kPc), "CFC2 T2,VC5 ***");
  for (uint32_t sub : {1u, 3u, 5u, 7u, 8u, 12u})
    EXPECT_EQ(DisasmRspOpcode(move(sub, 1, 0), kPc), I);
  const std::vector<std::string> cop0 = {
      "SP_MEM_ADDR", "SP_DRAM_ADDR", "SP_RD_LEN",    "SP_WR_LEN", "SP_STATUS",   "SP_DMA_FULL",
      "SP_DMA_BUSY", "SP_SEMAPHORE", "DPC_START",    "DPC_END",   "DPC_CURRENT", "DPC_STATUS",
      "DPC_CLOCK",   "DPC_BUFBUSY",  "DPC_PIPEBUSY", "DPC_TMEM"};
  for (uint32_t rd = 0; rd < 16; ++rd) {
    EXPECT_EQ(DisasmRspOpcode(EncodeR(0x10, 0, T2, rd, 0, 0), kPc), "MFC0 T2," + cop0[rd]);
    EXPECT_EQ(DisasmRspOpcode(EncodeR(0x10, 4, T2, rd, 0, 0), kPc), "MTC0 T2," + cop0[rd]);
  }
  EXPECT_EQ(DisasmRspOpcode(EncodeR(0x10, 0, T2, 20, 0, 0), kPc), "MFC0 T2,C0R20");
  EXPECT_EQ(DisasmRspOpcode(EncodeR(0x10, 16, 0, 0, 0, 24), kPc), I);  // no ERET here
}

// rs = S1, rt = T2, imm = -8: the scalar unit has no 64-bit, multiply, divide or COP1 forms.
TEST(RspDisassemblerTest, ScalarPrimaryTableEveryEntry) {
  const std::string b = "040010E4";  // 04001100 + 4 - 8 * 4
  const std::string m = "(FFFFFFF8,S1)";
  // clang-format off
  const std::vector<std::string> expected = {
      I, I, "J 04001FE0", "JAL 04001FE0",
      "BEQ S1,T2," + b, "BNE S1,T2," + b, "BLEZ S1," + b, "BGTZ S1," + b,
      "ADDI T2,S1,FFFFFFF8", "ADDIU T2,S1,FFFFFFF8", "SLTI T2,S1,FFFFFFF8", "SLTIU T2,S1,FFFFFFF8",
      "ANDI T2,S1,0000FFF8", "ORI T2,S1,0000FFF8", "XORI T2,S1,0000FFF8", "LUI T2,0000FFF8",
      I, I, I, I, I, I, I, I, I, I, I, I, I, I, I, I,
      "LB T2," + m, "LH T2," + m, I, "LW T2," + m, "LBU T2," + m, "LHU T2," + m, I, I,
      "SB T2," + m, "SH T2," + m, I, "SW T2," + m, I, I, I, I,
      I, I, I, I, I, I, I, I, I, I, I, I, I, I, I, I};
  // clang-format on
  // Ops 0, 1, 16, 18, 50 and 58 reach sub-tables; the sub-table words here are illegal there.
  ExpectTable([](uint32_t op) { return EncodeI(op, S1, T2, -8) | (op == 0 ? 0x3F : 0); }, expected);
}

TEST(RspDisassemblerTest, ScalarSpecialAndRegImm) {
  const std::string sh = " V1,T2,0000001D", shv = " V1,T2,S1", r3 = " V1,S1,T2";
  std::vector<std::string> expected(64, I);
  for (auto [funct, text] : std::vector<std::pair<uint32_t, std::string>>{{0x00, "SLL" + sh},
                                                                          {0x02, "SRL" + sh},
                                                                          {0x03, "SRA" + sh},
                                                                          {0x04, "SLLV" + shv},
                                                                          {0x06, "SRLV" + shv},
                                                                          {0x07, "SRAV" + shv},
                                                                          {0x08, "JR S1"},
                                                                          {0x09, "JALR V1,S1"},
                                                                          {0x0D, "BREAK"},
                                                                          {0x20, "ADD" + r3},
                                                                          {0x21, "ADDU" + r3},
                                                                          {0x22, "SUB" + r3},
                                                                          {0x23, "SUBU" + r3},
                                                                          {0x24, "AND" + r3},
                                                                          {0x25, "OR" + r3},
                                                                          {0x26, "XOR" + r3},
                                                                          {0x27, "NOR" + r3},
                                                                          {0x2A, "SLT" + r3},
                                                                          {0x2B, "SLTU" + r3}})
    expected[funct] = text;
  ExpectTable([](uint32_t funct) { return test::Special(funct, S1, T2, 3, 0x1D); }, expected);
  EXPECT_EQ(DisasmRspOpcode(0, kPc), "NOP");
  std::vector<std::string> regimm(32, I);
  regimm[0] = "BLTZ S1,04001144";
  regimm[1] = "BGEZ S1,04001144";
  regimm[16] = "BLTZAL S1,04001144";
  regimm[17] = "BGEZAL S1,04001144";
  ExpectTable([](uint32_t code) { return test::RegImm(code, S1, 0x10); }, regimm);
}

// Branches and jumps stay in IMEM's 4 KB, whether the address is the PC or the CPU's view.
TEST(RspDisassemblerTest, TargetsWrapInsideImem) {
  EXPECT_EQ(DisasmRspOpcode(EncodeI(4, 0, 0, 1), 0x04001FFC), "BEQ R0,R0,04001004");
  EXPECT_EQ(DisasmRspOpcode(EncodeI(4, 0, 0, -2), 0x000), "BEQ R0,R0,00000FFC");
  EXPECT_EQ(DisasmRspOpcode(EncodeJ(2, 0x1234), 0x04001000), "J 040018D0");
}

}  // namespace
}  // namespace vantor
