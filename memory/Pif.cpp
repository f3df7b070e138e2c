#include "memory/Pif.h"

#include <algorithm>
#include <atomic>
#include <string>

#include "common/DebugLog.h"
#include "common/HexText.h"

namespace vantor {

namespace {

std::atomic<uint32_t> publishedPad{0};

// Bytes of a command block with a meaning of their own, in place of a transmit length.
constexpr uint8_t kSkipPort = 0x00;
constexpr uint8_t kEndOfBlock = 0xFE;
constexpr uint8_t kPadding = 0xFF;
// Flags of a transmit length that make the port be skipped or reset: both leave it unasked.
constexpr uint8_t kPortFlags = 0xC0;
constexpr uint8_t kLengthMask = 0x3F;

// Flags the chip sets on a receive length.
constexpr uint8_t kNoResponse = 0x80;  // nothing on the port answered
constexpr uint8_t kOverrun = 0x40;     // the answer was longer than the room left for it

// Four controller ports, then the cartridge's.
constexpr int kPorts = 5;

// The last byte of the RAM is the chip's control byte, never part of a command.
constexpr uint32_t kCommandBytes = kPifRamBytes - 1;

enum : uint8_t {
  kCmdStatus = 0x00,
  kCmdReadButtons = 0x01,
  kCmdReset = 0xFF,  // answers as status does
};

// A standard controller with nothing in its accessory slot.
constexpr std::array<uint8_t, 3> kStatusReply = {0x05, 0x00, 0x02};

// The peripheral RAM's bytes in emulated order over the boot page's host words.
class TPifRam {
 public:
  explicit TPifRam(uint8_t* bootPage) : ram_(bootPage + kPifRamOffset) {}
  uint8_t& operator[](uint32_t index) { return ram_[index ^ 3]; }

 private:
  uint8_t* ram_;
};

void ReportUnsupported(uint8_t command, TPifState& state) {
  uint8_t& bits = state.ReportedCommands[command >> 3];
  const uint8_t bit = static_cast<uint8_t>(1u << (command & 7));
  if ((bits & bit) != 0) return;
  bits |= bit;
  DbgAddLine("Controller command " + Hex(command, 2) + " not supported, flagged as unanswered");
}

// Answers one command on port 1: the reply goes to `reply`, as much as `room` bytes hold.
// Returns the flags for the receive length.
uint8_t AnswerController(TPifRam& ram, uint32_t commandAt, uint32_t replyAt, uint32_t room,
                         TPifState& state) {
  const uint8_t command = ram[commandAt];
  std::array<uint8_t, 4> reply{};
  uint32_t length = 0;
  switch (command) {
    case kCmdStatus:
    case kCmdReset:
      std::copy(kStatusReply.begin(), kStatusReply.end(), reply.begin());
      length = kStatusReply.size();
      break;
    case kCmdReadButtons:
      state.LastPad = PublishedPad();
      for (uint32_t i = 0; i < 4; ++i)
        reply[i] = static_cast<uint8_t>(state.LastPad >> (24 - 8 * i));
      length = 4;
      break;
    default:
      ReportUnsupported(command, state);
      return kNoResponse;
  }
  for (uint32_t i = 0; i < std::min(length, room); ++i)
    ram[replyAt + i] = reply[i];
  return length > room ? kOverrun : 0;
}

}  // namespace

void PublishPad(uint32_t word) {
  publishedPad.store(word, std::memory_order_relaxed);
}

uint32_t PublishedPad() {
  return publishedPad.load(std::memory_order_relaxed);
}

void RunPifCommands(uint8_t* bootPage, TPifState& state) {
  TPifRam ram(bootPage);
  uint32_t at = 0;
  for (int port = 0; port < kPorts && at < kCommandBytes;) {
    const uint8_t transmit = ram[at];
    if (transmit == kEndOfBlock) break;
    if (transmit == kPadding) {
      ++at;
      continue;
    }
    if (transmit == kSkipPort || (transmit & kPortFlags) != 0) {
      ++at;
      ++port;
      continue;
    }
    // Length bytes, command and room for the reply must all lie inside the block; a command
    // that runs past its end is left unanswered and ends the block.
    const uint32_t receiveAt = at + 1;
    const uint32_t commandAt = at + 2;
    const uint32_t replyAt = commandAt + (transmit & kLengthMask);
    if (receiveAt >= kCommandBytes) break;
    const uint8_t receive = ram[receiveAt] & kLengthMask;
    const uint32_t end = replyAt + receive;
    if (end > kCommandBytes) break;
    const uint8_t flags =
        port == 0 ? AnswerController(ram, commandAt, replyAt, receive, state) : kNoResponse;
    ram[receiveAt] = receive | flags;
    at = end;
    ++port;
  }
}

}  // namespace vantor
