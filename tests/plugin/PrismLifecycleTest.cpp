// The order of acquiring and releasing, the messages of every failure, and what stays held.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "plugin/Prism.h"
#include "plugin/PrismMessage.h"
#include "tests/plugin/PrismFixture.h"

namespace vantor::prism {
namespace {

using test::MessageCapture;
using test::TestScreen;
using Messages = std::vector<std::string>;

constexpr unsigned kLoaded = kHeldDisplay | kHeldExtensions;
constexpr unsigned kSurfaceSide = kHeldPrimary | kHeldClipper;
constexpr unsigned kEverything = kLoaded | kSurfaceSide | kHeldBackBuffer;

// Shared-memory segments this process made that still exist.
int OwnSegments() {
  std::ifstream table("/proc/sysvipc/shm");
  std::string line;
  std::getline(table, line);
  int count = 0;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    long key, id, perms, size, creator;
    if (fields >> key >> id >> perms >> size >> creator && creator == getpid()) ++count;
  }
  return count;
}

class PrismLifecycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!screen_.Open()) GTEST_SKIP() << "no X display";
    if (!screen_.HasRender() || !screen_.Convertible()) GTEST_SKIP() << "covered elsewhere";
  }
  void TearDown() override {
    Unload();
    EXPECT_EQ(Held(), 0u);
  }

  TestScreen screen_;
  MessageCapture messages_;
  std::vector<uint32_t> frame_ = test::RandomFrame(64 * 48, 7);
};

TEST_F(PrismLifecycleTest, VersionsAndTheInfoRecord) {
  EXPECT_EQ(Load(3), nullptr);
  EXPECT_EQ(messages_.Take(),
            Messages{"DLL is not compatible with the current renderer interface!"});
  EXPECT_EQ(Held(), 0u);

  const TRendererInfo* info = Load(2);
  ASSERT_EQ(info, &RendererInfo);
  EXPECT_STREQ(info->Description, "Orlenks DirectX rendering plugin for Pellix64!");
  EXPECT_STREQ(info->Description, RendererCaption);
  EXPECT_GT(std::string(info->Author).size(), 0u);
  EXPECT_EQ(info->Version, 2);
  EXPECT_EQ(info->DateCode, 0x20000620u);
  // A second load replaces the connection; a lower version is accepted.
  EXPECT_EQ(Load(1), &RendererInfo);
  EXPECT_EQ(Held(), kLoaded);
  EXPECT_EQ(messages_.Take(), Messages{});
}

// Each failing step shows its message, returns 0 and keeps what was made before it; Unload (or
// DeInit, then Unload) releases exactly that, and a full start works afterwards.
TEST_F(PrismLifecycleTest, InitFailuresKeepWhatWasMade) {
  const test::TXWindow window = screen_.MakeWindow({20, 20, 100, 80}, 0);
  const test::TXWindow inputOnly = screen_.MakeWindow({20, 20, 100, 80}, 0, true);
  const test::TXWindow dead = screen_.DeadWindow();
  struct Case {
    int32_t width, height;
    TWindowHandle coop, clip;
    const char* message;
    unsigned held;
  };
  const Case cases[] = {
      {64, 48, dead, window, "Error setting cooperative level!", kLoaded},
      {64, 48, 0x20000000, window, "Error setting cooperative level!", kLoaded},
      {64, 48, window, dead, "Failed to set the ClipWnd!", kLoaded | kSurfaceSide},
      {64, 48, 0, inputOnly, "Failed to attach clipper to the DirectDrawSurface!",
       kLoaded | kSurfaceSide},
      {0, 48, 0, window, "Error creating the Back Buffer Surface4 Object!", kLoaded | kSurfaceSide},
      {64, 40000, 0, 0, "Error creating the Back Buffer Surface4 Object!", kLoaded | kSurfaceSide},
  };
  for (const Case& c : cases) {
    for (bool deInitFirst : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.message << ", " << c.width << "x" << c.height
                                      << (deInitFirst ? ", DeInit first" : ""));
      ASSERT_NE(Load(1), nullptr);
      EXPECT_EQ(Init(c.width, c.height, c.coop, c.clip), 0);
      EXPECT_EQ(messages_.Take(), Messages{c.message});
      EXPECT_EQ(Held(), c.held);
      EXPECT_EQ(Flip(frame_.data()), kFlipNotReady);
      if (deInitFirst) {
        DeInit();
        EXPECT_EQ(Held(), kLoaded);
      }
      Unload();
      EXPECT_EQ(Held(), 0u);
      EXPECT_EQ(messages_.Take(), Messages{});
    }
  }
  ASSERT_NE(Load(1), nullptr);
  EXPECT_EQ(Init(64, 48, window, window), 1);
  EXPECT_EQ(Held(), kEverything);
  EXPECT_EQ(messages_.Take(), Messages{});
}

