#include "memory/PeripheralInterface.h"

#include <string>

#include "common/DebugLog.h"
#include "common/HexText.h"
#include "common/MachineState.h"
#include "memory/AddressMap.h"
#include "memory/Dma.h"

namespace vantor {

TMemoryHandler* PIRegisterPage = nullptr;

namespace {

// Register offsets. Every page of the range shares the one page of storage, so handlers use the
// offset alone. Offsets up to 0x1003 arrive from doubleword and byte accesses; PageWord and
// SetPageWord keep them inside the page.
enum : uint32_t {
  PI_DRAM_ADDR = 0,
  PI_CART_ADDR = 4,
  PI_RD_LEN = 8,
  PI_WR_LEN = 12,
  PI_STATUS = 16,
};

}  // namespace

void PIReset() {
  PIRegisterPage->Clear();
}

uint32_t PIRead(uint32_t, uint32_t offset) {
  if (offset % 4 != 0) {
    DbgAddLine("PI Unaligned read!");
    return 0;
  }
  return PageWord(PIRegisterPage->Data, offset);
}

void PIWrite(uint32_t, uint32_t offset, uint32_t value) {
  if (offset % 4 != 0) {
    DbgAddLine("PI Unaligned write!");
    return;
  }
  uint8_t* regs = PIRegisterPage->Data;
  SetPageWord(regs, offset, value);
  switch (offset) {
    case PI_DRAM_ADDR:
      DbgAddLine("PI RAM Set to " + Hex8(value));
      break;
    case PI_CART_ADDR:
      DbgAddLine("PI ROM Set to " + Hex8(value));
      break;
    case PI_RD_LEN:
      DbgAddLine("PI Read Length Set to " + Hex8(value));
      break;
    case PI_WR_LEN:
      // Cartridge to main memory, L + 1 bytes; the registers keep their values.
      DbgAddLine("PI Write Length Set to " + Hex8(value));
      BlockCopy("PI", PageWord(regs, PI_DRAM_ADDR) + kPhysicalView,
                PageWord(regs, PI_CART_ADDR) + kPhysicalView, uint64_t{value} + 1);
      break;
    case PI_STATUS:
      DbgAddLine("PI Status Reg Set to " + Hex8(value));
      SetPageWord(regs, offset, 0);
      if ((value & 0x02) != 0) *MI_INTR &= ~kMiIntrPI;
      break;
    default:
      break;
  }
}

}  // namespace vantor
