// The SP registers' state beside the processors' (RspCore), as the register file and the
// save-state section share it.
#pragma once

#include <cstdint>

namespace vantor::rsp {

// One DMA as its length register was written: rows of `length` bytes, `skip` bytes apart in
// RDRAM.
struct TDma {
  uint32_t memAddr;   // bits 11-0 the offset, bit 12 IMEM
  uint32_t dramAddr;  // 24 bits
  uint32_t length;    // bytes per row, a multiple of 8
  uint32_t count;     // rows
  uint32_t skip;      // bytes between rows in RDRAM
  uint32_t toRdram;   // 1 for SP_WR_LEN
};

struct TSpState {
  uint32_t memAddr;
  uint32_t dramAddr;
  uint32_t rdLen;  // what the length registers read
  uint32_t wrLen;
  uint32_t status;  // the halt, broke, single-step, interrupt-on-break and signal bits
  uint32_t semaphore;
  // A DMA under way (an SpDma event is pending) and one waiting behind it (DMA_FULL).
  uint32_t busy;
  uint32_t full;
  TDma pending;
};
extern TSpState Sp;

// The clock's handlers, registered again by a restored state.
void InstallRspHandlers();
// Puts the next slice on the clock: a slice runs the cycles that passed since it was scheduled.
void ScheduleSlice();

}  // namespace vantor::rsp
