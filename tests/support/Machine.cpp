#include "tests/support/Machine.h"

#include <cstring>

#include "core/Cpu.h"
#include "core/Scheduler.h"
#include "memory/AddressMap.h"
#include "memory/RomImage.h"

namespace vantor::test {

void MachineTest::SetUp() {
  AccurateHardware = false;
  ASSERT_TRUE(CreateMemoryBlocks());
  UnloadRomImage();
  InitMemoryMap();
  CpuReset();
}

void MachineTest::TearDown() {
  UnloadRomImage();
  AccurateHardware = false;
}

void MachineTest::UseAccurateHardware() {
  AccurateHardware = true;
  MachineClock.Reset();
  AccurateReset();
}

void MachineTest::Reset() {
  InitMemoryMap();
  CpuReset();
  if (AccurateHardware) {
    MachineClock.Reset();
    AccurateReset();
  }
}

void MachineTest::LoadRom(const std::vector<uint8_t>& bigEndianBytes) {
  ASSERT_TRUE(LoadRomImage(dir.WriteFile("test.z64", bigEndianBytes)));
  Reset();
  host.Clear();
}

void MachineTest::LoadRomFile(const std::string& path) {
  ASSERT_TRUE(LoadRomImage(path)) << path;
  Reset();
  host.Clear();
}

uint32_t MachineTest::Peek(uint32_t address) {
  uint32_t word;
  std::memcpy(&word, HostAddress(address), 4);
  return word;
}

void MachineTest::Poke(uint32_t address, uint32_t word) {
  std::memcpy(HostAddress(address), &word, 4);
}

void MachineTest::Program(uint32_t address, std::initializer_list<uint32_t> words) {
  uint32_t at = address;
  for (uint32_t word : words) {
    Poke(at, word);
    at += 4;
  }
  JumpTo(address);
}

void MachineTest::JumpTo(uint32_t address) {
  PC.Lo = address;
  SetInstrPtr(address);
  BranchState = kBranchNone;
}

int MachineTest::Step(int n) {
  int frames = 0;
  for (int i = 0; i < n; ++i)
    frames += (AccurateHardware ? CpuStep<true>() : CpuStep<false>()) ? 1 : 0;
  return frames;
}

}  // namespace vantor::test

namespace vantor::test {

std::vector<std::string> MachineTest::RunWord(uint32_t word) {
  Program(0x80001000, {word});
  host.Clear();
  Step();
  return host.Lines();
}

void MachineTest::RunRomFile(const std::string& path, int steps) {
  LoadRomFile(path);
  Step(steps);
}

}  // namespace vantor::test
