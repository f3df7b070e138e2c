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
// Why the last LoadRomImage failed, as its console line said; empty after a success.
extern std::string RomLoadError;
// The same failure in words for the user, e.g. the system's error text; empty after a success.
extern std::string RomLoadReason;

// Country and maker names by code byte, kNoName where the code has no name. The loader's console
// lines and the main window read the same tables.
inline constexpr std::string_view kNoName = "?";
extern const std::array<std::string_view, 128> CountryNames;
extern const std::array<std::string_view, 128> MakerNames;
std::string_view CountryName(uint8_t code);
std::string_view MakerName(uint8_t code);

// Frames per second of the consoles a country code names: 50 for the European and Australian
// codes (Germany, Europe, Australia), 60 for every other code.
uint32_t VideoRate(uint8_t country);

// Replaces RomImage with the file at path, normalised to the host word layout, and reports its
// header on the console. Returns RomLoaded. Only while no run exists (see UnloadRomImage).
bool LoadRomImage(const std::string& path);

// Frees RomImage and clears RomLoaded (Close ROM). Called while a run exists, it ends the program
// with a message instead: the run's map points into the image.
void UnloadRomImage();

}  // namespace vantor
