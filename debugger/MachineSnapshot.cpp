#include "debugger/MachineSnapshot.h"

#include <algorithm>

#include "core/Accurate.h"
#include "core/AccurateClock.h"
#include "core/Cop1.h"
#include "core/CpuState.h"
#include "core/MemoryPeek.h"
#include "rsp/Rsp.h"

namespace vantor {

TMachineSnapshot TakeSnapshot(uint32_t viewAddr) {
  TMachineSnapshot shot;
  std::copy(std::begin(Gpr), std::end(Gpr), shot.gpr);
  shot.pc = PC;
  shot.mulDiv = MulDivTemp;
  shot.accurate = AccurateHardware;
  shot.hi = AccurateHi;
  shot.lo = AccurateLo;
  std::copy(std::begin(Cop0Regs), std::end(Cop0Regs), shot.cop0);
  std::copy(std::begin(Cop1Regs), std::end(Cop1Regs), shot.cop1);
  shot.fcr0 = FCR0;
  shot.fcr31 = FCR31;
  // The accurate mode's frame is an event on the machine clock: the cycles until it are its
  // countdown.
  shot.viCounter = AccurateHardware ? CyclesToFrame() : ViCounter;
  if (AccurateHardware) {
    shot.rsp = RspCore;
    for (uint32_t i = 0; i < kSpRegisters; ++i)
      shot.sp[i] = RspPeekRegister(i);
  }
  shot.viewAddr = viewAddr;
  uint32_t address = viewAddr - kViewLead;
  for (int line = 0; line < kViewLines; ++line, address += 4) {
    const auto i = static_cast<size_t>(line);
    // The view reads what a fetch would, and never takes the fault one would.
    const TPeek peek = PeekWord(address, TAccessKind::Fetch);
    switch (peek.result) {
      case TPeek::Read:
        shot.kinds[i] = TViewWord::Read;
        shot.words[i] = peek.word;
        break;
      case TPeek::NoMap:
        shot.kinds[i] = TViewWord::NoMap;
        break;
      case TPeek::Unmapped:
      case TPeek::Faulted:
        shot.kinds[i] = TViewWord::Unmapped;
        break;
    }
  }
  return shot;
}

}  // namespace vantor
