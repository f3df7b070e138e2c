#include "core/MemoryPeek.h"

#include "core/Accurate.h"
#include "core/RegisterAccess.h"
#include "memory/AddressMap.h"
#include "memory/PeripheralInterface.h"
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
// replaced: such a page reads as unmapped rather than from freed memory.
bool StorageLive(uint32_t page) {
  if (!IsCartridgePage(page)) return true;
  if (RomImage == nullptr || RomImage->Data == nullptr) return false;
  const uint8_t* storage = PageTable[page];
  return storage >= RomImage->Data && storage + kPageSize <= RomImage->Data + RomImage->Size;
}

// What NullRead returns, without its notice that the program uses the mode's hardware.
uint32_t NullPeek(uint32_t, uint32_t) {
  return 0;
}

// What PIRead returns, without its console line for a misaligned register.
uint32_t PiPeek(uint32_t page, uint32_t offset) {
  return offset % 4 == 0 ? PIRead(page, offset) : 0;
}

// The read handler that returns what `read` does and changes nothing.
TReadHandler SideEffectFree(TReadHandler read) {
  if (read == SpRead) return SpPeek;
  if (read == NullRead) return NullPeek;
  if (read == PIRead) return PiPeek;
  return read;
}

}  // namespace

TPeek PeekWord(uint32_t address, TAccessKind kind) {
  uint32_t at = address;
  if (AccurateHardware) {
    const TAccess access = CheckAccess(Sext32(address), 4, kind);
    if (!access.Mapped()) return {TPeek::Faulted, 0};
    at = access.mapAddress;
  }
  const uint32_t page = at >> 12;
  const TReadHandler read = ReadTable[page];
  if (read == nullptr) return {TPeek::NoMap, 0};
  if (read == IllegalRead || !StorageLive(page)) return {TPeek::Unmapped, 0};
  return {TPeek::Read, SideEffectFree(read)(page, at & 0xFFF)};
}

}  // namespace vantor
