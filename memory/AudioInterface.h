// The audio interface register range: a few stored registers and the audio interrupt, no sound.
// One 4 KB page mapped on all 256 pages of the range.
#pragma once

#include <cstdint>

namespace vantor {

// A static page rather than a block.
extern uint8_t AIRegisterPage[4096];

// Clears the page for a new run.
void AIReset();

uint32_t AIRead(uint32_t page, uint32_t offset);
void AIWrite(uint32_t page, uint32_t offset, uint32_t value);

}  // namespace vantor
