// The vector unit's loads and stores (LWC2 and SWC2) and its moves to and from the scalar unit
// (MFC2, MTC2, CFC2, CTC2). DMEM is 4 KB in the host word layout (byte A at A ^ 3); every
// address wraps inside it.
#pragma once

#include <cstdint>

#include "rsp/VectorUnit.h"

namespace vantor::rsp {

// LWC2 and SWC2: `base` is the scalar register the instruction names, read by the caller.
void LoadVector(TVectorUnit& unit, uint8_t* dmem, uint32_t instruction, uint32_t base);
void StoreVector(const TVectorUnit& unit, uint8_t* dmem, uint32_t instruction, uint32_t base);

// MFC2: the halfword at byte `element` of the register, sign-extended (byte 15 pairs with
// byte 0). MTC2: writes it there, as much of it as the register holds.
uint32_t MoveFromVector(const TVectorUnit& unit, uint32_t reg, uint32_t element);
void MoveToVector(TVectorUnit& unit, uint32_t reg, uint32_t element, uint32_t value);
// CFC2 and CTC2: 0 VCO, 1 VCC, 2 and 3 VCE. VCO and VCC read sign-extended.
uint32_t ReadVectorControl(const TVectorUnit& unit, uint32_t reg);
void WriteVectorControl(TVectorUnit& unit, uint32_t reg, uint32_t value);

}  // namespace vantor::rsp
