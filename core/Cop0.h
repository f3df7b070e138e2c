// The system control coprocessor: COP0 moves, TLB operations and exception return.
#pragma once

#include <cstdint>

#include "core/Interpreter.h"

namespace vantor {

// One TLB entry: a pair of pages (even and odd) sharing a virtual page number and a page mask.
struct TlbEntry {
  uint32_t PageMask;  // in 4 KB pages minus one: a half covers PageMask + 1 pages
  uint32_t Vpn2;      // virtual address bits 31-13
  uint32_t Asid;
  uint8_t Global;
  uint32_t EvenPfn;  // physical address bits 31-12 of the even half
  uint32_t EvenCache;
  uint8_t EvenDirty;
  uint8_t EvenValid;
  uint32_t OddPfn;
  uint32_t OddCache;
  uint8_t OddDirty;
  uint8_t OddValid;
};

inline constexpr uint32_t kTlbEntries = 32;

// Not cleared at reset or emulation start; only TLBWI (and TLBWR in accurate mode) changes it.
extern TlbEntry Tlb[kTlbEntries];

extern const OpcodeHandler Cop0Table[32];          // by rs, bits 25-21
extern const OpcodeHandler Cop0FunctionTable[64];  // by funct, bits 5-0

// The handler of primary opcode 0x10; dispatches on the rs field.
void Cop0Op(uint32_t word);
// The COP0 function group (rs 16): the TLB operations and ERET; dispatches on the funct field.
void Cop0FunctionOp(uint32_t word);

// ERET's two returns, without a delay slot: from an exception (clears Status.EXL and resumes at
// EPC) and from an error (clears Status.ERL and resumes at ErrorEPC). Each mode's ERET chooses
// between them by its own test of the two bits.
void ReturnFromException();
void ReturnFromError();

}  // namespace vantor
