// Turns one r4300i instruction word into one line of text for the disassembly view.
#pragma once

#include <cstdint>
#include <string>

namespace vantor {

// Address of the word being disassembled; set by the caller before each DisasmOpcode, read by the
// branch and jump formatters to print their targets.
extern uint32_t DisasmAddr;

// The text of one instruction word. Every word yields a text; nothing is read from memory.
std::string DisasmOpcode(uint32_t word);

}  // namespace vantor
