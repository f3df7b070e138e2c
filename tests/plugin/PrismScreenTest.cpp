// What reaches the screen: frames converted to the server's format, stretched onto the target
// rectangle, and drawn only where the clip window shows.
#include <gtest/gtest.h>

// After GoogleTest, whose names Xlib's macros would clash with.
#include <X11/Xlib.h>

#include <random>

#include "plugin/Prism.h"
#include "tests/plugin/PrismFixture.h"

namespace vantor::prism {
namespace {

using test::TDrawing;
using test::TRect;

class PrismScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!screen_.Open()) GTEST_SKIP() << "no X display";
    if (!screen_.HasRender() || !screen_.Convertible()) GTEST_SKIP() << "covered elsewhere";
  }
  void TearDown() override { Unload(); }

  // Shows one frame and returns the screen afterwards; Unload closes the plug-in's connection,
  // which waits until the server has drawn everything.
  std::vector<uint32_t> ShowFrame(const TDrawing& drawing, TWindowHandle clipWindow,
                                  const TRect& area) {
    EXPECT_NE(Load(1), nullptr);
    EXPECT_EQ(Init(drawing.frameWidth, drawing.frameHeight, 0, clipWindow), 1);
    const TRect& target = drawing.target;
    SetTargetRect(target.x, target.y, target.width, target.height);
    EXPECT_EQ(Flip(drawing.frame.data()), 0);
    Unload();
    return screen_.Read(area);
  }

  test::TestScreen screen_;
  test::MessageCapture messages_;
};

TEST_F(PrismScreenTest, StretchesOntoTheTargetInsideTheClipWindow) {
  const TRect window{40, 30, 320, 240};
  const test::TXWindow clip = screen_.MakeWindow(window, 0x1234);
  const TRect area{20, 10, 360, 280};
  const std::vector<uint32_t> frame = test::RandomFrame(64 * 48, 11);
  for (const TRect& target : {TRect{100, 100, 64, 48}, TRect{60, 50, 128, 96},
                              TRect{70, 60, 192, 96}, TRect{41, 31, 256, 192}}) {
    SCOPED_TRACE(testing::Message() << "target " << target.x << "," << target.y << " "
                                    << target.width << "x" << target.height);
    const TDrawing drawing{frame, 64, 48, target, window, {}};
    const std::vector<uint32_t> before = screen_.Read(area);
    const std::vector<uint32_t> after = ShowFrame(drawing, clip, area);
    EXPECT_EQ(test::CompareScreen(screen_, area, before, after, drawing), "");
  }
  EXPECT_EQ(messages_.Take(), std::vector<std::string>{});
}

// A target that runs over the window's edges and a window lying on top: the frame shows only in
// the visible part of the clip window.
TEST_F(PrismScreenTest, DrawsNothingOutsideTheVisibleWindow) {
  const TRect window{100, 80, 200, 150};
  const test::TXWindow clip = screen_.MakeWindow(window, 0);
  const TRect above{120, 90, 60, 40};
  screen_.MakeWindow(above, 0xFF);
  const TRect area{80, 60, 360, 260};
  const std::vector<uint32_t> frame = test::RandomFrame(64 * 48, 12);
  const TDrawing drawing{frame, 64, 48, {110, 85, 256, 192}, window, {above}};
  const std::vector<uint32_t> before = screen_.Read(area);
  const std::vector<uint32_t> after = ShowFrame(drawing, clip, area);
  EXPECT_EQ(test::CompareScreen(screen_, area, before, after, drawing), "");
}

// Frames go into the host's window only: never onto the desktop, neither before a window is
// given nor after the window is gone, whatever the target says.
TEST_F(PrismScreenTest, NothingIsDrawnWithoutTheClipWindow) {
  screen_.MakeWindow({50, 50, 100, 100}, 0);
  const TRect area{0, 0, 300, 250};
  const std::vector<uint32_t> frame = test::RandomFrame(64 * 48, 13);
  const std::vector<uint32_t> before = screen_.Read(area);
  ASSERT_NE(Load(1), nullptr);
  ASSERT_EQ(Init(64, 48, 0, 0), 1);
  SetTargetRect(30, 40, 128, 96);
  EXPECT_EQ(Flip(frame.data()), kFlipNoTarget);
  WaitForServer();
  EXPECT_EQ(screen_.Read(area), before);

  const TRect window{20, 30, 200, 150};
  const test::TXWindow clip = screen_.MakeWindow(window, 0);
  ASSERT_EQ(Init(64, 48, 0, clip), 1);
  ASSERT_EQ(Flip(frame.data()), 0);
  WaitForServer();
  screen_.DestroyWindow(clip);
  const std::vector<uint32_t> afterWindow = screen_.Read(area);
  for (int round = 0; round < 3; ++round) {
    const int32_t result = Flip(frame.data());
    EXPECT_TRUE(result == kFlipNoTarget || result == kFlipBusy) << result;
    WaitForServer();
  }
  EXPECT_EQ(screen_.Read(area), afterWindow);
  EXPECT_EQ(messages_.Take(), std::vector<std::string>{});
}

// An odd width pads 16-bit image rows, so the frame is converted row by row.
TEST_F(PrismScreenTest, OddWidthsKeepTheirRows) {
  const TRect window{10, 10, 200, 100};
  const test::TXWindow clip = screen_.MakeWindow(window, 0);
  const std::vector<uint32_t> frame = test::RandomFrame(33 * 21, 14);
  for (const TRect& target : {TRect{20, 20, 33, 21}, TRect{60, 20, 99, 63}}) {
    const TDrawing drawing{frame, 33, 21, target, window, {}};
    const std::vector<uint32_t> before = screen_.Read(window);
    const std::vector<uint32_t> after = ShowFrame(drawing, clip, window);
    EXPECT_EQ(test::CompareScreen(screen_, window, before, after, drawing), "");
  }
}

