// Steps per CPU-second of the single-step path and of the block runner, in the default machine
// and in the accurate-hardware mode, on one ROM (the bench ROM by default), run side by side:
// each round runs both paths of both modes from reset for the same number of steps (in the
// accurate mode cycles, an idle loop's skipped ones too), and the median of the rounds is reported
// for each.
//   build/release/path_bench [rom.z64] [steps per run] [rounds] [default|accurate]
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/Accurate.h"
#include "core/AccurateClock.h"
#include "core/BlockCache.h"
#include "core/BlockRunner.h"
#include "core/Cop1.h"
#include "core/Cpu.h"
#include "core/Scheduler.h"
#include "memory/AddressMap.h"
#include "memory/RomImage.h"

namespace {

using namespace vantor;

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void ResetMachine(bool accurate) {
  AccurateHardware = accurate;
  InitMemoryMap();
  CpuReset();
  BlockCache.Clear();
  AccurateBlockCache.Clear();
  if (accurate) {
    MachineClock.Reset();
    AccurateReset();
  }
}

template <bool kAccurate>
void RunSteps(bool blocks, uint64_t steps) {
  uint64_t done = 0;
  while (done < steps) {
    bool frameDue = false;
    done += blocks ? RunFastSteps<kAccurate>(steps - done, frameDue) : (CpuStep<kAccurate>(), 1);
    if constexpr (kAccurate) done += TakeSkippedCycles();
  }
}

// One run from reset; returns steps per CPU-second and leaves the machine as the run ended.
double Run(bool accurate, bool blocks, uint64_t steps) {
  ResetMachine(accurate);
  const double start = CpuSeconds();
  if (accurate)
    RunSteps<true>(blocks, steps);
  else
    RunSteps<false>(blocks, steps);
  return static_cast<double>(steps) / (CpuSeconds() - start);
}

struct TFigures {
  std::vector<double> exact;
  std::vector<double> fast;
};

// One round of both paths of a mode; false when they ended with different registers.
bool Round(bool accurate, uint64_t steps, TFigures& figures) {
  figures.exact.push_back(Run(accurate, false, steps));
  uint64_t exactRegs[32];
  std::memcpy(exactRegs, Gpr, sizeof Gpr);
  figures.fast.push_back(Run(accurate, true, steps));
  return std::memcmp(exactRegs, Gpr, sizeof Gpr) == 0;
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
  const std::string only = argc > 4 ? argv[4] : "";
  if (steps == 0 || rounds < 1 || (only != "" && only != "default" && only != "accurate")) {
    std::fprintf(stderr,
                 "usage: path_bench [rom.z64] [steps per run] [rounds] [default|accurate]\n");
    return 2;
  }
  std::vector<bool> modes;
  if (only != "accurate") modes.push_back(false);
  if (only != "default") modes.push_back(true);
  if (!CreateMemoryBlocks() || !LoadRomImage(rom)) {
    std::fprintf(stderr, "path_bench: cannot load %s\n", rom.c_str());
    return 1;
  }
  PrepareHostFloatingPoint();
  TFigures figures[2];
  for (int round = 0; round < rounds; ++round)
    for (bool accurate : modes)
      if (!Round(accurate, steps, figures[accurate ? 1 : 0])) {
        std::fprintf(stderr, "path_bench: the two paths ended with different registers\n");
        return 1;
      }
  std::printf("%s, %llu steps per run, median of %d rounds, M steps per CPU-second\n", rom.c_str(),
              static_cast<unsigned long long>(steps), rounds);
  std::printf("%-10s %12s %12s %8s\n", "mode", "exact path", "block runner", "ratio");
  for (bool accurate : modes) {
    const TFigures& mode = figures[accurate ? 1 : 0];
    const double exactMedian = Median(mode.exact);
    const double fastMedian = Median(mode.fast);
    std::printf("%-10s %12.1f %12.1f %7.2fx\n", accurate ? "accurate" : "default",
                exactMedian / 1e6, fastMedian / 1e6, fastMedian / exactMedian);
  }
  return 0;
}
