// Turns one signal-processor instruction word into one line of text: the scalar unit's MIPS
// subset, its COP0 (the SP and DP registers), and the vector unit (COP2) with its loads and
// stores. The syntax follows the main processor's disassembler; vector registers are $V0-$V31
// and an element field prints as a suffix: none for the whole register, [0Q]/[1Q] for one
// element of each pair, [0H]-[3H] for one of each four, [0]-[7] for one element broadcast.
#pragma once

#include <cstdint>
#include <string>

namespace vantor {

// The text of the word at an address; branch and jump targets stay inside the 4 KB of IMEM the
// address lies in (the address may be the 12-bit PC or a CPU-side address in IMEM).
std::string DisasmRspOpcode(uint32_t word, uint32_t address);

// Whether a processor address shows IMEM: physical 0x04001000 to 0x04001FFF, in any segment.
inline bool IsImemAddress(uint32_t address) {
  return (address & 0x1FFFF000) == 0x04001000;
}

}  // namespace vantor
