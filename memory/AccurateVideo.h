// The video interface as the accurate-hardware mode runs it: every register of the console's VI,
// lines that advance on the machine clock at the rate the sync registers give (NTSC or PAL), the
// VI interrupt at VI_V_INTR, and at the end of each field's active video a frame for the host,
// described by the pixel type, origin, stride, video area and scale registers.
//
// Registers (offsets in the VI range; the page keeps them, so save states carry them):
//   0x00 STATUS   pixel type (bits 1-0: 0 blank, 2 5-5-5-1, 3 8-8-8-8), serrate (6) and the
//                 filter, dither and antialias bits (kept, not applied)
//   0x04 ORIGIN   RDRAM address of the picture (24 bits)
//   0x08 WIDTH    the picture's line stride in pixels (12 bits)
//   0x0C V_INTR   the half-line that raises the VI interrupt (10 bits)
//   0x10 V_CURRENT read: the current half-line, its bit 0 the field in interlaced modes;
//                 write: acknowledges the VI interrupt
//   0x14 BURST, 0x18 V_SYNC (half-lines per field - 1), 0x1C H_SYNC (VI clocks per line - 1 in
//   bits 11-0), 0x20 LEAP, 0x24 H_VIDEO, 0x28 V_VIDEO (start << 16 | end), 0x2C V_BURST,
//   0x30 X_SCALE, 0x34 Y_SCALE (offset << 16 | scale, 2.10 fixed point)
// Other offsets read 0 and ignore writes.
#pragma once

#include <cstdint>

namespace vantor {

// The loaded cartridge's standard: its video clock, and the line timing used until a program sets
// its own. Registers the line event's handler on the machine clock.
void SetVideoStandard(uint32_t videoClockHz, bool pal);
// A new run (registers cleared by the map): the first line event on the machine clock.
void AccurateVideoReset();
// After a restored state and its clock: a line event when the state had none, and the renderer
// set up again for the restored picture at its next frame.
void AccurateVideoRestored();

// The register handlers, of the address map's handler types.
uint32_t AccurateVIRead(uint32_t page, uint32_t offset);
void AccurateVIWrite(uint32_t page, uint32_t offset, uint32_t value);

// The picture as the registers describe it now (where it lies in RDRAM, not in the host: the
// renderer host finds the storage); false while the VI shows nothing (blank pixel type, a stride
// of 0).
enum class TViFormat { Rgba5551, Rgba8888 };
struct TViPicture {
  TViFormat format;
  int32_t width;
  int32_t height;
  uint32_t origin;  // RDRAM address of the first pixel
  uint32_t strideBytes;
  int32_t showWidth;
  int32_t showHeight;
};
bool DescribeViPicture(TViPicture& picture);

// Half-lines per field of the timing now in force.
uint32_t ViHalfLinesPerField();
// The value VI_V_CURRENT reads now.
uint32_t ViCurrentHalfLine();
// Processor cycles until the current field's frame is presented, or the next field's.
int32_t ViCyclesToFrame();

}  // namespace vantor
