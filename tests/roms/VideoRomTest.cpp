// The video interface's line timing in the accurate mode, as a program on the console measures
// it with COUNT: lines, the interrupt at VI_V_INTR once a field, the field bit of interlaced
// modes, and the NTSC and PAL rates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/Accurate.h"
#include "core/Engine.h"
#include "memory/AddressMap.h"
#include "memory/RomImage.h"
#include "tests/support/CaptureHost.h"
#include "tests/support/InstrEncoder.h"
#include "tests/support/Machine.h"
#include "tests/support/RomBytes.h"
#include "tests/support/TempDir.h"
#include "video/RendererHost.h"

namespace vantor {
namespace {

struct TStandard {
  const char* rom;
  double videoClockHz;
  double lineClocks;  // video clocks per line
  double fieldLines;  // lines per non-interlaced field
};

// COUNT runs at half the 93.75 MHz processor clock.
double Counts(double videoClocks, const TStandard& standard) {
  return videoClocks / standard.videoClockHz * 93'750'000 / 2;
}

class VideoRomTest : public test::MachineTest, public ::testing::WithParamInterface<TStandard> {};

TEST_P(VideoRomTest, LinesInterruptsAndFieldsKeepTheStandardsTiming) {
  const TStandard& standard = GetParam();
  UseAccurateHardware();
  RunRomFile(std::string(VANTOR_ROM_DIR) + "/" + standard.rom + ".z64", 14'000'000);
  ASSERT_EQ(Result(16), 0x600Du);

  // VI_V_CURRENT steps two half-lines a line, a line every line's time.
  const double lineCounts = Counts(standard.lineClocks, standard);
  for (int i = 1; i < 5; ++i) {
    EXPECT_EQ(Result(i), Result(i - 1) + 2) << i;
    EXPECT_NEAR(Result(4 + i), lineCounts, 2.0) << i;  // a 3-instruction poll
  }
  EXPECT_EQ(Result(0) % 2, 0u);

  // The interrupt comes on VI_V_INTR's line, once a field.
  EXPECT_EQ(Result(9), 0x010u);
  EXPECT_EQ(Result(10), 0x100u);
  EXPECT_EQ(Result(11), 0x200u);
  EXPECT_NEAR(Result(12), Counts(standard.lineClocks * standard.fieldLines, standard), 3.0);
  EXPECT_EQ(Result(13), 3u);

  // 525 half-lines a field: the fields alternate, and bit 0 tells which.
  const uint32_t first = std::min(Result(14), Result(15));
  const uint32_t second = std::max(Result(14), Result(15));
  EXPECT_EQ(first, 0x100u);
  EXPECT_EQ(second, 0x101u);
}

INSTANTIATE_TEST_SUITE_P(Standards, VideoRomTest,
                         ::testing::Values(TStandard{"video_lines", 48'681'812, 3094, 263},
                                           TStandard{"video_lines_pal", 49'656'530, 3178, 313}),
                         [](const auto& info) { return std::string(info.param.rom); });

// A program that waits in `j .` for an interrupt it never enabled still sees the fields go by at
// the standard's rate: each skip of the idle loop counts as the cycles it stood for, so a run of
// ten fields takes ten fields' steps and no frame comes of a skip alone.
TEST(VideoEngineTest, AnIdleLoopWithTheInterruptMaskedRunsTheFieldsAtTheirRate) {
  ASSERT_TRUE(CreateMemoryBlocks());
  test::TempDir dir;
  ASSERT_TRUE(LoadRomImage(
      dir.WriteFile("idle.z64", test::CodeRom({test::EncodeJ(2, 0xA4000040 >> 2), 0}))));
  test::CaptureHost host;
  TEngine engine;
  engine.SetAccurateHardware(true);
  engine.Start({.frames = 10});
  engine.WaitForEnd();
  const double fieldCycles = 263 * 3094 * 93'750'000.0 / 48'681'812;
  EXPECT_GT(static_cast<double>(engine.StepsExecuted()), 9.9 * fieldCycles);
  EXPECT_LT(static_cast<double>(engine.StepsExecuted()), 10.1 * fieldCycles);
  UnloadRomImage();
  AccurateHardware = false;
}

// The picture ROM's pixels, as its comment gives them, in the renderer's host words.
uint32_t Pixel16(uint32_t x, uint32_t y) {
  return ((x * 0x41 + y * 0x800) & 0xFFFF) | 1;
}
uint32_t Pixel32(uint32_t x, uint32_t y) {
  return x << 20 | y << 8 | 0xFF;
}
// 8-8-8-8 to 5-5-5-1: the top five bits of each colour, alpha's top bit.
uint32_t Narrowed(uint32_t rgba) {
  return (rgba >> 27) << 11 | (rgba >> 19 & 31) << 6 | (rgba >> 11 & 31) << 1 | (rgba >> 7 & 1);
}

// What a renderer was handed: every Init's size, and each frame as rows of pixels (one pixel a
// word, 16-bit ones in the low half) with its format and the size to show it at.
struct TShownFrame {
  int32_t format, width, height, showWidth, showHeight;
  std::vector<uint32_t> pixels;
};
std::vector<std::string> inits;
std::vector<int32_t> loadVersions;
std::vector<TShownFrame> shown;
int32_t initWidth = 0, initHeight = 0;

TRendererEntries PictureRecorder(bool version2) {
  static const TRendererInfo info = {"pictures", "tests", 2, 0};
  TRendererEntries entries;
  entries.LoadRenderer = [](int32_t version) {
    loadVersions.push_back(version);
    return &info;
  };
  entries.UnloadRenderer = [] {};
  entries.InitRenderer = [](int32_t width, int32_t height, TWindowHandle, TWindowHandle) {
    inits.push_back(std::to_string(width) + "x" + std::to_string(height));
    initWidth = width;
    initHeight = height;
    return int32_t{1};
  };
  entries.DeInitRenderer = [] {};
  entries.SetTargetRect = [](int32_t, int32_t, int32_t, int32_t) {};
  // A version 1 frame: packed 5-5-5-1 pixels, two a word, the first in the upper half.
  entries.Flip = [](const void* frame) {
    TShownFrame copy{kFrameRgba5551, initWidth, initHeight, initWidth, initHeight, {}};
    const auto* words = static_cast<const uint32_t*>(frame);
    for (size_t i = 0; i < size_t(initWidth) * size_t(initHeight); ++i)
      copy.pixels.push_back(i % 2 == 0 ? words[i / 2] >> 16 : words[i / 2] & 0xFFFF);
    shown.push_back(std::move(copy));
    return int32_t{0};
  };
  if (version2) {
    entries.FlipFrame = [](const TFrameDescription* frame) {
      TShownFrame copy{frame->Format,    frame->Width,      frame->Height,
                       frame->ShowWidth, frame->ShowHeight, {}};
      for (int32_t y = 0; y < frame->Height; ++y) {
        const auto* row = static_cast<const uint8_t*>(frame->Pixels) + y * frame->StrideBytes;
        for (int32_t x = 0; x < frame->Width; ++x) {
          uint32_t word;
          if (frame->Format == kFrameRgba8888) {
            std::memcpy(&word, row + 4 * x, 4);
          } else {
            std::memcpy(&word, row + 4 * (x / 2), 4);
            word = x % 2 == 0 ? word >> 16 : word & 0xFFFF;
          }
          copy.pixels.push_back(word);
        }
      }
      shown.push_back(std::move(copy));
      return int32_t{0};
    };
  }
  return entries;
}

// The picture ROM run for 14 fields: 16-bit 320x240 from 640-wide memory, then 32-bit 640x480
// interlaced. A version 2 renderer gets both as they are; a version 1 one gets both as packed
// 16-bit frames, the 32-bit one narrowed.
class VideoPictureTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateMemoryBlocks());
    inits.clear();
    loadVersions.clear();
    shown.clear();
    BindBuiltInRenderer(PictureRecorder(GetParam()));
    ASSERT_TRUE(LoadRomImage(std::string(VANTOR_ROM_DIR) + "/video_picture.z64"));
    engine.SetAccurateHardware(true);
    engine.Start({.frames = 14});
    engine.WaitForEnd();
  }
  void TearDown() override {
    ReleaseRenderer();
    UnloadRomImage();
    AccurateHardware = false;
  }
  test::CaptureHost host;
  TEngine engine;
};

