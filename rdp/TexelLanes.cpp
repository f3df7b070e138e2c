#include "rdp/TexelLanes.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <utility>

#include "rdp/RdpState.h"

#if defined(__x86_64__)
#include "rdp/CoordinateLanes.h"
#endif

namespace vantor::rdp {

namespace sse2 {
#include "rdp/TexelLanesBody.h"
}  // namespace sse2

#if defined(__x86_64__)

// The same sampler compiled for AVX2, for processors that have it: the same operations in
// their three-operand forms, which spare the register copies of the two-operand ones. (The
// TMEM fetches as AVX2 gathers ran fewer instructions but measured slower on AMD Zen 2.)
// Only what follows is compiled so, not the headers above, whose functions other files share.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace avx2 {
#include "rdp/TexelLanesBody.h"
}  // namespace avx2

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif

void SampleLanes(const TSampler& sampler, bool bilinear, bool midTexel, uint32_t count,
                 const int32_t* s, const int32_t* t, TTexel* out) {
#if defined(__x86_64__)
  if (kPerspectiveLanes) return avx2::SampleEvery(sampler, bilinear, midTexel, count, s, t, out);
#endif
  sse2::SampleEvery(sampler, bilinear, midTexel, count, s, t, out);
}

}  // namespace vantor::rdp

#endif
