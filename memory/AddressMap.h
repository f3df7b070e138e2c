// The emulated address map: 2^20 pages of 4 KB, each with a host pointer to its storage, a read
// handler and a write handler. Every load, store, fetch and DMA of the machine goes through it.
#pragma once

#include <cstdint>
#include <cstring>

#include "memory/MemoryBlock.h"

namespace vantor {

using TReadHandler = uint32_t (*)(uint32_t page, uint32_t offset);
using TWriteHandler = void (*)(uint32_t page, uint32_t offset, uint32_t value);

inline constexpr uint32_t kPageCount = 1u << 20;
inline constexpr uint32_t kPageSize = 0x1000;

extern uint8_t* PageTable[kPageCount];
extern TReadHandler ReadTable[kPageCount];
extern TWriteHandler WriteTable[kPageCount];

// The MI interrupt register, offset 8 of MIRegisterPage; published by InitMemoryMap.
extern uint32_t* MI_INTR;

// Blocks made at program start that live for the whole run.
extern TMemoryHandler* RDRAM;
extern TMemoryHandler* DMEMPage;
extern TMemoryHandler* IMEMPage;
extern TMemoryHandler* SPRegisterPage;
extern TMemoryHandler* SPPCPage;
extern TMemoryHandler* RDRAMRegisterPage;
extern TMemoryHandler* PIRegisterPage;
extern TMemoryHandler* SIRegisterPage;
extern TMemoryHandler* PIFPage;
extern TMemoryHandler* MIRegisterPage;
extern TMemoryHandler* DummyPage;

inline constexpr uint32_t kRdramSize = 0x400000;

// Creates the blocks above once, at program start. False when any of them got no storage (the
// user has been told); the program then cannot emulate and ends.
bool CreateMemoryBlocks();

// Clears the storage and fills the three tables for a new run. Needs the blocks and RomImage.
void InitMemoryMap();

// The host pointer behind an emulated address, through PageTable.
inline uint8_t* HostAddress(uint32_t address) {
  return PageTable[address >> 12] + (address & 0xFFF);
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

uint32_t RamRead(uint32_t page, uint32_t offset);
void RamWrite(uint32_t page, uint32_t offset, uint32_t value);
uint32_t NullRead(uint32_t page, uint32_t offset);
void NullWrite(uint32_t page, uint32_t offset, uint32_t value);
// Shared by every unmapped page, so a page is recognised as unmapped by this read handler.
uint32_t IllegalRead(uint32_t page, uint32_t offset);
void IllegalWrite(uint32_t page, uint32_t offset, uint32_t value);
void RomWrite(uint32_t page, uint32_t offset, uint32_t value);

}  // namespace vantor
