#include "memory/MemoryBlock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include <sys/mman.h>

#include "tests/support/CaptureHost.h"

namespace vantor {
namespace {

struct HeapLog {
  std::vector<size_t> allocs;
  std::vector<void*> frees;
  bool fail = false;
};
HeapLog heap;

void* LoggingAlloc(size_t size) {
  heap.allocs.push_back(size);
  return heap.fail ? nullptr : std::malloc(size);
}

void LoggingFree(void* ptr, size_t) {
  heap.frees.push_back(ptr);
  std::free(ptr);
}

class MemoryBlockTest : public ::testing::Test {
 protected:
  // Blocks that other tests of this program left alive (the machine's map keeps pointers into
  // them) are set aside, not swept: each test here sees an empty list and sweeps only its own.
  void SetUp() override {
    othersBlocks_ = std::exchange(BlockList, nullptr);
    heap = {};
    SetBlockAllocator(LoggingAlloc, LoggingFree);
  }
  void TearDown() override {
    SweepBlockList();
    SetBlockAllocator(nullptr, nullptr);
    BlockList = othersBlocks_;
  }

  // The blocks from head to tail, checking that every back link agrees with the forward walk.
  static std::vector<TMemoryHandler*> Walk() {
    std::vector<TMemoryHandler*> blocks;
    if (BlockList == nullptr) return blocks;
    TMemoryHandler* newer = nullptr;
    for (TMemoryHandler* block = BlockList->Next; block != nullptr; block = block->Next) {
      EXPECT_EQ(block->Prev, newer);
      blocks.push_back(block);
      newer = block;
    }
    EXPECT_EQ(BlockList->Prev, newer);
    return blocks;
  }

  test::CaptureHost host;

 private:
  TMemoryHandler* othersBlocks_ = nullptr;
};

TEST_F(MemoryBlockTest, AlignsDataInsideTheHeapRequest) {
  TMemoryHandler* plain = TMemoryHandler::Create(4096, 0);
  EXPECT_EQ(plain->AllocSize, 4096u);
  EXPECT_EQ(plain->AlignMask, 0u);
  EXPECT_EQ(plain->Data, plain->RawPtr);

  TMemoryHandler* empty = TMemoryHandler::Create(0, 8);
  EXPECT_EQ(empty->AllocSize, 255u);
  EXPECT_EQ(heap.allocs.back(), 255u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(empty->Data) % 256, 0u);
  EXPECT_GE(empty->Data, static_cast<uint8_t*>(empty->RawPtr));
  EXPECT_LE(empty->Data, static_cast<uint8_t*>(empty->RawPtr) + 255);

  TMemoryHandler* rdram = TMemoryHandler::Create(0x400000, 12);
  EXPECT_EQ(rdram->AllocSize, 4198399u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(rdram->Data) % 4096, 0u);
  EXPECT_LE(rdram->Data + rdram->Size, static_cast<uint8_t*>(rdram->RawPtr) + rdram->AllocSize);
  EXPECT_TRUE(host.Messages().empty());
}

TEST_F(MemoryBlockTest, NewBlocksGoToTheHeadAndAnyDestroyOrderKeepsTheListConsistent) {
  const std::vector<std::vector<int>> orders = {
      {0, 1, 2, 3}, {3, 2, 1, 0}, {1, 3, 0, 2}, {2, 0, 3, 1}};
  for (const auto& order : orders) {
    std::vector<TMemoryHandler*> made;
    for (int i = 0; i < 4; ++i)
      made.push_back(TMemoryHandler::Create(16, 2));
    EXPECT_EQ(Walk(), (std::vector<TMemoryHandler*>{made[3], made[2], made[1], made[0]}));

    std::vector<TMemoryHandler*> alive(made.rbegin(), made.rend());
    for (int index : order) {
      made[index]->Destroy();
      std::erase(alive, made[index]);
      EXPECT_EQ(Walk(), alive);
    }
    EXPECT_EQ(BlockList->Next, nullptr);
    EXPECT_EQ(BlockList->Prev, nullptr);
  }
}

TEST_F(MemoryBlockTest, SweepFreesEveryLiveBlockOnceNewestFirst) {
  TMemoryHandler* oldest = TMemoryHandler::Create(64, 0);
  TMemoryHandler* gone = TMemoryHandler::Create(64, 0);
  TMemoryHandler* newest = TMemoryHandler::Create(64, 0);
  void* oldestRaw = oldest->RawPtr;
  void* newestRaw = newest->RawPtr;
  gone->Destroy();
  heap.frees.clear();

  SweepBlockList();
  EXPECT_EQ(heap.frees, (std::vector<void*>{newestRaw, oldestRaw}));
  EXPECT_EQ(BlockList, nullptr);
  SweepBlockList();  // a second sweep finds nothing
  EXPECT_EQ(heap.frees.size(), 2u);
}

TEST_F(MemoryBlockTest, FailedAllocationIsReportedAndLeavesALinkedBlockWithoutStorage) {
  heap.fail = true;
  TMemoryHandler* block = TMemoryHandler::Create(0x400000, 12);
  EXPECT_EQ(host.Messages(), std::vector<std::string>{"Error allocating 4198399 bytes of memory!"});
  EXPECT_EQ(block->RawPtr, nullptr);
  EXPECT_EQ(block->Data, nullptr);
  EXPECT_EQ(block->Size, 0x400000u);
  EXPECT_EQ(Walk(), std::vector<TMemoryHandler*>{block});

  block->Destroy();
  EXPECT_TRUE(heap.frees.empty());
  EXPECT_TRUE(Walk().empty());
}

TEST_F(MemoryBlockTest, RequestPastFourGigabytesFailsWithoutTouchingTheHeap) {
  TMemoryHandler* block = TMemoryHandler::Create(0xFFFFFFFF, 8);
  EXPECT_TRUE(heap.allocs.empty());
  EXPECT_EQ(block->Data, nullptr);
  EXPECT_EQ(host.Messages(),
            std::vector<std::string>{"Error allocating 4294967550 bytes of memory!"});
}

// Small blocks are filled; large ones give their whole pages back and fill only the partial pages
// at either end, wherever the heap placed them.
TEST_F(MemoryBlockTest, ClearZeroesEveryByteAndReleasesTheWholePagesOfLargeBlocks) {
  for (const uint32_t size : {64u, 4096u + 7, 0x400000u + 13}) {
    TMemoryHandler* block = TMemoryHandler::Create(size, 0);
    ASSERT_NE(block->Data, nullptr);
    std::memset(block->Data, 0xA5, size);
    block->Clear();
    const std::vector<uint8_t> zeros(size, 0);
    EXPECT_EQ(std::memcmp(block->Data, zeros.data(), size), 0) << size << " bytes";
    block->Clear();  // a cleared block clears again
    EXPECT_EQ(std::memcmp(block->Data, zeros.data(), size), 0) << size << " bytes";
  }

  TMemoryHandler* large = TMemoryHandler::Create(0x400000, 12);
  std::memset(large->Data, 0xA5, large->Size);
  large->Clear();
  std::vector<unsigned char> resident(large->Size / 4096);
  ASSERT_EQ(mincore(large->Data, large->Size, resident.data()), 0);
  EXPECT_EQ(std::count_if(resident.begin(), resident.end(), [](unsigned char p) { return p & 1; }),
            0);
}

}  // namespace
}  // namespace vantor
