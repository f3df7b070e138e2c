// Vector instructions per CPU-second of the signal processor's vector unit on a multiply-
// accumulate loop: a 4x4 fixed-point matrix (integer and fraction halves) times vertices, the
// double-precision VMUDL/VMADM/VMADN/VMADH chain with broadcast elements, as transform code runs
// it. Then the whole machine in the accurate mode on the rsp_bench ROM, where the main processor
// loads microcode running the same chain and restarts it at each BREAK: vector instructions per
// CPU-second of everything the machine does. The median of the rounds is reported for each.
//   build/release/vector_bench [rounds] [million instructions per round] [rsp_bench.z64]
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/Accurate.h"
#include "core/Cop1.h"
#include "core/Cpu.h"
#include "core/Scheduler.h"
#include "memory/AddressMap.h"
#include "memory/RomImage.h"
#include "rsp/VectorUnit.h"

namespace {

using namespace vantor::rsp;

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

constexpr uint32_t VectorOp(uint32_t funct, uint32_t vd, uint32_t vs, uint32_t vt, uint32_t e) {
  return 0x12u << 26 | 1u << 25 | e << 21 | vt << 16 | vs << 11 | vd << 6 | funct;
}

constexpr uint32_t VMUDL = 0x04, VMADL = 0x0C, VMADM = 0x0D, VMUDN = 0x06, VMADN = 0x0E,
                   VMADH = 0x0F, VSAR = 0x1D;

// Rows of the matrix in v0-v3 (integer) and v4-v7 (fraction); the vertex in v8 (integer) and v9
// (fraction); the result in v10 (integer) and v11 (fraction).
std::vector<uint32_t> TransformLoop() {
  std::vector<uint32_t> code;
  for (uint32_t column = 0; column < 4; ++column) {
    const uint32_t e = 8 + column;  // broadcast of the vertex's element
    const bool first = column == 0;
    code.push_back(VectorOp(first ? VMUDL : VMADL, 11, 4 + column, 9, e));
    code.push_back(VectorOp(VMADM, 11, column, 9, e));
    code.push_back(VectorOp(first ? VMUDN : VMADN, 11, 4 + column, 8, e));
    code.push_back(VectorOp(VMADH, 10, column, 8, e));
  }
  code.push_back(VectorOp(VSAR, 12, 0, 0, 9));
  code.push_back(VectorOp(VMADN, 11, 0, 0, 0));  // reads back the fraction with the clamp
  return code;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Result word i of our ROMs (RDRAM offset 0x100 + 4 * i).
uint32_t Result(uint32_t index) {
  uint32_t word;
  std::memcpy(&word, vantor::HostAddress(0x80000100 + 4 * index), 4);
  return word;
}

// The machine from reset in the accurate mode until the ROM's finished runs of its microcode
// have made `instructions` vector instructions; returns them per CPU-second, 0 when they never
// come.
double RunMachine(double instructions) {
  using namespace vantor;
  InitMemoryMap();
  std::memset(HostAddress(0x80000100), 0, 8);  // words a former round left
  AccurateHardware = true;
  CpuReset();
  MachineClock.Reset();
  AccurateReset();
  const double start = CpuSeconds();
  uint64_t steps = 0;
  while (static_cast<double>(Result(0)) * Result(1) < instructions) {
    for (int i = 0; i < 4096; ++i)
      CpuStep<true>();
    steps += 4096;
    if (steps > 40'000'000'000) return 0;
  }
  const double seconds = CpuSeconds() - start;
  return static_cast<double>(Result(0)) * Result(1) / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const double millions = argc > 2 ? std::max(1.0, std::atof(argv[2])) : 50.0;
  const std::string rom = argc > 3 ? argv[3] : VANTOR_RSP_BENCH_ROM;
  TVectorUnit unit{};
  std::mt19937 rng(64);
  for (TVector& v : unit.reg)
    for (uint16_t& x : v.e)
      x = static_cast<uint16_t>(rng());
  const std::vector<uint32_t> code = TransformLoop();
  const uint64_t passes = static_cast<uint64_t>(millions * 1e6) / code.size();
  std::vector<double> rates;
  for (int round = 0; round < rounds; ++round) {
    const double start = CpuSeconds();
    for (uint64_t pass = 0; pass < passes; ++pass)
      for (uint32_t word : code)
        ExecuteVectorOp(unit, word);
    const double seconds = CpuSeconds() - start;
    rates.push_back(static_cast<double>(passes * code.size()) / seconds / 1e6);
  }
  uint32_t check = 0;
  for (uint16_t x : unit.reg[10].e)
    check = check * 31 + x;
  std::printf(
      "multiply-accumulate loop: %.1f million vector instructions per CPU-second "
      "(median of %d, result check %08X)\n",
      Median(rates), rounds, check);

  if (!vantor::CreateMemoryBlocks() || !vantor::LoadRomImage(rom)) {
    std::fprintf(stderr, "vector_bench: cannot load %s\n", rom.c_str());
    return 1;
  }
  vantor::PrepareHostFloatingPoint();
  std::vector<double> machine;
  for (int round = 0; round < rounds; ++round) {
    const double rate = RunMachine(millions * 1e6);
    if (rate == 0) {
      std::fprintf(stderr, "vector_bench: the microcode of %s never finished\n", rom.c_str());
      return 1;
    }
    machine.push_back(rate / 1e6);
  }
  std::printf(
      "whole machine, accurate mode, %s: %.1f million vector instructions per CPU-second "
      "(median of %d, runs of %u)\n",
      rom.c_str(), Median(machine), rounds, Result(1));
  return 0;
}
