#include "tests/fuzz/FuzzMachine.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <vector>

#include "core/Accurate.h"
#include "core/Cop0.h"
#include "core/Cop1.h"
#include "core/Cpu.h"
#include "core/Scheduler.h"
#include "memory/AddressMap.h"
#include "memory/PlainPages.h"

namespace vantor::fuzz {

namespace {

// No TLB write leaves an entry in this state (its fields are narrower than their types).
constexpr uint8_t kUnwrittenTlb = 0xFF;

void ClearKeptState() {
  PrepareHostFloatingPoint();
  std::memset(static_cast<void*>(Tlb), kUnwrittenTlb, sizeof Tlb);
  FCR0 = 0;
  FCR31 = 0;
  std::memset(DummyPage->Data, 0, kPageSize);
}

bool TlbWritten() {
  const auto* bytes = reinterpret_cast<const uint8_t*>(Tlb);
  for (size_t i = 0; i < sizeof Tlb; ++i)
    if (bytes[i] != kUnwrittenTlb) return true;
  return false;
}

struct TSavedPage {
  uint8_t* storage;
  std::array<uint8_t, kPageSize> bytes;
};

struct TPristine {
  std::vector<uint8_t*> pages{PageTable, PageTable + kPageCount};
  std::vector<TReadHandler> reads{ReadTable, ReadTable + kPageCount};
  std::vector<TWriteHandler> writes{WriteTable, WriteTable + kPageCount};
  std::vector<TSavedPage> storage;

  TPristine() {
    std::unordered_set<uint8_t*> seen;
    for (uint8_t* page : pages) {
      if (!seen.insert(page).second) continue;
      TSavedPage& saved = storage.emplace_back();
      saved.storage = page;
      std::memcpy(saved.bytes.data(), page, kPageSize);
    }
  }
};

// Set by an accurate run, whose reset changes the map's tables.
bool mapChanged = false;

}  // namespace

void StartRun() {
  if (!CreateMemoryBlocks()) std::abort();
  ClearKeptState();
  InitMemoryMap();
  CpuReset();
}

void RestartRun() {
  static std::unique_ptr<TPristine> pristine;
  if (pristine == nullptr) {
    StartRun();
    pristine = std::make_unique<TPristine>();
    return;
  }
  if (TlbWritten() || mapChanged) {
    mapChanged = false;
    std::memcpy(PageTable, pristine->pages.data(), sizeof PageTable);
    std::memcpy(ReadTable, pristine->reads.data(), sizeof ReadTable);
    std::memcpy(WriteTable, pristine->writes.data(), sizeof WriteTable);
  }
  for (const TSavedPage& saved : pristine->storage)
    std::memcpy(saved.storage, saved.bytes.data(), kPageSize);
  ClearKeptState();
  CpuReset();
}

void StartAccurateRun() {
  mapChanged = true;
  AccurateHardware = true;
  MachineClock.Reset();
  AccurateReset();
}

void EndAccurateRun() {
  AccurateHardware = false;
  // The next RestartRun maps the default machine's 4 MB again; the expansion's bytes, which it
  // does not keep, are cleared here.
  std::memset(RDRAM->Data + kRdramSize, 0, kRdramExpandedSize - kRdramSize);
}

}  // namespace vantor::fuzz
