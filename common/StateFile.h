// The save-state file: a header naming the format version, the ROM and the program, then named,
// versioned, zlib-compressed sections, and a CRC-32 over everything before it. This module knows
// only the container; what the sections hold is up to the machine that writes them.
//
// Layout, integers little-endian:
//   8 bytes  magic "V64STATE"
//   4        format version (kStateFormatVersion)
//   20       the ROM header's name bytes
//   32       SHA-256 of the ROM image in the cartridge's big-endian byte order
//   16       program version, ASCII padded with NUL bytes
//   4        section count
//   per section: 1 name length, the name (ASCII), 4 section version, 4 raw size,
//                4 stored size, the stored (zlib) bytes
//   4        CRC-32 of every byte before it
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/Sha256.h"

namespace vantor {

inline constexpr uint32_t kStateFormatVersion = 1;
inline constexpr const char* kProgramVersion = "0.25";

struct TStateIdentity {
  std::array<char, 20> RomName{};
  TSha256 RomHash{};
  std::string ProgramVersion = kProgramVersion;  // at most 16 characters are kept
};

struct TStateSection {
  std::string Name;  // 1 to 255 characters
  uint32_t Version = 1;
  std::vector<uint8_t> Data;
};

struct TStateImage {
  TStateIdentity Identity;
  std::vector<TStateSection> Sections;

  // The section with this name, or null.
  const TStateSection* Find(const std::string& name) const;
};

std::vector<uint8_t> EncodeState(const TStateImage& image);
// Checks the whole container (size, magic, format version, checksum, every section's bounds and
// its decompressed size) before returning anything; on failure sets the reason.
std::optional<TStateImage> DecodeState(std::span<const uint8_t> bytes, std::string& error);

// Writes to a temporary file beside `path` and renames it into place, so that a failure never
// leaves a partial file under the real name. False with the reason on failure.
bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                         std::string& error);
// The whole file; false with the reason when it cannot be read.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);

}  // namespace vantor
