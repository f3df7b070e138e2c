#include "debugger/MachineSnapshot.h"

#include <algorithm>

#include "core/Accurate.h"
#include "core/AccurateClock.h"
#include "core/AccurateMemory.h"
#include "core/Cop1.h"
#include "core/CpuState.h"
#include "core/RegisterAccess.h"
#include "memory/AddressMap.h"
#include "memory/MemoryBlock.h"
#include "memory/PlainPages.h"
#include "memory/RomImage.h"
#include "rsp/Rsp.h"

namespace vantor {

namespace {

// The cartridge's pages in both segments, without the boot page among them.
bool IsCartridgePage(uint32_t page) {
  const uint32_t physical = page & ~0x20000u;
  return physical >= 0x90000 && physical <= 0x9FFFF && physical != 0x9FC00;
}

// A map outlives its run, but the ROM image it pointed into may since have been closed or
// replaced: such a page is shown as unmapped rather than read from freed memory.
bool StorageLive(uint32_t page) {
  if (!IsCartridgePage(page)) return true;
  if (RomImage == nullptr || RomImage->Data == nullptr) return false;
  const uint8_t* storage = PageTable[page];
  return storage >= RomImage->Data && storage + kPageSize <= RomImage->Data + RomImage->Size;
}

}  // namespace

TMachineSnapshot TakeSnapshot(uint32_t viewAddr) {
  TMachineSnapshot shot;
  std::copy(std::begin(Gpr), std::end(Gpr), shot.gpr);
  shot.pc = PC;
  shot.mulDiv = MulDivTemp;
  shot.accurate = AccurateHardware;
  shot.hi = AccurateHi;
  shot.lo = AccurateLo;
  std::copy(std::begin(Cop0Regs), std::end(Cop0Regs), shot.cop0);
  std::copy(std::begin(Cop1Regs), std::end(Cop1Regs), shot.cop1);
  shot.fcr0 = FCR0;
  shot.fcr31 = FCR31;
  // The accurate mode's frame is an event on the machine clock: the cycles until it are its
  // countdown.
  shot.viCounter = AccurateHardware ? CyclesToFrame() : ViCounter;
  if (AccurateHardware) {
    shot.rsp = RspCore;
    for (uint32_t i = 0; i < kSpRegisters; ++i)
      shot.sp[i] = RspPeekRegister(i);
  }
  shot.viewAddr = viewAddr;
  uint32_t address = viewAddr - kViewLead;
  for (int line = 0; line < kViewLines; ++line, address += 4) {
    const auto i = static_cast<size_t>(line);
    // The accurate machine fetches through its TLB and segments: the view reads what a fetch
    // would, and never raises the fault one would take.
    uint32_t at = address;
    if (AccurateHardware) {
      const TTranslation t = LookUpAddress(Sext32(address), TAccessKind::Fetch);
      if (t.result != TTranslation::Mapped) {
        shot.kinds[i] = TViewWord::Unmapped;
        continue;
      }
      at = t.address;
    }
    const uint32_t page = at >> 12;
    const TReadHandler read = ReadTable[page] == SpRead ? SpPeek : ReadTable[page];
    if (read == nullptr) {
      shot.kinds[i] = TViewWord::NoMap;
    } else if (read == IllegalRead || !StorageLive(page)) {
      shot.kinds[i] = TViewWord::Unmapped;
    } else {
      shot.kinds[i] = TViewWord::Read;
      shot.words[i] = read(page, at & 0xFFF);
    }
  }
  return shot;
}

}  // namespace vantor
