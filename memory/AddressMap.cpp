#include "memory/AddressMap.h"

#include <sys/mman.h>
#include <algorithm>
#include <array>
#include <cstring>

#include "memory/AudioInterface.h"
#include "memory/MemoryBlock.h"
#include "memory/MipsInterface.h"
#include "memory/PeripheralInterface.h"
#include "memory/PlainPages.h"
#include "memory/RomImage.h"
#include "memory/SerialInterface.h"
#include "memory/SignalProcessor.h"
#include "memory/VideoInterface.h"

namespace vantor {

namespace {
// The three tables take 24 MB, all of which each run's map writes. Aligned to the host's 2 MB
// pages and marked for them, they cost a dozen page faults instead of six thousand.
constexpr size_t kTableAlign = size_t{1} << 21;
}  // namespace

alignas(kTableAlign) uint8_t* PageTable[kPageCount];
alignas(kTableAlign) TReadHandler ReadTable[kPageCount];
alignas(kTableAlign) TWriteHandler WriteTable[kPageCount];

namespace {

// Page ranges, first and last page both included. All but the first lie in the cached segment
// 0x80000000 to 0x9FFFFFFF, which shows physical memory.
constexpr uint32_t kAllFirst = 0x00000, kAllLast = kPageCount - 1;
constexpr uint32_t kRdramFirst = 0x80000, kRdramLast = 0x807FF;  // up to 8 MB
constexpr uint32_t kRdramRegsFirst = 0x83F00, kRdramRegsLast = 0x83FFF;
constexpr uint32_t kDmem = 0x84000, kImem = 0x84001, kSpRegs = 0x84040, kSpPc = 0x84080;
constexpr uint32_t kMiFirst = 0x84300, kMiLast = 0x843FF;
constexpr uint32_t kViFirst = 0x84400, kViLast = 0x844FF;
constexpr uint32_t kAiFirst = 0x84500, kAiLast = 0x845FF;
constexpr uint32_t kPiFirst = 0x84600, kPiLast = 0x846FF;
constexpr uint32_t kRiFirst = 0x84700, kRiLast = 0x847FF;
constexpr uint32_t kSiFirst = 0x84800, kSiLast = 0x848FF;
constexpr uint32_t kCartFirst = 0x90000, kCartLast = 0x9FFFF;  // at most 256 MB of cartridge
constexpr uint32_t kPif = 0x9FC00;
// The uncached segment 0xA0000000 to 0xBFFFFFFF shows the same as the cached one.
constexpr uint32_t kCachedFirst = 0x80000, kCachedLast = 0x9FFFF, kUncachedOffset = 0x20000;

template <TMemoryHandler** Block>
TBlockStorage BlockOf() {
  const TMemoryHandler* block = *Block;
  return block != nullptr ? TBlockStorage{block->Data, block->Size} : TBlockStorage{nullptr, 0};
}

template <uint8_t (*Page)[kPageSize]>
TBlockStorage PageOf() {
  return {*Page, kPageSize};
}

constexpr auto kStepped = TPageSpan::Stepped;

// As much of main memory's block as the run shows.
TBlockStorage RdramStorage() {
  return RDRAM != nullptr ? TBlockStorage{RDRAM->Data, RdramBytes} : TBlockStorage{nullptr, 0};
}

// {first page, last page, storage, read, write, reset[, span]}. The RI range has no registers
// here: its pages read as zero over the dummy page. The RDRAM row comes before the background of
// nothing past it, which SetRdramSize restores when it shows less.
constexpr auto kMemoryMap = std::to_array<TMapRow>({
    {kAllFirst, kAllLast, BlockOf<&DummyPage>, IllegalRead, IllegalWrite, nullptr},
    {kRdramFirst, kRdramLast, RdramStorage, RamRead, RamWrite, RdramReset, kStepped},
    {kRdramRegsFirst, kRdramRegsLast, BlockOf<&RDRAMRegisterPage>, RamRead, RamWrite,
     RdramRegistersReset},
    {kDmem, kDmem, BlockOf<&DMEMPage>, RamRead, RamWrite, DmemReset},
    {kImem, kImem, BlockOf<&IMEMPage>, RamRead, RamWrite, ImemReset},
    {kSpRegs, kSpRegs, BlockOf<&SPRegisterPage>, NullRead, NullWrite, SpRegistersReset},
    {kSpPc, kSpPc, BlockOf<&SPPCPage>, NullRead, NullWrite, SpPcReset},
    {kMiFirst, kMiLast, BlockOf<&MIRegisterPage>, MIRead, MIWrite, MIReset},
    {kViFirst, kViLast, PageOf<&VIRegisterPage>, VIRead, VIWrite, VIReset},
    {kAiFirst, kAiLast, PageOf<&AIRegisterPage>, AIRead, AIWrite, AIReset},
    {kPiFirst, kPiLast, BlockOf<&PIRegisterPage>, PIRead, PIWrite, PIReset},
    {kRiFirst, kRiLast, BlockOf<&DummyPage>, RIRead, RIWrite, nullptr},
    {kSiFirst, kSiLast, BlockOf<&SIRegisterPage>, SIRead, SIWrite, SIReset},
    {kCartFirst, kCartLast, BlockOf<&RomImage>, RamRead, RomWrite, nullptr, kStepped},
    {kPif, kPif, BlockOf<&PIFPage>, RamRead, RamWrite, PifReset},
});

void MapRange(uint32_t first, uint32_t last, uint8_t* storage, TReadHandler read,
              TWriteHandler write) {
  for (uint32_t page = first; page <= last; ++page) {
    PageTable[page] = storage;
    ReadTable[page] = read;
    WriteTable[page] = write;
  }
}

void MapRow(const TMapRow& row) {
  const TBlockStorage storage = row.Storage();
  if (row.Span == TPageSpan::Shared) {
    MapRange(row.FirstPage, row.LastPage, storage.Data, row.Read, row.Write);
    return;
  }
  // Whole 4 KB pages of the storage only, and never more than the range holds.
  const uint32_t pages = storage.Data != nullptr
                             ? std::min(storage.Size / kPageSize, row.LastPage - row.FirstPage + 1)
                             : 0;
  for (uint32_t i = 0; i < pages; ++i) {
    const uint32_t page = row.FirstPage + i;
    MapRange(page, page, storage.Data + i * kPageSize, row.Read, row.Write);
  }
}

}  // namespace

const std::span<const TMapRow> MemoryMap = kMemoryMap;

bool CreateMemoryBlocks() {
  if (RDRAM != nullptr) return true;
  // Only a hint: without large pages the tables work the same.
  madvise(PageTable, sizeof PageTable, MADV_HUGEPAGE);
  madvise(ReadTable, sizeof ReadTable, MADV_HUGEPAGE);
  madvise(WriteTable, sizeof WriteTable, MADV_HUGEPAGE);
  RDRAM = TMemoryHandler::Create(kRdramExpandedSize, 12);
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
  for (const TMapRow& row : kMemoryMap)
    if (row.Reset != nullptr) row.Reset();
  MapMemoryBlocks();
}

void MapMemoryBlocks() {
  for (const TMapRow& row : kMemoryMap)
    MapRow(row);
  for (uint32_t page = kCachedFirst; page <= kCachedLast; ++page) {
    PageTable[page + kUncachedOffset] = PageTable[page];
    ReadTable[page + kUncachedOffset] = ReadTable[page];
    WriteTable[page + kUncachedOffset] = WriteTable[page];
  }
}

void SetRdramSize(uint32_t bytes) {
  RdramBytes = bytes;
  const TMapRow& background = kMemoryMap[0];
  for (uint32_t page = kRdramFirst; page <= kRdramLast; ++page) {
    const uint32_t offset = (page - kRdramFirst) * kPageSize;
    const bool shown = offset < bytes;
    for (uint32_t view : {page, page + kUncachedOffset}) {
      PageTable[view] = shown ? RDRAM->Data + offset : background.Storage().Data;
      ReadTable[view] = shown ? RamRead : background.Read;
      WriteTable[view] = shown ? RamWrite : background.Write;
    }
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

}  // namespace vantor
