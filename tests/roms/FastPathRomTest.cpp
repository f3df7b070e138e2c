// Every ROM of the build, run from reset on the single-step path and on the block runner, leaves
// the same machine behind at every step limit: registers, memories, console lines and the steps
// at which frames fell due.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/BlockCache.h"
#include "core/CpuState.h"
#include "tests/support/Machine.h"
#include "tests/support/PathCompare.h"

namespace vantor {
namespace {

using test::TMachineImage;

class FastPathRomTest : public test::MachineTest {
 protected:
  // Images at each limit, from reset, on one path.
  std::vector<TMachineImage> Run(const std::string& path, bool blocks) {
    persistent.Restore();
    LoadRomFile(path);
    BlockCache.Clear();
    std::vector<TMachineImage> images;
    std::vector<uint64_t> frames;
    uint64_t done = 0;
    for (uint64_t limit : kLimits) {
      if (blocks)
        test::RunFastSteps(limit - done, done, frames);
      else
        test::RunExactSteps(limit - done, done, frames);
      images.push_back(test::CaptureMachine(host, frames));
    }
    return images;
  }

  // Step and frame limits: none, the first few, odd primes, either side of a frame, and
  // several frames.
  static constexpr uint64_t kLimits[] = {0,      1,      2,      3,      97,      7919,
                                         104729, 624999, 625000, 625001, 1250003, 1875001};
  void SetUp() override {
    MachineTest::SetUp();
    persistent.Save();
  }

  test::TPersistentState persistent;
};

TEST_F(FastPathRomTest, EveryRomLeavesTheSameMachineOnBothPathsAtEveryLimit) {
  std::vector<std::filesystem::path> roms;
  for (const auto& entry : std::filesystem::directory_iterator(VANTOR_ROM_DIR))
    if (entry.path().extension() == ".z64") roms.push_back(entry.path());
  std::sort(roms.begin(), roms.end());
  ASSERT_GE(roms.size(), 10u);
  for (const auto& rom : roms) {
    SCOPED_TRACE(rom.filename().string());
    const std::vector<TMachineImage> exact = Run(rom, false);
    const std::vector<TMachineImage> fast = Run(rom, true);
    for (size_t i = 0; i < exact.size(); ++i)
      EXPECT_EQ(test::FirstDifference(exact[i], fast[i]), "") << "after " << kLimits[i] << " steps";
  }
}

}  // namespace
}  // namespace vantor
