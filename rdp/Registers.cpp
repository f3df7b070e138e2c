#include <algorithm>
#include <cstring>

#include "common/MachineState.h"
#include "core/Scheduler.h"
#include "memory/AddressMap.h"
#include "memory/SignalProcessor.h"
#include "rdp/Commands.h"
#include "rdp/Rdp.h"
#include "rdp/RdpState.h"

namespace vantor {

namespace {

using rdp::kMaxCommandWords;

// Command list addresses are 24 bits, in steps of a 64-bit word.
constexpr uint32_t kAddressMask = 0xFFFFF8;
constexpr uint32_t kCounterMask = 0xFFFFFF;
// A slice of work: at most this many display processor cycles before the clock moves on.
constexpr uint64_t kSliceCycles = 4096;

struct TRegisters {
  uint32_t start = 0, end = 0, current = 0;
  bool xbus = false, freeze = false, flush = false;
  bool startValid = false;
  uint32_t clock = 0, bufferBusy = 0, pipeBusy = 0, tmemBusy = 0;
  // Work is under way: a DpWork event is pending.
  bool busy = false;
  // SYNC_FULL was reached; the interrupt is raised when the work before it is done.
  bool interruptDue = false;
  // The command being gathered; a command may straddle two command lists.
  uint32_t gathered = 0;
  uint64_t words[kMaxCommandWords] = {};
};

TRegisters regs;

alignas(8) uint8_t dpcPage[kPageSize];
alignas(8) uint8_t dpsPage[kPageSize];

uint32_t Status() {
  uint32_t status = 0;
  if (regs.xbus) status |= kDpcStatusXbus;
  if (regs.freeze) status |= kDpcStatusFreeze;
  if (regs.flush) status |= kDpcStatusFlush;
  if (regs.busy) status |= kDpcStatusStartGclk | kDpcStatusPipeBusy | kDpcStatusCmdBusy;
  if (regs.current < regs.end) status |= kDpcStatusDmaBusy | kDpcStatusEndValid;
  if (regs.startValid)
    status |= kDpcStatusStartValid;
  else
    status |= kDpcStatusCbufReady;
  return status;
}

// The page mirrors the registers so that plain loads of it see what the handlers return.
void Publish() {
  for (uint32_t i = 0; i < kDpcRegisters; ++i)
    SetPageWord(dpcPage, i * 4, RdpReadRegister(i));
}

// Words of the command list from `address` on: from DMEM with XBUS, else from RDRAM (nothing
// past its end; the list's addresses are on a word).
void FetchWords(uint32_t address, uint64_t* to, uint32_t count) {
  if (regs.xbus) {
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t offset = (address + i * 8) & 0xFF8;
      to[i] =
          uint64_t{PageWord(DMEMPage->Data, offset)} << 32 | PageWord(DMEMPage->Data, offset + 4);
    }
    return;
  }
  const rdp::TRdramView ram;
  if (uint64_t{address} + count * 8 <= ram.size) {
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t half[2];
      std::memcpy(half, ram.data + address + i * 8, 8);
      to[i] = uint64_t{half[0]} << 32 | half[1];
    }
    return;
  }
  for (uint32_t i = 0; i < count; ++i)
    to[i] = uint64_t{ram.Read32(address + i * 8)} << 32 | ram.Read32(address + i * 8 + 4);
}

void StartWork() {
  if (regs.busy || regs.freeze) return;
  regs.busy = true;
  MachineClock.Schedule(TEventKind::DpWork, 0);
}

