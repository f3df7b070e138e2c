// Programs that the accurate-hardware mode exists for, run in both modes: the default machine
// keeps its own results, the accurate one gives the console's.
#include <gtest/gtest.h>

#include "common/MachineState.h"
#include "core/Accurate.h"
#include "core/Cpu.h"
#include "tests/support/Machine.h"

namespace vantor {
namespace {

class AccurateRomTest : public test::MachineTest {
 protected:
  void Run(const std::string& name, int steps, bool accurate) {
    if (accurate) UseAccurateHardware();
    RunRomFile(std::string(VANTOR_ROM_DIR) + "/" + name + ".z64", steps);
  }
  // Result double word i, stored high word first.
  static uint64_t Double(int index) {
    return uint64_t{Result(2 * index)} << 32 | Result(2 * index + 1);
  }
};

// Bytes 0 to 7 of a double word, most significant first.
uint8_t ByteOf(uint64_t value, int i) {
  return static_cast<uint8_t>(value >> (8 * (7 - i)));
}
uint64_t FromBytes(const uint8_t (&bytes)[8]) {
  uint64_t value = 0;
  for (uint8_t byte : bytes)
    value = value << 8 | byte;
  return value;
}

// Two NTSC fields of the accurate machine: the first video interrupt, then a whole vertical-blank
// wait.
constexpr int kSystemSteps = 4'000'000;

TEST_F(AccurateRomTest, SystemRegistersAndVideoLineOnTheConsole) {
  Run("accurate_system", kSystemSteps, true);
  EXPECT_EQ(Result(0), 0x241000E0u);  // STATUS as the boot code leaves it
  EXPECT_EQ(Result(1), 0xFFFFFFFFu);  // EPC
  EXPECT_EQ(Result(2), 0xFFFFFFFFu);  // ErrorEPC
  EXPECT_EQ(Result(3), 0x00000B22u);  // PRevID
  EXPECT_EQ(Result(4), 0x7006E463u);  // Config
  EXPECT_EQ(Result(5), 0x00000300u);  // only IP0 and IP1 took the write
  EXPECT_EQ(Result(6), 0u);           // the video interrupt masked in MI: no IP2
  EXPECT_EQ(Result(7), 0x00000400u);  // unmasked: IP2
  EXPECT_EQ(Result(8), 1u);           // the software interrupt was taken once
  EXPECT_EQ(Result(9) & 0x0000FF7Cu, 0x00000100u);
  EXPECT_GE(Result(10), 0x200u);
  EXPECT_LT(Result(10), 525u);
  EXPECT_EQ(Result(11), 1u);  // the vertical-blank wait ended
  EXPECT_TRUE(host.Lines().empty());
}

TEST_F(AccurateRomTest, SystemRegistersAndVideoLineOfTheDefaultMachine) {
  Run("accurate_system", kSystemSteps, false);
  EXPECT_EQ(Result(0), 0x34000000u);
  EXPECT_EQ(Result(1), 0u);
  EXPECT_EQ(Result(2), 0u);
  EXPECT_EQ(Result(3), 0x00000B00u);
  EXPECT_EQ(Result(4), 0x0006E463u);
  EXPECT_EQ(Result(5), 0xFFFFFBFFu);  // every bit written; the step then cleared IP2
  EXPECT_EQ(Result(6), 0x00000400u);  // IP2 for any bit of MI_INTR
  EXPECT_EQ(Result(7), 0x00000400u);
  EXPECT_EQ(Result(8), 1u);
  EXPECT_EQ(Result(11), 0u);  // VI_V_CURRENT keeps what was written: the wait never ends
}

TEST_F(AccurateRomTest, SixtyFourBitMultiplyAndDivideOnTheConsole) {
  Run("accurate_cpu", 3000, true);
  const uint64_t hiLo[][2] = {
      {~0ull, static_cast<uint64_t>(-15)},  // -3 * 5
      {2, 0},                               // 2^63 * 4, unsigned
      {0, 0x80000000'00000000},             // -2^63 / -1
      {7, ~0ull},                           // 7 / 0
      {static_cast<uint64_t>(-7), 1},       // -7 / 0
      {~0ull, static_cast<uint64_t>(-3)},   // -7 / 2
      {0xF, 0x0FFFFFFF'FFFFFFFF},           // (2^64 - 1) / 16, unsigned
      {0, static_cast<uint64_t>(-2)},       // MULT 0x7FFFFFFF * 2: both halves sign-extended
  };
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(Double(2 * i), hiLo[i][0]) << "HI of case " << i;
    EXPECT_EQ(Double(2 * i + 1), hiLo[i][1]) << "LO of case " << i;
  }
  EXPECT_EQ(Double(16), 0x12345678'9ABCDEF0u);  // MTHI and MFHI move 64 bits
  EXPECT_TRUE(host.Lines().empty());
}

TEST_F(AccurateRomTest, UnalignedDoubleWordsAndLinkedStoresOnTheConsole) {
  Run("accurate_cpu", 3000, true);
  const uint64_t memory = 0x00112233'44556677;
  const uint64_t reg = 0xA5A5A5A5'A5A5A5A5;
  const uint64_t stored = 0x01020304'05060708;
  const uint64_t slot = 0xCCCCCCCC'CCCCCCCC;
  for (int k = 0; k < 8; ++k) {
    // LDL puts bytes k to 7 of the double word at the top of the register; LDR puts bytes 0 to
    // k of it at the bottom. SDL and SDR store the same bytes back.
    uint8_t left[8], right[8], storeLeft[8], storeRight[8];
    for (int i = 0; i < 8; ++i) {
      left[i] = i < 8 - k ? ByteOf(memory, k + i) : ByteOf(reg, i);
      right[i] = i >= 7 - k ? ByteOf(memory, i - (7 - k)) : ByteOf(reg, i);
      storeLeft[i] = i >= k ? ByteOf(stored, i - k) : ByteOf(slot, i);
      storeRight[i] = i <= k ? ByteOf(stored, 7 - k + i) : ByteOf(slot, i);
    }
    EXPECT_EQ(Double(32 + k), FromBytes(left)) << "LDL at byte " << k;
    EXPECT_EQ(Double(40 + k), FromBytes(right)) << "LDR at byte " << k;
    EXPECT_EQ(Double(48 + k), FromBytes(storeLeft)) << "SDL at byte " << k;
    EXPECT_EQ(Double(56 + k), FromBytes(storeRight)) << "SDR at byte " << k;
  }
  EXPECT_EQ(Result(128), 1u);  // SC right after LL stores
  EXPECT_EQ(Result(129), 0u);  // an ERET in between breaks the link
  EXPECT_EQ(Result(130), 1u);  // SCD after LLD
  EXPECT_EQ(Result(132), 6u);  // one increment arrived, not the second
  EXPECT_EQ(Double(67), 0x00000001'00000001u);
}

TEST_F(AccurateRomTest, SixtyFourBitOperationsOfTheDefaultMachine) {
  Run("accurate_cpu", 3000, false);
  EXPECT_EQ(Double(32), 0xA5A5A5A5'A5A5A5A5u);  // LDL reported, not executed
  EXPECT_EQ(Result(132), 5u);                   // SC reported: nothing stored
  int divByZero = 0, unimplemented = 0;
  for (const std::string& line : host.Lines()) {
    divByZero += line == "DIV BY 0!";
    unimplemented += line.starts_with("Unimplemented opcode at ");
  }
  EXPECT_EQ(divByZero, 2);
  EXPECT_EQ(unimplemented, 8 * 4 + 2 + 1 + 2 + 1);  // LDL, LDR, SDL, SDR; LL, LLD, SC, SCD
}

TEST_F(AccurateRomTest, FloatingPointOnTheConsole) {
  Run("accurate_fpu", 4000, true);
  // FR = 1: $f0 and $f1 are separate 64-bit registers; FR = 0: $f2 and $f3 form one pair.
  EXPECT_EQ(Double(0), 0x11111111'22222222u);
  EXPECT_EQ(Double(1), 0x33333333'44444444u);
  EXPECT_EQ(Result(4), 0x33333333u);  // $f3, the pair's high word
  EXPECT_EQ(Result(5), 0x44444444u);
  EXPECT_EQ(Double(3), 0x33333333'44444444u);  // SDC1 of the pair

  // Condition masks, C.F in bit 15 down to C.NGT in bit 0.
  EXPECT_EQ(Result(8), 0x5555u);       // unordered: the odd conditions
  EXPECT_EQ(Result(9), 0x00810040u);   // C.NGT held; it signalled invalid (cause and flag)
  EXPECT_EQ(Result(10), 0x3333u);      // 0 = -0
  EXPECT_EQ(Result(11), 0x0F0Fu);      // -infinity < infinity
  EXPECT_EQ(Result(12), 0u);           // 2 > 1: nothing holds
  EXPECT_EQ(Result(13), 0x00000040u);  // ordered compares clear the cause; the flag stays

  // CVT.W.S of 2.5, -2.5, 1.5 and -0.5 to nearest, toward zero, up and down.
  const int32_t converted[4][4] = {{2, -2, 2, 0}, {2, -2, 1, 0}, {3, -2, 2, 0}, {2, -3, 1, -1}};
  for (int mode = 0; mode < 4; ++mode)
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(static_cast<int32_t>(Result(16 + 4 * mode + i)), converted[mode][i])
          << "mode " << mode << " value " << i;
  // ROUND, TRUNC, CEIL and FLOOR of 2.5 and -2.5, whatever the mode.
  const int32_t rounded[8] = {2, -2, 2, -2, 3, -2, 2, -3};
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(static_cast<int32_t>(Result(32 + i)), rounded[i]) << i;
  EXPECT_EQ(Result(40), 0x00001004u);  // CVT.W.S of 2.5: inexact

  EXPECT_EQ(Double(21), 0x00000100'00000000u);  // ROUND.L.D of 2^40 + 0.5
  EXPECT_EQ(Double(22), static_cast<uint64_t>(-500000000000));
  EXPECT_EQ(Double(23), 0x42700000'00001000u);  // CVT.D.L of 2^40 + 1

  const uint32_t third[4] = {0x3EAAAAAB, 0x3EAAAAAA, 0x3EAAAAAB, 0x3EAAAAAA};
  for (int mode = 0; mode < 4; ++mode)
    EXPECT_EQ(Result(48 + mode), third[mode]) << "1 / 3 in mode " << mode;

  EXPECT_EQ(Result(52), 0x00008020u);  // division by zero
  EXPECT_EQ(Result(53), 0x00005034u);  // overflow and inexact; flags accumulate
  EXPECT_EQ(Result(54), 0x00010074u);  // invalid
  // Under FS an underflow is flushed, by the rounding mode, to 0 or the smallest normal number.
  EXPECT_EQ(Result(55), 0x0100300Cu);  // FS; underflow and inexact as cause and flags
  EXPECT_EQ(Result(57), 0u);           // to nearest: +0
  EXPECT_EQ(Result(58), 0x00800000u);  // up, positive: the smallest normal number
  EXPECT_EQ(Result(59), 0u);           // down, positive: +0
  EXPECT_EQ(Result(60), 0x80800000u);  // down, negative: minus the smallest normal number
  EXPECT_EQ(Result(56), 0x40A00000u);  // ABS.S of -5
  EXPECT_TRUE(host.Lines().empty());
}

TEST_F(AccurateRomTest, FloatingPointOfTheDefaultMachine) {
  Run("accurate_fpu", 4000, false);
  EXPECT_EQ(Double(0), 0u);            // SDC1 reported, not executed
  EXPECT_EQ(Result(4), 0u);            // so LDC1 finds nothing to load back
  EXPECT_EQ(Result(56), 0x12345678u);  // ABS reported: fd unchanged
  EXPECT_EQ(Result(40), 0u);           // no cause or flag bits
  EXPECT_EQ(Result(18), 1u);           // CVT.W truncates 1.5, whatever the mode
  int cop1Reports = 0;
  for (const std::string& line : host.Lines())
    cop1Reports += line.starts_with("Unimplemented COP 1 Ex opcode at ");
  EXPECT_EQ(cop1Reports, 4 * 12 + 6 + 1 + 1);  // compares; ROUND, CEIL, FLOOR; ROUND.L; ABS
}

// The console's interfaces, memory and timer, from one program: every word is what the
// documented hardware gives, the DMA times what the bus timings make of them.
TEST_F(AccurateRomTest, InterfacesMemoryAndTimerOnTheConsole) {
  Run("accurate_machine", 3'000'000, true);
  EXPECT_EQ(Result(0), 0x02020102u);  // MI_VERSION
  EXPECT_EQ(Result(1), 0u);           // MI_INTR takes no write
  EXPECT_EQ(Result(2), 0x3Fu);        // mask: every set bit
  EXPECT_EQ(Result(3), 0u);           // every clear bit
  EXPECT_EQ(Result(4), 1u);           // clear and set together: set
  EXPECT_EQ(Result(5), 0x3FFu);       // MI_MODE: length 0x7F, init, ebus, RDRAM register mode
  EXPECT_EQ(Result(6), 0x010u);
  EXPECT_EQ(Result(7), 0x080u);
  EXPECT_EQ(Result(8), 0x0BADF00Du);  // 8 MB: three words, none an alias of another
  EXPECT_EQ(Result(9), 0x12345678u);
  EXPECT_EQ(Result(10), 0x9ABCDEF0u);
  EXPECT_EQ(Result(11), 0x12345678u);
  EXPECT_EQ(Result(12), 0x0Cu);  // RI_MODE at power-on
  EXPECT_EQ(Result(13), 0x14u);
  EXPECT_EQ(Result(14), 0u);  // RI_CURRENT_LOAD only takes writes
  EXPECT_EQ(Result(15), 0u);
  EXPECT_EQ(Result(16), 0x12345678u);  // RDRAM registers repeat every 1 KB
  // The cartridge header's bus timings: latency 0x40, pulse 0x12, 512-byte pages, release 3.
  EXPECT_EQ(Result(17), 0x40u);
  EXPECT_EQ(Result(18), 0x12u);
  EXPECT_EQ(Result(19), 7u);
  EXPECT_EQ(Result(20), 3u);

  // 64 bytes on one bus page: 65 + 32 * 23 bus cycles, 1,202 processor cycles, 601 counts,
  // and the few instructions of the polling loop around them.
  EXPECT_EQ(Result(21), 1u);  // busy right after the start
  EXPECT_GE(Result(22), 601u);
  EXPECT_LE(Result(22), 601u + 8);
  EXPECT_GT(Result(23), 0u);     // it ended before the poll limit
  EXPECT_EQ(Result(24), 0x08u);  // not busy, the interrupt pending
  EXPECT_EQ(Result(25) & kMiIntrPI, kMiIntrPI);
  const uint32_t cart = Result(28);
  EXPECT_EQ(cart % 512, 0u);
  EXPECT_EQ(Result(26), 0x00200040u);  // both addresses counted on
  EXPECT_EQ(Result(27), cart + 64);
  EXPECT_EQ(Result(29), 0x7Fu);  // the length reads back as 0x7F
  EXPECT_EQ(Result(30), 0x00010203u);
  EXPECT_EQ(Result(31), 0x3C3D3E3Fu);
  EXPECT_EQ(Result(48) & kMiIntrPI, 0u);  // PI_STATUS bit 1 acknowledged it
  EXPECT_EQ(Result(49), 0x00200102u);     // bit 0 of the addresses stays clear
  EXPECT_EQ(Result(50), cart + 2);
  EXPECT_EQ(Result(51), 0xEEEE0203u);  // 5 bytes to 0x...102: a whole last halfword, 6 bytes
  EXPECT_EQ(Result(52), 0x04050607u);
  EXPECT_EQ(Result(53), 0xEEEEEEEEu);
  EXPECT_EQ(Result(54), 0x05u);  // busy, and the second start an error
  EXPECT_EQ(Result(55), 0u);     // the reset ended both
  EXPECT_EQ(Result(56) & kMiIntrPI, 0u);
  EXPECT_EQ(Result(57), 1u);  // the interrupt came once, through IP2
  EXPECT_EQ(Result(58) & 0xFF7Cu, 0x0400u);
  EXPECT_EQ(Result(59), 0x08u);
  EXPECT_GT(Result(60), 0u);

  // An SI copy: 512 bits at 32 bus cycles each, 24,576 processor cycles, 12,288 counts.
  EXPECT_EQ(Result(61), 1u);
  EXPECT_GE(Result(62), 12288u);
  EXPECT_LE(Result(62), 12288u + 8);
  EXPECT_EQ(Result(63), 0x1000u);
  EXPECT_EQ(Result(64) & kMiIntrSI, kMiIntrSI);
  EXPECT_EQ(Result(65) & kMiIntrSI, 0u);
  EXPECT_EQ(Result(66), 0x00201044u);
  EXPECT_EQ(Result(67), 0x01030005u);  // the status answer (05 00 02), at 0x...040
  EXPECT_EQ(Result(68), 0x0002FE00u);
  EXPECT_EQ(Result(69), 0x09u);
  EXPECT_EQ(Result(70), 0u);

  EXPECT_EQ(Result(71), 50u);  // COUNT over 100 cycles
  // 1,000 counts are 2,000 cycles: a third of that in six-instruction polls.
  EXPECT_GE(Result(72), 333u);
  EXPECT_LE(Result(72), 334u);
  EXPECT_TRUE(host.Lines().empty());
}

// The same program on the default machine: its own version word, 4 MB, and a PI that is never
// busy and leaves its registers as written.
TEST_F(AccurateRomTest, InterfacesAndMemoryOfTheDefaultMachine) {
  Run("accurate_machine", 200'000, false);
  EXPECT_EQ(Result(0), 0x01234567u);
  EXPECT_EQ(Result(5), 0x257Fu);  // MI_MODE keeps what was written
  EXPECT_EQ(Result(9), 0u);       // nothing at 4 MB
  EXPECT_EQ(Result(21), 0u);
  EXPECT_EQ(Result(26), 0x00200000u);
  EXPECT_EQ(Result(29), 0x3Fu);
}

}  // namespace
}  // namespace vantor
