#include <gtest/gtest.h>

#include <vector>

#include "core/Cpu.h"
#include "core/RegisterAccess.h"
#include "memory/PlainPages.h"
#include "tests/support/InstrEncoder.h"
#include "tests/support/Machine.h"

namespace vantor {
namespace {

using test::EncodeI;

constexpr uint32_t kBase = 9;  // t1 holds the base address
constexpr uint32_t kReg = 10;  // t2 is loaded or stored

uint32_t Mem(uint32_t op, int32_t offset) {
  return EncodeI(op, kBase, kReg, offset);
}

class LoadStoreTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    Poke(0x80000000, 0x00112233);
    Poke(0x80000004, 0x8899AABB);
    Poke(0x80000008, 0xCCDDEEFF);
    Poke(0x8000000C, 0x01020304);
    PC.Lo = 0x80001000;
  }
  uint64_t Load(uint32_t op, uint32_t address, uint64_t old = 0) {
    Gpr[kBase] = 0xFFFFFFFF'00000000 | (address - 4);  // rs.hi takes no part
    Gpr[kReg] = old;
    ExecuteOpcode(Mem(op, 4));
    return Gpr[kReg];
  }
  void Store(uint32_t op, uint32_t address, uint64_t value) {
    Gpr[kBase] = address + 8;
    Gpr[kReg] = value;
    ExecuteOpcode(Mem(op, -8));
  }
};

