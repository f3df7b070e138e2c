// The video interface register page.
#pragma once

#include <cstdint>

namespace vantor {

extern uint8_t VIRegisterPage[4096];

uint32_t VIRead(uint32_t page, uint32_t offset);
void VIWrite(uint32_t page, uint32_t offset, uint32_t value);

}  // namespace vantor
