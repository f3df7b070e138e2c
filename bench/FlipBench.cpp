// Time of Flip for a 640x480 frame stretched onto 1280x960, on the display named by DISPLAY
// (at least 1280x960), for a 16-bit frame through Flip and a 32-bit one through FlipFrame. Each
// timed Flip starts with the server idle, so none is dropped as busy.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

#include "pixels/XLaters.h"
#include "plugin/Prism.h"

namespace vantor::prism {
namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;

// Random pixels: two 5-5-5-1 ones a word, or one 8-8-8-8 one.
std::vector<uint32_t> Frame(bool rgba = false) {
  std::mt19937 random(1);
  std::vector<uint32_t> frame(rgba ? kWidth * kHeight : kWidth * kHeight / 2);
  for (uint32_t& word : frame)
    word = random();
  return frame;
}

// Reports the median of the timed sections as well as Google Benchmark's mean.
void ReportMedian(benchmark::State& state, std::vector<double>& seconds) {
  if (seconds.empty()) return;
  std::nth_element(seconds.begin(), seconds.begin() + seconds.size() / 2, seconds.end());
  state.counters["median_ms"] = seconds[seconds.size() / 2] * 1e3;
}

// includeServer: also wait for the server to carry out the upload and the scaled composite.
// rgba: a described 8-8-8-8 frame through FlipFrame instead of a 16-bit one through Flip.
void FlipOnto1280x960(benchmark::State& state, bool includeServer, bool rgba = false) {
  if (Load(kRendererInterfaceVersion) == nullptr || Init(kWidth, kHeight, 0, 0) != 1) {
    state.SkipWithError("no X display with RENDER to draw on");
    Unload();
    return;
  }
  SetTargetRect(0, 0, 2 * kWidth, 2 * kHeight);
  const std::vector<uint32_t> frame = Frame(rgba);
  const TFrameDescription described{kFrameRgba8888, kWidth, kHeight, kWidth * 4,
                                    frame.data(),   kWidth, kHeight};
  std::vector<double> seconds;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const int32_t result = rgba ? FlipFrame(&described) : Flip(frame.data());
    if (includeServer) WaitForServer();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (!includeServer) WaitForServer();
    if (result != 0) {
      state.SkipWithError("Flip dropped the frame");
      break;
    }
    state.SetIterationTime(took.count());
    seconds.push_back(took.count());
  }
  state.counters["shared_memory"] = UsesSharedMemory() ? 1 : 0;
  ReportMedian(state, seconds);
  Unload();
}

void BM_Flip(benchmark::State& state) {
  FlipOnto1280x960(state, false);
}
void BM_FlipUntilDrawn(benchmark::State& state) {
  FlipOnto1280x960(state, true);
}
void BM_FlipFrame32(benchmark::State& state) {
  FlipOnto1280x960(state, false, true);
}
void BM_FlipFrame32UntilDrawn(benchmark::State& state) {
  FlipOnto1280x960(state, true, true);
}
BENCHMARK(BM_Flip)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlipUntilDrawn)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlipFrame32)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlipFrame32UntilDrawn)->UseManualTime()->Unit(benchmark::kMillisecond);

// The conversion alone, into 32-bit pixels.
void BM_XLate32(benchmark::State& state) {
  const std::vector<uint32_t> frame = Frame();
  std::vector<uint32_t> image(size_t{kWidth} * kHeight);
  for (auto _ : state) {
    XLate32(frame.data(), image.data(), image.size() * 4);
    benchmark::DoNotOptimize(image.data());
  }
}
BENCHMARK(BM_XLate32)->Unit(benchmark::kMillisecond);

// The conversion alone of a 32-bit frame, into 32-bit pixels.
void BM_XLateRgba32(benchmark::State& state) {
  const std::vector<uint32_t> frame = Frame(true);
  std::vector<uint32_t> image(size_t{kWidth} * kHeight);
  for (auto _ : state) {
    XLater32Info.xlateRgba(frame.data(), image.data(), image.size());
    benchmark::DoNotOptimize(image.data());
  }
}
BENCHMARK(BM_XLateRgba32)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vantor::prism

BENCHMARK_MAIN();
