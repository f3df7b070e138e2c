// Encoders of signal-processor instructions for the tests, and a fixture that loads microcode
// into IMEM and runs it on the machine clock.
#pragma once

#include <cstdint>
#include <vector>

#include "core/Scheduler.h"
#include "memory/AddressMap.h"
#include "memory/SignalProcessor.h"
#include "rsp/Rsp.h"
#include "tests/support/Machine.h"

namespace vantor::test::rspcode {

inline uint32_t I(uint32_t op, uint32_t rs, uint32_t rt, int32_t imm) {
  return op << 26 | rs << 21 | rt << 16 | (static_cast<uint32_t>(imm) & 0xFFFF);
}
inline uint32_t R(uint32_t funct, uint32_t rs, uint32_t rt, uint32_t rd, uint32_t sa = 0) {
  return rs << 21 | rt << 16 | rd << 11 | sa << 6 | funct;
}
inline uint32_t Addiu(uint32_t rt, uint32_t rs, int32_t imm) {
  return I(0x09, rs, rt, imm);
}
inline uint32_t Ori(uint32_t rt, uint32_t rs, uint32_t imm) {
  return I(0x0D, rs, rt, static_cast<int32_t>(imm));
}
inline uint32_t Lui(uint32_t rt, uint32_t imm) {
  return I(0x0F, 0, rt, static_cast<int32_t>(imm));
}
inline uint32_t Beq(uint32_t rs, uint32_t rt, int32_t words) {
  return I(0x04, rs, rt, words);
}
inline uint32_t Bne(uint32_t rs, uint32_t rt, int32_t words) {
  return I(0x05, rs, rt, words);
}
inline uint32_t Break() {
  return 0x0000000D;
}
inline uint32_t Nop() {
  return 0;
}
inline uint32_t Mfc0(uint32_t rt, uint32_t rd) {
  return 0x10u << 26 | rt << 16 | rd << 11;
}
inline uint32_t Mtc0(uint32_t rt, uint32_t rd) {
  return 0x10u << 26 | 4u << 21 | rt << 16 | rd << 11;
}
inline uint32_t Cop2Move(uint32_t kind, uint32_t rt, uint32_t vs, uint32_t element) {
  return 0x12u << 26 | kind << 21 | rt << 16 | vs << 11 | element << 7;
}
// A vector load (LWC2) or store (SWC2): op 0 BV to 11 TV, the offset in units of the op's size.
inline uint32_t VectorAccess(bool store, uint32_t op, uint32_t vt, uint32_t element, int32_t offset,
                             uint32_t base) {
  return (store ? 0x3Au : 0x32u) << 26 | base << 21 | vt << 16 | op << 11 | element << 7 |
         (static_cast<uint32_t>(offset) & 0x7F);
}

// DMEM and IMEM bytes at offsets, in the console's order.
inline uint8_t DmemByte(uint32_t offset) {
  return DMEMPage->Data[(offset & 0xFFF) ^ 3];
}
inline void SetDmemByte(uint32_t offset, uint8_t value) {
  DMEMPage->Data[(offset & 0xFFF) ^ 3] = value;
}

class RspTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    UseAccurateHardware();
  }
  // Microcode from IMEM offset 0, SP_PC there.
  static void LoadMicrocode(const std::vector<uint32_t>& words) {
    for (uint32_t i = 0; i < words.size(); ++i)
      SetPageWord(IMEMPage->Data, 4 * i, words[i]);
    RspWritePc(0);
  }
  // Clears halt and broke, then runs the machine clock (without the main processor) until the
  // signal processor halts; false if it did not within `cycles`.
  static bool RunUntilHalt(uint64_t cycles = 1'000'000) {
    RspWriteRegister(kSpStatus, kSpClearHalt | kSpClearBroke);
    return RunClockUntilHalt(cycles);
  }
  static bool RunClockUntilHalt(uint64_t cycles) {
    const uint64_t end = MachineClock.Now() + cycles;
    while (MachineClock.Now() < end) {
      MachineClock.RunDue();
      if (RspHalted()) return true;
      const uint64_t next = MachineClock.NextEvent();
      MachineClock.Advance(next == kNever || next > end ? end - MachineClock.Now()
                                                        : next - MachineClock.Now());
    }
    MachineClock.RunDue();
    return RspHalted();
  }
  // Runs the clock until no DMA is under way.
  static void RunDmas() {
    while (MachineClock.Pending(TEventKind::SpDma)) {
      MachineClock.Advance(MachineClock.When(TEventKind::SpDma) - MachineClock.Now());
      MachineClock.RunDue();
    }
  }
};

}  // namespace vantor::test::rspcode
