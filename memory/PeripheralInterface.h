// The peripheral interface register range: the cartridge DMA and its trace lines. One 4 KB page
// mapped on all 256 pages of the range.
#pragma once

#include <cstdint>

#include "memory/MemoryBlock.h"

namespace vantor {

// Made at program start; lives for the whole run.
extern TMemoryHandler* PIRegisterPage;

// Clears the page for a new run.
void PIReset();

uint32_t PIRead(uint32_t page, uint32_t offset);
void PIWrite(uint32_t page, uint32_t offset, uint32_t value);

}  // namespace vantor
