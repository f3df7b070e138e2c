#include "memory/MemoryBlock.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/mman.h>

#include "common/Host.h"

namespace vantor {

TMemoryHandler* BlockList = nullptr;

namespace {

constexpr uintptr_t kHostPage = 4096;
// Below this a plain fill is cheaper than a system call.
constexpr uint32_t kReleaseThreshold = 256 * 1024;

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
  // Large blocks give their whole pages back to the system instead of writing them: the heap's
  // memory is private and anonymous, so those pages read as zero again and cost nothing until
  // the machine touches them. A new run's start thus does not depend on the block's size.
  const auto first = reinterpret_cast<uintptr_t>(Data);
  const uintptr_t end = first + Size;
  const uintptr_t pagesFirst = (first + kHostPage - 1) & ~(kHostPage - 1);
  const uintptr_t pagesEnd = end & ~(kHostPage - 1);
  if (Size < kReleaseThreshold || pagesEnd <= pagesFirst ||
      madvise(reinterpret_cast<void*>(pagesFirst), pagesEnd - pagesFirst, MADV_DONTNEED) != 0) {
    std::memset(Data, 0, Size);
    return;
  }
  std::memset(Data, 0, pagesFirst - first);
  std::memset(reinterpret_cast<void*>(pagesEnd), 0, end - pagesEnd);
}

void SweepBlockList() {
  if (BlockList == nullptr) return;
  while (BlockList->Next != nullptr)
    BlockList->Next->Destroy();
  delete BlockList;
  BlockList = nullptr;
}

}  // namespace vantor
