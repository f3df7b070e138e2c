// Command-line options of vantor64-cli.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "video/RendererHost.h"

namespace vantor::cli {

struct TOptions {
  std::string romPath;
  uint32_t frames = 60;
  std::optional<uint64_t> steps;
  std::string snapshotPath;
  std::string rdramDumpPath;
  std::string wavPath;
  bool regs = false;
  bool accurate = false;
  bool bench = false;
  bool exact = false;
  bool realtime = false;
  std::string loadStatePath;
  std::string saveStatePath;
  std::string videoPath;
  std::string inputPath;
  TScreenRect target;
  std::optional<uint32_t> disasmAddress;
  uint32_t disasmCount = 0;
  std::vector<uint32_t> breakpoints;
  bool help = false;
};

// Parses the arguments after the program name; on failure returns nothing and sets error.
std::optional<TOptions> ParseOptions(const std::vector<std::string>& args, std::string& error);

// False (and error) when an output file is the ROM itself, under whatever name.
bool OutputsSpareTheRom(const TOptions& options, std::string& error);

// The usage text printed by --help and after a bad option.
std::string UsageText();

}  // namespace vantor::cli
