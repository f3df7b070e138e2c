// The table-driven decoder: every instruction word reaches exactly one handler.
#pragma once

#include <cstdint>

namespace vantor {

using OpcodeHandler = void (*)(uint32_t word);

extern const OpcodeHandler OpcodeTable[64];   // by op, bits 31-26
extern const OpcodeHandler SpecialTable[64];  // by funct, bits 5-0
extern const OpcodeHandler RegImmTable[32];   // by rt, bits 20-16

inline void ExecuteOpcode(uint32_t word) {
  OpcodeTable[word >> 26](word);
}

// Reporting handlers: a console line or two, no other effect.
void IllegalOpcode(uint32_t word);
void IllegalSpecial(uint32_t word);
void UnimplementedOpcode(uint32_t word);
void UnimplementedSpecial(uint32_t word);
void UnimplementedRegImm(uint32_t word);

}  // namespace vantor
