#include <gtest/gtest.h>

#include <set>

#include "core/Cpu.h"
#include "tests/support/InstrEncoder.h"
#include "tests/support/Machine.h"

namespace vantor {
namespace {

using Lines = std::vector<std::string>;
using test::EncodeR;

constexpr uint32_t kCode = 0x80001000;

// Words run at kCode with harmless operands: rs = SP (mapped memory), rt = r20 (1).
class DecodeTest : public test::MachineTest {};

Lines Report(const std::string& first, uint32_t field) {
  char digits[3];
  std::snprintf(digits, sizeof digits, "%02X", field);
  return {first + "80001000", std::string("Opcode ") + digits};
}

TEST_F(DecodeTest, PrimaryTableReportsUndefinedAndUnimplementedOpcodes) {
  const std::set<uint32_t> illegal = {18, 19, 28, 29, 30, 31, 50, 51, 58, 59};
  const std::set<uint32_t> unimplemented = {26, 27, 44, 45, 48, 52, 54, 56, 60, 61, 62};
  for (uint32_t op = 2; op < 64; ++op) {
    if (op == 16 || op == 17) continue;  // the coprocessors decode further
    SCOPED_TRACE(op);
    const Lines lines = RunWord(EncodeR(op, 29, 20, 0, 0, 0));
    if (illegal.contains(op))
      EXPECT_EQ(lines, Lines{"Illegal CPU opcode at 80001000"});
    else if (unimplemented.contains(op))
      EXPECT_EQ(lines, Report("Unimplemented opcode at ", op));
    else
      EXPECT_EQ(lines, Lines{});
  }
}

TEST_F(DecodeTest, SpecialTableReportsUndefinedAndUnimplementedFunctions) {
  const std::set<uint32_t> illegal = {1, 5, 10, 11, 14, 21, 40, 41, 53, 55, 57, 61};
  const std::set<uint32_t> unimplemented = {12, 13, 15, 48, 49, 50, 51, 52, 54};
  for (uint32_t funct = 1; funct < 64; ++funct) {
    SCOPED_TRACE(funct);
    const Lines lines = RunWord(EncodeR(0, 20, 20, 8, 0, funct));
    if (illegal.contains(funct))
      EXPECT_EQ(lines, Lines{"Illegal Special CPU opcode at 80001000"});
    else if (unimplemented.contains(funct))
      EXPECT_EQ(lines, Report("Unimplemented Special opcode at ", funct));
    else
      EXPECT_EQ(lines, Lines{});
  }
}

TEST_F(DecodeTest, RegImmTableReportsEverythingButItsBranchesAsUnimplemented) {
  const std::set<uint32_t> branches = {0, 1, 2, 3, 16, 17, 18, 19};
  for (uint32_t code = 0; code < 32; ++code) {
    SCOPED_TRACE(code);
    const Lines lines = RunWord(test::RegImm(code, 29, 4));
    EXPECT_EQ(lines,
              branches.contains(code) ? Lines{} : Report("Unimplemented RegImm opcode at ", code));
  }
}

TEST_F(DecodeTest, AReportedInstructionChangesNoStateAndKeepsAPendingTransfer) {
  // beq r0,r0 to kCode + 0x40 with SYNC in its delay slot
  Program(kCode, {test::EncodeI(4, 0, 0, 15), EncodeR(0, 0, 0, 0, 0, 15)});
  Step();
  const auto before = std::vector<uint64_t>(Gpr, Gpr + 32);
  Step();
  EXPECT_EQ(host.Lines(), (Lines{"Unimplemented Special opcode at 80001004", "Opcode 0F"}));
  EXPECT_EQ(std::vector<uint64_t>(Gpr, Gpr + 32), before);
  EXPECT_EQ(PC.Lo, kCode + 0x40);
}

}  // namespace
}  // namespace vantor
