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
//
// A reader names the sections it expects before anything is inflated, so a file can make it
// allocate no more than the sections it knows take: no more than the machine's own state.
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

// What a reader expects of one section: the version it reads and its size once inflated, exactly
// or, for a list, at most. An optional section may be missing (states written before it
// existed); when present it must follow the rule.
struct TSectionRule {
  std::string Name;
  uint32_t Version = 1;
  uint32_t Size = 0;
  bool AtMost = false;
  bool Optional = false;
};

// A section as the file holds it, not yet inflated; Stored points into the file's bytes.
struct TStoredSection {
  std::string Name;
  uint32_t Version = 1;
  uint32_t RawSize = 0;
  std::span<const uint8_t> Stored;
};

struct TStoredState {
  TStateIdentity Identity;
  std::vector<TStoredSection> Sections;

  // The section with this name, or null.
  const TStoredSection* Find(const std::string& name) const;
};

// No state has more sections than this; a file that claims more is damaged.
inline constexpr uint32_t kMaxStateSections = 256;

std::vector<uint8_t> EncodeState(const TStateImage& image);

// Reads the container without inflating anything: its size, magic, format version, checksum,
// every section's bounds, at most kMaxStateSections sections and each name at most once. On
// failure sets the reason.
std::optional<TStoredState> ParseState(std::span<const uint8_t> bytes, std::string& error);
// Empty when the sections are exactly those the rules name, each once, in its version and size;
// otherwise the reason.
std::string CheckSections(const TStoredState& state, std::span<const TSectionRule> rules);
std::string CheckSections(const TStateImage& image, std::span<const TSectionRule> rules);
// Inflates a section into exactly its RawSize bytes, which the caller has checked against its
// rule; false with the reason when the stored bytes do not make that many.
bool InflateSection(const TStoredSection& section, std::vector<uint8_t>& data, std::string& error);
// Parses, checks against the rules and inflates every section; on failure sets the reason.
std::optional<TStateImage> DecodeState(std::span<const uint8_t> bytes,
                                       std::span<const TSectionRule> rules, std::string& error);

// Writes to a temporary file beside the regular file `path` names (or beside `path` when nothing
// is there) and renames it into place, so that a failure never leaves a partial file under the
// real name. What is no regular file is never replaced: it is written as every output is (a pipe
// with a reader) or refused. False with the reason on failure.
bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                         std::string& error);

}  // namespace vantor
