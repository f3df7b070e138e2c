// The system control coprocessor: COP0 moves, TLB operations and exception return.
#pragma once

#include <cstdint>

namespace vantor {

// The handler of primary opcode 0x10.
void Cop0Op(uint32_t word);

}  // namespace vantor
