// Handlers of the MIPS, audio, peripheral and serial interface register ranges. Each range is
// one 4 KB page mapped on all 256 pages of the range.
#pragma once

#include <cstdint>

namespace vantor {

// The audio interface page is a static array rather than a block.
extern uint8_t AIRegisterPage[4096];

uint32_t MIRead(uint32_t page, uint32_t offset);
void MIWrite(uint32_t page, uint32_t offset, uint32_t value);
uint32_t AIRead(uint32_t page, uint32_t offset);
void AIWrite(uint32_t page, uint32_t offset, uint32_t value);
uint32_t PIRead(uint32_t page, uint32_t offset);
void PIWrite(uint32_t page, uint32_t offset, uint32_t value);
uint32_t SIRead(uint32_t page, uint32_t offset);
void SIWrite(uint32_t page, uint32_t offset, uint32_t value);

}  // namespace vantor
