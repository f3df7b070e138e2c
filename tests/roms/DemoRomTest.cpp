// The demo ROM as its users first see it: run by the emulation thread with a renderer that
// keeps a fingerprint of every frame it is handed.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/CpuState.h"
#include "core/Engine.h"
#include "memory/AddressMap.h"
#include "memory/Pif.h"
#include "memory/PlainPages.h"
#include "memory/RomImage.h"
#include "tests/support/CaptureHost.h"
#include "video/RendererHost.h"

namespace vantor {
namespace {

constexpr uint32_t kFrames = 120;

// Frames 60 and 120 of the first correct run, as FNV-1a over the frame's words. A deliberate
// change to the demo needs new values: look at its frames first (vantor64-cli --snapshot).
constexpr uint64_t kFrame60Hash = 8339198677459529130u;
constexpr uint64_t kFrame120Hash = 4929277731016259691u;

int32_t frameWidth = 0, frameHeight = 0;
std::vector<uint64_t> frameHashes;
bool everyPixelOpaque = true;

// Hashes the frame's 5-5-5-1 pixels, two to a host word, by the words' values.
uint64_t HashFrame(const uint32_t* words, size_t count) {
  uint64_t hash = 0xCBF29CE484222325;
  for (size_t i = 0; i < count; ++i) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      hash ^= (words[i] >> shift) & 0xFF;
      hash *= 0x100000001B3;
    }
  }
  return hash;
}

TRendererEntries FingerprintRenderer() {
  static const TRendererInfo info = {"fingerprints", "tests", 1, 0};
  TRendererEntries entries;
  entries.LoadRenderer = [](int32_t) { return &info; };
  entries.UnloadRenderer = [] {};
  entries.InitRenderer = [](int32_t width, int32_t height, TWindowHandle, TWindowHandle) {
    frameWidth = width;
    frameHeight = height;
    return int32_t{1};
  };
  entries.DeInitRenderer = [] {};
  entries.SetTargetRect = [](int32_t, int32_t, int32_t, int32_t) {};
  entries.Flip = [](const void* frame) {
    const auto* words = static_cast<const uint32_t*>(frame);
    const size_t count = size_t(frameWidth) * size_t(frameHeight) / 2;
    frameHashes.push_back(HashFrame(words, count));
    for (size_t i = 0; i < count; ++i)
      everyPixelOpaque = everyPixelOpaque && (words[i] & 0x00010001) == 0x00010001;
    return int32_t{0};
  };
  return entries;
}

class DemoRomTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateMemoryBlocks());
    BindBuiltInRenderer(FingerprintRenderer());
    frameHashes.clear();
    ASSERT_TRUE(LoadRomImage(std::string(VANTOR_ROM_DIR) + "/demo.z64"));
    host.Clear();
    engine.Start({.frames = kFrames});
    engine.WaitForEnd();
  }
  void TearDown() override {
    ReleaseRenderer();
    UnloadRomImage();
  }

  test::CaptureHost host;
  TEngine engine;
};

TEST_F(DemoRomTest, SetsItsResolutionAndReportsNoFaults) {
  const auto lines = host.Lines();
  ASSERT_EQ(lines.size(), 2u) << lines.back();
  EXPECT_EQ(lines[0], "Resolution set to 320x240");
  EXPECT_TRUE(lines[1].starts_with("Emulated 120 frames in ")) << lines[1];
  EXPECT_EQ(frameWidth, 320);
  EXPECT_EQ(frameHeight, 240);
}

TEST_F(DemoRomTest, DrawsEveryFrameInTimeAndIdlesTheRest) {
  // Set-up fits in the first frame, so every frame due is presented.
  ASSERT_EQ(frameHashes.size(), kFrames);
  // A frame still being drawn when the next fell due would show the same buffer twice.
  for (size_t i = 1; i < frameHashes.size(); ++i)
    EXPECT_NE(frameHashes[i], frameHashes[i - 1]) << "frame " << i + 1;
  EXPECT_TRUE(everyPixelOpaque);
  // Drawing takes well under half of each frame; the jump to itself skips the rest.
  EXPECT_LT(engine.StepsExecuted(), uint64_t{kFrames} * FramePeriod / 2);
  EXPECT_GT(Cop0Regs[COUNT], (kFrames - 1) * uint32_t{FramePeriod});
}

TEST_F(DemoRomTest, FramesMatchItsFirstCorrectRun) {
  ASSERT_EQ(frameHashes.size(), kFrames);
  EXPECT_EQ(frameHashes[59], kFrame60Hash);
  EXPECT_EQ(frameHashes[119], kFrame120Hash);
}

// A word the demo keeps in main memory, by its offset there.
uint32_t DemoState(uint32_t offset) {
  uint32_t word;
  std::memcpy(&word, RDRAM->Data + offset, 4);
  return word;
}

TEST_F(DemoRomTest, TheControllerMovesTheSnakeChangesColoursAndFreezesTheScroller) {
  const std::vector<uint64_t> resting = frameHashes;
  frameHashes.clear();
  host.Clear();
  // The stick right for frames 20 to 39, A tapped at 60, Start at 80.
  engine.SetFrameHook([](uint32_t frame) {
    uint32_t word = 0;
    if (frame >= 20 && frame < 40) word = PadWord(0, 80, 0);
    if (frame == 60) word = PadWord(kPadA, 0, 0);
    if (frame == 80) word = PadWord(kPadStart, 0, 0);
    PublishPad(word);
  });
  engine.Start({.frames = kFrames});
  engine.WaitForEnd();
  PublishPad(0);
  ASSERT_EQ(frameHashes.size(), kFrames);
  // A frame shows the controller as it was when the frame before it was presented.
  for (size_t i = 0; i < 20; ++i)
    EXPECT_EQ(frameHashes[i], resting[i]) << "frame " << i + 1;
  for (size_t i = 20; i < kFrames; ++i)
    EXPECT_NE(frameHashes[i], resting[i]) << "frame " << i + 1;
  // Twenty frames at full deflection, a sixteenth of it a frame: 100 pixels to the right.
  EXPECT_EQ(DemoState(0x21884), 100u);
  EXPECT_EQ(DemoState(0x21888), 0u);
  EXPECT_EQ(DemoState(0x2188C), 1u);   // the second colour scheme
  EXPECT_EQ(DemoState(0x21890), 1u);   // the scroller frozen
  EXPECT_EQ(DemoState(0x21894), 79u);  // at the frame Start was read
  EXPECT_EQ(host.Lines().size(), 2u) << host.Lines().back();
}

}  // namespace
}  // namespace vantor
