// The save-state section of the signal processor: little-endian words, every field in the order
// VisitState names them.
#include <string>
#include <vector>

#include "core/Scheduler.h"
#include "rsp/Rsp.h"
#include "rsp/SpState.h"

namespace vantor {

namespace {

using rsp::Sp;
using rsp::TDma;
using rsp::TVector;

template <typename TIo>
void VisitVector(TIo& io, TVector& v) {
  for (uint32_t i = 0; i < 8; i += 2) {
    uint32_t pair = uint32_t{v.e[i]} << 16 | v.e[i + 1];
    io.Word(pair);
    v.e[i] = static_cast<uint16_t>(pair >> 16);
    v.e[i + 1] = static_cast<uint16_t>(pair);
  }
}

template <typename TIo>
void VisitState(TIo& io) {
  for (uint32_t& reg : RspCore.gpr)
    io.Word(reg);
  io.Pc(RspCore.pc);
  io.Pc(RspCore.nextPc);
  rsp::TVectorUnit& vu = RspCore.vu;
  for (TVector& v : vu.reg)
    VisitVector(io, v);
  for (TVector* v : {&vu.accHigh, &vu.accMid, &vu.accLow})
    VisitVector(io, *v);
  uint32_t vco = vu.vco, vcc = vu.vcc, vce = vu.vce;
  uint32_t divIn = static_cast<uint16_t>(vu.divIn), divOut = static_cast<uint16_t>(vu.divOut);
  uint32_t loaded = vu.divInLoaded ? 1 : 0;
  io.Bits(vco, 0xFFFF);
  io.Bits(vcc, 0xFFFF);
  io.Bits(vce, 0xFF);
  io.Bits(divIn, 0xFFFF);
  io.Bits(divOut, 0xFFFF);
  io.Bits(loaded, 1);
  vu.vco = static_cast<uint16_t>(vco);
  vu.vcc = static_cast<uint16_t>(vcc);
  vu.vce = static_cast<uint8_t>(vce);
  vu.divIn = static_cast<int16_t>(divIn);
  vu.divOut = static_cast<int16_t>(divOut);
  vu.divInLoaded = loaded != 0;
  io.Bits(Sp.memAddr, 0x1FF8);
  io.Bits(Sp.dramAddr, 0xFFFFF8);
  io.Word(Sp.rdLen);
  io.Word(Sp.wrLen);
  io.Bits(Sp.status, 0x7FE3);
  io.Bits(Sp.semaphore, 1);
  io.Bits(Sp.busy, 1);
  io.Bits(Sp.full, 1);
  TDma& d = Sp.pending;
  io.Bits(d.memAddr, 0x1FF8);
  io.Bits(d.dramAddr, 0xFFFFF8);
  io.Length(d.length, 0x1000);
  io.Length(d.count, 0x100);
  io.Bits(d.skip, 0xFF8);
  io.Bits(d.toRdram, 1);
}

struct TSaver {
  std::vector<uint8_t> data;
  void Word(uint32_t& v) {
    for (int i = 0; i < 4; ++i)
      data.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  void Pc(uint32_t& v) { Word(v); }
  void Bits(uint32_t& v, uint32_t) { Word(v); }
  void Length(uint32_t& v, uint32_t) { Word(v); }
};

// Reads the fields in place; with `check` it only notes the first field that cannot be.
struct TLoader {
  TLoader(const std::vector<uint8_t>& bytes, bool onlyCheck) : data(bytes), check(onlyCheck) {}
  const std::vector<uint8_t>& data;
  bool check;
  size_t at = 0;
  std::string error;
  uint32_t Next() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
      value |= at < data.size() ? uint32_t{data[at++]} << (8 * i) : 0;
    return value;
  }
  void Take(uint32_t& v, bool fits) {
    const uint32_t value = Next();
    if (!fits && error.empty()) error = "its signal processor state is impossible";
    if (!check) v = value;
  }
  void Word(uint32_t& v) { Take(v, true); }
  void Pc(uint32_t& v) {
    const size_t here = at;
    const uint32_t value = Next();
    at = here;
    Take(v, (value & ~0xFFCu) == 0);
  }
  void Bits(uint32_t& v, uint32_t mask) {
    const size_t here = at;
    const uint32_t value = Next();
    at = here;
    Take(v, (value & ~mask) == 0);
  }
  // A row length or count: 0 only while no DMA waits, never more than the limit.
  void Length(uint32_t& v, uint32_t limit) {
    const size_t here = at;
    const uint32_t value = Next();
    at = here;
    Take(v, value <= limit);
  }
};

size_t StateSize() {
  const TRspCore keepCore = RspCore;
  const rsp::TSpState keepSp = Sp;
  TSaver saver;
  VisitState(saver);
  RspCore = keepCore;
  Sp = keepSp;
  return saver.data.size();
}

}  // namespace

size_t RspStateSize() {
  return StateSize();
}

std::vector<uint8_t> RspSaveState() {
  TSaver saver;
  VisitState(saver);
  return std::move(saver.data);
}

std::string RspCheckState(const std::vector<uint8_t>& data) {
  if (data.size() != StateSize()) return "its signal processor section has the wrong size";
  const TRspCore keepCore = RspCore;
  const rsp::TSpState keepSp = Sp;
  TLoader checker(data, true);
  VisitState(checker);
  RspCore = keepCore;
  Sp = keepSp;
  return checker.error;
}

void RspRestoreState(const std::vector<uint8_t>& data) {
  TLoader loader(data, false);
  VisitState(loader);
  rsp::InstallRspHandlers();
  // A running processor without its slice (a state from before the clock kept it) runs on.
  if (!RspHalted() && !MachineClock.Pending(TEventKind::RspSlice)) rsp::ScheduleSlice();
  // Publishing SP_PC resets the delay slot, which the state keeps.
  const uint32_t next = RspCore.nextPc;
  RspWritePc(RspCore.pc);
  RspCore.nextPc = next;
}

}  // namespace vantor
