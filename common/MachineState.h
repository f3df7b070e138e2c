// What the hardware blocks share with the processor: the program counter their fault lines
// name, the one interrupt line MI_INTR, and whether an emulation run owns the machine.
#pragma once

#include <atomic>
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

// True from the start of an emulation run until its thread has ended and been joined. Meanwhile
// the emulation thread owns the machine, and the map points into the ROM image.
extern std::atomic<bool> RunExists;

}  // namespace vantor
