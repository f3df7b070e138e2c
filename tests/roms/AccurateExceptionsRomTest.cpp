// The exception and TLB program on the accurate machine: every case's record, in order.
#include <gtest/gtest.h>

#include <optional>

#include "tests/support/Machine.h"

namespace vantor {
namespace {

class AccurateExceptionsRomTest : public test::MachineTest {
 protected:
  // The records start at result word 64; Next reads them one after the other.
  uint32_t Next() { return Result(64 + next_++); }
  // A 64-bit register recorded as two words, the high one first.
  uint64_t Next64() {
    const uint64_t high = Next();
    return high << 32 | Next();
  }

  // One handler record: CAUSE (with the vector's number in bits 1-0), EPC less the expected
  // address, BadVAddr.
  void ExpectFault(const char* what, uint32_t cause, std::optional<uint32_t> badVAddr = {}) {
    SCOPED_TRACE(what);
    EXPECT_EQ(Next(), cause);
    EXPECT_EQ(Next(), 0u) << "EPC";
    const uint32_t address = Next();
    if (badVAddr) {
      EXPECT_EQ(address, *badVAddr) << "BadVAddr";
    }
  }

  int next_ = 0;
};

// CAUSE values as the handler records them: code << 2, BD, CE, vector number.
constexpr uint32_t kRefill = 0, kWideRefill = 1, kGeneral = 2;
constexpr uint32_t Cause(uint32_t code, uint32_t vector = kGeneral) {
  return code << 2 | vector;
}
constexpr uint32_t kBD = 0x80000000;

TEST_F(AccurateExceptionsRomTest, EveryCaseRecordsWhatTheProcessorSets) {
  UseAccurateHardware();
  RunRomFile(std::string(VANTOR_ROM_DIR) + "/accurate_exceptions.z64", 20'000);

  ExpectFault("misaligned load", Cause(4), 0x80000001);
  EXPECT_EQ(Next(), 0x1234u) << "the load wrote nothing";
  ExpectFault("misaligned store", Cause(5), 0x80000001);
  ExpectFault("load in a delay slot", kBD | Cause(4), 0x80000003);
  ExpectFault("fetch from an odd address", Cause(4));
  EXPECT_EQ(Result(64 + next_ - 1) & 3, 2u);
  ExpectFault("64-bit address in 32-bit mode", Cause(4), 0x80000010);
  ExpectFault("kernel address from user mode", Cause(4), 0x80000100);
  ExpectFault("COP0 from user mode", Cause(11));

  ExpectFault("TLB refill", Cause(2, kRefill), 0x40000000);
  EXPECT_EQ(Next(), 0x00200000u) << "Context";
  EXPECT_EQ(Next(), 0x40000005u) << "EntryHi";
  ExpectFault("XTLB refill on a store", Cause(3, kWideRefill), 0x40002000);
  EXPECT_EQ(Next(), 0x00200010u) << "XContext";
  ExpectFault("refill under EXL keeps EPC", Cause(2), 0x40000000);
  ExpectFault("TLB invalid", Cause(2), 0x40005000);
  ExpectFault("TLB modified", Cause(1), 0x40006000);
  ExpectFault("fetch from an invalid page", Cause(2), 0x00001000);

  EXPECT_EQ(Next(), 0x11111111u);  // 4 KB pages, global and of ASID 5
  EXPECT_EQ(Next(), 0x22222222u);
  EXPECT_EQ(Next(), 0x33333333u);
  EXPECT_EQ(Next(), 0x44444444u);  // the odd half of a 16 KB pair
  EXPECT_EQ(Next(), 3u) << "TLBP found entry 3";
  EXPECT_EQ(Next(), 1u) << "TLBP's probe-failure bit";
  EXPECT_EQ(Next(), 0x40100000u) << "TLBR EntryHi";
  EXPECT_EQ(Next(), 0x0000101Fu) << "TLBR EntryLo0";
  EXPECT_EQ(Next(), 0x0000111Fu) << "TLBR EntryLo1";
  EXPECT_EQ(Next(), 0x00006000u) << "TLBR PageMask";

  ExpectFault("another ASID", Cause(2, kRefill), 0x40008000);
  ExpectFault("an overwritten entry", Cause(2, kRefill), 0x40004010);
  const uint32_t random = Next();
  EXPECT_TRUE(random == 30 || random == 31) << random;
  EXPECT_EQ(Next(), 0x55555555u) << "TLBWR with Wired 31 wrote entry 31";
  EXPECT_EQ(Next(), 0x40200000u);

  ExpectFault("SYSCALL", Cause(8));
  ExpectFault("BREAK", Cause(9));
  ExpectFault("SYSCALL in a delay slot", kBD | Cause(8));
  ExpectFault("BREAK under EXL keeps EPC and BD", kBD | Cause(9));
  for (const char* trap : {"TEQ", "TGEI", "TLTIU", "TNEI"})
    ExpectFault(trap, Cause(13));
  EXPECT_EQ(Next(), 0x600Du) << "traps not taken";
  for (const char* overflow : {"ADD", "ADDI", "SUB", "DADD", "DADDI", "DSUB"})
    ExpectFault(overflow, Cause(12));
  EXPECT_EQ(Next(), 0x1234u) << "no overflow wrote its register";
  EXPECT_EQ(Next(), 0x7FFFFFFFu);

  ExpectFault("opcode 0x13", Cause(10));
  ExpectFault("SPECIAL function 1", Cause(10));
  ExpectFault("COP1 without CU1", 0x10000000 | Cause(11));
  ExpectFault("enabled invalid operation", Cause(15));
  EXPECT_EQ(Next(), 0x1234u) << "SQRT wrote nothing";
  EXPECT_EQ(Next(), 0x00010800u) << "FCR31: cause V, no flag";
  ExpectFault("unimplemented operation", Cause(15));
  EXPECT_EQ(Next(), 0x00020000u) << "FCR31: cause E";
  for (const char* unimplemented :
       {"denormal operand", "quiet NaN operand", "underflow with FS clear",
        "underflow enabled under FS", "CVT.W of 2^31", "TRUNC.W of an infinity",
        "CVT.D of a denormal", "NEG of a denormal"})
    ExpectFault(unimplemented, Cause(15));
  EXPECT_EQ(Next(), 0x1234u) << "no trapped operation wrote its register";
  EXPECT_EQ(Next(), 0x00020000u) << "FCR31: cause E alone, no flags";
  EXPECT_EQ(Next(), 0x00800000u) << "C.EQ of a denormal with itself holds, nothing raised";
  EXPECT_EQ(Next(), 0u) << "C.EQ with a quiet NaN: unordered, nothing raised";
  EXPECT_EQ(Next(), 1u) << "MOV copies a denormal";
  EXPECT_EQ(Next(), 0x7FFFFF80u) << "CVT.W of 2^31 - 128";

  EXPECT_EQ(Next(), 0x11111111u) << "kseg3 through an entry written with a 32-bit EntryHi";
  EXPECT_EQ(Next64(), 0xC00000FF'FFFFE0FFu) << "EntryHi keeps region, VPN2 and ASID";
  EXPECT_EQ(Next(), 0x11111111u) << "xkseg through its region's entry";
  EXPECT_EQ(Next(), 0x22222222u) << "xuseg through VPN2 bits 39-32";
  ExpectFault("the low word alone in another segment", Cause(2, kWideRefill), 0x4020);
  ExpectFault("TLB modified at a 64-bit address", Cause(1), 0x4020);
  EXPECT_EQ(Next64(), 0x000000FF'00004020u) << "BadVAddr";
  ExpectFault("XTLB refill in xkseg", Cause(2, kWideRefill), 0x5678A000);
  EXPECT_EQ(Next64(), 0xC0000034'5678A000u) << "BadVAddr";
  EXPECT_EQ(Next64(), 0xC0000034'5678A000u) << "EntryHi: region and VPN2, ASID 0";
  EXPECT_EQ(Next64(), 0xFEDCBA98'762B3C50u) << "Context: PTEBase kept, address bits 31-13";
  EXPECT_EQ(Next64(), 0x12345679'9A2B3C50u) << "XContext: PTEBase, region, bits 39-13";
  EXPECT_EQ(Next(), 0x11111111u) << "xkphys";
  ExpectFault("xkphys past 32 physical bits", Cause(4), 0);
  EXPECT_EQ(Next64(), 0x90000001'00000000u) << "BadVAddr";
  ExpectFault("past xsseg", Cause(4), 0);
  EXPECT_EQ(Next(), 5u) << "TLBP matches the region";
  EXPECT_EQ(Next(), 1u) << "TLBP of the same VPN2 in region 0 fails";
  EXPECT_EQ(Next64(), 0xC0000012'34560000u) << "TLBR's EntryHi";
  ExpectFault("ERET to a 64-bit EPC in 32-bit mode", Cause(4), 0);
  EXPECT_EQ(Next64(), 0x00000001'00000000u) << "BadVAddr";
  EXPECT_EQ(Next(), 0xD0Eu) << "the program reached its end";
  EXPECT_TRUE(host.Lines().empty());
}

}  // namespace
}  // namespace vantor
