// The benchmark ROM: it must run every step of every frame without faults, and its work must
// come out as the same computation done on the host.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "core/CpuState.h"
#include "tests/support/Machine.h"

namespace vantor {
namespace {

// Two frames and a half: the frame countdown expires twice while the ROM keeps working.
constexpr int kSteps = 2 * FramePeriod + FramePeriod / 2;

// One pass of roms/bench/bench.S, as the host computes it; returns the pass's checksum. CVT.W.D
// truncates on the default machine and rounds to nearest on the console.
uint32_t BenchPass(uint32_t& state, bool accurate) {
  std::array<uint32_t, 256> words;
  for (uint32_t& word : words) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    word = state;
  }
  uint32_t sum = 0;
  for (uint32_t word : words) {
    const auto byte1 = static_cast<uint32_t>(static_cast<int8_t>(word >> 16));
    sum = ((sum + word) ^ (word & 0xFFFF)) - byte1;
  }
  std::sort(words.begin(), words.begin() + 32);
  sum += words[0];
  for (uint32_t i = 0; i < 24; ++i) {
    uint32_t a = words[2 * i] >> 8, b = (words[2 * i + 1] >> 12) | 1;
    while (b != 0) {
      const uint32_t rest = a % b;
      a = b;
      b = rest;
    }
    sum += a * (24 - i);
  }
  for (uint32_t i = 0; i < 16; ++i) {
    const double x = (words[i] >> 16) + 1;
    double guess = x;
    for (int k = 0; k < 6; ++k)
      guess = (x / guess + guess) * 0.5;
    const double root = std::sqrt(x);
    if (guess - root < root)
      sum += static_cast<uint32_t>(static_cast<int64_t>(accurate ? std::nearbyint(root) : root));
    const float single = static_cast<float>(guess);
    sum -= static_cast<uint32_t>(static_cast<int64_t>(-(single * single)));
  }
  return sum;
}

class BenchRomTest : public test::MachineTest {};

TEST_F(BenchRomTest, RunsEveryStepWithoutFaults) {
  LoadRomFile(std::string(VANTOR_ROM_DIR) + "/bench.z64");
  EXPECT_EQ(Step(kSteps), 2);
  // The idle skip would have added the rest of a frame to COUNT.
  EXPECT_EQ(Cop0Regs[COUNT], static_cast<uint32_t>(kSteps));
  EXPECT_TRUE(host.Lines().empty()) << host.Lines().front();
}

// In both modes: the accurate one's FPU raises an exception on what the default one lets pass
// (an operand that is not a number), so its passes prove the work stays on ordinary numbers.
TEST_F(BenchRomTest, ItsWorkMatchesTheHostsComputation) {
  for (bool accurate : {false, true}) {
    SCOPED_TRACE(accurate ? "accurate mode" : "default mode");
    if (accurate) UseAccurateHardware();
    LoadRomFile(std::string(VANTOR_ROM_DIR) + "/bench.z64");
    Step(kSteps);
    const uint32_t passes = Result(0);
    ASSERT_GT(passes, 100u);
    uint32_t state = 0x2545F491, sum = 0;
    for (uint32_t pass = 0; pass < passes; ++pass)
      sum = BenchPass(state, accurate);
    EXPECT_EQ(Result(1), sum);
  }
}

}  // namespace
}  // namespace vantor
