// A copy of what the debugger's windows show: the processor's registers and the 32 words of the
// disassembly view, taken where the machine may be read (between two steps of a run, or while no
// run exists).
#pragma once

#include <array>
#include <cstdint>

#include "common/MachineState.h"
#include "rsp/Rsp.h"

namespace vantor {

inline constexpr int kViewLines = 32;
// The view's line 16 shows its address; the first line is 64 bytes before it.
inline constexpr uint32_t kViewLead = 64;

// What a line of the view found at its address.
enum class TViewWord : uint8_t {
  NoMap,     // no read handler: the address map has not been built yet
  Unmapped,  // the unmapped-page handler, never called, or a fetch there would fault
  Read       // the word the page's read handler returned
};

struct TMachineSnapshot {
  uint64_t gpr[32] = {};
  TProgramCounter pc = {};
  uint64_t mulDiv = 0;
  // The accurate-hardware mode keeps HI and LO apart and leaves mulDiv unused.
  bool accurate = false;
  uint64_t hi = 0;
  uint64_t lo = 0;
  uint32_t cop0[32] = {};
  uint32_t cop1[32] = {};
  uint32_t fcr0 = 0;
  uint32_t fcr31 = 0;
  int32_t viCounter = 0;
  // The signal processor of the accurate mode: both units and the SP registers.
  TRspCore rsp = {};
  std::array<uint32_t, kSpRegisters> sp = {};
  uint32_t viewAddr = 0;
  std::array<TViewWord, kViewLines> kinds{};
  std::array<uint32_t, kViewLines> words{};
};

// Copies the registers and reads the view's words from viewAddr - 64 on as fetches would see
// them, changing nothing (PeekWord; an address a fetch would fault on shows as Unmapped). Call it
// only where the machine may be read (TEngine::Inspect).
TMachineSnapshot TakeSnapshot(uint32_t viewAddr);

}  // namespace vantor
