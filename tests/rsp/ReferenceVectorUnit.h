// The vector unit lane by lane, in plain integers: the model the SSE2 unit is checked against.
#pragma once

#include <cstdint>

#include "rsp/VectorUnit.h"

namespace vantor::test {

// The lane of vt that lane `lane` of an operation reads under element field e.
uint32_t ElementLane(uint32_t e, uint32_t lane);

// Runs one computational instruction on the unit, one lane at a time.
void ReferenceVectorOp(rsp::TVectorUnit& unit, uint32_t instruction);

}  // namespace vantor::test
