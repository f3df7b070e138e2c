#include "core/Cop0.h"

#include "common/DebugLog.h"
#include "common/HexText.h"
#include "core/CpuState.h"
#include "core/InstrFields.h"
#include "core/Interpreter.h"
#include "core/RegisterAccess.h"
#include "core/Transfer.h"
#include "memory/AddressMap.h"
#include "memory/PlainPages.h"

namespace vantor {

TlbEntry Tlb[kTlbEntries];

namespace {

// 0x80000000 to 0xBFFFFFFF are the unmapped views of physical memory: the TLB never translates
// them, and the TLB itself finds physical page P at page 0x80000 + P.
constexpr uint32_t kUnmappedFirstPage = 0x80000;
constexpr uint32_t kUnmappedEndPage = 0xC0000;
constexpr uint32_t kPhysicalPages = 0x20000;

// Points `count` virtual pages at the physical pages from `physicalPage` on. Pages past the table
// end, inside the unmapped segments, or whose physical page lies beyond the 512 MB the map shows
// are left as they are.
void MapHalf(uint32_t virtualPage, uint32_t physicalPage, uint32_t count) {
  for (uint32_t i = 0; i < count && virtualPage + i < kPageCount; ++i) {
    const uint32_t page = virtualPage + i;
    const uint32_t physical = physicalPage + i;
    if ((page >= kUnmappedFirstPage && page < kUnmappedEndPage) || physical >= kPhysicalPages)
      continue;
    const uint32_t source = kUnmappedFirstPage + physical;
    PageTable[page] = PageTable[source];
    ReadTable[page] = ReadTable[source];
    WriteTable[page] = WriteTable[source];
  }
}

void MFC0(uint32_t w) {
  Gpr[Rt(w)] = Sext32(Cop0Regs[Rd(w)]);
}

void MTC0(uint32_t w) {
  // Writing COMPARE acknowledges the timer interrupt, even with an unchanged value.
  if (Rd(w) == COMPARE) Cop0Regs[CAUSE] &= ~kCauseIP7;
  Cop0Regs[Rd(w)] = LowWord(Gpr[Rt(w)]);
}

// Only written entries take part in the map, so reading, random writes and probes have no effect.
void TLBR(uint32_t) {}
void TLBWR(uint32_t) {}
void TLBP(uint32_t) {}

// Maps both halves of an entry. VPN2 counts pairs of pages; the mask widens each half to
// PageMask + 1 pages of 4 KB and its bits take no part in the VPN2 and the PFNs.
void MapEntry(const TlbEntry& entry) {
  const uint32_t pages = entry.PageMask + 1;
  const uint32_t evenPage = (entry.Vpn2 & ~entry.PageMask) << 1;
  MapHalf(evenPage, entry.EvenPfn & ~entry.PageMask, pages);
  MapHalf(evenPage + pages, entry.OddPfn & ~entry.PageMask, pages);
}

void TLBWI(uint32_t) {
  // The index field of INDEX is five bits wide; the probe-failure bit 31 takes no part.
  TlbEntry& entry = Tlb[Cop0Regs[INDEX] & (kTlbEntries - 1)];
  const uint32_t hi = Cop0Regs[ENTRYHI];
  const uint32_t lo0 = Cop0Regs[ENTRYLO0];
  const uint32_t lo1 = Cop0Regs[ENTRYLO1];
  entry = {
      .PageMask = (Cop0Regs[PAGEMASK] >> 13) & 0xFFF,
      .Vpn2 = hi >> 13,
      .Asid = hi & 0xFF,
      .Global = static_cast<uint8_t>(lo1 & 1),
      .EvenPfn = (lo0 >> 6) & 0xFFFFF,
      .EvenCache = (lo0 >> 3) & 7,
      .EvenDirty = static_cast<uint8_t>((lo0 >> 2) & 1),
      .EvenValid = static_cast<uint8_t>((lo0 >> 1) & 1),
      .OddPfn = (lo1 >> 6) & 0xFFFFF,
      .OddCache = (lo1 >> 3) & 7,
      .OddDirty = static_cast<uint8_t>((lo1 >> 2) & 1),
      .OddValid = static_cast<uint8_t>((lo1 >> 1) & 1),
  };
  DbgAddLine("Virtual address : " + Hex8((entry.Vpn2 & ~entry.PageMask) << 13));
  DbgAddLine("Physical address : " + Hex8((entry.EvenPfn & ~entry.PageMask) << 12));
  // Writing an entry only adds to the map, whatever its valid bits: the pages that the index
  // mapped before stay until the next start rebuilds the map, since other entries may map them.
  MapEntry(entry);
}

void ERET(uint32_t) {
  if ((Cop0Regs[STATUS] & kStatusEXL) != 0) {
    ReturnFromException();
  } else {
    DbgAddLine("ERREREPC Return?");
    ReturnFromError();
  }
}

void IllegalCop0(uint32_t) {
  DbgAddLine("Illegal COP0 opcode at " + Hex8(PC.Lo));
}

void IllegalCop0Tlb(uint32_t w) {
  DbgAddLine("Illegal COP0 TLB opcode " + Hex2(Funct(w)) + " at " + Hex8(PC.Lo));
}

constexpr OpcodeHandler kIll = IllegalCop0;
constexpr OpcodeHandler kIllT = IllegalCop0Tlb;

}  // namespace

// clang-format off
const OpcodeHandler Cop0Table[32] = {
  MFC0,           kIll, kIll, kIll, MTC0, kIll, kIll, kIll,
  kIll,           kIll, kIll, kIll, kIll, kIll, kIll, kIll,
  Cop0FunctionOp, kIll, kIll, kIll, kIll, kIll, kIll, kIll,
  kIll,           kIll, kIll, kIll, kIll, kIll, kIll, kIll,
};

const OpcodeHandler Cop0FunctionTable[64] = {
  kIllT, TLBR,  TLBWI, kIllT, kIllT, kIllT, TLBWR, kIllT,
  TLBP,  kIllT, kIllT, kIllT, kIllT, kIllT, kIllT, kIllT,
  kIllT, kIllT, kIllT, kIllT, kIllT, kIllT, kIllT, kIllT,
  ERET,  kIllT, kIllT, kIllT, kIllT, kIllT, kIllT, kIllT,
  kIllT, kIllT, kIllT, kIllT, kIllT, kIllT, kIllT, kIllT,
  kIllT, kIllT, kIllT, kIllT, kIllT, kIllT, kIllT, kIllT,
  kIllT, kIllT, kIllT, kIllT, kIllT, kIllT, kIllT, kIllT,
  kIllT, kIllT, kIllT, kIllT, kIllT, kIllT, kIllT, kIllT,
};
// clang-format on

void ReturnFromException() {
  Cop0Regs[STATUS] &= ~kStatusEXL;
  PostImmediateTransfer(Cop0Regs[EPC]);
}
void ReturnFromError() {
  Cop0Regs[STATUS] &= ~kStatusERL;
  PostImmediateTransfer(Cop0Regs[ERROREPC]);
}

void Cop0Op(uint32_t word) {
  Cop0Table[Rs(word)](word);
}

void Cop0FunctionOp(uint32_t word) {
  Cop0FunctionTable[Funct(word)](word);
}

}  // namespace vantor
