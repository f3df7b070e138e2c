#include "memory/PeripheralInterface.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "common/DebugLog.h"
#include "common/HexText.h"
#include "core/CpuState.h"
#include "memory/AddressMap.h"

namespace vantor {

alignas(4096) uint8_t AIRegisterPage[4096];

namespace {

// Register offsets within each page. Handlers use the offset alone: every page of a range shares
// one 4 KB page of storage. Offsets up to 0x1003 arrive from doubleword and byte accesses;
// PageWord and SetPageWord keep them inside the page.
enum : uint32_t {
  PI_DRAM_ADDR = 0,
  PI_CART_ADDR = 4,
  PI_RD_LEN = 8,
  PI_WR_LEN = 12,
  PI_STATUS = 16,
};
enum : uint32_t {
  MI_VERSION = 4,
  MI_INTR_OFFSET = 8,
  MI_INTR_MASK = 12,
};
enum : uint32_t {
  SI_DRAM_ADDR = 0,
  SI_TO_PIF = 4,     // 64 bytes from main memory to the boot page
  SI_FROM_PIF = 16,  // 64 bytes from the boot page to main memory
  SI_STATUS = 24,
};
enum : uint32_t {
  AI_DRAM_ADDR = 0,
  AI_LEN = 4,
  AI_CONTROL = 8,
  AI_STATUS = 12,
  AI_DACRATE = 16,
  AI_BITRATE = 20,
};

constexpr uint32_t kMiVersion = 0x01234567;
constexpr uint32_t kSiBlockBytes = 64;
// Where the DMA engines see physical memory: the unmapped segment at 0x80000000.
constexpr uint32_t kPhysicalView = 0x80000000;

// A DMA: host bytes from the storage behind `source` to that behind `target`, moved as by
// memmove. A transfer that would run off either storage is cut where the first one ends.
// No storage runs for 4 GB, so asking for at most UINT32_MAX bytes still tells where it ends.
void BlockCopy(std::string_view unit, uint32_t target, uint32_t source, uint64_t length) {
  const auto wanted = static_cast<uint32_t>(std::min<uint64_t>(length, UINT32_MAX));
  const uint32_t bytes = std::min(ContiguousBytes(source, wanted), ContiguousBytes(target, wanted));
  if (bytes < length) DbgAddLine(std::string(unit) + " DMA clipped to " + Hex8(bytes) + " bytes!");
  std::memmove(HostAddress(target), HostAddress(source), bytes);
}

// Each pair of bits of the value clears (lower bit) or sets (upper bit) one of six mask bits;
// with both set, the bit ends set.
uint32_t UpdatedInterruptMask(uint32_t mask, uint32_t value) {
  for (uint32_t bit = 0; bit < 6; ++bit) {
    if ((value & (1u << (2 * bit))) != 0) mask &= ~(1u << bit);
    if ((value & (2u << (2 * bit))) != 0) mask |= 1u << bit;
  }
  return mask;
}

}  // namespace

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

uint32_t AIRead(uint32_t, uint32_t offset) {
  switch (offset) {
    case AI_DRAM_ADDR:
    case AI_STATUS:
      return PageWord(AIRegisterPage, offset);
    default:
      return 0;
  }
}

void AIWrite(uint32_t, uint32_t offset, uint32_t value) {
  switch (offset) {
    case AI_LEN:
    case AI_CONTROL:
    case AI_DACRATE:
      SetPageWord(AIRegisterPage, offset, value);
      break;
    case AI_STATUS:
      *MI_INTR &= ~kMiIntrAI;
      break;
    case AI_BITRATE:
      *MI_INTR |= kMiIntrAI;
      SetPageWord(AIRegisterPage, offset, value);
      break;
    default:
      break;
  }
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
    case SI_TO_PIF:
      *MI_INTR |= kMiIntrSI;
      BlockCopy("SI", value | kPhysicalView, dram, kSiBlockBytes);
      break;
    case SI_FROM_PIF:
      *MI_INTR |= kMiIntrSI;
      BlockCopy("SI", dram, value | kPhysicalView, kSiBlockBytes);
      break;
    case SI_STATUS:
      *MI_INTR &= ~kMiIntrSI;
      break;
    default:
      break;
  }
}

}  // namespace vantor
