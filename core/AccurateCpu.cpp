// The accurate-hardware mode's state, its reset, its decode tables and its COP0 differences.
#include <algorithm>
#include <cstdint>

#include "audio/AudioInterface.h"
#include "common/MachineState.h"
#include "core/Accurate.h"
#include "core/AccurateClock.h"
#include "core/AccurateExceptions.h"
#include "core/AccurateMemory.h"
#include "core/AccurateOps.h"
#include "core/Cop0.h"
#include "core/Cop1Ops.h"
#include "core/CpuState.h"
#include "core/InstrFields.h"
#include "core/Instructions.h"
#include "core/RegisterAccess.h"
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
uint32_t Cop0Upper[32];

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

// The fields of the TLB's registers that exist; the rest read 0.
constexpr uint32_t kIndexWritable = 0x0000003F;
constexpr uint32_t kEntryLoWritable = 0x3FFFFFFF;
constexpr uint32_t kPageMaskWritable = 0x01FFE000;
// EntryHi: the region (63-62), VPN2 (39-13) and the ASID.
constexpr uint64_t kEntryHiWritable = 0xC00000FF'FFFFE0FF;

// The registers that hold 64 bits; the others read sign-extended through DMFC0.
constexpr uint32_t kWideCop0 =
    1u << ENTRYHI | 1u << BADVADDR | 1u << CONTEXT | 1u << XCONTEXT | 1u << EPC | 1u << ERROREPC;

bool Wide(uint32_t reg) {
  return (kWideCop0 >> reg & 1) != 0;
}

uint64_t ReadCop0(uint32_t reg) {
  if (reg == RANDOM) return accurate::TlbRandom();
  return Wide(reg) ? AccurateCop0(reg) : Sext32(Cop0Regs[reg]);
}

// MTC0 writes its 32-bit value sign-extended, DMTC0 all 64 bits; only the wide registers keep
// the upper word.
void WriteCop0(uint32_t reg, uint64_t wide) {
  const uint32_t value = LowWord(wide);
  switch (reg) {
    case CAUSE:
      Cop0Regs[CAUSE] = (Cop0Regs[CAUSE] & ~kCauseSoftware) | (value & kCauseSoftware);
      return;
    case COMPARE:
      Cop0Regs[CAUSE] &= ~kCauseIP7;
      [[fallthrough]];
    case COUNT:
      // The next match moves with either register.
      Cop0Regs[reg] = value;
      ScheduleCompare();
      return;
    case INDEX:
      Cop0Regs[INDEX] = (Cop0Regs[INDEX] & ~kIndexWritable) | (value & kIndexWritable);
      return;
    case ENTRYLO0:
    case ENTRYLO1:
      Cop0Regs[reg] = value & kEntryLoWritable;
      return;
    case PAGEMASK:
      Cop0Regs[PAGEMASK] = value & kPageMaskWritable;
      return;
    case ENTRYHI:
      SetAccurateCop0(ENTRYHI, wide & kEntryHiWritable);
      RefetchNext();  // the ASID names other entries
      return;
    case WIRED:
      Cop0Regs[WIRED] = value & kIndexWritable;
      accurate::RestartRandom();
      return;
    case RANDOM:
    case BADVADDR:
    case PREVID:
      return;  // read-only
    case STATUS:
      Cop0Regs[STATUS] = value;
      RefetchNext();  // the segments the fetch may use changed
      return;
    default:
      if (Wide(reg))
        SetAccurateCop0(reg, wide);
      else
        Cop0Regs[reg] = value;
      return;
  }
}

void MFC0(uint32_t w) {
  if (CoprocessorUsable(0)) Gpr[Rt(w)] = Sext32(LowWord(ReadCop0(Rd(w))));
}
void DMFC0(uint32_t w) {
  if (CoprocessorUsable(0)) Gpr[Rt(w)] = ReadCop0(Rd(w));
}
void MTC0(uint32_t w) {
  if (CoprocessorUsable(0)) WriteCop0(Rd(w), Sext32(LowWord(Gpr[Rt(w)])));
}
void DMTC0(uint32_t w) {
  if (CoprocessorUsable(0)) WriteCop0(Rd(w), Gpr[Rt(w)]);
}

// An error (ERL) takes precedence over an exception; the return breaks any load-linked sequence.
// The program counter holds 32-bit addresses: a return address that is not one sign-extended
// faults at its fetch.
void ERET(uint32_t) {
  LLBit = false;
  const bool error = (Cop0Regs[STATUS] & kStatusERL) != 0;
  const uint64_t target = AccurateCop0(error ? ERROREPC : EPC);
  if (error)
    ReturnFromError();
  else
    ReturnFromException();
  if (target != Sext32(LowWord(target))) RaiseUnreachableFetch(target);
}

template <size_t N>
std::array<OpcodeHandler, N> CopyOf(const OpcodeHandler (&table)[N]) {
  std::array<OpcodeHandler, N> copy;
  for (size_t i = 0; i < N; ++i)
    copy[i] = table[i];
  return copy;
}