// The window moves while the target's screen rectangle stays the same, as when the host
// publishes the drawing area's new place before the window gets there: the next frame follows
// the window.
TEST_F(PrismScreenTest, FollowsAWindowThatMovesUnderTheSameTarget) {
  const test::TXWindow clip = screen_.MakeWindow({40, 30, 200, 150}, 0);
  const std::vector<uint32_t> frame = test::RandomFrame(64 * 48, 17);
  const TRect target{140, 80, 128, 96};
  ASSERT_NE(Load(1), nullptr);
  ASSERT_EQ(Init(64, 48, 0, clip), 1);
  SetTargetRect(target.x, target.y, target.width, target.height);
  ASSERT_EQ(Flip(frame.data()), 0);
  WaitForServer();

  const TRect moved{100, 60, 200, 150};
  screen_.MoveWindow(clip, moved.x, moved.y);
  const TRect area{80, 40, 240, 190};
  const std::vector<uint32_t> before = screen_.Read(area);
  ASSERT_EQ(Flip(frame.data()), 0);
  WaitForServer();
  const TDrawing drawing{frame, 64, 48, target, moved, {}};
  EXPECT_EQ(test::CompareScreen(screen_, area, before, screen_.Read(area), drawing), "");
}

// While the server has not taken the previous frame out of shared memory, a Flip drops its frame
// and leaves the screen alone; the next Flip after the server caught up shows its frame.
TEST_F(PrismScreenTest, BusyDisplayDropsTheFrame) {
  const TRect window{0, 0, 128, 96};
  const test::TXWindow clip = screen_.MakeWindow(window, 0);
  const std::vector<uint32_t> first = test::RandomFrame(64 * 48, 15);
  const std::vector<uint32_t> second = test::RandomFrame(64 * 48, 16);
  ASSERT_NE(Load(1), nullptr);
  ASSERT_EQ(Init(64, 48, 0, clip), 1);
  if (!UsesSharedMemory()) GTEST_SKIP() << "plain images are never busy";
  SetTargetRect(0, 0, 128, 96);
  ASSERT_EQ(Flip(first.data()), 0);  // places the target, which needs the server's answer
  WaitForServer();

  const std::vector<uint32_t> before = screen_.Read(window);
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  XGrabServer(display);  // the server now serves only this connection
  XSync(display, False);
  EXPECT_EQ(Flip(first.data()), 0);
  EXPECT_EQ(Flip(second.data()), kFlipBusy);
  XUngrabServer(display);
  XCloseDisplay(display);
  WaitForServer();
  const TDrawing shownFirst{first, 64, 48, window, window, {}};
  EXPECT_EQ(test::CompareScreen(screen_, window, before, screen_.Read(window), shownFirst), "");

  EXPECT_EQ(Flip(second.data()), 0);
  WaitForServer();
  const TDrawing shownSecond{second, 64, 48, window, window, {}};
  EXPECT_EQ(test::CompareScreen(screen_, window, before, screen_.Read(window), shownSecond), "");
}

// A described 32-bit frame, one screen pixel per frame pixel, with a stride wider than its rows:
// each screen pixel holds its colours cut to the display's bits (all eight at depth 24).
TEST_F(PrismScreenTest, DescribedRgbaFramesKeepTheirColoursAtTheDisplaysDepth) {
  constexpr int32_t kWidth = 48, kHeight = 20, kStrideWords = 50;
  std::mt19937 random(27);
  std::vector<uint32_t> pixels(kStrideWords * kHeight);
  for (uint32_t& pixel : pixels)
    pixel = random();
  const test::TXWindow window = screen_.MakeWindow({30, 40, kWidth, kHeight}, 0);
  ASSERT_NE(Load(kRendererInterfaceVersion), nullptr);
  ASSERT_EQ(Init(kWidth, kHeight, 0, window), 1);
  SetTargetRect(30, 40, kWidth, kHeight);
  const TFrameDescription frame{kFrameRgba8888, kWidth, kHeight, kStrideWords * 4,
                                pixels.data(),  kWidth, kHeight};
  EXPECT_EQ(FlipFrame(&frame), 0);
  // Another size than Init's, or an unknown format, is dropped.
  TFrameDescription wrong = frame;
  wrong.Width = kWidth - 1;
  EXPECT_EQ(FlipFrame(&wrong), kFlipNotReady);
  wrong = frame;
  wrong.Format = 7;
  EXPECT_EQ(FlipFrame(&wrong), kFlipNotReady);
  Unload();
  const std::vector<uint32_t> shown = screen_.Read({30, 40, kWidth, kHeight});
  ASSERT_EQ(shown.size(), size_t{kWidth} * kHeight);
  const unsigned long redMask = screen_.RedMask();
  int mismatches = 0;
  for (int32_t y = 0; y < kHeight; ++y)
    for (int32_t x = 0; x < kWidth; ++x) {
      const uint32_t p = pixels[size_t(y) * kStrideWords + size_t(x)];
      const uint32_t r = p >> 24, g = (p >> 16) & 0xFF, b = (p >> 8) & 0xFF;
      uint32_t expected = r << 16 | g << 8 | b;
      if (redMask == 0xF800) expected = (r / 8) << 11 | (g / 4) << 5 | b / 8;
      if (redMask == 0x7C00) expected = (r / 8) << 10 | (g / 8) << 5 | b / 8;
      mismatches += shown[size_t(y) * kWidth + size_t(x)] != expected;
    }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace vantor::prism
