// The floating-point coprocessor.
#pragma once

#include <cstdint>

namespace vantor {

// The handler of primary opcode 0x11.
void Cop1Op(uint32_t word);

}  // namespace vantor
