#include "memory/AccurateSystem.h"

#include "common/MachineState.h"
#include "memory/AddressMap.h"
#include "memory/MipsInterface.h"
#include "memory/PlainPages.h"

namespace vantor {

namespace {

enum : uint32_t {
  MI_MODE = 0x00,
  MI_VERSION = 0x04,
  MI_INTR_OFFSET = 0x08,
  MI_INTR_MASK = 0x0C,
};

// MI_MODE writes: the init length, then clear/set pairs (clear first, so set wins when both are
// written), and the display processor's interrupt acknowledged.
constexpr uint32_t kClearInit = 0x0080;
constexpr uint32_t kSetInit = 0x0100;
constexpr uint32_t kClearEbus = 0x0200;
constexpr uint32_t kSetEbus = 0x0400;
constexpr uint32_t kClearDpInterrupt = 0x0800;
constexpr uint32_t kClearRdramRegisters = 0x1000;
constexpr uint32_t kSetRdramRegisters = 0x2000;
// The six interrupt lines of MI_INTR and its mask; the display processor's is the highest.
constexpr uint32_t kMiInterrupts = 0x3F;
constexpr uint32_t kMiIntrDP = 0x20;

// The RDRAM interface's registers and the widths of what they keep. RI_CURRENT_LOAD and
// RI_BANK_STATUS only take writes, RI_ERROR reports no error.
enum : uint32_t {
  RI_MODE = 0x00,
  RI_CONFIG = 0x04,
  RI_CURRENT_LOAD = 0x08,
  RI_SELECT = 0x0C,
  RI_REFRESH = 0x10,
  RI_LATENCY = 0x14,
  RI_ERROR = 0x18,
  RI_BANK_STATUS = 0x1C,
  kRiRegisterCount = 8,
};
constexpr uint32_t kRiMasks[kRiRegisterCount] = {0x0F, 0x7F, 0, 0xFF, 0x7FFFF, 0x0F, 0, 0};
// At power-on the RAC stops its receive and transmit clocks when idle.
constexpr uint32_t kRiModePowerOn = 0x0C;

// The RDRAM modules' registers: DeviceType, DeviceId, Delay, Mode, RefInterval, RefRow,
// RasInterval, MinInterval, AddressSelect and DeviceManufacturer, one word each, repeating every
// 1 KB of the range. Every module takes a write, so they read back as one.
constexpr uint32_t kRdramRegisterBytes = 0x28;
constexpr uint32_t kRdramRegisterRepeat = 0x3FF;
// The RI's registers are kept past the modules' in the RDRAM register page, whose storage save
// states carry; no address of the RDRAM register range reaches them through the handlers.
constexpr uint32_t kRiStorage = 0x800;

uint8_t* MiPage() {
  return MIRegisterPage->Data;
}

uint8_t* RdramRegisterPage() {
  return RDRAMRegisterPage->Data;
}

uint32_t RiIndex(uint32_t offset) {
  return offset < 4 * kRiRegisterCount && offset % 4 == 0 ? offset / 4 : kRiRegisterCount;
}

}  // namespace

uint32_t AccurateMIRead(uint32_t, uint32_t offset) {
  switch (offset) {
    case MI_MODE:
      return PageWord(MiPage(), MI_MODE) &
             (kMiModeInitLength | kMiModeInit | kMiModeEbus | kMiModeRdramRegisters);
    case MI_VERSION:
      return kConsoleMiVersion;
    case MI_INTR_OFFSET:
      return *MI_INTR & kMiInterrupts;
    case MI_INTR_MASK:
      return MiInterruptMask() & kMiInterrupts;
    default:
      return 0;
  }
}

void AccurateMIWrite(uint32_t, uint32_t offset, uint32_t value) {
  switch (offset) {
    case MI_MODE: {
      uint32_t mode =
          (PageWord(MiPage(), MI_MODE) & ~kMiModeInitLength) | (value & kMiModeInitLength);
      const auto pair = [&](uint32_t clear, uint32_t set, uint32_t bit) {
        if ((value & clear) != 0) mode &= ~bit;
        if ((value & set) != 0) mode |= bit;
      };
      pair(kClearInit, kSetInit, kMiModeInit);
      pair(kClearEbus, kSetEbus, kMiModeEbus);
      pair(kClearRdramRegisters, kSetRdramRegisters, kMiModeRdramRegisters);
      if ((value & kClearDpInterrupt) != 0) *MI_INTR &= ~kMiIntrDP;
      SetPageWord(MiPage(), MI_MODE, mode);
      break;
    }
    case MI_INTR_MASK:
      SetPageWord(MiPage(), MI_INTR_MASK, UpdatedInterruptMask(MiInterruptMask(), value));
      break;
    default:
      // MI_VERSION and MI_INTR are read-only.
      break;
  }
}

uint32_t AccurateRIRead(uint32_t, uint32_t offset) {
  const uint32_t index = RiIndex(offset);
  if (index == kRiRegisterCount) return 0;
  return PageWord(RdramRegisterPage(), kRiStorage + offset) & kRiMasks[index];
}

void AccurateRIWrite(uint32_t, uint32_t offset, uint32_t value) {
  const uint32_t index = RiIndex(offset);
  if (index == kRiRegisterCount || kRiMasks[index] == 0) return;
  SetPageWord(RdramRegisterPage(), kRiStorage + offset, value & kRiMasks[index]);
}

uint32_t AccurateRdramRegRead(uint32_t, uint32_t offset) {
  const uint32_t reg = offset & kRdramRegisterRepeat;
  return reg < kRdramRegisterBytes ? PageWord(RdramRegisterPage(), reg) : 0;
}

void AccurateRdramRegWrite(uint32_t, uint32_t offset, uint32_t value) {
  const uint32_t reg = offset & kRdramRegisterRepeat;
  if (reg < kRdramRegisterBytes) SetPageWord(RdramRegisterPage(), reg, value);
}

void ResetAccurateSystem() {
  for (uint32_t i = 0; i < kRiRegisterCount; ++i)
    SetPageWord(RdramRegisterPage(), kRiStorage + 4 * i, 0);
  SetPageWord(RdramRegisterPage(), kRiStorage + RI_MODE, kRiModePowerOn);
}

}  // namespace vantor