// One slice of the command list: whole commands until the slice's cycles are spent, the list
// ends or SYNC_FULL asks for the interrupt once they are done.
void DpWorkDue() {
  regs.busy = false;
  if (regs.interruptDue) {
    regs.interruptDue = false;
    *MI_INTR |= kMiIntrDP;
  }
  uint64_t cycles = 0;
  while (!regs.freeze && regs.current < regs.end && cycles < kSliceCycles) {
    if (regs.gathered == 0) {
      FetchWords(regs.current, regs.words, 1);
      regs.current += 8;
      regs.gathered = 1;
    }
    // The rest of the command as far as the list reaches, in one go.
    const auto id = static_cast<uint32_t>(regs.words[0] >> 56) & 0x3F;
    const uint32_t words = rdp::CommandWords(id);
    const uint32_t listed = regs.current < regs.end ? (regs.end - regs.current + 7) / 8 : 0;
    const uint32_t take = std::min(words - regs.gathered, listed);
    const uint32_t from = regs.current;
    FetchWords(from, regs.words + regs.gathered, take);
    regs.current = from + take * 8;
    regs.gathered += take;
    if (regs.gathered < words) continue;
    regs.gathered = 0;
    cycles += rdp::ExecuteCommand(regs.words);
    if (id == rdp::kSyncFull) {
      regs.interruptDue = true;
      break;
    }
  }
  const auto spent = static_cast<uint32_t>(cycles);
  regs.clock = (regs.clock + spent) & kCounterMask;
  regs.bufferBusy = (regs.bufferBusy + spent) & kCounterMask;
  regs.pipeBusy = (regs.pipeBusy + spent) & kCounterMask;
  if (cycles > 0 || regs.interruptDue) {
    regs.busy = true;
    // Display processor cycles run at two thirds of the processor's rate.
    MachineClock.Schedule(TEventKind::DpWork, cycles * kCpuClockHz / kRspClockHz + 1);
  }
  Publish();
}

void WriteStatus(uint32_t value) {
  if ((value & kDpcClearXbus) != 0) regs.xbus = false;
  if ((value & kDpcSetXbus) != 0) regs.xbus = true;
  if ((value & kDpcClearFreeze) != 0) regs.freeze = false;
  if ((value & kDpcSetFreeze) != 0) regs.freeze = true;
  if ((value & kDpcClearFlush) != 0) regs.flush = false;
  if ((value & kDpcSetFlush) != 0) regs.flush = true;
  if ((value & kDpcClearTmemCounter) != 0) regs.tmemBusy = 0;
  if ((value & kDpcClearPipeCounter) != 0) regs.pipeBusy = 0;
  if ((value & kDpcClearBufferCounter) != 0) regs.bufferBusy = 0;
  if ((value & kDpcClearClockCounter) != 0) regs.clock = 0;
  if (!regs.freeze && regs.current < regs.end) StartWork();
}

// Save-state fields, little-endian, one after another.
class TStateWriter {
 public:
  void U32(uint32_t value) {
    for (int i = 0; i < 4; ++i)
      data.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
  void U64(uint64_t value) {
    U32(static_cast<uint32_t>(value));
    U32(static_cast<uint32_t>(value >> 32));
  }
  std::vector<uint8_t> data;
};

class TStateReader {
 public:
  explicit TStateReader(const std::vector<uint8_t>& data) : data_(data) {}
  uint32_t U32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
      value |= at_ < data_.size() ? uint32_t{data_[at_++]} << (8 * i) : 0;
    return value;
  }
  uint64_t U64() {
    const uint64_t low = U32();
    return low | uint64_t{U32()} << 32;
  }

 private:
  const std::vector<uint8_t>& data_;
  size_t at_ = 0;
};

uint32_t PackColor(const rdp::TColor& c) {
  return static_cast<uint32_t>(c.r) << 24 | static_cast<uint32_t>(c.g) << 16 |
         static_cast<uint32_t>(c.b) << 8 | static_cast<uint32_t>(c.a);
}

