// Builds small cartridge images in the test itself: a 64-byte header and a filler pattern.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace vantor::test {

// A test cartridge: the header fields it carries and its size in bytes.
struct TestCartridge {
  std::string_view name = "VANTOR TEST";
  uint32_t entryPoint = 0x80000400;
  uint8_t maker = 'N';
  uint8_t country = 'E';
  size_t size = 8192;
};

// The image in the cartridge's own big-endian order (first bytes 80 37 12 40).
std::vector<uint8_t> BigEndianRom(const TestCartridge& cartridge);
// A big-endian image whose code, run from reset at 0xA4000040, is these instruction words.
std::vector<uint8_t> CodeRom(const std::vector<uint32_t>& code);
// The same bytes with every 16-bit unit swapped (37 80 40 12).
std::vector<uint8_t> HalfwordSwapped(std::vector<uint8_t> bytes);
// The same bytes with every 32-bit unit reversed (40 12 37 80).
std::vector<uint8_t> WordReversed(std::vector<uint8_t> bytes);

}  // namespace vantor::test
