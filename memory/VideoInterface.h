// The video interface register page. Stores are plain except VI_WIDTH, whose new value
// re-initialises the renderer, and VI_V_CURRENT, whose write acknowledges the video interrupt.
#pragma once

#include <cstdint>

namespace vantor {

extern uint8_t VIRegisterPage[4096];

inline constexpr uint32_t kViOrigin = 0x04;
inline constexpr uint32_t kViWidth = 0x08;
inline constexpr uint32_t kViVCurrent = 0x10;

uint32_t VIRead(uint32_t page, uint32_t offset);
void VIWrite(uint32_t page, uint32_t offset, uint32_t value);

// The frame buffer's emulated address as last written to VI_ORIGIN.
uint32_t VIOrigin();

}  // namespace vantor