// The back buffer of an earlier Init outlives a later Init that fails before replacing it, but
// no frame goes anywhere until an Init succeeds again.
TEST_F(PrismLifecycleTest, AFailedInitLeavesNothingToFlip) {
  const test::TXWindow window = screen_.MakeWindow({20, 20, 100, 80}, 0);
  ASSERT_NE(Load(1), nullptr);
  SetTargetRect(20, 20, 64, 48);
  ASSERT_EQ(Init(64, 48, 0, window), 1);
  EXPECT_EQ(Init(64, 48, 0, screen_.DeadWindow()), 0);
  EXPECT_EQ(Held(), kEverything);
  EXPECT_EQ(Flip(frame_.data()), kFlipNotReady);
  ASSERT_EQ(Init(64, 48, 0, window), 1);
  EXPECT_EQ(Flip(frame_.data()), 0);
  EXPECT_EQ(messages_.Take(), Messages{"Failed to set the ClipWnd!"});
}

TEST_F(PrismLifecycleTest, InitBeforeLoadFailsAtTheCooperativeLevel) {
  EXPECT_EQ(Init(64, 48, 0, 0), 0);
  EXPECT_EQ(messages_.Take(), Messages{"Error setting cooperative level!"});
  EXPECT_EQ(Held(), 0u);
}

TEST_F(PrismLifecycleTest, FlipWithoutSurfacesDrawsNothing) {
  const test::TRect area{0, 0, 200, 150};
  const std::vector<uint32_t> before = screen_.Read(area);
  SetTargetRect(0, 0, 200, 150);
  EXPECT_EQ(Flip(frame_.data()), kFlipNotReady);
  ASSERT_NE(Load(1), nullptr);
  EXPECT_EQ(Flip(frame_.data()), kFlipNotReady);
  ASSERT_EQ(Init(64, 48, 0, 0), 1);
  EXPECT_EQ(Flip(nullptr), kFlipNotReady);
  DeInit();
  EXPECT_EQ(Flip(frame_.data()), kFlipNotReady);
  Unload();
  EXPECT_EQ(screen_.Read(area), before);
  EXPECT_EQ(messages_.Take(), Messages{});
}

TEST_F(PrismLifecycleTest, UnusableTargetsDropTheFrame) {
  const test::TXWindow window = screen_.MakeWindow({0, 0, 160, 120}, 0);
  ASSERT_NE(Load(1), nullptr);
  ASSERT_EQ(Init(64, 48, 0, window), 1);
  for (const auto& [width, height] : {std::pair{0, 48}, {64, 0}, {-64, 48}, {40000, 48}}) {
    SetTargetRect(10, 10, width, height);
    EXPECT_EQ(Flip(frame_.data()), kFlipNoTarget) << width << "x" << height;
  }
  SetTargetRect(10, 10, 64, 48);
  EXPECT_EQ(Flip(frame_.data()), 0);
}

