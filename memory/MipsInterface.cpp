#include "memory/MipsInterface.h"

#include "common/MachineState.h"
#include "memory/AddressMap.h"

namespace vantor {

TMemoryHandler* MIRegisterPage = nullptr;

namespace {

// Register offsets. Every page of the range shares the one page of storage, so handlers use the
// offset alone; PageWord and SetPageWord keep offsets near the page end inside it.
enum : uint32_t {
  MI_VERSION = 4,
  MI_INTR_OFFSET = 8,
  MI_INTR_MASK = kMiIntrMaskOffset,
};

constexpr uint32_t kMiVersion = 0x01234567;

}  // namespace

uint32_t UpdatedInterruptMask(uint32_t mask, uint32_t value) {
  for (uint32_t bit = 0; bit < 6; ++bit) {
    if ((value & (1u << (2 * bit))) != 0) mask &= ~(1u << bit);
    if ((value & (2u << (2 * bit))) != 0) mask |= 1u << bit;
  }
  return mask;
}

void MIReset() {
  MIRegisterPage->Clear();
  MI_INTR = reinterpret_cast<uint32_t*>(MIRegisterPage->Data + MI_INTR_OFFSET);
}

uint32_t MIRead(uint32_t, uint32_t offset) {
  switch (offset) {
    case MI_VERSION:
      return kMiVersion;
    default:
      return PageWord(MIRegisterPage->Data, offset);
  }
}

void MIWrite(uint32_t, uint32_t offset, uint32_t value) {
  uint8_t* regs = MIRegisterPage->Data;
  switch (offset) {
    case MI_VERSION:
    case MI_INTR_OFFSET:
      break;
    case MI_INTR_MASK:
      SetPageWord(regs, offset, UpdatedInterruptMask(PageWord(regs, offset), value));
      break;
    default:
      SetPageWord(regs, offset, value);
      break;
  }
}

}  // namespace vantor
