// Owned, aligned blocks of host memory. Every large buffer of the emulated machine lives in one;
// all live blocks are linked in BlockList so that one sweep frees them at program end.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

class TMemoryHandler {
 public:
  // The list runs from the head (newest block) to the tail (oldest): Prev is the newer neighbour
  // and Next the older one; none at either end.
  TMemoryHandler* Prev = nullptr;
  TMemoryHandler* Next = nullptr;
  uint32_t AllocSize = 0;   // bytes asked of the heap: Size + AlignMask
  uint32_t AlignMask = 0;   // 2^AlignBits - 1
  void* RawPtr = nullptr;   // what the heap returned; null when it failed
  uint32_t Size = 0;        // usable bytes asked for by the creator
  uint8_t* Data = nullptr;  // RawPtr rounded up to the alignment; null without storage

  // A new block linked at the head of BlockList. Storage is not cleared. When the heap fails the
  // user is told "Error allocating N bytes of memory!" and the block exists with null Data.
  static TMemoryHandler* Create(uint32_t size, uint32_t alignBits);

  // Unlinks the block, returns its storage and deletes it.
  void Destroy();

  // Makes the storage read as zero bytes; large blocks give their pages back to the system.
  void Clear();

  TMemoryHandler(const TMemoryHandler&) = delete;
  TMemoryHandler& operator=(const TMemoryHandler&) = delete;

 private:
  TMemoryHandler() = default;
  ~TMemoryHandler() = default;
  friend void SweepBlockList();
};

// The sentinel of the list of live blocks, made without storage with the first block (null
// before): its Next is the head (newest block), its Prev the tail (oldest).
extern TMemoryHandler* BlockList;

// Destroys every live block, head first, then the sentinel. Runs once at program end; tests call
// it to check the sweep and to start from an empty list.
void SweepBlockList();

// The heap behind Create, replaceable so that tests can make it fail. Null restores malloc/free.
// Storage must be private anonymous memory, as the heap's is: Clear relies on released pages
// reading as zero.
using BlockAllocFn = void* (*)(size_t size);
using BlockFreeFn = void (*)(void* ptr, size_t size);
void SetBlockAllocator(BlockAllocFn alloc, BlockFreeFn free);

}  // namespace vantor