// Init again without DeInit replaces the surfaces; many cycles leave no segment behind (the
// sanitizer build checks the heap).
TEST_F(PrismLifecycleTest, RepeatedInitAndDeInitHoldNothingExtra) {
  const test::TXWindow window = screen_.MakeWindow({10, 10, 160, 120}, 0);
  const int segmentsBefore = OwnSegments();
  ASSERT_NE(Load(1), nullptr);
  SetTargetRect(10, 10, 160, 120);
  EXPECT_EQ(Init(64, 48, 0, window), 1);
  EXPECT_EQ(Init(33, 21, 0, 0), 1);
  EXPECT_EQ(Held(), kEverything);
  const std::vector<uint32_t> frame = test::RandomFrame(84 * 48, 8);
  for (int cycle = 0; cycle < 20; ++cycle) {
    ASSERT_EQ(Init(64 + cycle, 48, 0, cycle % 2 == 0 ? window : 0), 1);
    EXPECT_EQ(Flip(frame.data()), cycle % 2 == 0 ? 0 : kFlipNoTarget);
    DeInit();
    EXPECT_EQ(Held(), kLoaded);
  }
  EXPECT_EQ(Init(64, 48, 0, window), 1);
  Unload();
  EXPECT_EQ(OwnSegments(), segmentsBefore);
  EXPECT_EQ(messages_.Take(), Messages{});
}

// No display at all: the first step fails and nothing else is tried or held.
TEST(PrismWithoutDisplay, LoadFailsAndTheRestIsHarmless) {
  MessageCapture messages;
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display != nullptr ? display : "";
  unsetenv("DISPLAY");
  EXPECT_EQ(Load(1), nullptr);
  const Messages told = messages.Take();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_TRUE(told[0].starts_with("Failed to Create DirectDraw object! No connection")) << told[0];
  EXPECT_NE(told[0].find("is DISPLAY set"), std::string::npos) << told[0];
  EXPECT_EQ(Held(), 0u);
  const std::vector<uint32_t> frame(16);
  EXPECT_EQ(Flip(frame.data()), kFlipNotReady);
  DeInit();
  Unload();
  EXPECT_EQ(messages.Take(), Messages{});
  if (display != nullptr) setenv("DISPLAY", saved.c_str(), 1);
}

TEST(PrismNoRender, LoadFailsAtTheExtensions) {
  TestScreen screen;
  if (!screen.Open() || screen.HasRender()) GTEST_SKIP() << "needs a server without RENDER";
  MessageCapture messages;
  EXPECT_EQ(Load(1), nullptr);
  // The fixed texts, each with the reason in the X server's terms; the host calls Init anyway.
  EXPECT_EQ(Init(64, 48, 0, 0), 0);
  const Messages told = messages.Take();
  ASSERT_EQ(told.size(), 2u);
  EXPECT_TRUE(told[0].starts_with("Failed to get DirectDraw4 object! The X server")) << told[0];
  EXPECT_TRUE(told[1].starts_with("Error setting cooperative level! The X server")) << told[1];
  for (const std::string& text : told)
    EXPECT_NE(text.find("no RENDER extension of version 0.6 or later"), std::string::npos) << text;
  EXPECT_EQ(Held(), unsigned{kHeldDisplay});
  Unload();
  EXPECT_EQ(Held(), 0u);
  EXPECT_EQ(messages.Take(), Messages{});
}

TEST(PrismDepth8, RefusesADisplayWithoutConversion) {
  TestScreen screen;
  if (!screen.Open() || !screen.HasRender() || screen.Depth() != 8)
    GTEST_SKIP() << "needs an 8-bit server";
  MessageCapture messages;
  ASSERT_NE(Load(1), nullptr);
  EXPECT_EQ(Init(64, 48, 0, 0), 0);
  EXPECT_EQ(messages.Take(), Messages{"No pixel conversion for a display of 8 bits per pixel!"});
  const std::vector<uint32_t> frame(64 * 48 / 2);
  SetTargetRect(0, 0, 64, 48);
  EXPECT_EQ(Flip(frame.data()), kFlipNotReady);
  Unload();
  EXPECT_EQ(Held(), 0u);
}

}  // namespace
}  // namespace vantor::prism
