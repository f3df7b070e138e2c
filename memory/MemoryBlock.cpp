#include "memory/MemoryBlock.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/Host.h"

namespace vantor {

TMemoryHandler* BlockList = nullptr;

namespace {

void* HeapAlloc(size_t size) {
  return std::malloc(size);
}
void HeapFree(void* ptr, size_t /*size*/) {
  std::free(ptr);
}

BlockAllocFn allocBlock = HeapAlloc;
BlockFreeFn freeBlock = HeapFree;

// Whatever is still alive when the program ends is released here.
struct ProgramEndSweep {
  ~ProgramEndSweep() { SweepBlockList(); }
} programEndSweep;

}  // namespace

void SetBlockAllocator(BlockAllocFn alloc, BlockFreeFn free) {
  allocBlock = alloc ? alloc : HeapAlloc;
  freeBlock = free ? free : HeapFree;
}

TMemoryHandler* TMemoryHandler::Create(uint32_t size, uint32_t alignBits) {
  auto* block = new TMemoryHandler;
  block->AlignMask = (alignBits >= 31 ? 0x80000000u : 1u << alignBits) - 1;
  // A request past 4 GB cannot be expressed to this heap; it fails like an exhausted heap.
  const uint64_t request = uint64_t{size} + block->AlignMask;
  block->AllocSize = request > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(request);
  block->RawPtr = request > UINT32_MAX ? nullptr : allocBlock(block->AllocSize);
  if (block->RawPtr == nullptr)
    ShowMessage("Error allocating " + std::to_string(request) + " bytes of memory!");
  block->Size = size;
  if (block->RawPtr != nullptr) {
    const auto raw = reinterpret_cast<uintptr_t>(block->RawPtr);
    block->Data =
        reinterpret_cast<uint8_t*>((raw + block->AlignMask) & ~uintptr_t{block->AlignMask});
  }

  if (BlockList == nullptr) BlockList = new TMemoryHandler;
  block->Next = BlockList->Next;
  if (BlockList->Next != nullptr)
    BlockList->Next->Prev = block;
  else
    BlockList->Prev = block;
  BlockList->Next = block;
  return block;
}

void TMemoryHandler::Destroy() {
  if (Next != nullptr)
    Next->Prev = Prev;
  else
    BlockList->Prev = Prev;
  if (Prev != nullptr)
    Prev->Next = Next;
  else
    BlockList->Next = Next;
  if (RawPtr != nullptr) freeBlock(RawPtr, AllocSize);
  delete this;
}

void TMemoryHandler::Clear() {
  std::memset(Data, 0, Size);
}

void SweepBlockList() {
  if (BlockList == nullptr) return;
  while (BlockList->Next != nullptr)
    BlockList->Next->Destroy();
  delete BlockList;
  BlockList = nullptr;
}

}  // namespace vantor
