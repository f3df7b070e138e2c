// The decoded-instruction cache of the block runner: for each virtual 4 KB page that has run, the
// pre-decoded entry of every word position, decoded once from the word found there.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "core/FastOps.h"

namespace vantor {

struct TCodePage {
  TFastOp ops[kWordsPerPage];
};

using TDecoder = TFastOp (*)(uint32_t word, uint32_t pc);

// Decodes the entry again for the word now found at address pc, whose page is mapped. Kept out
// of line, off the runner's path.
[[gnu::noinline]] void Redecode(TFastOp& op, uint32_t pc);
// The same for the word now found in the page's storage, in the accurate mode.
[[gnu::noinline]] void RedecodeAccurate(TFastOp& op, uint32_t word, uint32_t pc);

// Pages are made on first execution, so pages never run cost nothing. Beyond kMaxCodePages the
// cache starts over, which bounds it to kMaxCodePages * sizeof(TCodePage) bytes (8 MB). Each mode
// has its own cache, whose entries its decoder made.
class TBlockCache {
 public:
  static constexpr size_t kMaxCodePages = 128;

  explicit TBlockCache(TDecoder decode) : decode_(decode) {}

  TCodePage& Page(uint32_t virtualPage) {
    if (virtualPage == lastPage_ && last_ != nullptr) [[likely]]
      return *last_;
    return Find(virtualPage);
  }
  void Clear();
  size_t Pages() const { return pages_.size(); }

 private:
  TCodePage& Find(uint32_t virtualPage);

  TDecoder decode_;
  std::unordered_map<uint32_t, std::unique_ptr<TCodePage>> pages_;
  uint32_t lastPage_ = 0;
  TCodePage* last_ = nullptr;
};

extern TBlockCache BlockCache;
extern TBlockCache AccurateBlockCache;

}  // namespace vantor
