// The controller protocol on the boot page's peripheral RAM, driven as a program drives it: a
// command block sent with one serial copy and read back with the other.
#include "memory/Pif.h"

#include <gtest/gtest.h>

#include <array>

#include "common/MachineState.h"
#include "memory/AddressMap.h"
#include "memory/SerialInterface.h"
#include "tests/support/Machine.h"

namespace vantor {
namespace {

using Lines = std::vector<std::string>;
using Block = std::array<uint8_t, 64>;

constexpr uint32_t kSI = 0xA4800000;
constexpr uint32_t kSent = 0x80003000;
constexpr uint32_t kAnswer = 0x80004000;
constexpr uint32_t kPifRam = 0x1FC007C0;

void WriteWord(uint32_t address, uint32_t value) {
  WriteTable[address >> 12](address >> 12, address & 0xFFF, value);
}

class PifTest : public test::MachineTest {
 protected:
  void TearDown() override {
    PublishPad(0);
    MachineTest::TearDown();
  }
  // Sends the block, reads it back and returns what came back.
  static Block Exchange(const Block& block) {
    for (uint32_t i = 0; i < 64; i += 4)
      Poke(kSent + i,
           uint32_t{block[i]} << 24 | block[i + 1] << 16 | block[i + 2] << 8 | block[i + 3]);
    WriteWord(kSI + 0, kSent & 0x1FFFFFFF);
    WriteWord(kSI + 16, kPifRam);
    WriteWord(kSI + 0, kAnswer & 0x1FFFFFFF);
    WriteWord(kSI + 4, kPifRam);
    Block answer;
    for (uint32_t i = 0; i < 64; i += 4) {
      const uint32_t word = Peek(kAnswer + i);
      for (uint32_t b = 0; b < 4; ++b)
        answer[i + b] = static_cast<uint8_t>(word >> (24 - 8 * b));
    }
    return answer;
  }
  // A block of these bytes, padded with 0xFF up to the control byte.
  static Block Commands(std::initializer_list<uint8_t> bytes) {
    Block block;
    block.fill(0xFF);
    std::copy(bytes.begin(), bytes.end(), block.begin());
    block[63] = 0x01;
    return block;
  }
};

TEST_F(PifTest, PortOneAnswersStatusAndButtonsAndTheOtherPortsAreAbsent) {
  const Block answer = Exchange(Commands({
      0xFF,                                      // padding before the first port
      0x01, 0x03, 0x00, 0xEE, 0xEE, 0xEE,        // port 1: status
      0x00,                                      // port 2 skipped
      0x01, 0x04, 0x01, 0xEE, 0xEE, 0xEE, 0xEE,  // port 3: read buttons, nobody there
      0x01, 0x04, 0x01, 0xEE, 0xEE, 0xEE, 0xEE,  // port 4
      0x01, 0x04, 0x01, 0xEE, 0xEE, 0xEE, 0xEE,  // the cartridge's port
      0x01, 0x04, 0x01, 0xEE, 0xEE, 0xEE, 0xEE,  // beyond the last port: not looked at
      0xFE,
  }));
  const Block expected = Commands({
      0xFF, 0x01, 0x03, 0x00, 0x05, 0x00, 0x02, 0x00,  // a controller, no accessory
      0x01, 0x84, 0x01, 0xEE, 0xEE, 0xEE, 0xEE,        // no response: flag on the length
      0x01, 0x84, 0x01, 0xEE, 0xEE, 0xEE, 0xEE,        //
      0x01, 0x84, 0x01, 0xEE, 0xEE, 0xEE, 0xEE,        //
      0x01, 0x04, 0x01, 0xEE, 0xEE, 0xEE, 0xEE, 0xFE,  //
  });
  EXPECT_EQ(answer, expected);

  // The read, as most programs send it; 0xFF asks for the status too.
  PublishPad(PadWord(kPadA | kPadStart | kPadDLeft | kPadL | kPadCRight, -80, 37));
  EXPECT_EQ(Exchange(Commands({0x01, 0x04, 0x01, 0, 0, 0, 0, 0xFE})),
            Commands({0x01, 0x04, 0x01, 0x92, 0x21, 0xB0, 0x25, 0xFE}));
  EXPECT_EQ(Exchange(Commands({0x01, 0x03, 0xFF, 0, 0, 0})),
            Commands({0x01, 0x03, 0xFF, 0x05, 0x00, 0x02}));
  EXPECT_EQ(SIPifState.LastPad, 0x9221B025u);
  EXPECT_TRUE(host.Lines().empty());
  EXPECT_EQ(*MI_INTR & 0x02u, 0x02u);
}

TEST_F(PifTest, UnsupportedCommandsGoUnansweredWithTheFlagAndOneLinePerKind) {
  const Block pakRead = Commands({0x03, 0x21, 0x02, 0x80, 0x01, 0xEE, 0xEE});
  Block expected = pakRead;
  expected[1] = 0xA1;
  EXPECT_EQ(Exchange(pakRead), expected);
  EXPECT_EQ(Exchange(pakRead), expected);
  EXPECT_EQ(Exchange(Commands({0x01, 0x01, 0x04, 0xEE})), Commands({0x01, 0x81, 0x04, 0xEE}));
  EXPECT_EQ(host.Lines(), (Lines{"Controller command 02 not supported, flagged as unanswered",
                                 "Controller command 04 not supported, flagged as unanswered"}));

  // A new run reports again.
  host.Clear();
  SIReset();
  Exchange(pakRead);
  EXPECT_EQ(host.Lines().size(), 1u);
}

TEST_F(PifTest, BlocksThatRunPastTheRamAreCutAndShortRoomIsFlagged) {
  Poke(0x9FC00800, 0x12345678);  // the boot page's bytes right after the RAM
  PublishPad(PadWord(kPadB, 1, 2));
  // A read whose reply would need bytes 63 to 66.
  Block late = Commands({});
  late[59] = 0x01;
  late[60] = 0x04;
  late[61] = 0x01;
  EXPECT_EQ(Exchange(late), late);
  // A transmit length of 63 reaches past the end at once.
  EXPECT_EQ(Exchange(Commands({0x3F, 0x04, 0x01})), Commands({0x3F, 0x04, 0x01}));
  // Room for two of the four bytes: they arrive, with the overrun flag.
  EXPECT_EQ(Exchange(Commands({0x01, 0x02, 0x01, 0xEE, 0xEE, 0xEE})),
            Commands({0x01, 0x42, 0x01, 0x40, 0x00, 0xEE}));
  EXPECT_EQ(Peek(0x9FC00800), 0x12345678u);
  EXPECT_TRUE(host.Lines().empty());
}

}  // namespace
}  // namespace vantor
