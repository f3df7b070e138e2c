// The decoded-instruction cache of the block runner: for each virtual 4 KB page that has run, the
// handler and kind of every word position, decoded once from the word found there.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "core/Interpreter.h"

namespace vantor {

// What the block runner must check before an instruction, or that it must not run it at all.
enum class TOpKind : uint8_t {
  Nop,        // the zero word: the step does nothing
  Plain,      // registers only
  Transfer,   // a branch or jump: reads PC, posts a transfer
  Load,       // reads memory through rs + offset
  Store,      // writes memory through rs + offset
  LoadStore,  // reads, merges and writes back one word
  Exact,      // touches the step's bookkeeping or the console: runs as a single step only
};

// One word position. The word is kept so that a changed word (a store, a DMA, a remapped page)
// is seen on use and decoded again: an entry can never be stale.
struct TDecodedOp {
  uint32_t word;
  TOpKind kind;
  OpcodeHandler handler;
};

inline constexpr uint32_t kWordsPerPage = 1024;

struct TCodePage {
  TDecodedOp ops[kWordsPerPage];
};

// The final handler of a word and what it touches, as decoded at address pc.
TDecodedOp DecodeOp(uint32_t word, uint32_t pc);

// Decodes again the entry at this page index when its word changed.
inline const TDecodedOp& CachedOp(TCodePage& page, uint32_t index, uint32_t word, uint32_t pc) {
  TDecodedOp& op = page.ops[index];
  if (op.word != word) [[unlikely]]
    op = DecodeOp(word, pc);
  return op;
}

// Pages are made on first execution, so pages never run cost nothing. Beyond kMaxCodePages the
// cache starts over, which bounds it to kMaxCodePages * sizeof(TCodePage) bytes.
class TBlockCache {
 public:
  static constexpr size_t kMaxCodePages = 512;

  TCodePage& Page(uint32_t virtualPage) {
    if (virtualPage == lastPage_ && last_ != nullptr) [[likely]]
      return *last_;
    return Find(virtualPage);
  }
  void Clear();
  size_t Pages() const { return pages_.size(); }

 private:
  TCodePage& Find(uint32_t virtualPage);

  std::unordered_map<uint32_t, std::unique_ptr<TCodePage>> pages_;
  uint32_t lastPage_ = 0;
  TCodePage* last_ = nullptr;
};

extern TBlockCache BlockCache;

}  // namespace vantor
