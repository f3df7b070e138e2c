#include "tests/support/RecordingRenderer.h"

#include <mutex>

namespace vantor::test {

namespace {

std::mutex callsLock;
std::vector<std::string> calls;
int32_t initResult = 1;
const void* lastFrame = nullptr;

void Record(const std::string& call) {
  std::lock_guard lock(callsLock);
  calls.push_back(call);
}

const TRendererInfo kInfo = {"recorder", "tests", 1, 0};

}  // namespace

void BindRecordingRenderer() {
  {
    std::lock_guard lock(callsLock);
    calls.clear();
    initResult = 1;
    lastFrame = nullptr;
  }
  TRendererEntries entries;
  entries.LoadRenderer = [](int32_t version) -> const TRendererInfo* {
    Record("Load " + std::to_string(version));
    return &kInfo;
  };
  entries.UnloadRenderer = [] { Record("Unload"); };
  entries.InitRenderer = [](int32_t w, int32_t h, TWindowHandle, TWindowHandle) {
    Record("Init " + std::to_string(w) + "x" + std::to_string(h));
    std::lock_guard lock(callsLock);
    return initResult;
  };
  entries.DeInitRenderer = [] { Record("DeInit"); };
  entries.SetTargetRect = [](int32_t x, int32_t y, int32_t w, int32_t h) {
    Record("Target " + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(w) + "," +
           std::to_string(h));
  };
  entries.Flip = [](const void* frame) -> int32_t {
    Record("Flip");
    std::lock_guard lock(callsLock);
    lastFrame = frame;
    return 0;
  };
  BindBuiltInRenderer(entries);
}

std::vector<std::string> RecordedCalls() {
  std::lock_guard lock(callsLock);
  return calls;
}

void SetInitResult(int32_t result) {
  std::lock_guard lock(callsLock);
  initResult = result;
}

const void* LastFlippedFrame() {
  std::lock_guard lock(callsLock);
  return lastFrame;
}

}  // namespace vantor::test
