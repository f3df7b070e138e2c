#include "memory/RomImage.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/DebugLog.h"
#include "common/FileAccess.h"
#include "common/HexText.h"
#include "common/MachineState.h"

namespace vantor {

TMemoryHandler* RomImage = nullptr;
TRomHeader RomHeader;
bool RomLoaded = false;
std::string RomLoadError;
std::string RomLoadReason;

namespace {

constexpr std::array<std::string_view, 128> NameTable(
    std::initializer_list<std::pair<uint8_t, std::string_view>> named) {
  std::array<std::string_view, 128> table{};
  table.fill(kNoName);
  for (const auto& [code, name] : named)
    table[code] = name;
  return table;
}

uint8_t HeaderByte(const uint8_t* image, uint32_t offset) {
  return image[offset ^ 3];
}

uint16_t HeaderHalf(const uint8_t* image, uint32_t offset) {
  uint16_t value;
  std::memcpy(&value, image + (offset ^ 2), sizeof value);
  return value;
}

uint32_t HeaderWord(const uint8_t* image, uint32_t offset) {
  uint32_t value;
  std::memcpy(&value, image + offset, sizeof value);
  return value;
}

// Brings the file's byte order to the host word layout: each big-endian cartridge word becomes
// one host word of the same value. Trailing bytes past the last whole word stay as they are.
bool NormaliseByteOrder(uint8_t* image, uint32_t size) {
  const uint32_t units = size >> 2;
  const uint16_t magic = static_cast<uint16_t>(image[0] | image[1] << 8);
  if (magic == 0x3780) {  // 80 37 12 40: big-endian
    for (uint32_t i = 0; i < units; ++i) {
      uint32_t word;
      std::memcpy(&word, image + i * 4, 4);
      word = __builtin_bswap32(word);
      std::memcpy(image + i * 4, &word, 4);
    }
    return true;
  }
  if (magic == 0x8037) {  // 37 80 40 12: bytes of each halfword swapped
    for (uint32_t i = 0; i < units; ++i) {
      uint32_t word;
      std::memcpy(&word, image + i * 4, 4);
      word = word << 16 | word >> 16;
      std::memcpy(image + i * 4, &word, 4);
    }
    return true;
  }
  // 40 12 37 80: bytes of each word reversed. Read as little-endian host words they already hold
  // the cartridge's big-endian values.
  return magic == 0x1240;
}

// Reports a refused load on the console and keeps its line for the window and its reason, in
// words, for the runner.
bool Refuse(std::string line, std::string reason) {
  DbgAddLine(line);
  RomLoadError = std::move(line);
  RomLoadReason = std::move(reason);
  return false;
}

// The file's first four bytes as it holds them, e.g. "80 37 12 40".
std::string FirstBytes(const uint8_t* image) {
  return Hex2(image[0]) + " " + Hex2(image[1]) + " " + Hex2(image[2]) + " " + Hex2(image[3]);
}

void ReadHeader(const uint8_t* image) {
  RomHeader.Magic = HeaderHalf(image, 0);
  RomHeader.Byte2 = HeaderByte(image, 2);
  RomHeader.Byte3 = HeaderByte(image, 3);
  RomHeader.ClockRate = HeaderWord(image, 4);
  RomHeader.EntryPoint = HeaderWord(image, 8);
  RomHeader.Release = HeaderWord(image, 12);
  RomHeader.Crc1 = HeaderWord(image, 16);
  RomHeader.Crc2 = HeaderWord(image, 20);
  for (uint32_t i = 0; i < RomHeader.Name.size(); ++i)
    RomHeader.Name[i] = static_cast<char>(HeaderByte(image, 32 + i));
  RomHeader.Manufacturer = HeaderByte(image, 59);
  RomHeader.CartId = HeaderHalf(image, 60);
  RomHeader.Country = HeaderByte(image, 62);
}

void ReportHeader() {
  const std::string_view name(RomHeader.Name.data(),
                              strnlen(RomHeader.Name.data(), RomHeader.Name.size()));
  DbgAddLine("Loaded " + std::string(name));
  DbgAddLine("Entry point : " + Hex8(RomHeader.EntryPoint));
  DbgAddLine(("Country Code : " + std::string(CountryName(RomHeader.Country))).substr(0, 31));
  DbgAddLine(
      ("Manufacturer Code : " + std::string(MakerName(RomHeader.Manufacturer))).substr(0, 36));
}

}  // namespace

const std::array<std::string_view, 128> CountryNames = NameTable(
    {{0x44, "Germany"}, {0x45, "USA"}, {0x4A, "Japan"}, {0x50, "Europe"}, {0x55, "Australia"}});
const std::array<std::string_view, 128> MakerNames = NameTable({{0x4E, "Nintendo"}});

// Codes 128 to 255 lie past the tables and have no name.
std::string_view CountryName(uint8_t code) {
  return code < CountryNames.size() ? CountryNames[code] : kNoName;
}
std::string_view MakerName(uint8_t code) {
  return code < MakerNames.size() ? MakerNames[code] : kNoName;
}

uint32_t VideoRate(uint8_t country) {
  return country == 'D' || country == 'P' || country == 'U' ? 50 : 60;
}

void UnloadRomImage() {
  // A run's map points into the image: freeing it under the run would leave the machine reading
  // freed memory. Callers end the run first; one that does not is a fault of the program, stopped
  // here before any harm is done.
  if (RunExists.load()) {
    std::fputs("vantor64: the ROM image cannot change while an emulation run exists\n", stderr);
    std::abort();
  }
  if (RomImage != nullptr) RomImage->Destroy();
  RomImage = nullptr;
  RomLoaded = false;
}

bool LoadRomImage(const std::string& path) {
  UnloadRomImage();
  RomLoadError.clear();
  RomLoadReason.clear();

  TReadableFile file(path, TFileKind::Rom);
  if (!file.Ok()) {
    return Refuse("Error loading " + path, file.Error());
  }
  const auto size = static_cast<uint32_t>(file.Size());  // at most 256 MB

  RomImage = TMemoryHandler::Create(size, 8);
  if (RomImage->Data == nullptr) {
    return Refuse("Failed to allocate memory!",
                  "there is no memory for its " + std::to_string(size) + " bytes");
  }
  if (!file.ReadAll(RomImage->Data)) {
    return Refuse("Error loading " + path, file.Error());
  }
  // The header (and the magic inside it) must be whole before anything is read from it.
  if (size < kRomHeaderSize) {
    return Refuse("Rom image too small: " + std::to_string(size) + " bytes, a header needs 64!",
                  "it is too small: " + std::to_string(size) + " bytes, a ROM header takes 64");
  }
  if (!NormaliseByteOrder(RomImage->Data, size)) {
    return Refuse("Invalid \"Magic\"!",
                  "its first bytes " + FirstBytes(RomImage->Data) + " are no known ROM byte order");
  }
  ReadHeader(RomImage->Data);
  ReportHeader();
  RomLoaded = true;
  return true;
}

}  // namespace vantor
