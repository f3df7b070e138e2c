// What the hardware blocks share with the processor: the program counter their fault lines
// name and the one interrupt line MI_INTR.
#pragma once

#include <cstdint>

namespace vantor {

// Only Lo takes part in execution; Hi is set by reset and shown by the register viewer.
struct TProgramCounter {
  uint32_t Lo;
  uint32_t Hi;
};

extern TProgramCounter PC;

// The MI interrupt register, offset 8 of the MI register page, published by the MI block's reset.
// The processor raises its interrupt line while any bit is set.
extern uint32_t* MI_INTR;

// Bits of MI_INTR.
inline constexpr uint32_t kMiIntrSI = 0x02;
inline constexpr uint32_t kMiIntrAI = 0x04;
inline constexpr uint32_t kMiIntrVI = 0x08;
inline constexpr uint32_t kMiIntrPI = 0x10;

}  // namespace vantor
