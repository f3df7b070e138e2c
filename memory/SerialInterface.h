// The serial interface register range: 64-byte copies between main memory and the boot page,
// through which a program talks to the controller. One 4 KB page mapped on all 256 pages of the
// range.
#pragma once

#include <cstdint>

#include "memory/MemoryBlock.h"
#include "memory/Pif.h"

namespace vantor {

// Made at program start; lives for the whole run.
extern TMemoryHandler* SIRegisterPage;
// The controller protocol's state in the current run.
extern TPifState SIPifState;

// Clears the page and the protocol state for a new run.
void SIReset();

uint32_t SIRead(uint32_t page, uint32_t offset);
void SIWrite(uint32_t page, uint32_t offset, uint32_t value);

}  // namespace vantor
