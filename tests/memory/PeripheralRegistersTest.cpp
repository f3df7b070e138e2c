#include "memory/PeripheralInterface.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/CpuState.h"
#include "memory/AddressMap.h"
#include "memory/AudioInterface.h"
#include "memory/MipsInterface.h"
#include "memory/PlainPages.h"
#include "memory/RomImage.h"
#include "memory/SerialInterface.h"
#include "tests/support/Machine.h"
#include "tests/support/RomBytes.h"

namespace vantor {
namespace {

using Lines = std::vector<std::string>;

constexpr uint32_t kPI = 0xA4600000;
constexpr uint32_t kMI = 0xA4300000;
constexpr uint32_t kSI = 0xA4800000;
constexpr uint32_t kAI = 0xA4500000;

uint32_t ReadWord(uint32_t address) {
  return ReadTable[address >> 12](address >> 12, address & 0xFFF);
}
void WriteWord(uint32_t address, uint32_t value) {
  WriteTable[address >> 12](address >> 12, address & 0xFFF, value);
}

// The emulated word at a byte offset of a big-endian image.
uint32_t BigEndianWord(const std::vector<uint8_t>& bytes, size_t at) {
  return uint32_t{bytes[at]} << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 | bytes[at + 3];
}

class PeripheralRegistersTest : public test::MachineTest {
 protected:
  // Writes the three PI registers that start a cartridge DMA and returns what it logged.
  Lines CartridgeDma(uint32_t cart, uint32_t dram, uint32_t lengthMinusOne) {
    host.Clear();
    WriteWord(kPI + 4, cart);
    WriteWord(kPI + 0, dram);
    WriteWord(kPI + 12, lengthMinusOne);
    return host.Lines();
  }
};

TEST_F(PeripheralRegistersTest, CartridgeDmaCopiesLengthPlusOneBytesAndLogsEachRegister) {
  const auto rom = test::BigEndianRom({.size = 0x120000});
  LoadRom(rom);
  EXPECT_EQ(CartridgeDma(0x10001000, 0x00000400, 0x000FFFFF),
            (Lines{"PI ROM Set to 10001000", "PI RAM Set to 00000400",
                   "PI Write Length Set to 000FFFFF"}));
  for (uint32_t at : {0u, 4u, 0x7FFFCu, 0xFFFFCu})
    EXPECT_EQ(Peek(0x80000400 + at), BigEndianWord(rom, 0x1000 + at)) << std::hex << at;
  EXPECT_EQ(std::memcmp(RDRAM->Data + 0x400, RomImage->Data + 0x1000, 0x100000), 0);
  EXPECT_EQ(Peek(0x800003FC), 0u);
  EXPECT_EQ(Peek(0x80100400), 0u);

  // The registers keep their values; no status or interrupt bit moves.
  EXPECT_EQ(ReadWord(kPI + 12), 0x000FFFFFu);
  EXPECT_EQ(ReadWord(kPI + 4), 0x10001000u);
  EXPECT_EQ(ReadWord(kPI + 16), 0u);
  EXPECT_EQ(*MI_INTR, 0u);
}

TEST_F(PeripheralRegistersTest, PiRegistersStoreAndTraceWithoutCopyingOnReadLength) {
  LoadRom(test::BigEndianRom({.size = 0x4000}));
  WriteWord(kPI + 4, 0x10000000);
  WriteWord(kPI + 8, 0x3F);
  WriteWord(kPI + 20, 0xCAFEBABE);  // a register without side effects: stored silently
  EXPECT_EQ(host.Lines(), (Lines{"PI ROM Set to 10000000", "PI Read Length Set to 0000003F"}));
  EXPECT_EQ(ReadWord(kPI + 8), 0x3Fu);
  EXPECT_EQ(ReadWord(0xA4612014), 0xCAFEBABEu);  // every page of the range shows the registers
  EXPECT_EQ(Peek(0x80000000), 0u);

  host.Clear();
  WriteWord(kPI + 2, 0x12345678);
  EXPECT_EQ(ReadTable[kPI >> 12](kPI >> 12, 8 ^ 3), 0u);  // a byte load of PI_RD_LEN
  EXPECT_EQ(host.Lines(), (Lines{"PI Unaligned write!", "PI Unaligned read!"}));
  EXPECT_EQ(ReadWord(kPI + 0), 0u);
  EXPECT_EQ(ReadWord(kPI + 4), 0x10000000u);
}

TEST_F(PeripheralRegistersTest, PiStatusWriteAcknowledgesTheInterruptOnlyWithBitOne) {
  *MI_INTR = 0x1E;
  WriteWord(kPI + 16, 1);
  EXPECT_EQ(*MI_INTR, 0x1Eu);
  WriteWord(kPI + 16, 3);
  EXPECT_EQ(*MI_INTR, 0x0Eu);
  EXPECT_EQ(ReadWord(kPI + 16), 0u);
  EXPECT_EQ(host.Lines(),
            (Lines{"PI Status Reg Set to 00000001", "PI Status Reg Set to 00000003"}));
}

TEST_F(PeripheralRegistersTest, DmaIsClippedToTheStorageOnBothSides) {
  LoadRom(test::BigEndianRom({.size = 0x2000}));
  // Past the end of RDRAM.
  EXPECT_EQ(CartridgeDma(0x10000000, 0x003FFF00, 0xFFF).back(),
            "PI DMA clipped to 00000100 bytes!");
  EXPECT_EQ(Peek(0x803FFFFC), Peek(0xB00000FC));
  // Past the end of the ROM image, and the longest length the register can hold.
  EXPECT_EQ(CartridgeDma(0x10001F00, 0, 0x1FF).back(), "PI DMA clipped to 00000100 bytes!");
  EXPECT_EQ(Peek(0x800000FC), Peek(0xB0001FFC));
  EXPECT_EQ(CartridgeDma(0x10000000, 0, 0xFFFFFFFF).back(), "PI DMA clipped to 00002000 bytes!");
  // Unmapped addresses reach DummyPage, one page of it at most.
  EXPECT_EQ(CartridgeDma(0x10000000, 0x00800010, 0xFFFF).back(),
            "PI DMA clipped to 00000FF0 bytes!");
  EXPECT_EQ(CartridgeDma(0x05000000, 0, 0xFFFF).back(), "PI DMA clipped to 00001000 bytes!");
  // A transfer that fits logs no clipping line.
  EXPECT_EQ(CartridgeDma(0x10000000, 0x003FF000, 0xFFF).size(), 3u);
}

TEST_F(PeripheralRegistersTest, OverlappingDmaMovesTheBytesAsAWhole) {
  for (uint32_t i = 0; i < 8; ++i)
    Poke(0x80000000 + 4 * i, 0x01010101 * (i + 1));
  CartridgeDma(0x00000000, 0x00000004, 15);  // RDRAM to RDRAM, four bytes up
  EXPECT_EQ(Peek(0x80000000), 0x01010101u);
  for (uint32_t i = 1; i < 5; ++i)
    EXPECT_EQ(Peek(0x80000000 + 4 * i), 0x01010101 * i) << i;
  EXPECT_EQ(Peek(0x80000014), 0x06060606u);
}

TEST_F(PeripheralRegistersTest, MiVersionIsFixedAndTheMaskIsSetAndClearedInPairs) {
  WriteWord(kMI + 4, 0);
  EXPECT_EQ(ReadWord(kMI + 4), 0x01234567u);
  *MI_INTR = 0x08;
  WriteWord(kMI + 8, 0xFFFFFFFF);
  EXPECT_EQ(ReadWord(0xA4310008), 0x08u);
  WriteWord(kMI + 0, 0x0000ABCD);  // MI_MODE: stored as written
  EXPECT_EQ(ReadWord(kMI + 0), 0x0000ABCDu);

  WriteWord(kMI + 12, 0x0000000A);
  EXPECT_EQ(ReadWord(kMI + 12), 0x03u);
  WriteWord(kMI + 12, 0x00000005);
  EXPECT_EQ(ReadWord(kMI + 12), 0x00u);
  WriteWord(kMI + 12, 0x00000880);  // sets bits 3 and 5
  WriteWord(kMI + 12, 0x00000F00);  // bit 4 set and cleared ends set; bit 5 cleared and set
  EXPECT_EQ(ReadWord(kMI + 12), 0x38u);
  WriteWord(kMI + 12, 0x00000440);  // clears bits 3 and 5
  EXPECT_EQ(ReadWord(kMI + 12), 0x10u);

  Poke(kMI + 12, 0xFFFFFFC0);  // bits 6 to 31 are out of the update's reach
  WriteWord(kMI + 12, 0xFFFFFFFF);
  EXPECT_EQ(ReadWord(kMI + 12), 0xFFFFFFFFu);
  WriteWord(kMI + 12, 0x00000555);
  EXPECT_EQ(ReadWord(kMI + 12), 0xFFFFFFC0u);
}

TEST_F(PeripheralRegistersTest, SerialCopiesMoveSixtyFourBytesAndRaiseTheInterrupt) {
  // Offset 16 sends a block from main memory to the boot page.
  for (uint32_t i = 0; i < 17; ++i)
    Poke(0x80001000 + 4 * i, 0xA0000000 + i);
  WriteWord(kSI + 0, 0x00001000);
  EXPECT_EQ(ReadWord(kSI + 0), 0x00001000u);
  WriteWord(kSI + 16, 0x1FC00100);
  EXPECT_EQ(*MI_INTR, kMiIntrSI);
  EXPECT_EQ(Peek(0x9FC00100), 0xA0000000u);
  EXPECT_EQ(Peek(0x9FC0013C), 0xA000000Fu);
  EXPECT_EQ(Peek(0x9FC00140), 0u);           // 64 bytes, no more
  EXPECT_EQ(Peek(0x80001000), 0xA0000000u);  // the sender's block is left as it was

  // Offset 4 brings a block from the boot page back to main memory.
  *MI_INTR = 0;
  Poke(0x9FC00200, 0x11111111);
  Poke(0x9FC0023C, 0x22222222);
  WriteWord(kSI + 0, 0x00002000);
  WriteWord(kSI + 4, 0x1FC00200);
  EXPECT_EQ(*MI_INTR, kMiIntrSI);
  EXPECT_EQ(Peek(0x80002000), 0x11111111u);
  EXPECT_EQ(Peek(0x8000203C), 0x22222222u);
  EXPECT_EQ(Peek(0x9FC00200), 0x11111111u);

  *MI_INTR = 0x1E;
  WriteWord(kSI + 24, 0);
  EXPECT_EQ(*MI_INTR, 0x1Cu);
  for (uint32_t offset : {4u, 16u, 24u, 8u})
    EXPECT_EQ(ReadWord(kSI + offset), 0u) << offset;
  EXPECT_TRUE(host.Lines().empty());

  WriteWord(kSI + 0, 0x00001000);
  WriteWord(kSI + 16, 0x1FC00FE0);  // runs off the end of the boot page
  EXPECT_EQ(host.Lines(), Lines{"SI DMA clipped to 00000020 bytes!"});
  EXPECT_EQ(Peek(0x9FC00FFC), 0xA0000007u);
}

TEST_F(PeripheralRegistersTest, AudioRegistersStoreWhatTheyShouldAndDriveTheInterrupt) {
  *MI_INTR = 0x1A;
  WriteWord(kAI + 20, 0);
  EXPECT_EQ(*MI_INTR, 0x1Eu);
  WriteWord(kAI + 12, 0xFFFFFFFF);
  EXPECT_EQ(*MI_INTR, 0x1Au);

  for (uint32_t offset : {0u, 4u, 8u, 12u, 16u, 20u, 24u})
    WriteWord(kAI + offset, 0x100 + offset);
  for (uint32_t offset : {0u, 4u, 8u, 12u, 16u, 20u, 24u})
    EXPECT_EQ(ReadWord(kAI + offset), 0u) << offset;
  for (uint32_t offset : {4u, 8u, 16u, 20u})
    EXPECT_EQ(PageWord(AIRegisterPage, offset), 0x100 + offset) << offset;

  Poke(kAI + 0, 0x00123450);  // only a store that bypasses the handlers reaches these two
  Poke(kAI + 12, 0x80000000);
  EXPECT_EQ(ReadWord(kAI + 0), 0x00123450u);
  EXPECT_EQ(ReadWord(kAI + 12), 0x80000000u);
  EXPECT_EQ(PageWord(AIRegisterPage, 24), 0u);
}

}  // namespace
}  // namespace vantor
