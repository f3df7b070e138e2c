// Checks the ROMs that the build assembles from roms/tests: header, layout and the encodings of
// their first instructions, as the emulator will fetch them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "memory/RomImage.h"
#include "tests/support/CaptureHost.h"
#include "tests/support/InstrEncoder.h"

namespace vantor {
namespace {

using test::EncodeI;
using Lines = std::vector<std::string>;
using Words = std::vector<uint32_t>;

// o32 register numbers and the opcodes the samples use.
constexpr uint32_t kAt = 1, kT0 = 8, kT1 = 9, kT2 = 10, kT3 = 11;
constexpr uint32_t kOpJ = 2, kOpAddiu = 9, kOpOri = 13, kOpLui = 15, kOpSw = 43;

// `j .` at address: the target keeps the upper four bits of the address, so the word proves
// the code was linked where it runs.
constexpr uint32_t JumpToSelf(uint32_t address) {
  return test::EncodeJ(kOpJ, address >> 2);
}

class RomBuildTest : public ::testing::Test {
 protected:
  void TearDown() override { UnloadRomImage(); }

  bool Load(const std::string& name) {
    host.Clear();
    return LoadRomImage(std::string(VANTOR_ROM_DIR) + "/" + name + ".z64");
  }
  // The loader keeps every big-endian word as one host word.
  uint32_t Word(uint32_t offset) const {
    uint32_t word;
    std::memcpy(&word, RomImage->Data + offset, 4);
    return word;
  }
  Words WordsAt(uint32_t offset, size_t count) const {
    Words words;
    for (size_t i = 0; i < count; ++i)
      words.push_back(Word(offset + 4 * static_cast<uint32_t>(i)));
    return words;
  }
  // The address that a `la` (lui, then addiu of a signed low half) at offset builds.
  uint32_t LoadAddressAt(uint32_t offset) const {
    const uint32_t lui = Word(offset), addiu = Word(offset + 4);
    EXPECT_EQ(lui >> 26, kOpLui);
    EXPECT_EQ(addiu >> 26, kOpAddiu);
    return (lui << 16) + static_cast<uint32_t>(static_cast<int16_t>(addiu & 0xFFFF));
  }
  // ROM offset of an address in the image that runs from the data memory.
  static uint32_t RomOffsetOf(uint32_t address) { return address - 0xA4000000; }

  test::CaptureHost host;
};

TEST_F(RomBuildTest, StoreConstantsHasOurHeaderAndItsCodeAtOffset0x40) {
  ASSERT_TRUE(Load("store_constants"));
  EXPECT_EQ(host.Lines(), (Lines{"Loaded VANTOR CONSTANTS", "Entry point : A4000040",
                                 "Country Code : USA", "Manufacturer Code : Nintendo"}));
  EXPECT_EQ(RomHeader.Magic, 0x8037);
  EXPECT_EQ(RomHeader.ClockRate, 0x0000000Fu);
  EXPECT_EQ(RomHeader.EntryPoint, 0xA4000040u);
  EXPECT_EQ(RomImage->Size % 4, 0u);

  EXPECT_EQ(
      WordsAt(0x40, 9),
      (Words{
          0x3C081234,  // lui t0, 0x1234
          EncodeI(kOpOri, kT0, kT0, 0x5678), EncodeI(kOpLui, 0, kT1, 0xFEDC),
          EncodeI(kOpOri, kT1, kT1, 0xBA98), EncodeI(kOpLui, 0, kT2, 0x8000),
          EncodeI(kOpSw, kT2, kT0, 0x100), EncodeI(kOpSw, kT2, kT1, 0x104), JumpToSelf(0xA400005C),
          0,  // nop in the delay slot
      }));
}

TEST_F(RomBuildTest, DataSectionsFollowTheCodeInTheFirstPage) {
  ASSERT_TRUE(Load("data_sections"));
  EXPECT_EQ(host.Lines(), (Lines{"Loaded DATA_SECTIONS", "Entry point : A4000040",
                                 "Country Code : Japan", "Manufacturer Code : ?"}));

  // Each `la` reaches its data where the image puts it in the data memory.
  const uint32_t table = LoadAddressAt(0x40);
  const uint32_t initialised = LoadAddressAt(0x6C);
  const uint32_t zeroed = LoadAddressAt(0x80);
  for (uint32_t address : {table, initialised, zeroed}) {
    EXPECT_GE(address, 0xA4000040u);
    EXPECT_LE(RomOffsetOf(address) + 4, RomImage->Size);
  }
  EXPECT_EQ(WordsAt(RomOffsetOf(table), 4), (Words{1, 2, 3, 0x10000004}));
  EXPECT_EQ(Word(RomOffsetOf(initialised)), 0xC0FFEE00u);
  EXPECT_EQ(Word(RomOffsetOf(zeroed)), 0u);
}

TEST_F(RomBuildTest, DmaPayloadIsStoredAtOffset0x1000AndLinkedForRdram) {
  ASSERT_TRUE(Load("dma_payload"));
  EXPECT_EQ(RomImage->Size, 8192u);  // whole pages, so the payload's page is mapped

  EXPECT_EQ(WordsAt(0x1000, 6), (Words{
                                    EncodeI(kOpLui, 0, kT3, 0x600D),
                                    EncodeI(kOpOri, kT3, kT3, 0xF00D),
                                    EncodeI(kOpLui, 0, kAt, 0x8000),
                                    EncodeI(kOpSw, kAt, kT3, 0x100),
                                    JumpToSelf(0x80000410),
                                    0,
                                }));
  // The boot code's DMA registers and jump point at that payload.
  EXPECT_EQ(LoadAddressAt(0x44), 0x00000400u);  // PI_DRAM_ADDR
  EXPECT_EQ(LoadAddressAt(0x50), 0x10001000u);  // PI_CART_ADDR
  EXPECT_EQ(LoadAddressAt(0x5C), 24u - 1);      // PI_WR_LEN: six words, less one
  EXPECT_EQ(LoadAddressAt(0x7C), 0x80000400u);  // jr target
}

}  // namespace
}  // namespace vantor