const std::array<OpcodeHandler, 64> kCop0FunctionTable = [] {
  using namespace accurate;
  std::array<OpcodeHandler, 64> table;
  table.fill(Reserved);
  table[1] = TLBR;
  table[2] = TLBWI;
  table[6] = TLBWR;
  table[8] = TLBP;
  table[24] = ERET;
  return table;
}();

void Cop0Function(uint32_t w) {
  if (CoprocessorUsable(0)) kCop0FunctionTable[Funct(w)](w);
}

const std::array<OpcodeHandler, 32> kCop0Table = [] {
  std::array<OpcodeHandler, 32> table;
  table.fill(accurate::Reserved);
  table[0] = MFC0;
  table[1] = DMFC0;
  table[4] = MTC0;
  table[5] = DMTC0;
  table[16] = Cop0Function;
  return table;
}();

void Cop0(uint32_t w) {
  if (CoprocessorUsable(0)) kCop0Table[Rs(w)](w);
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
  table[0x0C] = SYSCALL;
  table[0x0D] = BREAK;
  table[0x20] = accurate::ADD;
  table[0x22] = accurate::SUB;
  table[0x2C] = accurate::DADD;
  table[0x2E] = accurate::DSUB;
  table[0x30] = TGE;
  table[0x31] = TGEU;
  table[0x32] = TLT;
  table[0x33] = TLTU;
  table[0x34] = TEQ;
  table[0x36] = TNE;
  for (size_t funct : {0x01, 0x05, 0x0A, 0x0B, 0x0E, 0x15, 0x28, 0x29, 0x35, 0x37, 0x39, 0x3D})
    table[funct] = Reserved;
  return table;
}();

void Special(uint32_t w) {
  kSpecialTable[Funct(w)](w);
}

const std::array<OpcodeHandler, 32> kRegImmTable = [] {
  using namespace accurate;
  auto table = CopyOf(RegImmTable);
  for (OpcodeHandler& handler : table)
    if (handler == UnimplementedRegImm) handler = Reserved;
  table[0x08] = TGEI;
  table[0x09] = TGEIU;
  table[0x0A] = TLTI;
  table[0x0B] = TLTIU;
  table[0x0C] = TEQI;
  table[0x0E] = TNEI;
  return table;
}();

void RegImm(uint32_t w) {
  kRegImmTable[Rt(w)](w);
}

}  // namespace

const std::array<OpcodeHandler, 64> AccurateOpcodeTable = [] {
  using namespace accurate;
  auto table = CopyOf(OpcodeTable);
  table[0x00] = Special;
  table[0x01] = RegImm;
  table[0x02] = accurate::J;
  table[0x08] = accurate::ADDI;
  table[0x10] = Cop0;
  table[0x11] = accurate::Cop1Op;
  table[0x18] = accurate::DADDI;
  for (size_t op : {0x13, 0x1C, 0x1D, 0x1E, 0x1F, 0x33, 0x3B})
    table[op] = Reserved;
  for (size_t op : {0x12, 0x32, 0x36, 0x3A, 0x3E})
    table[op] = Cop2;
  table[0x20] = accurate::LB;
  table[0x21] = accurate::LH;
  table[0x22] = accurate::LWL;
  table[0x23] = accurate::LW;
  table[0x24] = accurate::LBU;
  table[0x25] = accurate::LHU;
  table[0x26] = accurate::LWR;
  table[0x27] = accurate::LWU;
  table[0x28] = accurate::SB;
  table[0x29] = accurate::SH;
  table[0x2A] = accurate::SWL;
  table[0x2B] = accurate::SW;
  table[0x2E] = accurate::SWR;
  table[0x2F] = accurate::CACHE;
  table[0x31] = accurate::LWC1;
  table[0x37] = accurate::LD;
  table[0x39] = accurate::SWC1;
  table[0x3F] = accurate::SD;
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
  SignExtendCop0Upper();
  AccurateHi = 0;
  AccurateLo = 0;
  LLBit = false;
  for (uint32_t& word : Cop1Upper)
    word = 0;
  accurate::RestartRandom();
  FetchFaulted = false;
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

uint64_t AccurateCop0(uint32_t reg) {
  return uint64_t{Cop0Upper[reg & 31]} << 32 | Cop0Regs[reg & 31];
}
void SetAccurateCop0(uint32_t reg, uint64_t value) {
  Cop0Upper[reg & 31] = HighWord(value);
  Cop0Regs[reg & 31] = LowWord(value);
}

void SignExtendCop0Upper() {
  for (uint32_t reg = 0; reg < 32; ++reg)
    Cop0Upper[reg] = HighWord(Sext32(Cop0Regs[reg]));
  for (uint32_t& change : TlbUpperChange)
    change = 0;
}

}  // namespace vantor
