#include "memory/AccuratePeripherals.h"

#include <algorithm>
#include <string>

#include "common/DebugLog.h"
#include "common/HexText.h"
#include "common/MachineState.h"
#include "core/Scheduler.h"
#include "memory/AddressMap.h"
#include "memory/PeripheralInterface.h"
#include "memory/Pif.h"
#include "memory/PlainPages.h"
#include "memory/RomImage.h"
#include "memory/SerialInterface.h"

namespace vantor {

namespace {

enum : uint32_t {
  PI_DRAM_ADDR = 0x00,
  PI_CART_ADDR = 0x04,
  PI_RD_LEN = 0x08,
  PI_WR_LEN = 0x0C,
  PI_STATUS = 0x10,
  PI_DOM1_LAT = 0x14,  // then PWD, PGS, RLS; domain 2's four from 0x24
  PI_DOM2_LAT = 0x24,
  PI_LAST_REGISTER = 0x30,
};

enum : uint32_t {
  SI_DRAM_ADDR = 0x00,
  SI_PIF_AD_RD64B = 0x04,
  SI_PIF_AD_WR64B = 0x10,
  SI_STATUS = 0x18,
};

// The PI keeps bit 0 of both addresses at zero: the bus moves 16-bit words. RDRAM addresses have
// 24 bits.
constexpr uint32_t kPiDramMask = 0x00FFFFFE;
constexpr uint32_t kPiCartMask = 0xFFFFFFFE;
constexpr uint32_t kLengthMask = 0x00FFFFFF;
// What the length registers read back, whatever was written (no transfer is ever that short).
constexpr uint32_t kPiLengthReadback = 0x7F;
// PI_STATUS writes: reset the controller (ends a DMA, clears the error) and clear the interrupt.
constexpr uint32_t kPiResetController = 0x01;
constexpr uint32_t kPiClearInterrupt = 0x02;
// Widths of the four timing registers of a domain: latency, pulse width, page size, release.
constexpr uint32_t kTimingMasks[4] = {0xFF, 0xFF, 0x0F, 0x03};

// The SI moves 64-bit words on the RDRAM side: its DRAM address counts in whole ones.
constexpr uint32_t kSiDramMask = 0x00FFFFFF;
constexpr uint32_t kSiDramAlign = ~7u;
// The boot chip's side is addressed by bits 10-2 of the PIF address.
constexpr uint32_t kPifAddressMask = 0x7FC;
constexpr uint32_t kSiBlockBytes = 64;

constexpr uint32_t kCartridgeBus = 0x10000000;
// The standard cartridge's first header word: release 3, page size 7, pulse width 0x12, latency
// 0x40.
constexpr uint32_t kStandardTimings = 0x80371240;

uint32_t PiRegister(uint32_t offset) {
  return PageWord(PIRegisterPage->Data, offset);
}
void SetPiRegister(uint32_t offset, uint32_t value) {
  SetPageWord(PIRegisterPage->Data, offset, value);
}

// The domains by PI bus address: domain 2 at 0x05000000 (disk drive registers) and 0x08000000
// (cartridge SRAM and flash), domain 1 everywhere else (the cartridge ROM at 0x10000000).
uint32_t DomainTimingBase(uint32_t busAddress) {
  const bool domain2 = (busAddress >= 0x05000000 && busAddress < 0x06000000) ||
                       (busAddress >= 0x08000000 && busAddress < 0x10000000);
  return domain2 ? PI_DOM2_LAT : PI_DOM1_LAT;
}

// Copies emulated bytes between two storages in the host word layout (the byte at offset A lies
// at host offset A ^ 3). Words move whole when both offsets share their position in a word.
void CopyEmulatedBytes(uint8_t* target, uint32_t targetAt, const uint8_t* source, uint32_t sourceAt,
                       uint32_t bytes) {
  auto copyByte = [&] {
    target[targetAt++ ^ 3] = source[sourceAt++ ^ 3];
    --bytes;
  };
  if (((targetAt ^ sourceAt) & 3) != 0) {
    while (bytes != 0)
      copyByte();
    return;
  }
  while (bytes != 0 && (targetAt & 3) != 0)
    copyByte();
  const uint32_t words = bytes & ~3u;
  std::copy_n(source + sourceAt, words, target + targetAt);
  targetAt += words;
  sourceAt += words;
  bytes -= words;
  while (bytes != 0)
    copyByte();
}

// Bytes of RDRAM from `address` on, at most `wanted`.
uint32_t RdramRoom(uint32_t address, uint32_t wanted) {
  return address < RdramBytes ? std::min(wanted, RdramBytes - address) : 0;
}

// A cartridge-to-RDRAM transfer: the bytes the cartridge ROM holds from the bus address on. What
// no ROM answers for is left as it was, with a line.
void CartridgeToRdram(uint32_t dram, uint32_t cart, uint32_t bytes) {
  uint32_t copied = 0;
  if (cart >= kCartridgeBus && RomImage != nullptr && RomImage->Data != nullptr) {
    const uint32_t romAt = cart - kCartridgeBus;
    const uint32_t inRom = romAt < RomImage->Size ? RomImage->Size - romAt : 0;
    copied = std::min({bytes, inRom, RdramRoom(dram, bytes)});
    CopyEmulatedBytes(RDRAM->Data, dram, RomImage->Data, romAt, copied);
  }
  if (copied < bytes) DbgAddLine("PI DMA clipped to " + Hex8(copied) + " bytes!");
}

void StartPiDma(bool toRdram, uint32_t length) {
  if (MachineClock.Pending(TEventKind::PiDma)) {
    SetPiRegister(PI_STATUS, PiRegister(PI_STATUS) | kPiStatusError);
    return;
  }
  // The bus moves 16-bit words: an odd count ends with a whole one.
  const uint32_t bytes = ((length & kLengthMask) + 2) & ~1u;
  const uint32_t dram = PiRegister(PI_DRAM_ADDR);
  const uint32_t cart = PiRegister(PI_CART_ADDR);
  // The bytes move at once; the status and the interrupt follow the bus's time. Nothing on the
  // bus takes data from RDRAM: the cartridge is read-only.
  if (toRdram) CartridgeToRdram(dram, cart, bytes);
  // The address registers count on through the transfer.
  SetPiRegister(PI_DRAM_ADDR, (dram + bytes) & kPiDramMask);
  SetPiRegister(PI_CART_ADDR, (cart + bytes) & kPiCartMask);
  MachineClock.Schedule(TEventKind::PiDma, PiDmaCycles(cart, bytes));
}

uint32_t SiRegister(uint32_t offset) {
  return PageWord(SIRegisterPage->Data, offset);
}
void SetSiRegister(uint32_t offset, uint32_t value) {
  SetPageWord(SIRegisterPage->Data, offset, value);
}

void StartSiDma(bool toRdram, uint32_t pifAddress) {
  if (MachineClock.Pending(TEventKind::SiDma)) {
    SetSiRegister(SI_STATUS, SiRegister(SI_STATUS) | kSiStatusError);
    return;
  }
  const uint32_t dram = SiRegister(SI_DRAM_ADDR) & kSiDramAlign;
  const uint32_t pif = pifAddress & kPifAddressMask;
  const uint32_t bytes = std::min(RdramRoom(dram, kSiBlockBytes), kPageSize - pif);
  if (toRdram) {
    // The chip answers the block the program left before the block travels back.
    RunPifCommands(PIFPage->Data, SIPifState);
    CopyEmulatedBytes(RDRAM->Data, dram, PIFPage->Data, pif, bytes);
  } else {
    CopyEmulatedBytes(PIFPage->Data, pif, RDRAM->Data, dram, bytes);
  }
  MachineClock.Schedule(TEventKind::SiDma, kSiDmaCycles);
}

}  // namespace

uint64_t PiDmaCycles(uint32_t busAddress, uint32_t bytes) {
  const uint32_t base = DomainTimingBase(busAddress);
  const uint64_t latency = PiRegister(base) & kTimingMasks[0];
  const uint64_t pulse = PiRegister(base + 4) & kTimingMasks[1];
  const uint32_t pageShift = (PiRegister(base + 8) & kTimingMasks[2]) + 2;
  const uint64_t release = PiRegister(base + 12) & kTimingMasks[3];
  if (bytes == 0) return 1;
  const uint64_t first = busAddress >> pageShift;
  const uint64_t last = (uint64_t{busAddress} + bytes - 1) >> pageShift;
  const uint64_t busCycles =
      (last - first + 1) * (latency + 1) + uint64_t{(bytes + 1) / 2} * (pulse + 1 + release + 1);
  // The bus clock is two thirds of the processor's.
  return (busCycles * 3 + 1) / 2;
}

uint32_t AccuratePIRead(uint32_t, uint32_t offset) {
  switch (offset) {
    case PI_DRAM_ADDR:
    case PI_CART_ADDR:
      return PiRegister(offset);
    case PI_RD_LEN:
    case PI_WR_LEN:
      return kPiLengthReadback;
    case PI_STATUS: {
      uint32_t status = PiRegister(PI_STATUS) & kPiStatusError;
      if (MachineClock.Pending(TEventKind::PiDma)) status |= kPiStatusDmaBusy;
      if ((*MI_INTR & kMiIntrPI) != 0) status |= kPiStatusInterrupt;
      return status;
    }
    default:
      if (offset >= PI_DOM1_LAT && offset <= PI_LAST_REGISTER && offset % 4 == 0)
        return PiRegister(offset) & kTimingMasks[(offset - PI_DOM1_LAT) / 4 % 4];
      return 0;
  }
}

void AccuratePIWrite(uint32_t, uint32_t offset, uint32_t value) {
  switch (offset) {
    case PI_DRAM_ADDR:
      SetPiRegister(offset, value & kPiDramMask);
      break;
    case PI_CART_ADDR:
      SetPiRegister(offset, value & kPiCartMask);
      break;
    case PI_RD_LEN:
      StartPiDma(false, value);
      break;
    case PI_WR_LEN:
      StartPiDma(true, value);
      break;
    case PI_STATUS:
      if ((value & kPiResetController) != 0) {
        MachineClock.Cancel(TEventKind::PiDma);
        SetPiRegister(PI_STATUS, 0);
      }
      if ((value & kPiClearInterrupt) != 0) *MI_INTR &= ~kMiIntrPI;
      break;
    default:
      if (offset >= PI_DOM1_LAT && offset <= PI_LAST_REGISTER && offset % 4 == 0)
        SetPiRegister(offset, value & kTimingMasks[(offset - PI_DOM1_LAT) / 4 % 4]);
      break;
  }
}

uint32_t AccurateSIRead(uint32_t, uint32_t offset) {
  switch (offset) {
    case SI_DRAM_ADDR:
      return SiRegister(offset);
    case SI_STATUS: {
      uint32_t status = SiRegister(SI_STATUS) & kSiStatusError;
      if (MachineClock.Pending(TEventKind::SiDma)) status |= kSiStatusDmaBusy;
      if ((*MI_INTR & kMiIntrSI) != 0) status |= kSiStatusInterrupt;
      return status;
    }
    default:
      return 0;
  }
}

void AccurateSIWrite(uint32_t, uint32_t offset, uint32_t value) {
  switch (offset) {
    case SI_DRAM_ADDR:
      SetSiRegister(offset, value & kSiDramMask);
      break;
    case SI_PIF_AD_RD64B:
      StartSiDma(true, value);
      break;
    case SI_PIF_AD_WR64B:
      StartSiDma(false, value);
      break;
    case SI_STATUS:
      // Any write acknowledges the interrupt and clears the error.
      *MI_INTR &= ~kMiIntrSI;
      SetSiRegister(SI_STATUS, 0);
      break;
    default:
      break;
  }
}

void ResetAccuratePeripherals() {
  const uint32_t timings = RomLoaded && RomImage != nullptr && RomImage->Data != nullptr
                               ? PageWord(RomImage->Data, 0)
                               : kStandardTimings;
  SetPiRegister(PI_DOM1_LAT, timings & 0xFF);
  SetPiRegister(PI_DOM1_LAT + 4, (timings >> 8) & 0xFF);
  SetPiRegister(PI_DOM1_LAT + 8, (timings >> 16) & 0x0F);
  SetPiRegister(PI_DOM1_LAT + 12, (timings >> 20) & 0x03);
}

void PiDmaEnds() {
  *MI_INTR |= kMiIntrPI;
}

void SiDmaEnds() {
  *MI_INTR |= kMiIntrSI;
}

}  // namespace vantor
