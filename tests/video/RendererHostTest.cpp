#include "video/RendererHost.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/CaptureHost.h"
#include "tests/support/FifoRescue.h"
#include "tests/support/Machine.h"
#include "tests/support/RecordingRenderer.h"
#include "tests/support/TempDir.h"

namespace vantor {
namespace {

using Lines = std::vector<std::string>;

class RendererHostTest : public ::testing::Test {
 protected:
  void TearDown() override { ReleaseRenderer(); }
  test::CaptureHost host;
};

TEST_F(RendererHostTest, AMissingLibraryIsNamedOnceAndNothingIsCalled) {
  EXPECT_FALSE(BindRendererLibrary("/nonexistent/Vid_Prism.so"));
  ASSERT_EQ(host.Lines().size(), 1u);
  EXPECT_TRUE(
      host.Lines()[0].starts_with("Renderer /nonexistent/Vid_Prism.so could not be loaded"));
  RendererLoad();
  RendererResize(320, 240);
  EXPECT_FALSE(RendererReady);
  EXPECT_FALSE(PresentFrame());
  RendererDeInit();
  RendererUnload();
}

TEST_F(RendererHostTest, ALibraryMissingFunctionsHasThemNamedAndNeverCalled) {
  EXPECT_FALSE(BindRendererLibrary(PARTIAL_RENDERER_PATH));
  const std::string prefix = std::string("Renderer ") + PARTIAL_RENDERER_PATH + " has no function ";
  EXPECT_EQ(host.Lines(), (Lines{prefix + "UnloadRenderer", prefix + "InitRenderer",
                                 prefix + "DeInitRenderer", prefix + "SetTargetRect"}));
  EXPECT_NE(RendererEntries.LoadRenderer, nullptr);
  RendererLoad();
  RendererResize(320, 240);  // no InitRenderer: never ready, so Flip is never reached
  EXPECT_FALSE(RendererReady);
  EXPECT_FALSE(PresentFrame());
  RendererUnload();
}

TEST_F(RendererHostTest, TheLibraryIsFoundBesideTheExecutableWhenNotInTheWorkingDirectory) {
  test::TempDir exeDir;
  std::filesystem::create_directory(exeDir.Path() / "Video");
  std::filesystem::copy_file(PARTIAL_RENDERER_PATH, exeDir.Path() / "Video" / "Vid_Prism.so");
  const auto cwd = std::filesystem::current_path();
  test::TempDir elsewhere;
  std::filesystem::current_path(elsewhere.Path());
  BindRenderer(exeDir.Path().string());
  std::filesystem::current_path(cwd);
  EXPECT_NE(RendererEntries.Library, nullptr);
  EXPECT_NE(RendererEntries.Flip, nullptr);
}

// Loading a library opens it before looking at it: a FIFO in its place must not hold either
// program waiting for a writer.
TEST_F(RendererHostTest, AFifoInPlaceOfTheLibraryIsRefusedWithoutWaiting) {
  test::TempDir dir;
  test::FifoRescue named((dir.Path() / "Vid_Prism.so").string());
  EXPECT_FALSE(BindRendererLibrary(named.Path()));
  EXPECT_EQ(host.Lines(),
            Lines{"Renderer " + named.Path() + " could not be loaded: it is not a regular file"});
  EXPECT_FALSE(named.Rescued()) << "the load waited for a writer";

  std::filesystem::create_directory(dir.Path() / "Video");
  test::FifoRescue beside((dir.Path() / "Video" / "Vid_Prism.so").string());
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path() / "Video");
  EXPECT_FALSE(BindRenderer(dir.Path().string()));
  std::filesystem::current_path(cwd);
  EXPECT_FALSE(beside.Rescued()) << "the load waited for a writer";
  EXPECT_EQ(RendererEntries.Library, nullptr);
}

// A 320x240 frame ready to present from main memory.
class PresentFrameTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    test::BindRecordingRenderer();
    RendererLoad();
    RendererResize(320, 240);
  }
  void TearDown() override {
    ReleaseRenderer();
    MachineTest::TearDown();
  }
  // The target rectangle the renderer got for a published one.
  static std::string TargetFor(const TScreenRect& rect) {
    PublishTargetRect(rect);
    EXPECT_TRUE(PresentFrame());
    const auto calls = test::RecordedCalls();
    return calls.at(calls.size() - 2);
  }
};

TEST_F(PresentFrameTest, ARectangleWithAnEmptySideShowsTheFrameAtItsOwnSize) {
  EXPECT_EQ(TargetFor({10, 20, 640, 480}), "Target 10,20,640,480");
  EXPECT_EQ(TargetFor({10, 20, 0, 480}), "Target 10,20,320,240");
  EXPECT_EQ(TargetFor({10, 20, 640, 0}), "Target 10,20,320,240");
  EXPECT_EQ(TargetFor({10, 20, -5, 480}), "Target 10,20,320,240");
  EXPECT_EQ(TargetFor({0, 0, 0, 0}), "Target 0,0,320,240");
}

}  // namespace
}  // namespace vantor
