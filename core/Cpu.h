// Reset, the one-instruction step and exception entry of the emulated processor.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/Accurate.h"
#include "core/AccurateClock.h"
#include "core/AccurateExceptions.h"
#include "core/AccurateMemory.h"
#include "core/CpuState.h"
#include "core/Interpreter.h"
#include "memory/AddressMap.h"
#include "memory/MipsInterface.h"

namespace vantor {

// Power-on register values; PC at 0xA4000040, the boot copy in SP data memory. Needs the map.
void CpuReset();

// Enters the general exception vector with the code in CAUSE (0 = interrupt).
void EnterException(uint32_t code);

// Points InstrPtr at the host word behind an emulated address.
inline void SetInstrPtr(uint32_t address) {
  InstrPtr = reinterpret_cast<const uint32_t*>(HostAddress(address));
}

// The host word of the instruction at PC.
inline uint32_t FetchWord() {
  uint32_t word;
  std::memcpy(&word, InstrPtr, sizeof word);
  return word;
}

// The end of a step: PC moves on as BranchState says, and InstrPtr follows it. Shared by the
// single step and the block runner, so both carry out transfers alike. The accurate mode fetches
// through its address translation, which may fault.
template <bool kAccurate = false>
[[gnu::always_inline]] inline void AdvancePc() {
  switch (BranchState) {
    case kBranchNone:
      PC.Lo += 4;
      ++InstrPtr;
      break;
    case kBranchDelayed:
      PC.Lo += 4;
      ++InstrPtr;
      BranchState = kBranchImmediate;
      break;
    default:
      BranchState = kBranchNone;
      if constexpr (kAccurate) {
        // A target that is not a multiple of 4 faults when it is fetched.
        PC.Lo = BranchTarget;
        SetAccurateFetch(PC.Lo);
      } else {
        // Instructions are whole words: a target that is not a multiple of 4 (JR to an odd
        // register, ERET to an odd EPC) runs the word that holds it. PC thus stays aligned, so
        // the fetch pointer never leaves its page and the page test below sees every crossing.
        PC.Lo = BranchTarget & ~3u;
        SetInstrPtr(PC.Lo);
      }
      return;
  }
  // Consecutive pages need not be consecutive in host memory (SP memories, TLB-mapped pages):
  // entering a new page fetches from that page's own storage.
  if ((PC.Lo & 0xFFF) == 0) [[unlikely]] {
    if constexpr (kAccurate)
      SetAccurateFetch(PC.Lo);
    else
      SetInstrPtr(PC.Lo);
  }
}

// True when the interrupt test at the end of a step would enter the exception vector.
inline bool InterruptPending() {
  return (Cop0Regs[STATUS] & Cop0Regs[CAUSE] & kInterruptMask) != 0 &&
         (Cop0Regs[STATUS] & (kStatusIE | kStatusEXL | kStatusERL)) == kStatusIE;
}

// Executes one instruction and advances the counters; true when a video frame fell due.
// Always inlined so that the emulation loop carries no call per step. The accurate-hardware
// mode is a second instantiation, chosen once per run, so the default step tests no mode: it
// counts COUNT and the frame itself, where the accurate step moves the machine clock on by one
// cycle and runs the events that fall due (COUNT = COMPARE and the frame among them).
template <bool kAccurate = false>
[[gnu::always_inline]] inline bool CpuStep() {
  const uint32_t word = FetchWord();
  if constexpr (kAccurate) {
    if (FetchFaulted) [[unlikely]] {
      RaiseFetchFault();
    } else if (word != 0) {
      AccurateOpcodeTable[word >> 26](word);
      Gpr[0] = 0;
    }
  } else {
    ++Cop0Regs[COUNT];
    if (word != 0) {
      ExecuteOpcode(word);
      Gpr[0] = 0;  // r0 discards whatever an instruction wrote to it
    }
  }

  bool frameDue = false;
  if constexpr (kAccurate) {
    AdvanceClock(kCyclesPerStep);
    if (MachineClock.NextEvent() <= MachineClock.Now()) [[unlikely]] {
      MachineClock.RunDue();
      frameDue = MachineClock.TakeFrame();
    }
  } else if (--ViCounter <= 0) {
    ViCounter = FramePeriod;
    *MI_INTR |= kMiIntrVI;
    frameDue = true;
  }
  // The default machine raises IP2 for any bit of MI_INTR; the console masks it with
  // MI_INTR_MASK.
  const uint32_t pending = kAccurate ? *MI_INTR & MiInterruptMask() : *MI_INTR;
  if (pending != 0)
    Cop0Regs[CAUSE] |= kCauseIP2;
  else
    Cop0Regs[CAUSE] &= ~kCauseIP2;
  if constexpr (!kAccurate)
    if (Cop0Regs[COMPARE] == Cop0Regs[COUNT] && Cop0Regs[COMPARE] != 0)
      Cop0Regs[CAUSE] |= kCauseIP7;
  if (InterruptPending()) [[unlikely]] {
    if constexpr (kAccurate)
      TakeInterrupt();
    else
      EnterException(0);
  }
  AdvancePc<kAccurate>();
  return frameDue;
}

}  // namespace vantor