TEST_P(VideoPictureTest, ShowsEachPictureAtItsSizeAndFormat) {
  const bool version2 = GetParam();
  // A plug-in without FlipFrame is asked for version 1 only.
  EXPECT_EQ(loadVersions, std::vector<int32_t>{version2 ? 2 : 1});
  EXPECT_EQ(inits, (std::vector<std::string>{"320x240", "640x480"}));
  ASSERT_GE(shown.size(), 6u);
  const TShownFrame& first = shown.front();
  const TShownFrame& last = shown.back();
  ASSERT_EQ(first.width, 320);
  ASSERT_EQ(first.height, 240);
  EXPECT_EQ(first.format, kFrameRgba5551);
  ASSERT_EQ(last.width, 640);
  ASSERT_EQ(last.height, 480);
  EXPECT_EQ(last.format, version2 ? kFrameRgba8888 : kFrameRgba5551);
  if (version2) {
    EXPECT_EQ(first.showWidth, 640);
    EXPECT_EQ(first.showHeight, 240);
    EXPECT_EQ(last.showWidth, 640);
    EXPECT_EQ(last.showHeight, 480);
  }
  size_t wrong = 0;
  for (uint32_t y = 0; y < 240; ++y)
    for (uint32_t x = 0; x < 320; ++x)
      wrong += first.pixels[y * 320 + x] != Pixel16(x, y);
  EXPECT_EQ(wrong, 0u);
  wrong = 0;
  for (uint32_t y = 0; y < 480; ++y)
    for (uint32_t x = 0; x < 640; ++x) {
      const uint32_t expected = version2 ? Pixel32(x, y) : Narrowed(Pixel32(x, y));
      wrong += last.pixels[y * 640 + x] != expected;
    }
  EXPECT_EQ(wrong, 0u);
  // The size changed once, between whole frames of either picture.
  const auto lines = host.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Resolution set to 640x480"), 1);
}

