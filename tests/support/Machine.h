// A fixture with the address map built and the processor reset, plus helpers to place code and
// data in emulated memory and to step the processor.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/support/CaptureHost.h"
#include "tests/support/TempDir.h"

namespace vantor::test {

class MachineTest : public ::testing::Test {
 protected:
  // Maps a ROM built from these bytes (none: no ROM image) and resets the processor.
  void SetUp() override;
  void TearDown() override;
  void LoadRom(const std::vector<uint8_t>& bigEndianBytes);
  // Switches the machine to the accurate-hardware mode, as a run started in it: the mode's reset
  // now, and at every later load; Step then runs the mode's step. SetUp returns to the default.
  static void UseAccurateHardware();
  // Loads a ROM file, builds the map and resets, as a run starts.
  void LoadRomFile(const std::string& path);
  // Result word i that our test ROMs leave at RDRAM offset 0x100 + 4 * i.
  static uint32_t Result(int index) { return Peek(0x80000100 + 4 * static_cast<uint32_t>(index)); }

  // Host-order access to the emulated word at an address, bypassing the handlers.
  static uint32_t Peek(uint32_t address);
  static void Poke(uint32_t address, uint32_t word);

  // Writes the words from address on and moves PC there.
  static void Program(uint32_t address, std::initializer_list<uint32_t> words);
  static void JumpTo(uint32_t address);
  // Runs n steps; returns how many of them reported a due frame.
  static int Step(int n = 1);
  // Runs one instruction word at 0x80001000 and returns the console lines it wrote.
  std::vector<std::string> RunWord(uint32_t word);
  // Loads a ROM file and runs it from reset for n steps.
  void RunRomFile(const std::string& path, int steps);

  // Builds the map and resets the processor in the current mode.
  static void Reset();

  CaptureHost host;
  TempDir dir;
};

}  // namespace vantor::test
