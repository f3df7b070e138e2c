// A plain model of the display processor's rasterizer for differential tests: every pixel of
// the scissor box on its own, its coverage from the edge equations evaluated at each sample, its
// attributes by multiplication, texels, combiner and blender by straightforward selection. It
// shares nothing with the rasterizer but the command decoder's primitive and state.
#pragma once

#include "rdp/Raster.h"

namespace vantor::test {

rdp::TDrawWork ReferenceDraw(const rdp::TPrimitive& primitive);

}  // namespace vantor::test
