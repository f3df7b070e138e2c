// Steps per CPU-second of the single-step path and of the block runner, on one ROM (the bench
// ROM by default), run side by side: each round runs both paths from reset for the same number
// of steps, and the median of the rounds is reported for each.
//   build/release/path_bench [rom.z64] [steps per run] [rounds]
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/BlockCache.h"
#include "core/BlockRunner.h"
#include "core/Cop1.h"
#include "core/Cpu.h"
#include "memory/AddressMap.h"
#include "memory/RomImage.h"

namespace {

using namespace vantor;

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void ResetMachine() {
  InitMemoryMap();
  CpuReset();
  BlockCache.Clear();
}

// One run from reset; returns steps per CPU-second and leaves the machine as the run ended.
double Run(bool blocks, uint64_t steps) {
  ResetMachine();
  const double start = CpuSeconds();
  if (blocks) {
    uint64_t left = steps;
    while (left > 0) {
      bool frameDue = false;
      left -= RunFastSteps(left, frameDue);
    }
  } else {
    for (uint64_t i = 0; i < steps; ++i)
      CpuStep();
  }
  return static_cast<double>(steps) / (CpuSeconds() - start);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const std::string rom = argc > 1 ? argv[1] : VANTOR_BENCH_ROM;
  const uint64_t steps = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 20'000'000;
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
  if (steps == 0 || rounds < 1) {
    std::fprintf(stderr, "usage: path_bench [rom.z64] [steps per run] [rounds]\n");
    return 2;
  }
  if (!CreateMemoryBlocks() || !LoadRomImage(rom)) {
    std::fprintf(stderr, "path_bench: cannot load %s\n", rom.c_str());
    return 1;
  }
  PrepareHostFloatingPoint();
  std::vector<double> exact;
  std::vector<double> fast;
  for (int round = 0; round < rounds; ++round) {
    exact.push_back(Run(false, steps));
    uint64_t exactRegs[32];
    std::memcpy(exactRegs, Gpr, sizeof Gpr);
    fast.push_back(Run(true, steps));
    if (std::memcmp(exactRegs, Gpr, sizeof Gpr) != 0) {
      std::fprintf(stderr, "path_bench: the two paths ended with different registers\n");
      return 1;
    }
  }
  const double exactMedian = Median(exact);
  const double fastMedian = Median(fast);
  std::printf("%s, %llu steps per run, median of %d rounds\n", rom.c_str(),
              static_cast<unsigned long long>(steps), rounds);
  std::printf("exact path:   %7.1f M steps per CPU-second\n", exactMedian / 1e6);
  std::printf("block runner: %7.1f M steps per CPU-second\n", fastMedian / 1e6);
  std::printf("ratio:        %7.2fx\n", fastMedian / exactMedian);
  return 0;
}
