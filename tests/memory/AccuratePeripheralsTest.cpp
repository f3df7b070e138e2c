// The accurate mode's cartridge DMA against plain reference models: the bytes a transfer leaves
// in main memory at every alignment, and its time walked halfword by halfword over the bus.
#include "memory/AccuratePeripherals.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "common/MachineState.h"
#include "core/Accurate.h"
#include "core/Scheduler.h"
#include "memory/AddressMap.h"
#include "tests/support/Machine.h"
#include "tests/support/RomBytes.h"

namespace vantor {
namespace {

constexpr uint32_t kPI = 0xA4600000;
constexpr uint32_t kCartridge = 0x10000000;

uint32_t ReadWord(uint32_t address) {
  return ReadTable[address >> 12](address >> 12, address & 0xFFF);
}
void WriteWord(uint32_t address, uint32_t value) {
  WriteTable[address >> 12](address >> 12, address & 0xFFF, value);
}

class AccuratePeripheralsTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    rom = test::BigEndianRom({.size = 0x10000});
    LoadRom(rom);
    UseAccurateHardware();
  }
  // Runs the clock to the end of the DMA in flight, through whatever events come first.
  static void FinishDma() {
    while (MachineClock.Pending(TEventKind::PiDma)) {
      MachineClock.Advance(MachineClock.CyclesToNextEvent());
      MachineClock.RunDue();
    }
  }
  std::vector<uint8_t> rom;
};

// Random transfers to 2-byte-aligned addresses of every position in a word, with lengths odd
// and even: the bytes match a copy made one byte at a time, a whole last halfword included, and
// nothing around them changes.
TEST_F(AccuratePeripheralsTest, CartridgeDmaMatchesAByteByByteCopyAtAnyAlignment) {
  std::mt19937 random(26);
  for (int round = 0; round < 300; ++round) {
    const uint32_t dram = 0x1000 + 2 * (random() % 0x8000);
    const uint32_t romAt = 2 * (random() % 0x7000);
    const uint32_t length = random() % 700;
    std::vector<uint8_t> expected(length + 40);
    for (uint32_t i = 0; i < expected.size(); ++i) {
      const uint32_t at = dram - 16 + i;
      *HostAddress(0x80000000 | (at ^ 3)) = static_cast<uint8_t>(round + i);
      expected[i] = static_cast<uint8_t>(round + i);
    }
    const uint32_t moved = (length + 2) & ~1u;
    for (uint32_t i = 0; i < moved; ++i)
      expected[16 + i] = rom[romAt + i];

    WriteWord(kPI + 0, dram);
    WriteWord(kPI + 4, kCartridge + romAt);
    WriteWord(kPI + 12, length);
    for (uint32_t i = 0; i < expected.size(); ++i) {
      const uint32_t at = dram - 16 + i;
      ASSERT_EQ(*HostAddress(0x80000000 | (at ^ 3)), expected[i])
          << "round " << round << " byte " << i << " of " << length + 1;
    }
    EXPECT_EQ(ReadWord(kPI + 0), dram + moved);
    EXPECT_EQ(ReadWord(kPI + 4), kCartridge + romAt + moved);
    EXPECT_EQ(ReadWord(kPI + 16), kPiStatusDmaBusy);
    FinishDma();
    EXPECT_EQ(ReadWord(kPI + 16), kPiStatusInterrupt);
    WriteWord(kPI + 16, 2);
  }
  EXPECT_TRUE(host.Lines().empty());
}

// The bus as a reference walks it: at the first halfword of each page the latency, then for
// every halfword the pulse and the release, in bus cycles of which three make two processor
// cycles.
uint64_t WalkedCycles(uint32_t address, uint32_t bytes, const uint32_t (&timing)[4]) {
  uint64_t busCycles = 0;
  uint64_t page = UINT64_MAX;
  for (uint64_t at = address; at < uint64_t{address} + bytes; at += 2) {
    if (at >> (timing[2] + 2) != page) {
      page = at >> (timing[2] + 2);
      busCycles += timing[0] + 1;
    }
    busCycles += timing[1] + 1 + timing[3] + 1;
  }
  return (busCycles * 3 + 1) / 2;
}

// Random timings written to both domains' registers, random transfers in either domain: the time
// the PI takes is the walk's, and the registers keep only their documented widths.
TEST_F(AccuratePeripheralsTest, DmaTimeIsTheBusWalkOfTheAddressesDomain) {
  std::mt19937 random(64);
  for (int round = 0; round < 2000; ++round) {
    uint32_t domains[2][4];
    for (uint32_t domain = 0; domain < 2; ++domain) {
      for (uint32_t reg = 0; reg < 4; ++reg) {
        const uint32_t value = random();
        WriteWord(kPI + 0x14 + 0x10 * domain + 4 * reg, value);
        const uint32_t width[] = {0xFF, 0xFF, 0x0F, 0x03};
        domains[domain][reg] = value & width[reg];
        ASSERT_EQ(ReadWord(kPI + 0x14 + 0x10 * domain + 4 * reg), domains[domain][reg]);
      }
    }
    const uint32_t bases[] = {0x05000000, 0x06000000, 0x08000000, 0x10000000};
    const uint32_t base = bases[random() % 4];
    const bool domain2 = base == 0x05000000 || base == 0x08000000;
    const uint32_t address = base + 2 * (random() % 0x20000);
    const uint32_t bytes = 2 + 2 * (random() % 3000);
    ASSERT_EQ(PiDmaCycles(address, bytes), WalkedCycles(address, bytes, domains[domain2 ? 1 : 0]))
        << std::hex << address << " " << bytes;
  }
}

}  // namespace
}  // namespace vantor