// Every field of the section in order; `io` reads or writes each one in place.
template <typename TIo>
void VisitState(TIo&& io) {
  io.Word(regs.start);
  io.Word(regs.end);
  io.Word(regs.current);
  io.Flag(regs.xbus);
  io.Flag(regs.freeze);
  io.Flag(regs.flush);
  io.Flag(regs.startValid);
  io.Word(regs.clock);
  io.Word(regs.bufferBusy);
  io.Word(regs.pipeBusy);
  io.Word(regs.tmemBusy);
  io.Flag(regs.busy);
  io.Flag(regs.interruptDue);
  io.Word(regs.gathered);
  for (uint64_t& word : regs.words)
    io.Long(word);
  rdp::TState& s = rdp::State;
  io.Modes(s.modes.raw);
  io.Combine(s.combine.raw);
  io.Word(s.fillColor);
  io.Color(s.fog);
  io.Color(s.blend);
  io.Color(s.prim);
  io.Color(s.env);
  io.Word(s.primLodFrac);
  io.Word(s.primMinLevel);
  io.Word(s.primZ);
  io.Word(s.primDz);
  for (int i = 0; i < 3; ++i) {
    io.Int(s.key.width[i]);
    io.Int(s.key.center[i]);
    io.Int(s.key.scale[i]);
  }
  for (int32_t& k : s.convert)
    io.Int(k);
  io.Word(s.scissor.xh);
  io.Word(s.scissor.yh);
  io.Word(s.scissor.xl);
  io.Word(s.scissor.yl);
  io.Flag(s.scissor.field);
  io.Flag(s.scissor.odd);
  for (rdp::TImage* image : {&s.colorImage, &s.textureImage}) {
    io.Word(image->format);
    io.Word(image->size);
    io.Word(image->width);
    io.Word(image->address);
  }
  io.Word(s.zImage);
  for (rdp::TTile& t : s.tiles) {
    for (uint32_t* field : {&t.format, &t.size, &t.line, &t.tmem, &t.palette, &t.maskS, &t.shiftS,
                            &t.maskT, &t.shiftT, &t.sl, &t.tl, &t.sh, &t.th})
      io.Word(*field);
    for (bool* flag : {&t.clampS, &t.mirrorS, &t.clampT, &t.mirrorT})
      io.Flag(*flag);
  }
  for (size_t i = 0; i < rdp::kTmemBytes / 2; i += 2) {
    uint32_t pair = uint32_t{s.tmem[i]} << 16 | s.tmem[i + 1];
    io.Word(pair);
    s.tmem[i] = static_cast<uint16_t>(pair >> 16);
    s.tmem[i + 1] = static_cast<uint16_t>(pair);
  }
  io.Word(s.primitiveCount);
}

struct TSaver {
  TStateWriter out;
  void Word(uint32_t& v) { out.U32(v); }
  void Int(int32_t& v) { out.U32(static_cast<uint32_t>(v)); }
  void Flag(bool& v) { out.U32(v ? 1 : 0); }
  void Long(uint64_t& v) { out.U64(v); }
  void Modes(uint64_t& v) { out.U64(v); }
  void Combine(uint64_t& v) { out.U64(v); }
  void Color(rdp::TColor& c) { out.U32(PackColor(c)); }
};

struct TLoader {
  explicit TLoader(const std::vector<uint8_t>& data) : in(data) {}
  TStateReader in;
  void Word(uint32_t& v) { v = in.U32(); }
  void Int(int32_t& v) { v = static_cast<int32_t>(in.U32()); }
  void Flag(bool& v) { v = in.U32() != 0; }
  void Long(uint64_t& v) { v = in.U64(); }
  // Modes and the combiner are stored as their command words and decoded again.
  void Modes(uint64_t& v) {
    v = in.U64();
    const uint64_t word = 0x2Full << 56 | (v & 0x00FFFFFFFFFFFFFFull);
    rdp::ExecuteCommand(&word);
  }
  void Combine(uint64_t& v) {
    v = in.U64();
    const uint64_t word = 0x3Cull << 56 | (v & 0x00FFFFFFFFFFFFFFull);
    rdp::ExecuteCommand(&word);
  }
  void Color(rdp::TColor& c) { c = rdp::UnpackColor(in.U32()); }
};

