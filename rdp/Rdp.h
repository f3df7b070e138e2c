// The display processor of the accurate-hardware mode: its command registers (DPC) and span test
// registers (DPS), the command list it fetches from RDRAM or, with XBUS, from the signal
// processor's DMEM, and the rasterizer that draws into RDRAM. Its work runs as DpWork events on
// the machine clock, a slice of commands at a time, so that no command list holds up the
// processor; SYNC_FULL raises the DP interrupt in MI_INTR when the work before it is done.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantor {

// The DP bit of MI_INTR and MI_INTR_MASK.
inline constexpr uint32_t kMiIntrDP = 0x20;
// Writing this bit to MI_MODE clears the DP interrupt.
inline constexpr uint32_t kMiModeClearDP = 0x800;

// The command registers by number (offset / 4), as the signal processor's COP0 registers 8 to
// 15 reach them.
enum : uint32_t {
  kDpcStart,
  kDpcEnd,
  kDpcCurrent,
  kDpcStatus,
  kDpcClock,
  kDpcBufBusy,
  kDpcPipeBusy,
  kDpcTmem,
  kDpcRegisters
};

// DPC_STATUS as read.
inline constexpr uint32_t kDpcStatusXbus = 1u << 0;
inline constexpr uint32_t kDpcStatusFreeze = 1u << 1;
inline constexpr uint32_t kDpcStatusFlush = 1u << 2;
inline constexpr uint32_t kDpcStatusStartGclk = 1u << 3;
inline constexpr uint32_t kDpcStatusTmemBusy = 1u << 4;
inline constexpr uint32_t kDpcStatusPipeBusy = 1u << 5;
inline constexpr uint32_t kDpcStatusCmdBusy = 1u << 6;
inline constexpr uint32_t kDpcStatusCbufReady = 1u << 7;
inline constexpr uint32_t kDpcStatusDmaBusy = 1u << 8;
inline constexpr uint32_t kDpcStatusEndValid = 1u << 9;
inline constexpr uint32_t kDpcStatusStartValid = 1u << 10;

// DPC_STATUS as written: pairs of clear and set bits, then counter clears.
inline constexpr uint32_t kDpcClearXbus = 1u << 0;
inline constexpr uint32_t kDpcSetXbus = 1u << 1;
inline constexpr uint32_t kDpcClearFreeze = 1u << 2;
inline constexpr uint32_t kDpcSetFreeze = 1u << 3;
inline constexpr uint32_t kDpcClearFlush = 1u << 4;
inline constexpr uint32_t kDpcSetFlush = 1u << 5;
inline constexpr uint32_t kDpcClearTmemCounter = 1u << 6;
inline constexpr uint32_t kDpcClearPipeCounter = 1u << 7;
inline constexpr uint32_t kDpcClearBufferCounter = 1u << 8;
inline constexpr uint32_t kDpcClearClockCounter = 1u << 9;

// A new run: registers, modes and TMEM cleared, the DpWork handler set on the machine clock.
void RdpReset();

// The command registers by number; reads of the counters and writes to read-only registers
// are as the console has them.
uint32_t RdpReadRegister(uint32_t index);
void RdpWriteRegister(uint32_t index, uint32_t value);

// The register pages' handlers (DPC at 0x04100000, DPS at 0x04200000) and their storage, which
// mirrors the registers for plain byte reads.
uint32_t DpcRead(uint32_t page, uint32_t offset);
void DpcWrite(uint32_t page, uint32_t offset, uint32_t value);
uint32_t DpsRead(uint32_t page, uint32_t offset);
void DpsWrite(uint32_t page, uint32_t offset, uint32_t value);
uint8_t* DpcPageStorage();
uint8_t* DpsPageStorage();

// The save-state section: registers, the command being gathered, modes, tiles and TMEM.
inline constexpr const char* kRdpStateSection = "rdp";
std::vector<uint8_t> RdpSaveState();
// The section's size in bytes, which every state of this program has.
size_t RdpStateSize();
// Empty when the section can be restored, else the reason.
std::string RdpCheckState(const std::vector<uint8_t>& data);
void RdpRestoreState(const std::vector<uint8_t>& data);

}  // namespace vantor
