// The accurate-hardware mode: a second behaviour of the machine, chosen for a whole run, that
// follows the real r4300i and the console where the default machine deliberately differs (the
// video current line, the FPU with Status.FR and FCR31, 64-bit HI and LO, LDL/LDR/SDL/SDR and
// LL/SC, the MI interrupt mask, CAUSE writes, the boot code's COP0 values, every exception and a
// real TLB). Everything the mode changes lives in the files named Accurate*: its own decode
// tables, which the step uses when instantiated for this mode, and its own handlers for the
// register pages that differ. The default machine's code has no test of the mode anywhere.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "core/Cop1Ops.h"
#include "core/CpuState.h"
#include "core/Interpreter.h"

namespace vantor {

// The mode of the current (or last) run; the engine sets it before the run's reset. The
// disassembler and the register views read it to show what the running machine executes.
// Atomic because the debugger reads it from the main thread while a run may be starting.
extern std::atomic<bool> AccurateHardware;

// HI and LO as separate 64-bit registers (MulDivTemp belongs to the default machine).
extern uint64_t AccurateHi;
extern uint64_t AccurateLo;

// The load-linked bit: set by LL and LLD, cleared by ERET; SC and SCD store only while it is set.
extern bool LLBit;

// The upper words of the 64-bit floating-point registers under Status.FR = 1; the lower words
// are Cop1Regs, so a single-precision register reads the same word under either setting.
extern uint32_t Cop1Upper[32];

// The upper words of the 64-bit COP0 registers (EntryHi, BadVAddr, Context, XContext, EPC and
// ErrorEPC); the lower words are Cop0Regs, which the default machine keeps alone.
extern uint32_t Cop0Upper[32];
// Each TLB entry's EntryHi upper word (the region in bits 31-30, VPN2 bits 39-32 in 7-0) as it
// differs from the one a 32-bit EntryHi gives (0, or 0xC00000FF with address bit 31): entries
// the default machine or a 32-bit program wrote need nothing here.
extern uint32_t TlbUpperChange[32];
uint32_t TlbEntryUpper(uint32_t index);
void SetTlbEntryUpper(uint32_t index, uint32_t upper);
// The clock's cycle at which Random last read 31 (reset and every write of Wired): Random
// counts down from there, one step per cycle.
extern uint64_t TlbRandomStart;
// The COP0 register `reg` with all 64 bits, and its write.
uint64_t AccurateCop0(uint32_t reg);
void SetAccurateCop0(uint32_t reg, uint64_t value);
// The upper words as the 32-bit values sign-extended, and every TLB entry's as a 32-bit EntryHi
// gives it (a new run or a state saved without them).
void SignExtendCop0Upper();

// Status.FR: 32 independent 64-bit registers when set, even/odd pairs when clear.
inline constexpr uint32_t kStatusFR = 0x04000000;

// FCR31 fields beyond the condition bit.
inline constexpr uint32_t kFcr31RoundingMode = 0x00000003;
inline constexpr uint32_t kFcr31FlagShift = 2;    // sticky flags, bits 2-6
inline constexpr uint32_t kFcr31EnableShift = 7;  // enables, bits 7-11
inline constexpr uint32_t kFcr31CauseShift = 12;  // cause bits, 12-17
inline constexpr uint32_t kFcr31CauseMask = 0x0003F000;
inline constexpr uint32_t kFcr31Unimplemented = 0x00020000;  // cause E: unimplemented operation
// Exception bits, as they sit in the flag and cause fields once shifted.
inline constexpr uint32_t kFpInexact = 1 << 0;
inline constexpr uint32_t kFpUnderflow = 1 << 1;
inline constexpr uint32_t kFpOverflow = 1 << 2;
inline constexpr uint32_t kFpDivByZero = 1 << 3;
inline constexpr uint32_t kFpInvalid = 1 << 4;

// The mode's decode tables: the default ones with the mode's handlers in place.
extern const std::array<OpcodeHandler, 64> AccurateOpcodeTable;

// Puts the mode's differences in place after CpuReset and InitMemoryMap of a run: the COP0
// values the console's boot code leaves, cleared HI, LO, LLbit and upper FPU words, and the
// register pages whose reads differ (VI_V_CURRENT).
void AccurateReset();

// Puts the mode's register page handlers in place again after the map was rebuilt (a restored
// state), for the loaded ROM's video standard.
void InstallAccurateHandlers();

// The 64-bit floating-point register as Status.FR lays it out. Under FR = 1 every register holds
// 64 bits, its high word in Cop1Upper; under FR = 0 it is the default machine's even-odd pair.
// Inline: every COP1 operation reads and writes through them.
inline uint64_t AccurateFpr64(uint32_t reg) {
  reg &= 31;
  if ((Cop0Regs[STATUS] & kStatusFR) != 0) return uint64_t{Cop1Upper[reg]} << 32 | Cop1Regs[reg];
  return cop1::ReadPair(reg);
}
inline void WriteAccurateFpr64(uint32_t reg, uint64_t value) {
  reg &= 31;
  if ((Cop0Regs[STATUS] & kStatusFR) != 0) {
    Cop1Upper[reg] = static_cast<uint32_t>(value >> 32);
    Cop1Regs[reg] = static_cast<uint32_t>(value);
  } else {
    cop1::WritePair(reg, value);
  }
}

}  // namespace vantor
