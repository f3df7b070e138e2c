// Loads and stores through the address map. Loads and word stores call the page's handlers;
// byte and halfword stores write the page's storage directly, so they never trigger a
// register's side effects. No access checks alignment.
#include <cstdint>
#include <cstring>

#include "core/CpuState.h"
#include "core/InstrFields.h"
#include "core/Instructions.h"
#include "core/RegisterAccess.h"
#include "memory/AddressMap.h"

namespace vantor::ops {

namespace {

struct Access {
  uint32_t address;
  uint32_t page;
  uint32_t offset;
};

Access Effective(uint32_t w) {
  const uint32_t address = LowWord(Gpr[Rs(w)]) + SImm32(w);
  return {address, address >> 12, address & 0xFFF};
}

uint32_t Read(const Access& a, uint32_t offset) {
  return ReadTable[a.page](a.page, offset);
}
void Write(const Access& a, uint32_t offset, uint32_t value) {
  WriteTable[a.page](a.page, offset, value);
}

uint32_t RtLo(uint32_t w) {
  return LowWord(Gpr[Rt(w)]);
}

// Byte position k inside the aligned word, counted from the most significant byte.
uint32_t MergeLeft(uint32_t memory, uint32_t reg, uint32_t k) {
  return k == 0 ? memory : memory << (8 * k) | (reg & (0xFFFFFFFFu >> (32 - 8 * k)));
}
uint32_t MergeRight(uint32_t memory, uint32_t reg, uint32_t k) {
  return k == 3 ? memory : (reg & ~(0xFFFFFFFFu >> (8 * (3 - k)))) | memory >> (8 * (3 - k));
}
uint32_t StoreLeft(uint32_t memory, uint32_t reg, uint32_t k) {
  return k == 0 ? reg : (memory & ~(0xFFFFFFFFu >> (8 * k))) | reg >> (8 * k);
}
uint32_t StoreRight(uint32_t memory, uint32_t reg, uint32_t k) {
  return k == 3 ? reg : (memory & (0xFFFFFFFFu >> (8 * (k + 1)))) | reg << (8 * (3 - k));
}

}  // namespace

void LB(uint32_t w) {
  const Access a = Effective(w);
  Gpr[Rt(w)] = static_cast<uint64_t>(int64_t{static_cast<int8_t>(Read(a, a.offset ^ 3))});
}

void LBU(uint32_t w) {
  const Access a = Effective(w);
  Gpr[Rt(w)] = Read(a, a.offset ^ 3) & 0xFF;
}

void LH(uint32_t w) {
  const Access a = Effective(w);
  Gpr[Rt(w)] = static_cast<uint64_t>(int64_t{static_cast<int16_t>(Read(a, a.offset ^ 2))});
}

void LHU(uint32_t w) {
  const Access a = Effective(w);
  Gpr[Rt(w)] = Read(a, a.offset ^ 2) & 0xFFFF;
}

void LW(uint32_t w) {
  const Access a = Effective(w);
  Gpr[Rt(w)] = Sext32(Read(a, a.offset));
}

void LWU(uint32_t w) {
  const Access a = Effective(w);
  Gpr[Rt(w)] = Read(a, a.offset);
}

void LWL(uint32_t w) {
  const Access a = Effective(w);
  Gpr[Rt(w)] = Sext32(MergeLeft(Read(a, a.offset & 0xFFC), RtLo(w), a.address & 3));
}

void LWR(uint32_t w) {
  const Access a = Effective(w);
  Gpr[Rt(w)] = Sext32(MergeRight(Read(a, a.offset & 0xFFC), RtLo(w), a.address & 3));
}

// Both halves of a double word use the same page; the second half past the page end reads 0.
void LD(uint32_t w) {
  const Access a = Effective(w);
  const uint32_t high = Read(a, a.offset);
  Gpr[Rt(w)] = uint64_t{high} << 32 | Read(a, a.offset + 4);
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
  PageTable[a.page][a.offset ^ 3] = static_cast<uint8_t>(RtLo(w));
}

// At offset 0xFFD the lane adjustment puts the halfword on the page's last byte: only its low
// byte lies inside the page and is kept, as the loads keep only the bytes inside the page.
void SH(uint32_t w) {
  const Access a = Effective(w);
  const auto half = static_cast<uint16_t>(RtLo(w));
  const uint32_t at = a.offset ^ 2;
  std::memcpy(PageTable[a.page] + at, &half, at < kPageSize - 1 ? sizeof half : 1);
}

void SW(uint32_t w) {
  const Access a = Effective(w);
  Write(a, a.offset, RtLo(w));
}

void SWL(uint32_t w) {
  const Access a = Effective(w);
  const uint32_t aligned = a.offset & 0xFFC;
  Write(a, aligned, StoreLeft(Read(a, aligned), RtLo(w), a.address & 3));
}

void SWR(uint32_t w) {
  const Access a = Effective(w);
  const uint32_t aligned = a.offset & 0xFFC;
  Write(a, aligned, StoreRight(Read(a, aligned), RtLo(w), a.address & 3));
}

void SD(uint32_t w) {
  const Access a = Effective(w);
  Write(a, a.offset, HighWord(Gpr[Rt(w)]));
  Write(a, a.offset + 4, LowWord(Gpr[Rt(w)]));
}

void SWC1(uint32_t w) {
  const Access a = Effective(w);
  Write(a, a.offset, Cop1Regs[Rt(w)]);
}

void CACHE(uint32_t) {}

}  // namespace vantor::ops
