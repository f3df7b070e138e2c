// The accurate-hardware mode's TLB instructions: the 32 entries are read, written and probed as
// the r4300i does, and translation (AccurateMemory.cpp) searches them on every mapped access.
// An entry's region and VPN2 bits 39-32 (EntryHi's upper word) are kept beside it.
#include <cstdint>

#include "core/Accurate.h"
#include "core/AccurateMemory.h"
#include "core/AccurateOps.h"
#include "core/Cop0.h"
#include "core/CpuState.h"
#include "core/Scheduler.h"

namespace vantor::accurate {

namespace {

constexpr uint32_t kIndexMask = kTlbEntries - 1;
constexpr uint32_t kProbeFailed = 0x80000000;
constexpr uint32_t kAsidMask = 0xFF;
constexpr uint32_t kEntryLoGlobal = 1;

void Write(uint32_t index) {
  const uint32_t hi = Cop0Regs[ENTRYHI];
  const uint32_t lo0 = Cop0Regs[ENTRYLO0];
  const uint32_t lo1 = Cop0Regs[ENTRYLO1];
  const uint32_t mask = (Cop0Regs[PAGEMASK] >> 13) & 0xFFF;
  Tlb[index & kIndexMask] = {
      .PageMask = mask,
      .Vpn2 = (hi >> 13) & ~mask,
      .Asid = hi & kAsidMask,
      // An entry is global only when both halves say so.
      .Global = static_cast<uint8_t>(lo0 & lo1 & kEntryLoGlobal),
      .EvenPfn = (lo0 >> 6) & 0xFFFFF,
      .EvenCache = (lo0 >> 3) & 7,
      .EvenDirty = static_cast<uint8_t>((lo0 >> 2) & 1),
      .EvenValid = static_cast<uint8_t>((lo0 >> 1) & 1),
      .OddPfn = (lo1 >> 6) & 0xFFFFF,
      .OddCache = (lo1 >> 3) & 7,
      .OddDirty = static_cast<uint8_t>((lo1 >> 2) & 1),
      .OddValid = static_cast<uint8_t>((lo1 >> 1) & 1),
  };
  SetTlbEntryUpper(index & kIndexMask, Cop0Upper[ENTRYHI]);
  // The page being fetched from may have been mapped by the old entry.
  RefetchNext();
}

uint32_t EntryLo(uint32_t pfn, uint32_t cache, uint8_t dirty, uint8_t valid, uint8_t global) {
  return pfn << 6 | cache << 3 | uint32_t{dirty} << 2 | uint32_t{valid} << 1 | global;
}

}  // namespace

uint32_t TlbRandom() {
  const uint32_t wired = Cop0Regs[WIRED] & kIndexMask;
  const uint64_t span = kTlbEntries - wired;
  return kIndexMask - static_cast<uint32_t>((MachineClock.Now() - TlbRandomStart) % span);
}

void RestartRandom() {
  TlbRandomStart = MachineClock.Now();
}

void TLBR(uint32_t) {
  const uint32_t index = Cop0Regs[INDEX] & kIndexMask;
  const TlbEntry& entry = Tlb[index];
  Cop0Regs[PAGEMASK] = entry.PageMask << 13;
  SetAccurateCop0(ENTRYHI, uint64_t{TlbEntryUpper(index)} << 32 |
                               (entry.Vpn2 & ~entry.PageMask) << 13 | entry.Asid);
  Cop0Regs[ENTRYLO0] =
      EntryLo(entry.EvenPfn, entry.EvenCache, entry.EvenDirty, entry.EvenValid, entry.Global);
  Cop0Regs[ENTRYLO1] =
      EntryLo(entry.OddPfn, entry.OddCache, entry.OddDirty, entry.OddValid, entry.Global);
  RefetchNext();  // the ASID may have changed
}

void TLBWI(uint32_t) {
  Write(Cop0Regs[INDEX]);
}

void TLBWR(uint32_t) {
  Write(TlbRandom());
}

void TLBP(uint32_t) {
  const uint32_t hi = Cop0Regs[ENTRYHI];
  const uint32_t asid = hi & kAsidMask;
  for (uint32_t i = 0; i < kTlbEntries; ++i) {
    const TlbEntry& entry = Tlb[i];
    if (((hi >> 13) & ~entry.PageMask) != (entry.Vpn2 & ~entry.PageMask)) continue;
    if (TlbEntryUpper(i) != Cop0Upper[ENTRYHI]) continue;
    if (entry.Global == 0 && entry.Asid != asid) continue;
    Cop0Regs[INDEX] = i;
    return;
  }
  Cop0Regs[INDEX] |= kProbeFailed;
}

}  // namespace vantor::accurate

namespace vantor {

uint32_t TlbUpperChange[32];
uint64_t TlbRandomStart = 0;

namespace {

// The upper word a 32-bit EntryHi gives: its sign extension, kept to the region and VPN2.
uint32_t CompatibleUpper(uint32_t index) {
  constexpr uint32_t kAddressBit31 = 0x40000;  // of VPN2, address bits 31-13
  return (Tlb[index].Vpn2 & kAddressBit31) != 0 ? 0xC00000FF : 0;
}

}  // namespace

uint32_t TlbEntryUpper(uint32_t index) {
  return CompatibleUpper(index) ^ TlbUpperChange[index];
}

void SetTlbEntryUpper(uint32_t index, uint32_t upper) {
  TlbUpperChange[index] = CompatibleUpper(index) ^ upper;
}

}  // namespace vantor