// Checks the fields a restored state would trust: flags are 0 or 1, the gathered command fits.
struct TChecker {
  explicit TChecker(const std::vector<uint8_t>& data) : in(data) {}
  TStateReader in;
  std::string error;
  uint32_t index = 0;
  void Word(uint32_t&) {
    const uint32_t v = in.U32();
    // The gathered word count is the fourteenth field.
    if (index++ == 13 && v >= kMaxCommandWords && error.empty())
      error = "its display processor holds a command longer than any";
  }
  void Int(int32_t&) { ++index, in.U32(); }
  void Flag(bool&) {
    ++index;
    if (in.U32() > 1 && error.empty()) error = "its display processor state has a broken flag";
  }
  void Long(uint64_t&) { ++index, in.U64(); }
  void Modes(uint64_t&) { ++index, in.U64(); }
  void Combine(uint64_t&) { ++index, in.U64(); }
  void Color(rdp::TColor&) { ++index, in.U32(); }
};

size_t StateSize() {
  TSaver saver;
  const TRegisters keep = regs;
  VisitState(saver);
  regs = keep;
  return saver.out.data.size();
}

}  // namespace

void RdpReset() {
  regs = TRegisters{};
  rdp::ResetState();
  std::memset(dpcPage, 0, sizeof dpcPage);
  std::memset(dpsPage, 0, sizeof dpsPage);
  Publish();
  MachineClock.SetHandler(TEventKind::DpWork, DpWorkDue);
}

uint32_t RdpReadRegister(uint32_t index) {
  switch (index & 7) {
    case kDpcStart:
      return regs.start;
    case kDpcEnd:
      return regs.end;
    case kDpcCurrent:
      return regs.current;
    case kDpcStatus:
      return Status();
    case kDpcClock:
      return regs.clock;
    case kDpcBufBusy:
      return regs.bufferBusy;
    case kDpcPipeBusy:
      return regs.pipeBusy;
    default:
      return regs.tmemBusy;
  }
}

void RdpWriteRegister(uint32_t index, uint32_t value) {
  switch (index & 7) {
    case kDpcStart:
      // A new list waits for END; until then the one under way carries on.
      regs.start = value & kAddressMask;
      regs.startValid = true;
      break;
    case kDpcEnd:
      regs.end = value & kAddressMask;
      if (regs.startValid) {
        regs.current = regs.start;
        regs.startValid = false;
      }
      StartWork();
      break;
    case kDpcStatus:
      WriteStatus(value);
      break;
    default:  // CURRENT and the counters are read-only
      break;
  }
  Publish();
}

uint32_t DpcRead(uint32_t, uint32_t offset) {
  return offset < kDpcRegisters * 4 ? RdpReadRegister(offset >> 2) : 0;
}

void DpcWrite(uint32_t, uint32_t offset, uint32_t value) {
  if (offset < kDpcRegisters * 4) RdpWriteRegister(offset >> 2, value);
}

// The span test registers (BIST, test mode, buffer test address and data) read as zero here.
uint32_t DpsRead(uint32_t, uint32_t) {
  return 0;
}
void DpsWrite(uint32_t, uint32_t, uint32_t) {}

uint8_t* DpcPageStorage() {
  return dpcPage;
}
uint8_t* DpsPageStorage() {
  return dpsPage;
}

std::vector<uint8_t> RdpSaveState() {
  TSaver saver;
  VisitState(saver);
  return std::move(saver.out.data);
}

size_t RdpStateSize() {
  return StateSize();
}

std::string RdpCheckState(const std::vector<uint8_t>& data) {
  if (data.size() != StateSize()) return "its display processor section has the wrong size";
  TChecker checker(data);
  const TRegisters keep = regs;
  const rdp::TState keepState = rdp::State;
  VisitState(checker);
  regs = keep;
  rdp::State = keepState;
  return checker.error;
}

void RdpRestoreState(const std::vector<uint8_t>& data) {
  TLoader loader(data);
  VisitState(loader);
  MachineClock.SetHandler(TEventKind::DpWork, DpWorkDue);
  // A state from before the clock kept its events still finishes its work.
  if (regs.busy && !MachineClock.Pending(TEventKind::DpWork))
    MachineClock.Schedule(TEventKind::DpWork, 0);
  Publish();
}

}  // namespace vantor
