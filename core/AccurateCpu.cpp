// The accurate-hardware mode's state, its reset, its decode tables and its COP0 differences.
#include <algorithm>
#include <cstdint>

#include "audio/AudioInterface.h"
#include "common/MachineState.h"
#include "core/Accurate.h"
#include "core/AccurateClock.h"
#include "core/AccurateOps.h"
#include "core/Cop0.h"
#include "core/CpuState.h"
#include "core/InstrFields.h"
#include "core/Instructions.h"
#include "core/RegisterAccess.h"
#include "core/Transfer.h"
#include "memory/AccuratePeripherals.h"
#include "memory/AccurateSystem.h"
#include "memory/AccurateVideo.h"
#include "memory/AddressMap.h"
#include "memory/AudioInterface.h"
#include "memory/MipsInterface.h"
#include "memory/PeripheralInterface.h"
#include "memory/PlainPages.h"
#include "memory/RomImage.h"
#include "memory/SerialInterface.h"
#include "memory/SignalProcessor.h"
#include "memory/VideoInterface.h"
#include "rdp/Rdp.h"
#include "rsp/Rsp.h"

namespace vantor {

std::atomic<bool> AccurateHardware{false};
uint64_t AccurateHi = 0;
uint64_t AccurateLo = 0;
bool LLBit = false;
uint32_t Cop1Upper[32];

namespace {

// What the console's boot code leaves in COP0: kernel mode with 64-bit addressing for every
// segment, COP1 usable with Status.FR set, and no return address.
constexpr uint32_t kBootStatus = 0x241000E0;
constexpr uint32_t kBootConfig = 0x7006E463;
constexpr uint32_t kBootPrevId = 0x00000B22;
constexpr uint32_t kNoReturnAddress = 0xFFFFFFFF;

// CAUSE bits a program may write: the two software interrupts IP0 and IP1.
constexpr uint32_t kCauseSoftware = 0x00000300;

// Cartridges for 50 Hz markets, by their header's country code.
bool PalCartridge() {
  if (!RomLoaded) return false;
  switch (RomHeader.Country) {
    case 'D':
    case 'F':
    case 'I':
    case 'P':
    case 'S':
    case 'U':
    case 'X':
    case 'Y':
      return true;
    default:
      return false;
  }
}

// The display processor's command and span registers, in the cached and uncached segments.
constexpr uint32_t kDpcFirstPage = 0x84100, kDpsFirstPage = 0x84200, kDpPages = 0x100;
constexpr uint32_t kUncachedPageOffset = 0x20000;

void MapDisplayProcessor() {
  for (uint32_t i = 0; i < kDpPages; ++i)
    for (uint32_t segment : {0u, kUncachedPageOffset}) {
      const uint32_t dpc = kDpcFirstPage + segment + i, dps = kDpsFirstPage + segment + i;
      PageTable[dpc] = DpcPageStorage();
      ReadTable[dpc] = DpcRead;
      WriteTable[dpc] = DpcWrite;
      PageTable[dps] = DpsPageStorage();
      ReadTable[dps] = DpsRead;
      WriteTable[dps] = DpsWrite;
    }
}

// Every page that shows a register block the mode changes (found by its handlers, so pages the
// TLB maps there too) takes the mode's handlers; the display processor's pages join the map.
void InstallRegisterHandlers() {
  const uint8_t* rdramRegisters = RDRAMRegisterPage->Data;
  for (uint32_t page = 0; page < kPageCount; ++page) {
    const TReadHandler read = ReadTable[page];
    if (read == VIRead) {
      ReadTable[page] = AccurateVIRead;
      WriteTable[page] = AccurateVIWrite;
    } else if (read == PIRead) {
      ReadTable[page] = AccuratePIRead;
      WriteTable[page] = AccuratePIWrite;
    } else if (read == SIRead) {
      ReadTable[page] = AccurateSIRead;
      WriteTable[page] = AccurateSIWrite;
    } else if (read == MIRead) {
      ReadTable[page] = AccurateMIRead;
      WriteTable[page] = AccurateMIWrite;
    } else if (read == RIRead) {
      ReadTable[page] = AccurateRIRead;
      WriteTable[page] = AccurateRIWrite;
    } else if (read == AIRead) {
      ReadTable[page] = AudioRead;
      WriteTable[page] = AudioWrite;
    } else if (read == NullRead && PageTable[page] == SPRegisterPage->Data) {
      ReadTable[page] = SpRead;
      WriteTable[page] = SpWrite;
    } else if (read == NullRead && PageTable[page] == SPPCPage->Data) {
      ReadTable[page] = SpPcRead;
      WriteTable[page] = SpPcWrite;
    } else if (read == RamRead && PageTable[page] == rdramRegisters) {
      ReadTable[page] = AccurateRdramRegRead;
      WriteTable[page] = AccurateRdramRegWrite;
    }
  }
  MapDisplayProcessor();
}

uint32_t VideoClockHz() {
  return PalCartridge() ? kPalVideoClockHz : kNtscVideoClockHz;
}

void MTC0(uint32_t w) {
  const uint32_t value = LowWord(Gpr[Rt(w)]);
  switch (Rd(w)) {
    case CAUSE:
      Cop0Regs[CAUSE] = (Cop0Regs[CAUSE] & ~kCauseSoftware) | (value & kCauseSoftware);
      return;
    case COMPARE:
      Cop0Regs[CAUSE] &= ~kCauseIP7;
      [[fallthrough]];
    case COUNT:
      // The next match moves with either register.
      Cop0Regs[Rd(w)] = value;
      ScheduleCompare();
      return;
    default:
      break;
  }
  Cop0Regs[Rd(w)] = value;
}

// Returns without a delay slot and breaks any load-linked sequence.
void ERET(uint32_t) {
  LLBit = false;
  if ((Cop0Regs[STATUS] & kStatusERL) != 0) {
    Cop0Regs[STATUS] &= ~kStatusERL;
    PostImmediateTransfer(Cop0Regs[ERROREPC]);
  } else {
    Cop0Regs[STATUS] &= ~kStatusEXL;
    PostImmediateTransfer(Cop0Regs[EPC]);
  }
}

template <size_t N>
std::array<OpcodeHandler, N> CopyOf(const OpcodeHandler (&table)[N]) {
  std::array<OpcodeHandler, N> copy;
  for (size_t i = 0; i < N; ++i)
    copy[i] = table[i];
  return copy;
}

const std::array<OpcodeHandler, 64> kCop0FunctionTable = [] {
  auto table = CopyOf(Cop0FunctionTable);
  table[24] = ERET;
  return table;
}();

void Cop0Function(uint32_t w) {
  kCop0FunctionTable[Funct(w)](w);
}

const std::array<OpcodeHandler, 32> kCop0Table = [] {
  auto table = CopyOf(Cop0Table);
  table[4] = MTC0;
  table[16] = Cop0Function;
  return table;
}();

void Cop0(uint32_t w) {
  kCop0Table[Rs(w)](w);
}

const std::array<OpcodeHandler, 64> kSpecialTable = [] {
  using namespace accurate;
  auto table = CopyOf(SpecialTable);
  table[0x0F] = SYNC;
  table[0x10] = MFHI;
  table[0x11] = MTHI;
  table[0x12] = MFLO;
  table[0x13] = MTLO;
  table[0x18] = MULT;
  table[0x19] = MULTU;
  table[0x1A] = DIV;
  table[0x1B] = DIVU;
  table[0x1C] = DMULT;
  table[0x1D] = DMULTU;
  table[0x1E] = DDIV;
  table[0x1F] = DDIVU;
  return table;
}();

void Special(uint32_t w) {
  kSpecialTable[Funct(w)](w);
}

}  // namespace

const std::array<OpcodeHandler, 64> AccurateOpcodeTable = [] {
  using namespace accurate;
  auto table = CopyOf(OpcodeTable);
  table[0x00] = Special;
  table[0x02] = accurate::J;
  table[0x10] = Cop0;
  table[0x11] = accurate::Cop1Op;
  table[0x1A] = LDL;
  table[0x1B] = LDR;
  table[0x2C] = SDL;
  table[0x2D] = SDR;
  table[0x30] = LL;
  table[0x34] = LLD;
  table[0x35] = accurate::LDC1;
  table[0x38] = SC;
  table[0x3C] = SCD;
  table[0x3D] = SDC1;
  return table;
}();

void AccurateReset() {
  Cop0Regs[STATUS] = kBootStatus;
  Cop0Regs[CONFIG] = kBootConfig;
  Cop0Regs[PREVID] = kBootPrevId;
  Cop0Regs[EPC] = kNoReturnAddress;
  Cop0Regs[ERROREPC] = kNoReturnAddress;
  AccurateHi = 0;
  AccurateLo = 0;
  LLBit = false;
  for (uint32_t& word : Cop1Upper)
    word = 0;
  RdpReset();
  RspReset();
  AudioReset(VideoClockHz());
  // The memory expansion, and the state the boot code leaves the interfaces in.
  SetRdramSize(kRdramExpandedSize);
  InstallAccurateHandlers();
  ResetAccurateSystem();
  ResetAccuratePeripherals();
  StartClock();
  AccurateVideoReset();
}

void InstallAccurateHandlers() {
  SetVideoStandard(VideoClockHz(), PalCartridge());
  SetAudioVideoClock(VideoClockHz());
  InstallRegisterHandlers();
  SetDpRegisterAccess(RdpReadRegister, RdpWriteRegister);
}

uint64_t AccurateFpr64(uint32_t reg) {
  reg &= 31;
  if ((Cop0Regs[STATUS] & kStatusFR) != 0) return uint64_t{Cop1Upper[reg]} << 32 | Cop1Regs[reg];
  return uint64_t{Cop1Regs[reg | 1]} << 32 | Cop1Regs[reg & 30];
}

}  // namespace vantor
