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

// One scanline of a primitive as the edge walker hands it over: the pixels it may touch, the
// pixels fully covered, and its four sub-scanlines in eighths of a pixel for the edge pixels
// (clipped to the scissor, they fit 16 bits where they have samples; the walker gives those
// without samples the empty range from 32767 to -32768).
struct TSpan {
  int32_t y = 0;
  int32_t xStart = 0, xEnd = -1;        // both included
  int32_t fullStart = 0, fullEnd = -1;  // fully covered pixels, both included
  uint32_t valid = 0;                   // bit k: sub-scanline k has samples
  int16_t left[4] = {}, right[4] = {};
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

// The combiner's inputs, each four packed lanes (see TTexel), by where the pipeline keeps
// them; the alpha inputs read the alpha lane of the same entries.
inline constexpr uint8_t kInCombined = 0;
inline constexpr uint8_t kInTexel0 = 1;
inline constexpr uint8_t kInTexel1 = 2;
inline constexpr uint8_t kInPrim = 3;
inline constexpr uint8_t kInShade = 4;
inline constexpr uint8_t kInEnv = 5;
inline constexpr uint8_t kInOne = 6;
inline constexpr uint8_t kInNoise = 7;
inline constexpr uint8_t kInZero = 8;
inline constexpr uint8_t kInKeyCenter = 9;
inline constexpr uint8_t kInK4 = 10;
inline constexpr uint8_t kInKeyScale = 11;
inline constexpr uint8_t kInCombinedAlpha = 12;
inline constexpr uint8_t kInTexel0Alpha = 13;
inline constexpr uint8_t kInTexel1Alpha = 14;
inline constexpr uint8_t kInPrimAlpha = 15;
inline constexpr uint8_t kInShadeAlpha = 16;
inline constexpr uint8_t kInEnvAlpha = 17;
inline constexpr uint8_t kInLodFrac = 18;
inline constexpr uint8_t kInPrimLodFrac = 19;
inline constexpr uint8_t kInK5 = 20;
inline constexpr uint8_t kInputs = 21;

// One cycle of the combiner: for (a - b) * c + d, the inputs of the colour lanes and of the
// alpha lane.
struct TCombinerCycle {
  uint8_t rgb[4] = {};
  uint8_t alpha[4] = {};
};

struct TBlenderCycle {
  uint32_t p, m, a, b;
};

struct TPipeline;
// Walks a primitive's spans and takes their pixels, the walk and the pixels' gathering made one
// for the modes; returns the rows walked and the pixels with samples. The pixels may wait in a
// batch until the flush function runs, which must be before the primitive is done.
using TDrawFunction = TDrawWork (*)(TPipeline& pipeline, const TPrimitive& primitive);
using TFlushFunction = void (*)(const TPipeline& pipeline);

// What the preparation takes from a primitive beyond its slopes: primitives alike in these, in
// unchanged modes, share everything prepared from the modes.
struct TPreparedFor {
  bool texture = false, triangle = false;
  uint32_t tile = 0, levels = 0;
  uint8_t* rdram = nullptr;
  uint32_t rdramSize = 0;

  bool operator==(const TPreparedFor&) const = default;
};

struct TPipeline {
  // The state and primitive the modes' part was prepared for (nothing before the first).
  bool prepared = false;
  TPreparedFor preparedFor;
  alignas(16) uint8_t preparedState[kModeStateBytes] = {};
  alignas(16) TTexel inputs[kInputs] = {};
  TCombinerCycle cycles[2];
  bool twoCycle = false, needsNoise = false, lod = false;
  // Which alpha broadcasts the combiner reads, so that a pixel makes only those.
  bool needsShadeAlpha = false, needsTexelAlpha = false, needsCombinedAlpha = false;
  // Whether either cycle reads TEXEL1 or its alpha: if not, two-cycle mode need not fetch it.
  bool readsTexel1 = false;
  // Every operand of the cycles run takes its colour and its alpha from the same input.
  bool samePicks = false;
  // The combine command's selects that the cycles and the needs above were decoded from.
  TCombine combineDecoded;
  bool combinerDecoded = false;
  // Texturing.
  TSampler samplers[8];
  uint32_t tile = 0, levels = 0;
  bool bilinear = false, midTexel = false, perspective = false, convert[2] = {};
  // Blending and the images.
  TBlenderCycle blend[2];
  TTexel blendColor = 0, fogColor = 0;
  TOtherModes modes;
  uint32_t colorAddress = 0, colorWidth = 0, colorSize = 0;
  uint32_t zAddress = 0;
  int32_t dx[kAttrCount] = {};
  int32_t dy[kAttrCount] = {};
  uint32_t zPrim = 0, dzPrim = 0, dzPixel = 0;
  uint32_t dzExponent = 0, dz18 = 0;  // of the slope the depth test uses
  uint32_t primitive = 0;
  bool depthTest = false;
  bool spansApart = true;  // no span's writes reach memory another span's depth test reads
  // The colour image, the depth image starts on a word and every pixel the scissor lets
  // through lies inside RDRAM: their accesses need no check of their own.
  bool colorInside = false, depthInside = false;
  // Their first bytes where they lie inside (the writer indexes pixels from them: computed
  // here, not from RDRAM's start and the address at every access).
  uint8_t* colorStart = nullptr;
  uint8_t* depthStart = nullptr;
  // Colours go to memory as they are (no blending, no memory read); then the writer also does
  // the depth test's compare where it is not decal's.
  bool pass = false, compareInWriter = false;
  // Where colours pass: by the pixel's coverage (0-8), the coverage written in bits 1-3, its
  // top bit again in bit 0 (what a 16-bit pixel keeps), and bit 7 where the colour is.
  uint8_t passCoverage[9] = {};
  // Colours go to a 16-bit image without memory's (as they are, or blended in the first of two
  // cycles and passed on by the second), every pixel kept, at any coverage, dithered by a
  // matrix: the writer then works them in lanes from their places to their stores. Bit c of
  // passCvgBits: the coverage bit passCoverage writes for coverage c.
  bool writerLanes = false;
  uint16_t passCvgBits = 0;
  // The draw and flush functions for this primitive's modes.
  TDrawFunction draw = nullptr;
  TFlushFunction flush = nullptr;
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
