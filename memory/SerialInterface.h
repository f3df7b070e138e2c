// The serial interface register range: 64-byte copies between main memory and the boot page.
// One 4 KB page mapped on all 256 pages of the range.
#pragma once

#include <cstdint>

#include "memory/MemoryBlock.h"

namespace vantor {

// Made at program start; lives for the whole run.
extern TMemoryHandler* SIRegisterPage;

// Clears the page for a new run.
void SIReset();

uint32_t SIRead(uint32_t page, uint32_t offset);
void SIWrite(uint32_t page, uint32_t offset, uint32_t value);

}  // namespace vantor
