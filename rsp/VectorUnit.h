// The signal processor's vector unit (COP2): 32 registers of eight 16-bit lanes, the 48-bit
// accumulator of each lane, the compare and carry flags and the divide unit's latches. The
// scalar unit owns the vector loads and stores and the moves (MFC2, MTC2, CFC2, CTC2); this
// unit runs the computational instructions.
#pragma once

#include <cstdint>

namespace vantor::rsp {

// Element e of a register is lane e; element 0 is the halfword at the lowest address when the
// register is stored to DMEM, so a register's bytes in memory order are e[0] high, e[0] low,
// e[1] high ...
struct alignas(16) TVector {
  uint16_t e[8];
};

struct TVectorUnit {
  TVector reg[32];
  // The accumulator, split by bits: 47-32, 31-16 and 15-0 of each lane.
  TVector accHigh;
  TVector accMid;
  TVector accLow;
  uint16_t vco;  // bit i carry, bit i + 8 not-equal, of lane i
  uint16_t vcc;  // bit i compare, bit i + 8 clip, of lane i
  uint8_t vce;   // bit i the compare extension of lane i
  int16_t divIn;
  int16_t divOut;
  bool divInLoaded;
};

// Runs one COP2 computational instruction (bit 25 set). Encodings the unit does not know leave
// the state as it is.
void ExecuteVectorOp(TVectorUnit& unit, uint32_t instruction);

}  // namespace vantor::rsp
