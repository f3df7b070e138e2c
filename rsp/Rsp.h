// The signal processor of the accurate-hardware mode: its scalar unit running microcode from IMEM
// on data in DMEM, its vector unit, its DMA engine between those memories and RDRAM, and the SP
// registers the main processor and the signal processor's own COP0 share. It runs as RspSlice
// events on the machine clock, a slice of its cycles at a time, at 62.5 MHz against the main
// processor's 93.75; while halted it has no event and costs nothing.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rsp/VectorUnit.h"

namespace vantor {

// The SP bit of MI_INTR and MI_INTR_MASK.
inline constexpr uint32_t kMiIntrSP = 0x01;

// The SP registers by number (offset / 4 of 0x04040000), as COP0 registers 0 to 7 reach them.
enum : uint32_t {
  kSpMemAddr,
  kSpDramAddr,
  kSpRdLen,
  kSpWrLen,
  kSpStatus,
  kSpDmaFull,
  kSpDmaBusy,
  kSpSemaphore,
  kSpRegisters
};

// SP_STATUS as read.
inline constexpr uint32_t kSpStatusHalt = 1u << 0;
inline constexpr uint32_t kSpStatusBroke = 1u << 1;
inline constexpr uint32_t kSpStatusDmaBusy = 1u << 2;
inline constexpr uint32_t kSpStatusDmaFull = 1u << 3;
inline constexpr uint32_t kSpStatusIoFull = 1u << 4;
inline constexpr uint32_t kSpStatusSingleStep = 1u << 5;
inline constexpr uint32_t kSpStatusInterruptOnBreak = 1u << 6;
inline constexpr uint32_t kSpStatusSignal0 = 1u << 7;  // signals 0-7 in bits 7-14

// SP_STATUS as written: clear/set pairs (clear first, so set wins), the interrupt, the signals
// from bit 9 on (clear 9 + 2i, set 10 + 2i).
inline constexpr uint32_t kSpClearHalt = 1u << 0;
inline constexpr uint32_t kSpSetHalt = 1u << 1;
inline constexpr uint32_t kSpClearBroke = 1u << 2;
inline constexpr uint32_t kSpClearInterrupt = 1u << 3;
inline constexpr uint32_t kSpSetInterrupt = 1u << 4;
inline constexpr uint32_t kSpClearSingleStep = 1u << 5;
inline constexpr uint32_t kSpSetSingleStep = 1u << 6;
inline constexpr uint32_t kSpClearInterruptOnBreak = 1u << 7;
inline constexpr uint32_t kSpSetInterruptOnBreak = 1u << 8;
inline constexpr uint32_t kSpClearSignal0 = 1u << 9;

// Signal-processor cycles per slice: a slice runs ahead of the machine clock by at most this.
inline constexpr uint32_t kRspSliceCycles = 512;

// What the scalar unit and the vector unit hold, for the register views and the tests.
struct TRspCore {
  uint32_t gpr[32];
  uint32_t pc;      // the next instruction, a byte offset in IMEM
  uint32_t nextPc;  // the one after it: a taken branch puts its target here (the delay slot)
  rsp::TVectorUnit vu;
};
extern TRspCore RspCore;

// A new run: registers cleared, halted, no DMA, the clock's handlers set.
void RspReset();

// COP0 registers 8-15 reach the display processor's command registers through these, which the
// accurate mode's reset installs: the two processors stand side by side and know nothing of each
// other. Until then those registers read as zero and ignore writes.
using TDpRegisterRead = uint32_t (*)(uint32_t index);
using TDpRegisterWrite = void (*)(uint32_t index, uint32_t value);
void SetDpRegisterAccess(TDpRegisterRead read, TDpRegisterWrite write);

// The SP registers' names by number, MEM_ADDR to SEMAPHORE, for the register views.
extern const std::array<std::string_view, kSpRegisters> SpRegisterNames;

// The SP registers by number; reads of SP_SEMAPHORE take it, as on the console.
uint32_t RspReadRegister(uint32_t index);
// As read, but without taking the semaphore: what the debugger and the runner show.
uint32_t RspPeekRegister(uint32_t index);
void RspWriteRegister(uint32_t index, uint32_t value);
// SP_PC: a byte offset in IMEM.
uint32_t RspReadPc();
void RspWritePc(uint32_t value);
bool RspHalted();

// The register pages' handlers (0x04040000 and 0x04080000), which keep the pages' storage
// mirroring the registers for plain byte reads.
uint32_t SpRead(uint32_t page, uint32_t offset);
// What SpRead returns, without its side effect.
uint32_t SpPeek(uint32_t page, uint32_t offset);
void SpWrite(uint32_t page, uint32_t offset, uint32_t value);
uint32_t SpPcRead(uint32_t page, uint32_t offset);
void SpPcWrite(uint32_t page, uint32_t offset, uint32_t value);

// The debugger's breakpoints in IMEM (byte offsets; none: nothing is checked). A slice stops
// before an instruction at one of them, and RspTakeBreak then reports it once; the next slice
// runs that instruction.
void SetRspBreakpoints(std::vector<uint32_t> imemOffsets);
bool RspTakeBreak();

// The save-state section: registers of both units, SP registers, DMA in flight.
inline constexpr const char* kRspStateSection = "rsp";
std::vector<uint8_t> RspSaveState();
// The section's size in bytes.
size_t RspStateSize();
// Empty when the section can be restored, else the reason.
std::string RspCheckState(const std::vector<uint8_t>& data);
void RspRestoreState(const std::vector<uint8_t>& data);

}  // namespace vantor
