// What the runner prints or writes about the machine after a run.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "cli/HeadlessRenderer.h"

namespace vantor::cli {

// One line per general register, then PC and the multiply/divide register; in the accurate
// mode HI and LO, then the signal processor's registers.
std::vector<std::string> RegisterLines();

// COUNT lines of disassembly from an address, read through the address map, each written as it
// is made; stops early when the stream fails (a closed pipe).
void WriteDisassembly(std::ostream& out, uint32_t address, uint32_t count);

// Main memory as the run shows it (4 MB, 8 MB in the accurate mode) in the console's big-endian
// byte order.
bool DumpRdram(const std::string& path, std::string& error);

// The frame as an 8-bit RGB PNG, through the 32-bit display conversion.
bool WriteSnapshot(const TFrameCopy& frame, const std::string& path, std::string& error);

}  // namespace vantor::cli