TEST_F(LoadStoreTest, LoadsReadBigEndianWordsAndExtendAsTheyShould) {
  EXPECT_EQ(Load(35, 0x80000004), 0xFFFFFFFF'8899AABBu);  // LW
  EXPECT_EQ(Load(39, 0x80000004), 0x00000000'8899AABBu);  // LWU
  EXPECT_EQ(Load(32, 0x80000004), 0xFFFFFFFF'FFFFFF88u);  // LB, the most significant byte
  EXPECT_EQ(Load(36, 0x80000004), 0x88u);                 // LBU
  EXPECT_EQ(Load(32, 0x80000001), 0x11u);
  EXPECT_EQ(Load(33, 0x80000006), 0xFFFFFFFF'FFFFAABBu);  // LH
  EXPECT_EQ(Load(37, 0x80000004), 0x8899u);               // LHU
  EXPECT_EQ(Load(55, 0x80000008), 0xCCDDEEFF'01020304u);  // LD: first word is the high one
}

TEST_F(LoadStoreTest, PartialWordLoadsAndStoresMoveAnyFourBytes) {
  const uint8_t bytes[] = {0x00, 0x11, 0x22, 0x33, 0x88, 0x99, 0xAA, 0xBB};
  for (uint32_t x = 0; x < 4; ++x) {
    SCOPED_TRACE(x);
    const uint32_t expected =
        uint32_t{bytes[x]} << 24 | bytes[x + 1] << 16 | bytes[x + 2] << 8 | bytes[x + 3];
    const uint64_t left = Load(34, 0x80000000 + x, 0x5555555555555555);  // LWL
    EXPECT_EQ(Load(38, 0x80000003 + x, left), Sext32(expected));         // then LWR
  }
  for (uint32_t x = 0; x < 4; ++x) {
    SCOPED_TRACE(x);
    Poke(0x80000100, 0xA1A2A3A4);
    Poke(0x80000104, 0xB1B2B3B4);
    Store(42, 0x80000100 + x, 0xCAFEF00D);  // SWL
    Store(46, 0x80000103 + x, 0xCAFEF00D);  // SWR
    const uint64_t both = uint64_t{Peek(0x80000100)} << 32 | Peek(0x80000104);
    const uint64_t expected = (0xA1A2A3A4'B1B2B3B4 & ~(0xFFFFFFFF'00000000 >> (8 * x))) |
                              uint64_t{0xCAFEF00D} << (32 - 8 * x);
    EXPECT_EQ(both, expected);
  }
}

TEST_F(LoadStoreTest, PartialLoadsKeepTheUntouchedRegisterBytes) {
  EXPECT_EQ(Load(34, 0x80000006, 0x11223344), 0xFFFFFFFF'AABB3344u);  // LWL k = 2
  EXPECT_EQ(Load(38, 0x80000005, 0x11223344), 0x11228899u);           // LWR k = 1
}

TEST_F(LoadStoreTest, StoresWriteBigEndianUnits) {
  Store(43, 0x80000200, 0xFFFFFFFF'12345678);  // SW
  EXPECT_EQ(Peek(0x80000200), 0x12345678u);
  Store(40, 0x80000201, 0xAB);  // SB
  EXPECT_EQ(Peek(0x80000200), 0x12AB5678u);
  Store(41, 0x80000202, 0xCDEF);  // SH
  EXPECT_EQ(Peek(0x80000200), 0x12ABCDEFu);
  Store(63, 0x80000208, 0x01234567'89ABCDEF);  // SD
  EXPECT_EQ(Peek(0x80000208), 0x01234567u);
  EXPECT_EQ(Peek(0x8000020C), 0x89ABCDEFu);
}

TEST_F(LoadStoreTest, FloatingPointRegistersLoadAndStoreAsWords) {
  Gpr[kBase] = 0x80000008;
  ExecuteOpcode(EncodeI(49, kBase, 3, 0));  // LWC1 FP03
  EXPECT_EQ(Cop1Regs[3], 0xCCDDEEFFu);
  ExecuteOpcode(EncodeI(53, kBase, 5, 0));  // LDC1 FP05 names pair 2: words 5 and 4
  EXPECT_EQ(Cop1Regs[5], 0xCCDDEEFFu);
  EXPECT_EQ(Cop1Regs[4], 0x01020304u);
  Cop1Regs[7] = 0x3F800000;
  ExecuteOpcode(EncodeI(57, kBase, 7, 0x100));  // SWC1
  EXPECT_EQ(Peek(0x80000108), 0x3F800000u);
}

uint32_t writes = 0;
void CountingWrite(uint32_t page, uint32_t offset, uint32_t value) {
  ++writes;
  RamWrite(page, offset, value);
}

TEST_F(LoadStoreTest, ByteAndHalfwordStoresBypassTheWriteHandlers) {
  WriteTable[0x80000] = CountingWrite;
  writes = 0;
  Store(40, 0x80000010, 0x77);
  Store(41, 0x80000012, 0x6655);
  EXPECT_EQ(writes, 0u);
  EXPECT_EQ(Peek(0x80000010), 0x77006655u);
  Store(43, 0x80000010, 1);
  EXPECT_EQ(writes, 1u);
}

TEST_F(LoadStoreTest, UnmappedStoresLandInTheDummyPageAndLoadsReportThemselves) {
  Store(40, 0x00001234, 0x5A);  // silent
  EXPECT_TRUE(host.Lines().empty());
  EXPECT_EQ(DummyPage->Data[0x234 ^ 3], 0x5A);
  EXPECT_EQ(Load(35, 0x00001234), 0u);
  EXPECT_EQ(host.Lines(), std::vector<std::string>{"ILLEGAL READ from 00001234 PC: 80001000"});
}

TEST_F(LoadStoreTest, AccessesAtThePageEndStayInsideTheBlock) {
  // DMEM is a 4 KB block of its own; none of these may touch the bytes behind it.
  Poke(0xA4000FFC, 0x11223344);
  EXPECT_EQ(Load(36, 0xA4000FFF), 0x44u);                 // LBU, adjusted offset 0xFFC
  EXPECT_EQ(Load(36, 0xA4000FFC), 0x11u);                 // LBU, adjusted offset 0xFFF
  EXPECT_EQ(Load(37, 0xA4000FFC), 0x1122u);               // LHU, adjusted offset 0xFFE
  EXPECT_EQ(Load(55, 0xA4000FFC), 0x11223344'00000000u);  // LD, low half past the end
  EXPECT_EQ(Load(39, 0xA4000FFE), 0x1122u);               // LWU of the last two bytes
  Store(63, 0xA4000FFC, 0x55667788'99AABBCC);             // SD, low half dropped
  EXPECT_EQ(Peek(0xA4000FFC), 0x55667788u);
  Store(41, 0xA4000FFF, 0xBEEF);      // SH at the last byte
  Store(43, 0xA4000FFE, 0xCAFEF00D);  // unaligned SW
}

TEST_F(LoadStoreTest, DoubleWordsAtThePageEndReportTheAddressOfEachHalf) {
  EXPECT_EQ(Load(55, 0x00001FFC), 0u);
  Store(63, 0x00001FFD, 0x01234567'89ABCDEF);
  EXPECT_EQ(Load(55, 0xFFFFFFFC), 0u);
  EXPECT_EQ(host.Lines(), (std::vector<std::string>{
                              "ILLEGAL READ from 00001FFC PC: 80001000",
                              "ILLEGAL READ from 00002000 PC: 80001000",
                              "ILLEGAL WRITE 01234567 to 00001FFD PC: 80001000",
                              "ILLEGAL WRITE 89ABCDEF to 00002001 PC: 80001000",
                              "ILLEGAL READ from FFFFFFFC PC: 80001000",
                              "ILLEGAL READ from 00000000 PC: 80001000",
                          }));
}

TEST_F(LoadStoreTest, HalfwordStoresAtThePageEndKeepOnlyTheByteInsideThePage) {
  // A page whose storage is followed by bytes that belong to no page.
  std::vector<uint8_t> storage(kPageSize + 4, 0xAA);
  PageTable[0x00010] = storage.data();
  Store(41, 0x00010FFD, 0xBEEF);
  EXPECT_EQ(storage[0xFFF], 0xEF);  // the emulated byte at 0xFFC
  EXPECT_EQ(storage[0x1000], 0xAA);

  // The same on blocks of exactly 4 KB: DMEM, the audio registers, the dummy page.
  Store(41, 0xA4000FFD, 0x1234);
  EXPECT_EQ(Peek(0xA4000FFC) >> 24, 0x34u);
  Store(41, 0xA4500FFD, 0x5678);
  EXPECT_EQ(PageTable[0xA4500][0xFFF], 0x78);
  Store(41, 0x00000FFD, 0x9ABC);
  EXPECT_EQ(DummyPage->Data[0xFFF], 0xBC);
  DummyPage->Data[0xFFF] = 0;
}

}  // namespace
}  // namespace vantor
