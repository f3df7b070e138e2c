// The emulated address map: 2^20 pages of 4 KB, each with a host pointer to its storage, a read
// handler and a write handler. Every load, store, fetch and DMA of the machine goes through it.
// It is built for each run from one table, MemoryMap, that names every block of the machine.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>

namespace vantor {

using TReadHandler = uint32_t (*)(uint32_t page, uint32_t offset);
using TWriteHandler = void (*)(uint32_t page, uint32_t offset, uint32_t value);

inline constexpr uint32_t kPageCount = 1u << 20;
inline constexpr uint32_t kPageSize = 0x1000;

extern uint8_t* PageTable[kPageCount];
extern TReadHandler ReadTable[kPageCount];
extern TWriteHandler WriteTable[kPageCount];

// The storage of a block as it is now: Size bytes at Data, or no storage at all (null Data).
struct TBlockStorage {
  uint8_t* Data;
  uint32_t Size;
};

// How a row's pages reach its storage.
enum class TPageSpan {
  Shared,  // every page maps the same 4 KB, so a register range repeats every 4 KB
  Stepped  // page i maps the 4 KB at Data + i * 4096, for as many whole pages as Size holds
};

// One row of MemoryMap: the pages FirstPage to LastPage (both included, cached segment) reach
// the block Storage returns, through Read and Write. Reset, when set, brings the block to its
// state at the start of a run. Storage is a function because blocks are made at program start
// and the ROM image changes with every load.
struct TMapRow {
  uint32_t FirstPage;
  uint32_t LastPage;
  TBlockStorage (*Storage)();
  TReadHandler Read;
  TWriteHandler Write;
  void (*Reset)();
  TPageSpan Span = TPageSpan::Shared;
};

// Every block of the machine, in the order a new run sets them up: each row's block is reset,
// then its pages are mapped over what earlier rows mapped. The first row is the background of
// unmapped pages; the cartridge row maps only the ROM image's whole pages. Anything that must
// visit every block (clearing, saving, restoring) walks this table.
extern const std::span<const TMapRow> MemoryMap;

// Creates every block of the machine once, at program start. False when any of them got no
// storage (the user has been told); the program then cannot emulate and ends.
bool CreateMemoryBlocks();

// Sets up a new run: walks MemoryMap, then copies 0x80000000 to 0x9FFFFFFF onto its uncached
// view at 0xA0000000. Needs the blocks; RomImage may be absent (no cartridge pages).
void InitMemoryMap();

// Builds the map as InitMemoryMap does but leaves every block's contents alone: what a restored
// machine, whose blocks hold their saved contents, starts from.
void MapMemoryBlocks();

// Shows `bytes` of main memory (kRdramSize or kRdramExpandedSize) from 0x00000000 on, in both
// segments; the pages past them show nothing, as in a map without the memory expansion.
void SetRdramSize(uint32_t bytes);

// The host pointer behind an emulated address, through PageTable.
inline uint8_t* HostAddress(uint32_t address) {
  return PageTable[address >> 12] + (address & 0xFFF);
}

// A word through a page's handlers, as the processor's loads and stores that may reach a
// register read and write it (the handlers see page and offset; an offset past 0xFFC is kept
// inside the page by them).
inline uint32_t MapRead(uint32_t page, uint32_t offset) {
  return ReadTable[page](page, offset);
}
inline void MapWrite(uint32_t page, uint32_t offset, uint32_t value) {
  WriteTable[page](page, offset, value);
}
inline uint32_t ReadMapWord(uint32_t address) {
  return MapRead(address >> 12, address & 0xFFF);
}
inline void WriteMapWord(uint32_t address, uint32_t value) {
  MapWrite(address >> 12, address & 0xFFF, value);
}

// How many of `wanted` bytes from an emulated address lie in host-contiguous storage: pages
// whose storage follows one another (RDRAM, the ROM image) count together; a lone 4 KB page or
// the dummy page ends the run.
uint32_t ContiguousBytes(uint32_t address, uint32_t wanted);

// A host word at an offset of one 4 KB page of storage. Near the page end only the bytes inside
// the page take part (the rest read as zero and are not written), so no access leaves a block.
inline uint32_t PageWord(const uint8_t* page, uint32_t offset) {
  uint32_t value = 0;
  if (offset <= kPageSize - 4) [[likely]]
    std::memcpy(&value, page + offset, 4);
  else if (offset < kPageSize)
    std::memcpy(&value, page + offset, kPageSize - offset);
  return value;
}

inline void SetPageWord(uint8_t* page, uint32_t offset, uint32_t value) {
  if (offset <= kPageSize - 4) [[likely]]
    std::memcpy(page + offset, &value, 4);
  else if (offset < kPageSize)
    std::memcpy(page + offset, &value, kPageSize - offset);
}

}  // namespace vantor
