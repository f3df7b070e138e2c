// The machine's identity as the accurate-hardware mode shows it: the MIPS interface with the
// version the console's chip reports, its mode register and mask, and the RDRAM interface's
// registers. The main memory of 8 MB is the map's (SetRdramSize).
#pragma once

#include <cstdint>

namespace vantor {

// What MI_VERSION reads on the console: signal processor 2, display processor 2, RDRAM
// controller cell 1, I/O interface 2.
inline constexpr uint32_t kConsoleMiVersion = 0x02020102;

// MI_MODE as it reads: the init (repeat) length, init mode, ebus test mode, RDRAM register mode.
inline constexpr uint32_t kMiModeInitLength = 0x07F;
inline constexpr uint32_t kMiModeInit = 0x080;
inline constexpr uint32_t kMiModeEbus = 0x100;
inline constexpr uint32_t kMiModeRdramRegisters = 0x200;

// Register page handlers of the mode, which replace MIRead/MIWrite and RIRead/RIWrite.
uint32_t AccurateMIRead(uint32_t page, uint32_t offset);
void AccurateMIWrite(uint32_t page, uint32_t offset, uint32_t value);
uint32_t AccurateRIRead(uint32_t page, uint32_t offset);
void AccurateRIWrite(uint32_t page, uint32_t offset, uint32_t value);
// The RDRAM modules' registers (0x03F00000), which replace the plain page's handlers.
uint32_t AccurateRdramRegRead(uint32_t page, uint32_t offset);
void AccurateRdramRegWrite(uint32_t page, uint32_t offset, uint32_t value);

// The start of an accurate run: the RI's registers at their power-on values.
void ResetAccurateSystem();

}  // namespace vantor
