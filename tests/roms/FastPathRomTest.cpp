// Every ROM of the build, run from reset on the single-step path and on the block runner, in the
// default machine and in the accurate-hardware mode, leaves the same machine behind at every step
// limit: registers, memories, console lines, the steps at which frames fell due and, in the
// accurate mode, the machine clock with every pending event.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/Accurate.h"
#include "core/BlockCache.h"
#include "core/CpuState.h"
#include "tests/support/Machine.h"
#include "tests/support/PathCompare.h"

namespace vantor {
namespace {

using test::TMachineImage;

class FastPathRomTest : public test::MachineTest {
 protected:
  // Runs from reset on one path and hands the image at each limit to `check`.
  template <typename TCheck>
  void Run(const std::string& path, bool accurate, bool blocks, TCheck check) {
    persistent.Restore();
    if (accurate) UseAccurateHardware();
    LoadRomFile(path);
    BlockCache.Clear();
    AccurateBlockCache.Clear();
    std::vector<uint64_t> frames;
    uint64_t done = 0;
    for (size_t i = 0; i < std::size(kLimits); ++i) {
      const uint64_t steps = kLimits[i] > done ? kLimits[i] - done : 0;
      if (blocks)
        test::RunFastSteps(steps, done, frames);
      else
        test::RunExactSteps(steps, done, frames);
      check(i, test::CaptureMachine(host, frames));
    }
    AccurateHardware = false;
  }

  // Both paths of one mode from the same start.
  void Compare(const std::filesystem::path& rom, bool accurate) {
    SCOPED_TRACE(rom.filename().string() + (accurate ? " (accurate mode)" : ""));
    std::vector<TMachineImage> exact;
    Run(rom, accurate, false,
        [&](size_t, TMachineImage image) { exact.push_back(std::move(image)); });
    Run(rom, accurate, true, [&](size_t i, const TMachineImage& fast) {
      EXPECT_EQ(test::FirstDifference(exact[i], fast), "") << "after " << kLimits[i] << " steps";
    });
    // The run went through blocks, not single steps alone.
    EXPECT_GT((accurate ? AccurateBlockCache : BlockCache).Pages(), 0u);
  }

  // Step and frame limits: none, the first few, odd primes, either side of a frame, and
  // several frames.
  static constexpr uint64_t kLimits[] = {0,      1,      2,      3,      97,      7919,
                                         104729, 624999, 625000, 625001, 1250003, 1875001};
  void SetUp() override {
    MachineTest::SetUp();
    persistent.Save();
  }

  static std::vector<std::filesystem::path> Roms() {
    std::vector<std::filesystem::path> roms;
    for (const auto& entry : std::filesystem::directory_iterator(VANTOR_ROM_DIR))
      if (entry.path().extension() == ".z64") roms.push_back(entry.path());
    std::sort(roms.begin(), roms.end());
    EXPECT_GE(roms.size(), 10u);
    return roms;
  }

  test::TPersistentState persistent;
};

TEST_F(FastPathRomTest, EveryRomLeavesTheSameMachineOnBothPathsAtEveryLimit) {
  for (const auto& rom : Roms())
    Compare(rom, false);
}

TEST_F(FastPathRomTest, EveryRomLeavesTheSameMachineOnBothPathsInTheAccurateMode) {
  for (const auto& rom : Roms())
    Compare(rom, true);
}

// The stress ROM's comparison above proves something only if it reaches what it stresses.
TEST_F(FastPathRomTest, TheStressRomReachesWhatItStresses) {
  LoadRomFile(std::string(VANTOR_ROM_DIR) + "/block_stress.z64");
  uint64_t done = 0;
  std::vector<uint64_t> frames;
  test::RunFastSteps(1875000, done, frames);
  EXPECT_GT(Result(0), 1000u);      // timer interrupts
  EXPECT_EQ(Result(7), kCauseIP2);  // a byte store into MI_INTR raised IP2
  EXPECT_NE(Result(6), Result(2));  // the DMA'd loop ran instead of the first
  // Each round adds 1 and 2 from the page's old storage, which the fetch keeps until the next
  // transfer, then 64 from the storage TLBWI put under the page.
  EXPECT_GT(Result(8), 0u);
  EXPECT_EQ(Result(8) % 67, 0u);
}

}  // namespace
}  // namespace vantor
