// The boot chip's side of the serial bus: the 64 bytes of peripheral RAM at the end of the
// boot page's first 2 KB, where a program leaves a command block for the controller ports, and
// the one standard controller plugged into port 1.
#pragma once

#include <array>
#include <cstdint>

namespace vantor {

// Offset of the peripheral RAM in the boot page, and its size.
inline constexpr uint32_t kPifRamOffset = 0x7C0;
inline constexpr uint32_t kPifRamBytes = 64;

// The controller word: the four bytes a "read buttons" reply carries, the first one highest.
// Two bytes of buttons, then the stick's X and Y as signed bytes (right and up positive).
enum : uint32_t {
  kPadA = 0x80000000,
  kPadB = 0x40000000,
  kPadZ = 0x20000000,
  kPadStart = 0x10000000,
  kPadDUp = 0x08000000,
  kPadDDown = 0x04000000,
  kPadDLeft = 0x02000000,
  kPadDRight = 0x01000000,
  kPadL = 0x00200000,
  kPadR = 0x00100000,
  kPadCUp = 0x00080000,
  kPadCDown = 0x00040000,
  kPadCLeft = 0x00020000,
  kPadCRight = 0x00010000,
};

constexpr uint32_t PadWord(uint32_t buttons, int8_t x, int8_t y) {
  return (buttons & 0xFFFF0000) | uint32_t{static_cast<uint8_t>(x)} << 8 | static_cast<uint8_t>(y);
}

// The controller as the user holds it now. The desktop program or an input script publishes it
// from any thread; the emulation thread reads it whenever the program reads the controller.
void PublishPad(uint32_t word);
uint32_t PublishedPad();

// What the controller protocol keeps during a run; plain data, cleared with the serial block.
struct TPifState {
  uint32_t LastPad;  // the word the last "read buttons" command answered with
  std::array<uint8_t, 32> ReportedCommands;  // one bit per command byte reported unsupported
};

// Runs the command block in the peripheral RAM of a boot page (host word layout): answers the
// commands for port 1, marks ports 2 to 4 and the cartridge's port absent, and flags commands
// the controller does not know, with one console line per kind and run.
void RunPifCommands(uint8_t* bootPage, TPifState& state);

}  // namespace vantor
