#include "memory/SerialInterface.h"

#include "common/MachineState.h"
#include "memory/AddressMap.h"
#include "memory/Dma.h"
#include "memory/PlainPages.h"

namespace vantor {

TMemoryHandler* SIRegisterPage = nullptr;
TPifState SIPifState{};

namespace {

enum : uint32_t {
  SI_DRAM_ADDR = 0,
  SI_PIF_ADDR_RD64B = 4,   // 64 bytes from the boot page to main memory
  SI_PIF_ADDR_WR64B = 16,  // 64 bytes from main memory to the boot page
  SI_STATUS = 24,
};

constexpr uint32_t kSiBlockBytes = 64;

}  // namespace

void SIReset() {
  SIRegisterPage->Clear();
  SIPifState = {};
}

uint32_t SIRead(uint32_t, uint32_t offset) {
  switch (offset) {
    case SI_DRAM_ADDR:
      return PageWord(SIRegisterPage->Data, offset);
    default:
      return 0;
  }
}

void SIWrite(uint32_t, uint32_t offset, uint32_t value) {
  uint8_t* regs = SIRegisterPage->Data;
  const uint32_t dram = PageWord(regs, SI_DRAM_ADDR) | kPhysicalView;
  switch (offset) {
    case SI_DRAM_ADDR:
      SetPageWord(regs, offset, value);
      break;
    case SI_PIF_ADDR_RD64B:
      *MI_INTR |= kMiIntrSI;
      // The chip answers the block the program left before the program reads it back.
      RunPifCommands(PIFPage->Data, SIPifState);
      BlockCopy("SI", dram, value | kPhysicalView, kSiBlockBytes);
      break;
    case SI_PIF_ADDR_WR64B:
      *MI_INTR |= kMiIntrSI;
      BlockCopy("SI", value | kPhysicalView, dram, kSiBlockBytes);
      break;
    case SI_STATUS:
      *MI_INTR &= ~kMiIntrSI;
      break;
    default:
      break;
  }
}

}  // namespace vantor