INSTANTIATE_TEST_SUITE_P(RendererVersions, VideoPictureTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Version2" : "Version1"; });

// In the default mode a program that uses hardware only the accurate mode emulates gets one
// console line and status text per run naming the first such use; the accurate mode says nothing.
TEST(AccurateOnlyNoticeTest, NamesTheFirstUseOncePerDefaultRun) {
  ASSERT_TRUE(CreateMemoryBlocks());
  struct TCase {
    const char* rom;
    bool accurate;
    const char* use;  // null: no notice
  };
  for (const TCase& c : {TCase{"video_picture", false, "a 32-bit picture"},
                         TCase{"rdp_lists", false, "the display processor's registers"},
                         TCase{"accurate_cpu", false, "the instruction LDL"},
                         TCase{"video_picture", true, nullptr}}) {
    SCOPED_TRACE(c.rom);
    ASSERT_TRUE(LoadRomImage(std::string(VANTOR_ROM_DIR) + "/" + c.rom + ".z64"));
    test::CaptureHost host;
    TEngine engine;
    engine.SetAccurateHardware(c.accurate);
    engine.Start({.frames = 14});
    engine.WaitForEnd();
    const auto lines = host.Lines();
    const auto notices = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
      return line.starts_with("This program uses ");
    });
    const auto statuses = host.StatusTexts();
    const auto needs = std::count_if(statuses.begin(), statuses.end(), [](const std::string& text) {
      return text.starts_with("Needs Accurate Hardware: ");
    });
    if (c.use == nullptr) {
      EXPECT_EQ(notices, 0);
      EXPECT_EQ(needs, 0);
    } else {
      EXPECT_EQ(notices, 1);
      EXPECT_EQ(needs, 1);
      const std::string line = std::string("This program uses ") + c.use +
                               ", hardware only \"Accurate Hardware\" emulates (Options > Accurate "
                               "Hardware)";
      EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end());
      EXPECT_NE(std::find(statuses.begin(), statuses.end(),
                          std::string("Needs Accurate Hardware: ") + c.use),
                statuses.end());
    }
    UnloadRomImage();
  }
  AccurateHardware = false;
}

}  // namespace
}  // namespace vantor
