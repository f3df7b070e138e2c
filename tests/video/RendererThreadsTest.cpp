// The renderer host's table of plug-in entries, shared by the thread that binds a renderer and
// the threads that call it; the thread sanitizer build runs this.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/support/RecordingRenderer.h"
#include "video/RendererHost.h"

namespace vantor {
namespace {

TEST(RendererThreadsTest, BindingWhileAnotherThreadCallsThePlugInIsSerialised) {
  std::atomic<bool> done{false};
  std::atomic<int> calls{0};
  std::thread caller([&] {
    while (!done.load()) {
      RendererLoad();
      RendererUnload();
      ++calls;
    }
  });
  // Binds as long as the other thread keeps calling, so the two overlap many times.
  for (int i = 0; i < 2000 || calls.load() < 100; ++i)
    test::BindRecordingRenderer();
  done = true;
  caller.join();
  ReleaseRenderer();
  EXPECT_EQ(RendererEntries.LoadRenderer, nullptr);
}

}  // namespace
}  // namespace vantor
