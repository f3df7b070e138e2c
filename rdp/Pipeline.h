// The one- and two-cycle pixel pipeline of the rasterizer: everything a span needs, prepared
// once per primitive from the modes (combiner and blender inputs as pointers, the tiles'
// samplers, the images), so that the per-pixel work has no decisions of its own to make beyond
// a few well-predicted tests. Internal to rdp/.
#pragma once

#include <cstdint>

#include "rdp/Raster.h"
#include "rdp/RdpState.h"
#include "rdp/Texture.h"

namespace vantor::rdp {

// Four lanes: red, green, blue, alpha.
struct alignas(16) TLanes {
  int32_t v[4] = {};
};

// One scanline of a primitive as the edge walker hands it over: the pixels it may touch, the
// pixels fully covered, and its four sub-scanlines in eighths of a pixel for the edge pixels.
struct TSpan {
  int32_t y = 0;
  int32_t xStart = 0, xEnd = -1;        // both included
  int32_t fullStart = 0, fullEnd = -1;  // fully covered pixels, both included
  uint32_t valid = 0;                   // bit k: sub-scanline k has samples
  int32_t left[4] = {}, right[4] = {};
  int32_t attr[kAttrCount] = {};  // attributes at xStart
};

// The samples of the pixel at x: two per sub-scanline, staggered by a quarter pixel.
inline uint32_t CoverageAt(const TSpan& span, int32_t x) {
  uint32_t count = 0;
  for (int k = 0; k < 4; ++k) {
    if ((span.valid & (1u << k)) == 0) continue;
    const int32_t first = x * 8 + ((k & 1) != 0 ? 2 : 0);
    count += (first >= span.left[k] && first < span.right[k]) ? 1 : 0;
    count += (first + 4 >= span.left[k] && first + 4 < span.right[k]) ? 1 : 0;
  }
  return count;
}

struct TCombinerCycle {
  const int32_t* a[3];
  const int32_t* b[3];
  const int32_t* c[3];
  const int32_t* d[3];
  const int32_t* alpha[4];  // a, b, c, d of the alpha equation
};

struct TBlenderCycle {
  uint32_t p, m, a, b;
};

struct TPipeline;
using TSpanFunction = uint32_t (*)(TPipeline& pipeline, const TSpan& span);

struct TPipeline {
  // Per-pixel inputs of the combiner; the constant ones are filled at set-up.
  TLanes texel0, texel1, shade, combined;
  TLanes texel0Alpha, texel1Alpha, shadeAlpha, combinedAlpha;
  TLanes prim, env, primAlpha, envAlpha, one, zero, noise, keyCenter, keyScale, k4, k5;
  TLanes lodFrac, primLodFrac;
  TLanes blendColor, fogColor;
  TCombinerCycle cycles[2];
  bool twoCycle = false, needsNoise = false, lod = false;
  // Texturing.
  TSampler samplers[8];
  uint32_t tile = 0, levels = 0;
  bool bilinear = false, midTexel = false, perspective = false, convert[2] = {};
  // Blending and the images.
  TBlenderCycle blend[2];
  TOtherModes modes;
  uint32_t colorAddress = 0, colorWidth = 0, colorSize = 0;
  uint32_t zAddress = 0;
  int32_t dx[kAttrCount] = {};
  int32_t dy[kAttrCount] = {};
  uint32_t zPrim = 0, dzPrim = 0, dzPixel = 0;
  uint32_t dzExponent = 0, dz18 = 0;  // of the slope the depth test uses
  uint32_t primitive = 0;
  bool depthTest = false;
  // The span function for this primitive's modes.
  TSpanFunction span = nullptr;
};

// Prepares the pipeline for a primitive in the current modes.
void PreparePipeline(TPipeline& pipeline, const TPrimitive& primitive);

// Depth in the 18-bit range and its 16-bit memory form: a 3-bit exponent, an 11-bit mantissa
// and the top two bits of the 4-bit exponent of the depth slope.
uint32_t CompressDepth(uint32_t z18, uint32_t dzExponent);
uint32_t DecompressDepth(uint32_t stored);
// The exponent of the highest set bit of a depth slope (0 for none).
uint32_t DepthSlopeExponent(uint32_t dz);

}  // namespace vantor::rdp
