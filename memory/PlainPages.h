// The pages without registers: main memory, the RDRAM register page, the boot page and the
// dummy page behind every unmapped address, with the plain handlers the map gives them.
#pragma once

#include <cstdint>

#include "memory/MemoryBlock.h"

namespace vantor {

// Main memory: 4 MB in the default machine, 8 MB (with the memory expansion) in the accurate
// mode. The block always holds the larger size; a run shows RdramBytes of it.
inline constexpr uint32_t kRdramSize = 0x400000;
inline constexpr uint32_t kRdramExpandedSize = 0x800000;
extern uint32_t RdramBytes;

// Blocks made at program start that live for the whole run.
extern TMemoryHandler* RDRAM;
extern TMemoryHandler* RDRAMRegisterPage;
extern TMemoryHandler* PIFPage;
// Never cleared by a new run; zero from program start.
extern TMemoryHandler* DummyPage;

// Each clears its block for a new run; main memory's also returns to the default machine's 4 MB.
void RdramReset();
void RdramRegistersReset();
void PifReset();

// A host word of the page's storage, as far as the page reaches.
uint32_t RamRead(uint32_t page, uint32_t offset);
void RamWrite(uint32_t page, uint32_t offset, uint32_t value);
// The signal processor's register pages of the default machine: reads zero, writes are dropped,
// and the use is noted as hardware only the accurate mode emulates.
uint32_t NullRead(uint32_t page, uint32_t offset);
void NullWrite(uint32_t page, uint32_t offset, uint32_t value);
// Shared by every unmapped page, so a page is recognised as unmapped by this read handler.
uint32_t IllegalRead(uint32_t page, uint32_t offset);
void IllegalWrite(uint32_t page, uint32_t offset, uint32_t value);
// The RDRAM interface's registers in the default machine: read as zero, writes are dropped.
uint32_t RIRead(uint32_t page, uint32_t offset);
void RIWrite(uint32_t page, uint32_t offset, uint32_t value);
// Word writes to the cartridge are reported and leave the image unchanged.
void RomWrite(uint32_t page, uint32_t offset, uint32_t value);

}  // namespace vantor
