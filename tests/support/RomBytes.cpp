#include "tests/support/RomBytes.h"

#include <algorithm>
#include <utility>

namespace vantor::test {

std::vector<uint8_t> BigEndianRom(const TestCartridge& cartridge) {
  std::vector<uint8_t> bytes(cartridge.size);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(i * 7 + 1);
  auto put32 = [&](size_t at, uint32_t value) {
    for (size_t i = 0; i < 4 && at + i < bytes.size(); ++i)
      bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
  };
  put32(0, 0x80371240);
  put32(4, 0x0000000F);
  put32(8, cartridge.entryPoint);
  if (bytes.size() >= 64) {
    std::fill(bytes.begin() + 32, bytes.begin() + 52, 0);
    std::copy_n(cartridge.name.begin(), std::min<size_t>(cartridge.name.size(), 20),
                bytes.begin() + 32);
    bytes[59] = cartridge.maker;
    bytes[62] = cartridge.country;
  }
  return bytes;
}

std::vector<uint8_t> CodeRom(const std::vector<uint32_t>& code) {
  std::vector<uint8_t> bytes = BigEndianRom({.entryPoint = 0xA4000040, .size = 4096});
  for (size_t i = 0; i < code.size(); ++i)
    for (size_t b = 0; b < 4; ++b)
      bytes[0x40 + 4 * i + b] = static_cast<uint8_t>(code[i] >> (24 - 8 * b));
  std::fill(bytes.begin() + 0x40 + 4 * static_cast<std::ptrdiff_t>(code.size()), bytes.end(), 0);
  return bytes;
}

std::vector<uint8_t> HalfwordSwapped(std::vector<uint8_t> bytes) {
  for (size_t i = 0; i + 2 <= bytes.size(); i += 2)
    std::swap(bytes[i], bytes[i + 1]);
  return bytes;
}

std::vector<uint8_t> WordReversed(std::vector<uint8_t> bytes) {
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4)
    std::reverse(bytes.begin() + i, bytes.begin() + i + 4);
  return bytes;
}

}  // namespace vantor::test
