// Texture sampling eight pixels at a time in SSE2 lanes, for every kind of texel but YUV: the
// tile's addressing (shift, clamp, mirror, wrap), the bilinear filter's triangle and weights
// and the TMEM addresses in lanes, the fetches scalar, then the decoding and the weighing of
// the texels in lanes; compiled for AVX2 as well, which processors that have it run. Gives the
// bits SampleTexture gives. Internal to rdp/.
#pragma once

#include <cstdint>

#include "rdp/Texture.h"

namespace vantor::rdp {

#if defined(__SSE2__)
// The texels of a tile at `count` s10.5 coordinates, filtered or the nearest; YUV texels take
// the sampler of one texel.
void SampleLanes(const TSampler& sampler, bool bilinear, bool midTexel, uint32_t count,
                 const int32_t* s, const int32_t* t, TTexel* out);
#endif

}  // namespace vantor::rdp
