#include "memory/RomImage.h"

#include <cstring>

#include "core/HexText.h"
#include "debugger/DebugLog.h"
#include "memory/RomFile.h"

namespace vantor {

TMemoryHandler* RomImage = nullptr;
TRomHeader RomHeader;
bool RomLoaded = false;
std::string RomLoadError;

namespace {

constexpr std::array<std::string_view, 128> NameTable(
    std::initializer_list<std::pair<uint8_t, std::string_view>> named) {
  std::array<std::string_view, 128> table{};
  table.fill("?");
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
  return code < CountryNames.size() ? CountryNames[code] : "?";
}
std::string_view MakerName(uint8_t code) {
  return code < MakerNames.size() ? MakerNames[code] : "?";
}

void UnloadRomImage() {
  if (RomImage != nullptr) RomImage->Destroy();
  RomImage = nullptr;
  RomLoaded = false;
}

bool LoadRomImage(const std::string& path) {
  UnloadRomImage();
  RomLoadError.clear();

  TRomFile file(path);
  if (!file.Ok()) {
    RomLoadError = file.Error();
    DbgAddLine("Error loading " + path);
    return false;
  }
  const uint32_t size = file.Size();

  RomImage = TMemoryHandler::Create(size, 8);
  if (RomImage->Data == nullptr) {
    RomLoadError = "there is no memory for its " + std::to_string(size) + " bytes";
    DbgAddLine("Failed to allocate memory!");
    return false;
  }
  if (!file.ReadAll(RomImage->Data)) {
    RomLoadError = file.Error();
    DbgAddLine("Error loading " + path);
    return false;
  }
  // The header (and the magic inside it) must be whole before anything is read from it.
  if (size < kRomHeaderSize) {
    RomLoadError = "it is too small: " + std::to_string(size) + " bytes, a ROM header takes 64";
    DbgAddLine("Rom image too small: " + std::to_string(size) + " bytes, a header needs 64!");
    return false;
  }
  if (!NormaliseByteOrder(RomImage->Data, size)) {
    RomLoadError = "its first bytes " + FirstBytes(RomImage->Data) + " are no known ROM byte order";
    DbgAddLine("Invalid \"Magic\"!");
    return false;
  }
  ReadHeader(RomImage->Data);
  ReportHeader();
  RomLoaded = true;
  return true;
}

}  // namespace vantor
