// The signal processor as the map sees it: its data memory, which holds the boot copy of the
// cartridge, its instruction memory, and two register pages that read as zero and ignore writes.
#pragma once

#include "memory/MemoryBlock.h"

namespace vantor {

// Blocks made at program start that live for the whole run.
extern TMemoryHandler* DMEMPage;
extern TMemoryHandler* IMEMPage;
extern TMemoryHandler* SPRegisterPage;
extern TMemoryHandler* SPPCPage;

// The boot copy: the first 4 KB of RomImage, zero-filled behind a shorter image (or without one).
void DmemReset();
// Each clears its block for a new run.
void ImemReset();
void SpRegistersReset();
void SpPcReset();

}  // namespace vantor
