// The MIPS interface register range: the version word, the interrupt register MI_INTR and its
// mask. One 4 KB page mapped on all 256 pages of the range.
#pragma once

#include <cstdint>

#include "memory/AddressMap.h"
#include "memory/MemoryBlock.h"

namespace vantor {

// Made at program start; lives for the whole run.
extern TMemoryHandler* MIRegisterPage;

// Clears the page for a new run and publishes MI_INTR as its offset 8.
void MIReset();

// MI_INTR_MASK: one bit per interrupt, in the bit positions of MI_INTR.
inline constexpr uint32_t kMiIntrMaskOffset = 12;
inline uint32_t MiInterruptMask() {
  return PageWord(MIRegisterPage->Data, kMiIntrMaskOffset);
}

// A write to MI_INTR_MASK: each pair of bits of the value clears (lower bit) or sets (upper bit)
// one of the six mask bits; with both set, the bit ends set.
uint32_t UpdatedInterruptMask(uint32_t mask, uint32_t value);

uint32_t MIRead(uint32_t page, uint32_t offset);
void MIWrite(uint32_t page, uint32_t offset, uint32_t value);

}  // namespace vantor
