#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "common/MachineState.h"
#include "core/Scheduler.h"
#include "memory/AddressMap.h"
#include "memory/PlainPages.h"
#include "memory/SignalProcessor.h"
#include "rsp/Rsp.h"
#include "rsp/ScalarUnit.h"
#include "rsp/SpState.h"

namespace vantor {

TRspCore RspCore;

namespace rsp {

TSpState Sp;

namespace {

constexpr uint32_t kMemAddrMask = 0x1FF8;
constexpr uint32_t kMemOffsetMask = 0xFF8;
constexpr uint32_t kImemSelect = 0x1000;
constexpr uint32_t kDramAddrMask = 0xFFFFF8;
constexpr uint32_t kPcMask = 0xFFC;
constexpr uint32_t kNoPc = UINT32_MAX;
// The bits of SP_STATUS the registers keep; DMA busy and full come from the DMA state.
constexpr uint32_t kStatusKept =
    kSpStatusHalt | kSpStatusBroke | kSpStatusSingleStep | kSpStatusInterruptOnBreak | 0xFFu << 7;
// RDRAM moves 8 bytes per cycle of the 62.5 MHz clock; each row first waits for the memory.
constexpr uint64_t kDmaRowSetup = 8;
constexpr uint64_t kDmaBytesPerCycle = 8;

uint64_t CpuCycles(uint64_t rspCycles) {
  return (rspCycles * kCpuClockHz + kRspClockHz - 1) / kRspClockHz;
}

// A slice runs when its time has passed, the cycles from its start to now; inside it, what the
// processor starts lands at the time it reached.
bool inSlice = false;
uint32_t sliceCycles = 0;

uint64_t LocalTime() {
  const uint64_t now = MachineClock.Now();
  if (!inSlice) return now;
  return now - CpuCycles(kRspSliceCycles) + CpuCycles(sliceCycles);
}

uint32_t Status() {
  uint32_t status = Sp.status & kStatusKept;
  if (Sp.busy != 0) status |= kSpStatusDmaBusy;
  if (Sp.full != 0) status |= kSpStatusDmaFull | kSpStatusIoFull;
  return status;
}

// The pages mirror the registers for plain byte reads.
void Publish() {
  uint8_t* regs = SPRegisterPage->Data;
  SetPageWord(regs, 4 * kSpMemAddr, Sp.memAddr);
  SetPageWord(regs, 4 * kSpDramAddr, Sp.dramAddr);
  SetPageWord(regs, 4 * kSpRdLen, Sp.rdLen);
  SetPageWord(regs, 4 * kSpWrLen, Sp.wrLen);
  SetPageWord(regs, 4 * kSpStatus, Status());
  SetPageWord(regs, 4 * kSpDmaFull, Sp.full);
  SetPageWord(regs, 4 * kSpDmaBusy, Sp.busy);
  SetPageWord(regs, 4 * kSpSemaphore, Sp.semaphore);
  SetPageWord(SPPCPage->Data, 0, RspCore.pc);
}

// Moves the whole DMA now; its time runs on the clock. Rows wrap inside the chosen memory;
// RDRAM past the run's size reads as zero and takes no writes.
void Transfer(const TDma& dma) {
  uint8_t* sp = ((dma.memAddr & kImemSelect) != 0 ? IMEMPage : DMEMPage)->Data;
  uint32_t mem = dma.memAddr & kMemOffsetMask;
  uint32_t dram = dma.dramAddr;
  for (uint32_t row = 0; row < dma.count; ++row) {
    for (uint32_t i = 0; i < dma.length; i += 4) {
      uint8_t* local = sp + ((mem + i) & 0xFFC);
      const uint32_t remote = (dram + i) & 0xFFFFFF;
      const bool inRam = remote + 4 <= RdramBytes;
      if (dma.toRdram) {
        if (inRam) std::memcpy(RDRAM->Data + remote, local, 4);
      } else if (inRam) {
        std::memcpy(local, RDRAM->Data + remote, 4);
      } else {
        std::memset(local, 0, 4);
      }
    }
    mem = (mem + dma.length) & 0xFFF;
    dram = (dram + dma.length + dma.skip) & kDramAddrMask;
  }
  // The address registers end past the last row; the length registers count down to -8.
  Sp.memAddr = (dma.memAddr & kImemSelect) | mem;
  Sp.dramAddr = dram;
  const uint32_t ended = dma.skip << 20 | 0xFF8;
  Sp.rdLen = ended;
  Sp.wrLen = ended;
}

uint64_t DmaCycles(const TDma& dma) {
  return CpuCycles(dma.count * (kDmaRowSetup + dma.length / kDmaBytesPerCycle));
}

void StartDma(const TDma& dma, uint64_t at) {
  Transfer(dma);
  Sp.busy = 1;
  MachineClock.ScheduleAt(TEventKind::SpDma, at + DmaCycles(dma));
}

void RequestDma(uint32_t value, bool toRdram) {
  const TDma dma{Sp.memAddr,          Sp.dramAddr,
                 (value & 0xFF8) + 8, (value >> 12 & 0xFF) + 1,
                 value >> 20 & 0xFF8, toRdram ? 1u : 0u};
  if (Sp.busy == 0) {
    StartDma(dma, LocalTime());
  } else if (Sp.full == 0) {
    Sp.pending = dma;
    Sp.full = 1;
  }
}

void DmaEnds() {
  Sp.busy = 0;
  if (Sp.full != 0) {
    Sp.full = 0;
    StartDma(Sp.pending, MachineClock.Now());
  }
  Publish();
}

void Run() {
  if (!MachineClock.Pending(TEventKind::RspSlice)) ScheduleSlice();
}

void Stop() {
  MachineClock.Cancel(TEventKind::RspSlice);
}

void WriteStatus(uint32_t value) {
  uint32_t& s = Sp.status;
  const auto pair = [&](uint32_t clear, uint32_t set, uint32_t bit) {
    if ((value & clear) != 0) s &= ~bit;
    if ((value & set) != 0) s |= bit;
  };
  pair(kSpClearHalt, kSpSetHalt, kSpStatusHalt);
  if ((value & kSpClearBroke) != 0) s &= ~kSpStatusBroke;
  if ((value & kSpClearInterrupt) != 0) *MI_INTR &= ~kMiIntrSP;
  if ((value & kSpSetInterrupt) != 0) *MI_INTR |= kMiIntrSP;
  pair(kSpClearSingleStep, kSpSetSingleStep, kSpStatusSingleStep);
  pair(kSpClearInterruptOnBreak, kSpSetInterruptOnBreak, kSpStatusInterruptOnBreak);
  for (uint32_t i = 0; i < 8; ++i)
    pair(kSpClearSignal0 << (2 * i), kSpClearSignal0 << (2 * i + 1), kSpStatusSignal0 << i);
  if ((s & kSpStatusHalt) != 0)
    Stop();
  else
    Run();
}

// The debugger's breakpoints (sorted IMEM offsets), one that stopped a slice, and the PC that
// the next slice runs without stopping.
std::vector<uint32_t> breakpoints;
bool breakHit = false;
uint32_t passPc = kNoPc;

bool StopsAtBreakpoint() {
  const uint32_t pc = RspCore.pc;
  if (pc == passPc) {
    passPc = kNoPc;
    return false;
  }
  if (!std::binary_search(breakpoints.begin(), breakpoints.end(), pc)) return false;
  breakHit = true;
  passPc = pc;
  return true;
}

// One slice: instructions until the slice's cycles are spent or the processor halts.
void SliceDue() {
  inSlice = true;
  sliceCycles = 0;
  if (breakpoints.empty() && (Sp.status & kSpStatusSingleStep) == 0) {
    RunScalar(sliceCycles, kRspSliceCycles);
    // Microcode that set single-step itself halts after that instruction.
    if ((Sp.status & kSpStatusSingleStep) != 0) Sp.status |= kSpStatusHalt;
  } else {
    while ((Sp.status & kSpStatusHalt) == 0 && sliceCycles < kRspSliceCycles) {
      if (!breakpoints.empty() && StopsAtBreakpoint()) break;
      StepScalar();
      ++sliceCycles;
      if ((Sp.status & kSpStatusSingleStep) != 0) Sp.status |= kSpStatusHalt;
    }
  }
  inSlice = false;
  if ((Sp.status & kSpStatusHalt) == 0) ScheduleSlice();
  Publish();
}

}  // namespace

void Break() {
  Sp.status |= kSpStatusHalt | kSpStatusBroke;
  if ((Sp.status & kSpStatusInterruptOnBreak) != 0) *MI_INTR |= kMiIntrSP;
}

void ScheduleSlice() {
  MachineClock.Schedule(TEventKind::RspSlice, CpuCycles(kRspSliceCycles));
}

void InstallRspHandlers() {
  MachineClock.SetHandler(TEventKind::RspSlice, SliceDue);
  MachineClock.SetHandler(TEventKind::SpDma, DmaEnds);
}

}  // namespace rsp

using rsp::Sp;

void RspReset() {
  RspCore = TRspCore{};
  RspCore.nextPc = 4;
  Sp = rsp::TSpState{};
  Sp.status = kSpStatusHalt;
  rsp::breakHit = false;
  rsp::passPc = rsp::kNoPc;
  rsp::InstallRspHandlers();
  MachineClock.Cancel(TEventKind::RspSlice);
  MachineClock.Cancel(TEventKind::SpDma);
  rsp::Publish();
}

const std::array<std::string_view, kSpRegisters> SpRegisterNames = {
    "MEM_ADDR", "DRAM_ADDR", "RD_LEN", "WR_LEN", "STATUS", "DMA_FULL", "DMA_BUSY", "SEMAPHORE"};

uint32_t RspPeekRegister(uint32_t index) {
  switch (index & 7) {
    case kSpMemAddr:
      return Sp.memAddr;
    case kSpDramAddr:
      return Sp.dramAddr;
    case kSpRdLen:
      return Sp.rdLen;
    case kSpWrLen:
      return Sp.wrLen;
    case kSpStatus:
      return rsp::Status();
    case kSpDmaFull:
      return Sp.full;
    case kSpDmaBusy:
      return Sp.busy;
    default:
      return Sp.semaphore;
  }
}

uint32_t RspReadRegister(uint32_t index) {
  switch (index & 7) {
    case kSpSemaphore: {
      const uint32_t taken = Sp.semaphore;
      Sp.semaphore = 1;
      rsp::Publish();
      return taken;
    }
    default:
      return RspPeekRegister(index);
  }
}

void RspWriteRegister(uint32_t index, uint32_t value) {
  switch (index & 7) {
    case kSpMemAddr:
      Sp.memAddr = value & rsp::kMemAddrMask;
      break;
    case kSpDramAddr:
      Sp.dramAddr = value & rsp::kDramAddrMask;
      break;
    case kSpRdLen:
      Sp.rdLen = value;
      rsp::RequestDma(value, false);
      break;
    case kSpWrLen:
      Sp.wrLen = value;
      rsp::RequestDma(value, true);
      break;
    case kSpStatus:
      rsp::WriteStatus(value);
      break;
    case kSpSemaphore:
      Sp.semaphore = 0;
      break;
    default:  // DMA_FULL and DMA_BUSY are read-only
      break;
  }
  rsp::Publish();
}

uint32_t RspReadPc() {
  return RspCore.pc;
}

void RspWritePc(uint32_t value) {
  RspCore.pc = value & rsp::kPcMask;
  RspCore.nextPc = (RspCore.pc + 4) & rsp::kPcMask;
  rsp::Publish();
}

bool RspHalted() {
  return (Sp.status & kSpStatusHalt) != 0;
}

uint32_t SpRead(uint32_t, uint32_t offset) {
  return offset < 4 * kSpRegisters ? RspReadRegister(offset >> 2) : 0;
}

uint32_t SpPeek(uint32_t, uint32_t offset) {
  return offset < 4 * kSpRegisters ? RspPeekRegister(offset >> 2) : 0;
}

void SpWrite(uint32_t, uint32_t offset, uint32_t value) {
  if (offset < 4 * kSpRegisters) RspWriteRegister(offset >> 2, value);
}

// SP_PC, then SP_IBIST, which reads as zero here.
uint32_t SpPcRead(uint32_t, uint32_t offset) {
  return offset == 0 ? RspReadPc() : 0;
}

void SpPcWrite(uint32_t, uint32_t offset, uint32_t value) {
  if (offset == 0) RspWritePc(value);
}

void SetRspBreakpoints(std::vector<uint32_t> imemOffsets) {
  for (uint32_t& offset : imemOffsets)
    offset &= rsp::kPcMask;
  std::sort(imemOffsets.begin(), imemOffsets.end());
  rsp::breakpoints = std::move(imemOffsets);
}

bool RspTakeBreak() {
  return std::exchange(rsp::breakHit, false);
}

}  // namespace vantor
