// The cartridge ROM image: loaded from a file into RomImage in the host word layout, with the
// header fields the program reads.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "memory/MemoryBlock.h"

namespace vantor {

struct TRomHeader {
  uint16_t Magic = 0;
  uint8_t Byte2 = 0;
  uint8_t Byte3 = 0;
  uint32_t ClockRate = 0;
  uint32_t EntryPoint = 0;
  uint32_t Release = 0;
  uint32_t Crc1 = 0;
  uint32_t Crc2 = 0;
  std::array<char, 20> Name{};
  uint8_t Manufacturer = 0;
  uint16_t CartId = 0;
  uint8_t Country = 0;
};

// Size of the cartridge header; shorter files are refused.
inline constexpr uint32_t kRomHeaderSize = 64;

extern TMemoryHandler* RomImage;  // null before the first load and after Close ROM
extern TRomHeader RomHeader;
extern bool RomLoaded;  // true only after a successful LoadRomImage; Start needs it
// Why the last LoadRomImage failed, in words for the user; empty after a success.
extern std::string RomLoadError;

// Country and maker names by code byte, "?" where the code has no name.
extern const std::array<std::string_view, 128> CountryNames;
extern const std::array<std::string_view, 128> MakerNames;
std::string_view CountryName(uint8_t code);
std::string_view MakerName(uint8_t code);

// Replaces RomImage with the file at path, normalised to the host word layout, and reports its
// header on the console. Returns RomLoaded.
bool LoadRomImage(const std::string& path);

// Frees RomImage and clears RomLoaded (Close ROM). The emulation thread must not be running.
void UnloadRomImage();

}  // namespace vantor
