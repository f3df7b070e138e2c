// The debugger's and the reports' reads of emulated memory: the word a load or fetch of the
// running program would see at an address, read without raising anything and without changing
// any state of the machine (COP0, the TLB, the clock, a register's read side effects).
#pragma once

#include <cstdint>

#include "core/AccurateMemory.h"

namespace vantor {

struct TPeek {
  enum Result : uint8_t {
    Read,      // word holds what the page's read handler returns
    NoMap,     // no read handler: the address map has not been built yet
    Unmapped,  // nothing to read: a page nothing maps, or one of a closed ROM
    Faulted,   // the accurate mode's access would take an exception
  } result;
  uint32_t word;
};

// The word at a 32-bit address. The default mode reads the map page the address names; the
// accurate mode first checks the address (sign-extended) as a word access of `kind` with the
// current privilege, addressing width and ASID, so a misaligned one faults. Reads of registers that
// change on reading (SP_SEMAPHORE) or note their use (the default mode's signal processor pages, a
// misaligned PI register) return their value and leave that undone.
TPeek PeekWord(uint32_t address, TAccessKind kind = TAccessKind::Load);

}  // namespace vantor
