// What the command decoder hands the rasterizer: every triangle and rectangle as one primitive,
// its edges and its attributes with their slopes. Internal to rdp/.
#pragma once

#include <cstdint>

namespace vantor::rdp {

// The interpolated attributes: shade colour, texture coordinates with the perspective divisor,
// and depth, each s15.16.
enum : uint32_t { kAttrR, kAttrG, kAttrB, kAttrA, kAttrS, kAttrT, kAttrW, kAttrZ, kAttrCount };

enum class TPrimitiveKind : uint8_t {
  Triangle,
  FillRectangle,
  TextureRectangle,
};

struct TPrimitive {
  TPrimitiveKind kind = TPrimitiveKind::Triangle;
  // Edges. y values in quarter pixels; x values and slopes (per scanline) s15.16. The major edge
  // (H) runs from yh to yl; the minor edge is M above ym and L from ym on. XH and XM are the x of
  // their edges at the top of the scanline that holds yh, XL that of its edge at ym.
  bool leftMajor = true;
  int32_t yh = 0, ym = 0, yl = 0;
  int32_t xh = 0, xm = 0, xl = 0;
  int32_t dxhdy = 0, dxmdy = 0, dxldy = 0;
  // Attributes at the major edge on the top scanline, their change per pixel in x, per scanline
  // along the major edge, and per scanline in y.
  int32_t attr[kAttrCount] = {};
  int32_t dx[kAttrCount] = {};
  int32_t de[kAttrCount] = {};
  int32_t dy[kAttrCount] = {};
  bool shade = false, texture = false, depth = false;
  uint32_t tile = 0;
  uint32_t levels = 0;  // mip-map levels above the base tile
  // Rectangles keep their 10.2 corners: fill and copy modes draw them whole pixels, inclusive.
  uint32_t rectXh = 0, rectYh = 0, rectXl = 0, rectYl = 0;
};

// The work a primitive took: scanlines and pixels, for the clock.
struct TDrawWork {
  uint32_t rows = 0;
  uint32_t pixels = 0;
};

// Pixels with samples covered, drawn or not, since the program started: the benchmark's measure.
extern uint64_t PixelsTouched;

// Draws a primitive in the current modes.
TDrawWork DrawPrimitive(const TPrimitive& primitive);

// When set, primitives go to this function instead of the rasterizer (a reference model in
// tests draws the same primitives pixel by pixel).
using TPrimitiveDrawer = TDrawWork (*)(const TPrimitive& primitive);
extern TPrimitiveDrawer PrimitiveDrawer;

}  // namespace vantor::rdp
