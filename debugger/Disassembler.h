// Turns one r4300i instruction word into one line of text for the disassembly view.
#pragma once

#include <cstdint>
#include <string>

namespace vantor {

// The text of one instruction word at an address (branch and jump targets are printed from it).
// Every word yields a text; nothing is read from memory. The instructions named are those of the
// machine of the current (or last) run, default or accurate hardware.
std::string DisasmOpcode(uint32_t word, uint32_t address);
// No text is longer, so a view this wide shows every instruction whole.
inline constexpr int kLongestDisasmText = 31;
// The same for the machine chosen by `accurate`.
std::string DisasmOpcode(uint32_t word, uint32_t address, bool accurate);

// Address of the word being disassembled by the one-argument form, set by its caller before each
// call; the debugger's views use this form.
extern uint32_t DisasmAddr;
std::string DisasmOpcode(uint32_t word);

}  // namespace vantor
