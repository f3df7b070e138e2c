#include "video/RendererHost.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/CaptureHost.h"
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

}  // namespace
}  // namespace vantor
