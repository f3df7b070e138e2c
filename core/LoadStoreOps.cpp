// Loads and stores through the address map. Loads and word stores call the page's handlers;
// byte and halfword stores write the page's storage directly, so they never trigger a
// register's side effects. No access checks alignment.
#include <cstdint>

#include "core/CpuState.h"
#include "core/InstrFields.h"
#include "core/Instructions.h"
#include "core/RegisterAccess.h"
#include "core/Semantics.h"
#include "memory/AddressMap.h"

namespace vantor::ops {

namespace {

struct Access {
  uint32_t address;
  uint32_t page;
  uint32_t offset;
};

Access Effective(uint32_t w) {
  const uint32_t address = sem::EffectiveAddress(LowWord(Gpr[Rs(w)]), SImm32(w));
  return {address, address >> 12, address & 0xFFF};
}

uint32_t Read(const Access& a, uint32_t offset) {
  return MapRead(a.page, offset);
}
void Write(const Access& a, uint32_t offset, uint32_t value) {
  MapWrite(a.page, offset, value);
}

uint32_t RtLo(uint32_t w) {
  return LowWord(Gpr[Rt(w)]);
}

// Reads the host word at an offset of the access's page through the page's read handler.
auto ReadVia(const Access& a) {
  return [&a](uint32_t offset) { return Read(a, offset); };
}
auto WriteVia(const Access& a) {
  return [&a](uint32_t offset, uint32_t value) { Write(a, offset, value); };
}

}  // namespace

void LB(uint32_t w) {
  const Access a = Effective(w);
  Gpr[Rt(w)] = sem::LoadByte(a.offset, ReadVia(a));
}

void LBU(uint32_t w) {
  const Access a = Effective(w);
  Gpr[Rt(w)] = sem::LoadByteU(a.offset, ReadVia(a));
}

void LH(uint32_t w) {
  const Access a = Effective(w);
  Gpr[Rt(w)] = sem::LoadHalf(a.offset, ReadVia(a));
}

void LHU(uint32_t w) {
  const Access a = Effective(w);
  Gpr[Rt(w)] = sem::LoadHalfU(a.offset, ReadVia(a));
}

void LW(uint32_t w) {
  const Access a = Effective(w);
  Gpr[Rt(w)] = sem::LoadWord(a.offset, ReadVia(a));
}

void LWU(uint32_t w) {
  const Access a = Effective(w);
  Gpr[Rt(w)] = sem::LoadWordU(a.offset, ReadVia(a));
}

void LWL(uint32_t w) {
  const Access a = Effective(w);
  Gpr[Rt(w)] = Sext32(sem::MergeLeft(Read(a, a.offset & 0xFFC), RtLo(w), a.address & 3));
}

void LWR(uint32_t w) {
  const Access a = Effective(w);
  Gpr[Rt(w)] = Sext32(sem::MergeRight(Read(a, a.offset & 0xFFC), RtLo(w), a.address & 3));
}

void LD(uint32_t w) {
  const Access a = Effective(w);
  Gpr[Rt(w)] = sem::LoadDouble(a.offset, ReadVia(a));
}

void LWC1(uint32_t w) {
  const Access a = Effective(w);
  Cop1Regs[Rt(w)] = Read(a, a.offset);
}

// The pair's high word comes first in memory.
void LDC1(uint32_t w) {
  const Access a = Effective(w);
  const uint32_t pair = (w >> 17) & 0xF;
  Cop1Regs[2 * pair + 1] = Read(a, a.offset);
  Cop1Regs[2 * pair] = Read(a, a.offset + 4);
}

void SB(uint32_t w) {
  const Access a = Effective(w);
  sem::StoreByte(PageTable[a.page], a.offset, Gpr[Rt(w)]);
}

void SH(uint32_t w) {
  const Access a = Effective(w);
  sem::StoreHalf(PageTable[a.page], a.offset, Gpr[Rt(w)]);
}

void SW(uint32_t w) {
  const Access a = Effective(w);
  sem::StoreWord(a.offset, Gpr[Rt(w)], WriteVia(a));
}

void SWL(uint32_t w) {
  const Access a = Effective(w);
  const uint32_t aligned = a.offset & 0xFFC;
  Write(a, aligned, sem::StoreLeft(Read(a, aligned), RtLo(w), a.address & 3));
}

void SWR(uint32_t w) {
  const Access a = Effective(w);
  const uint32_t aligned = a.offset & 0xFFC;
  Write(a, aligned, sem::StoreRight(Read(a, aligned), RtLo(w), a.address & 3));
}

void SD(uint32_t w) {
  const Access a = Effective(w);
  sem::StoreDouble(a.offset, Gpr[Rt(w)], WriteVia(a));
}

void SWC1(uint32_t w) {
  const Access a = Effective(w);
  Write(a, a.offset, Cop1Regs[Rt(w)]);
}

void CACHE(uint32_t) {}

}  // namespace vantor::ops
