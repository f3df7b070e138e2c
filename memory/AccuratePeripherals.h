// The peripheral and serial interfaces as the console has them, for the accurate-hardware mode:
// DMA that takes time on the machine clock, status registers that stay busy until it ends, and
// the interrupt through MI_INTR when it does. The registers live in the blocks' own pages, and a
// DMA in flight is only its event on the clock, so save states carry both.
#pragma once

#include <cstdint>

namespace vantor {

// Register page handlers of the mode, which replace PIRead/PIWrite and SIRead/SIWrite.
uint32_t AccuratePIRead(uint32_t page, uint32_t offset);
void AccuratePIWrite(uint32_t page, uint32_t offset, uint32_t value);
uint32_t AccurateSIRead(uint32_t page, uint32_t offset);
void AccurateSIWrite(uint32_t page, uint32_t offset, uint32_t value);

// The start of an accurate run: the PI's domain 1 timing registers as the boot code leaves them,
// taken from the first word of the cartridge header (the standard timings without a cartridge).
void ResetAccuratePeripherals();

// The clock's handlers of the PiDma and SiDma events: the DMA has ended.
void PiDmaEnds();
void SiDmaEnds();

// Processor cycles a PI DMA of `bytes` to or from PI bus address `busAddress` takes with the
// timing registers of the address's domain: per page of the bus, the latency, then per 16-bit
// word the pulse width and the release, each in cycles of the 62.5 MHz bus clock, plus one.
uint64_t PiDmaCycles(uint32_t busAddress, uint32_t bytes);

// Processor cycles of an SI DMA: the 64 bytes cross the serial link to the boot chip bit by bit,
// one bit every 32 cycles of the 62.5 MHz bus clock (512 bits: 16,384 bus cycles, 0.26 ms).
inline constexpr uint64_t kSiDmaCycles = 64 * 8 * 32 * 3 / 2;

// PI_STATUS and SI_STATUS bits as a program reads them.
inline constexpr uint32_t kPiStatusDmaBusy = 0x01;
inline constexpr uint32_t kPiStatusIoBusy = 0x02;
inline constexpr uint32_t kPiStatusError = 0x04;
inline constexpr uint32_t kPiStatusInterrupt = 0x08;
inline constexpr uint32_t kSiStatusDmaBusy = 0x0001;
inline constexpr uint32_t kSiStatusError = 0x0008;
inline constexpr uint32_t kSiStatusInterrupt = 0x1000;

}  // namespace vantor
