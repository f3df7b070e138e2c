// The video interface register page. Stores are plain except VI_WIDTH, whose new value
// re-initialises the renderer, VI_V_CURRENT, whose write acknowledges the video interrupt, and a
// 32-bit pixel type in VI_STATUS, which only the accurate mode shows (a notice says so).
// One 4 KB page mapped on all 256 pages of the range.
#pragma once

#include <cstdint>

namespace vantor {

extern uint8_t VIRegisterPage[4096];

inline constexpr uint32_t kViStatus = 0x00;
inline constexpr uint32_t kViOrigin = 0x04;
inline constexpr uint32_t kViWidth = 0x08;
inline constexpr uint32_t kViVCurrent = 0x10;

// Clears the page for a new run.
void VIReset();

uint32_t VIRead(uint32_t page, uint32_t offset);
void VIWrite(uint32_t page, uint32_t offset, uint32_t value);

// The frame buffer's emulated address as last written to VI_ORIGIN.
uint32_t VIOrigin();

// What a new frame width sets off once it is logged: the renderer host installs the call that
// re-initialises the plug-in at width x height. Without one the width is only stored.
using TResolutionChange = void (*)(int32_t width, int32_t height);
void SetResolutionChange(TResolutionChange change);
// Logs the new frame size and sets off the installed change.
void NotifyResolution(int32_t width, int32_t height);

}  // namespace vantor
