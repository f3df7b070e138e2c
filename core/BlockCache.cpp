#include "core/BlockCache.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "memory/AddressMap.h"

namespace vantor {

TBlockCache BlockCache(DecodeFastOp);
TBlockCache AccurateBlockCache(DecodeAccurateFastOp);

void Redecode(TFastOp& op, uint32_t pc) {
  uint32_t word;
  std::memcpy(&word, HostAddress(pc), sizeof word);
  op = DecodeFastOp(word, pc);
}

void RedecodeAccurate(TFastOp& op, uint32_t word, uint32_t pc) {
  op = DecodeAccurateFastOp(word, pc);
}

void TBlockCache::Clear() {
  pages_.clear();
  last_ = nullptr;
}

TCodePage& TBlockCache::Find(uint32_t virtualPage) {
  auto found = pages_.find(virtualPage);
  if (found == pages_.end()) {
    if (pages_.size() >= kMaxCodePages) pages_.clear();
    auto page = std::make_unique<TCodePage>();
    // The zero word decodes alike at every address but the page's last.
    const uint32_t base = virtualPage << 12;
    std::fill(std::begin(page->ops), std::end(page->ops), decode_(0, base));
    page->ops[kWordsPerPage - 1] = decode_(0, base + kPageSize - 4);
    found = pages_.emplace(virtualPage, std::move(page)).first;
  }
  lastPage_ = virtualPage;
  last_ = found->second.get();
  return *last_;
}

}  // namespace vantor
