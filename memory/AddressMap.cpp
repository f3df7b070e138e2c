#include "memory/AddressMap.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/CpuState.h"
#include "core/HexText.h"
#include "debugger/DebugLog.h"
#include "memory/PeripheralRegisters.h"
#include "memory/RomImage.h"
#include "video/VideoInterface.h"

namespace vantor {

uint8_t* PageTable[kPageCount];
TReadHandler ReadTable[kPageCount];
TWriteHandler WriteTable[kPageCount];
uint32_t* MI_INTR = nullptr;

TMemoryHandler* RDRAM = nullptr;
TMemoryHandler* DMEMPage = nullptr;
TMemoryHandler* IMEMPage = nullptr;
TMemoryHandler* SPRegisterPage = nullptr;
TMemoryHandler* SPPCPage = nullptr;
TMemoryHandler* RDRAMRegisterPage = nullptr;
TMemoryHandler* PIRegisterPage = nullptr;
TMemoryHandler* SIRegisterPage = nullptr;
TMemoryHandler* PIFPage = nullptr;
TMemoryHandler* MIRegisterPage = nullptr;
TMemoryHandler* DummyPage = nullptr;

namespace {

// The address accessed, as 8 digits (page and offset). A double word's second half at offsets
// 0xFFC to 0xFFF arrives with an offset past 0xFFF: it names the next page's first bytes.
std::string PageAndOffset(uint32_t page, uint32_t offset) {
  return Hex8((page << 12) + offset);
}

void MapRange(uint32_t first, uint32_t last, uint8_t* storage, TReadHandler read,
              TWriteHandler write) {
  for (uint32_t page = first; page <= last; ++page) {
    PageTable[page] = storage;
    ReadTable[page] = read;
    WriteTable[page] = write;
  }
}

void ZeroBlock(TMemoryHandler* block) {
  std::memset(block->Data, 0, block->Size);
}

}  // namespace

bool CreateMemoryBlocks() {
  if (RDRAM != nullptr) return true;
  RDRAM = TMemoryHandler::Create(kRdramSize, 12);
  TMemoryHandler** pages[] = {&DMEMPage,          &IMEMPage,       &SPRegisterPage, &SPPCPage,
                              &RDRAMRegisterPage, &PIRegisterPage, &SIRegisterPage, &PIFPage,
                              &MIRegisterPage,    &DummyPage};
  bool allStored = RDRAM->Data != nullptr;
  for (TMemoryHandler** page : pages) {
    *page = TMemoryHandler::Create(kPageSize, 0);
    allStored = allStored && (*page)->Data != nullptr;
  }
  if (DummyPage->Data != nullptr) std::memset(DummyPage->Data, 0, kPageSize);
  return allStored;
}

void InitMemoryMap() {
  ZeroBlock(RDRAM);
  MapRange(0, kPageCount - 1, DummyPage->Data, IllegalRead, IllegalWrite);
  for (uint32_t i = 0; i < kRdramSize / kPageSize; ++i)
    MapRange(0x80000 + i, 0x80000 + i, RDRAM->Data + i * kPageSize, RamRead, RamWrite);

  ZeroBlock(RDRAMRegisterPage);
  MapRange(0x83F00, 0x83FFF, RDRAMRegisterPage->Data, RamRead, RamWrite);
  MapRange(0x84000, 0x84000, DMEMPage->Data, RamRead, RamWrite);
  MapRange(0x84001, 0x84001, IMEMPage->Data, RamRead, RamWrite);

  // The boot copy: the first 4 KB of the cartridge, zero-filled behind a shorter image.
  const uint32_t bootBytes = RomImage != nullptr ? std::min(RomImage->Size, kPageSize) : 0;
  ZeroBlock(DMEMPage);
  if (bootBytes != 0) std::memcpy(DMEMPage->Data, RomImage->Data, bootBytes);
  ZeroBlock(IMEMPage);

  ZeroBlock(SPRegisterPage);
  MapRange(0x84040, 0x84040, SPRegisterPage->Data, NullRead, NullWrite);
  ZeroBlock(SPPCPage);
  MapRange(0x84080, 0x84080, SPPCPage->Data, NullRead, NullWrite);

  ZeroBlock(MIRegisterPage);
  MI_INTR = reinterpret_cast<uint32_t*>(MIRegisterPage->Data + 8);
  MapRange(0x84300, 0x843FF, MIRegisterPage->Data, MIRead, MIWrite);
  std::memset(VIRegisterPage, 0, sizeof VIRegisterPage);
  MapRange(0x84400, 0x844FF, VIRegisterPage, VIRead, VIWrite);
  std::memset(AIRegisterPage, 0, sizeof AIRegisterPage);
  MapRange(0x84500, 0x845FF, AIRegisterPage, AIRead, AIWrite);
  ZeroBlock(PIRegisterPage);
  MapRange(0x84600, 0x846FF, PIRegisterPage->Data, PIRead, PIWrite);
  MapRange(0x84700, 0x847FF, DummyPage->Data, NullRead, NullWrite);
  ZeroBlock(SIRegisterPage);
  MapRange(0x84800, 0x848FF, SIRegisterPage->Data, SIRead, SIWrite);

  // Whole 4 KB pages of the cartridge only, and never more than the 256 MB window holds.
  const uint32_t romPages = RomImage != nullptr && RomImage->Data != nullptr
                                ? std::min(RomImage->Size >> 12, 0x10000u)
                                : 0;
  for (uint32_t i = 0; i < romPages; ++i)
    MapRange(0x90000 + i, 0x90000 + i, RomImage->Data + i * kPageSize, RamRead, RomWrite);

  ZeroBlock(PIFPage);
  MapRange(0x9FC00, 0x9FC00, PIFPage->Data, RamRead, RamWrite);

  for (uint32_t page = 0x80000; page <= 0x9FFFF; ++page) {
    PageTable[page + 0x20000] = PageTable[page];
    ReadTable[page + 0x20000] = ReadTable[page];
    WriteTable[page + 0x20000] = WriteTable[page];
  }
}

uint32_t ContiguousBytes(uint32_t address, uint32_t wanted) {
  uint32_t page = address >> 12;
  uint32_t available = kPageSize - (address & 0xFFF);
  while (available < wanted && page + 1 < kPageCount &&
         PageTable[page + 1] == PageTable[page] + kPageSize) {
    available += kPageSize;
    ++page;
  }
  return available < wanted ? available : wanted;
}

uint32_t RamRead(uint32_t page, uint32_t offset) {
  return PageWord(PageTable[page], offset);
}

void RamWrite(uint32_t page, uint32_t offset, uint32_t value) {
  SetPageWord(PageTable[page], offset, value);
}

uint32_t NullRead(uint32_t, uint32_t) {
  return 0;
}

void NullWrite(uint32_t, uint32_t, uint32_t) {}

uint32_t IllegalRead(uint32_t page, uint32_t offset) {
  DbgAddLine("ILLEGAL READ from " + PageAndOffset(page, offset) + " PC: " + Hex8(PC.Lo));
  return 0;
}

void IllegalWrite(uint32_t page, uint32_t offset, uint32_t value) {
  DbgAddLine("ILLEGAL WRITE " + Hex8(value) + " to " + PageAndOffset(page, offset) +
             " PC: " + Hex8(PC.Lo));
}

void RomWrite(uint32_t page, uint32_t offset, uint32_t value) {
  DbgAddLine("ROM WRITE " + Hex8(value) + " to " + PageAndOffset(page, offset));
}

}  // namespace vantor
