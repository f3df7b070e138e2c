#include "memory/AddressMap.h"

#include <gtest/gtest.h>

#include "core/CpuState.h"
#include "memory/PlainPages.h"
#include "tests/support/Machine.h"
#include "tests/support/RomBytes.h"

namespace vantor {
namespace {

using Lines = std::vector<std::string>;

uint32_t ReadWord(uint32_t address) {
  return ReadTable[address >> 12](address >> 12, address & 0xFFF);
}
void WriteWord(uint32_t address, uint32_t value) {
  WriteTable[address >> 12](address >> 12, address & 0xFFF, value);
}

class AddressMapTest : public test::MachineTest {};

TEST_F(AddressMapTest, TheUncachedSegmentMirrorsTheCachedOne) {
  WriteWord(0x80123454, 0xA5A5A5A5);
  EXPECT_EQ(ReadWord(0xA0123454), 0xA5A5A5A5u);
  for (uint32_t page = 0x80000; page <= 0x9FFFF; page += 0x7F) {
    EXPECT_EQ(PageTable[page + 0x20000], PageTable[page]);
    EXPECT_EQ(ReadTable[page + 0x20000], ReadTable[page]);
    EXPECT_EQ(WriteTable[page + 0x20000], WriteTable[page]);
  }
  EXPECT_EQ(PageTable[0x803FF], RDRAM->Data + 0x3FF000);
}

TEST_F(AddressMapTest, RegisterRangesRepeatEveryFourKilobytes) {
  EXPECT_EQ(HostAddress(0x84300008), reinterpret_cast<uint8_t*>(MI_INTR));
  EXPECT_EQ(HostAddress(0x84310008), reinterpret_cast<uint8_t*>(MI_INTR));
  EXPECT_EQ(HostAddress(0xA43FF008), reinterpret_cast<uint8_t*>(MI_INTR));
  EXPECT_EQ(PageTable[0x83F00], PageTable[0x83FFF]);
  EXPECT_EQ(PageTable[0x84600], PageTable[0x846FF]);
  EXPECT_EQ(PageTable[0x84800], PageTable[0x848FF]);
}

TEST_F(AddressMapTest, NullPagesReadZeroAndIgnoreWritesSilently) {
  for (uint32_t address : {0x84700000u, 0x847FFFFCu, 0x84040000u, 0x84080010u}) {
    WriteWord(address, 0x12345678);
    EXPECT_EQ(ReadWord(address), 0u) << std::hex << address;
  }
  EXPECT_TRUE(host.Lines().empty());
}

TEST_F(AddressMapTest, UnmappedAccessesReportTheAdjustedAddressAndProgramCounter) {
  PC.Lo = 0x80001000;
  EXPECT_EQ(ReadTable[0x00001](0x00001, 0x234 ^ 3), 0u);
  WriteWord(0xC0000010, 0xCAFEBABE);
  EXPECT_EQ(host.Lines(), (Lines{"ILLEGAL READ from 00001237 PC: 80001000",
                                 "ILLEGAL WRITE CAFEBABE to C0000010 PC: 80001000"}));
  EXPECT_EQ(ReadTable[0x00001], IllegalRead);
  EXPECT_EQ(ReadTable[0x7FFFF], IllegalRead);
  EXPECT_EQ(ReadTable[0xFFFFF], IllegalRead);
  EXPECT_EQ(PageTable[0xFFFFF], DummyPage->Data);
}

TEST_F(AddressMapTest, CartridgeIsMappedByWholePagesAndCopiedIntoDataMemory) {
  LoadRom(test::BigEndianRom({.size = 4097}));
  EXPECT_EQ(ReadTable[0x90000], RamRead);
  EXPECT_EQ(WriteTable[0x90000], RomWrite);
  EXPECT_EQ(ReadTable[0x90001], IllegalRead);  // the partial last page is not reachable
  EXPECT_EQ(ReadWord(0xB0000000), 0x80371240u);
  EXPECT_EQ(ReadWord(0xA4000040), ReadWord(0xB0000040));  // the boot copy in DMEM

  WriteWord(0xB0000040, 0);
  EXPECT_EQ(host.Lines(), Lines{"ROM WRITE 00000000 to B0000040"});
  EXPECT_NE(ReadWord(0xB0000040), 0u);
}

TEST_F(AddressMapTest, AShortCartridgeMapsNoPageAndItsBootCopyIsZeroFilled) {
  auto bytes = test::BigEndianRom({.size = 256});
  LoadRom(bytes);
  EXPECT_EQ(ReadTable[0x90000], IllegalRead);
  EXPECT_EQ(ReadWord(0xA4000008), 0x80000400u);
  EXPECT_EQ(ReadWord(0xA40000FC), ReadWord(0xA40000FC));
  EXPECT_EQ(ReadWord(0xA4000100), 0u);
  EXPECT_EQ(ReadWord(0xA4000FFC), 0u);
}

TEST_F(AddressMapTest, EachStartClearsMemoryAndRegisterPages) {
  WriteWord(0x80000000, 1);
  WriteWord(0x84600000, 2);
  WriteWord(0x9FC00000, 3);
  *MI_INTR = 8;
  InitMemoryMap();
  EXPECT_EQ(ReadWord(0x80000000), 0u);
  EXPECT_EQ(ReadWord(0x84600000), 0u);
  EXPECT_EQ(ReadWord(0x9FC00000), 0u);
  EXPECT_EQ(*MI_INTR, 0u);
}

}  // namespace
}  // namespace vantor
