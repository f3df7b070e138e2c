// The perspective texture coordinates eight pixels at a time in AVX2 lanes, on processors that
// have them: the bits PerspectiveCoordinate gives with PerspectiveReciprocal. Internal to rdp/.
#pragma once

#include <cstdint>

#include "rdp/Raster.h"

namespace vantor::rdp {

// Whether this processor runs PerspectiveLanes (and VANTOR_NO_AVX2 is not set); without it the
// divide goes a pixel at a time.
extern const bool kPerspectiveLanes;

// s and t of `count` pixels from their attribute rows, each row's S, T and W plus `step`'s (all
// zero for the pixels themselves, the attributes' steps for their neighbours).
void PerspectiveLanes(uint32_t count, const int32_t (*attr)[kAttrCount], const int32_t* step,
                      int32_t* s, int32_t* t);

}  // namespace vantor::rdp
