#include "core/Engine.h"

#include <cstdio>
#include <exception>

#include "core/Clock.h"
#include "core/Cop1.h"
#include "core/Cpu.h"
#include "core/Host.h"
#include "core/Transfer.h"
#include "debugger/DebugLog.h"
#include "memory/AddressMap.h"
#include "video/RendererHost.h"

namespace vantor {

uint32_t FrameCount = 0;
uint32_t RunStartTime = 0;
double FpsFrames = 0;
double FpsLastTime = 0;
double FpsValue = 0;

namespace {

enum : uint32_t {
  kTerminate = 1 << 0,
  kPauseChanged = 1 << 1,
  kSingleStep = 1 << 2,
  kJump = 1 << 3,
  kException = 1 << 4,
  kForceRender = 1 << 5,
};

}  // namespace

std::string FpsText() {
  FpsFrames += 1;
  const double elapsed = static_cast<double>(MilliClock()) - FpsLastTime;
  if (elapsed >= FpsInterval) {
    FpsValue = FpsFrames * 1000 / elapsed;
    FpsLastTime = MilliClock();
    FpsFrames = 0;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", FpsValue);
  return std::string(text).substr(0, 5);
}

TEngine::~TEngine() {
  Stop();
}

void TEngine::Start(const TRunLimits& limits) {
  if (Exists()) return;
  limits_ = limits;
  requests_ = 0;
  finished_ = false;
  wantPaused_ = false;
  paused_ = false;
  thread_ = std::thread([this] { Execute(); });
}

void TEngine::Stop() {
  if (!Exists()) return;
  Post(kTerminate);
  Join();
}

void TEngine::WaitForEnd() {
  if (Exists()) Join();
}

template <typename Predicate>
void TEngine::WaitServingHost(Predicate done) {
  auto over = [&] { return done() || finished_.load(); };
  while (!over()) {
    if (THost* host = CurrentHost()) host->DrainPending();
    std::unique_lock lock(wakeMutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(5), over);
  }
}

void TEngine::Join() {
  WaitServingHost([] { return false; });
  thread_.join();
  if (THost* host = CurrentHost()) host->DrainPending();
}

void TEngine::Post(uint32_t request) {
  {
    std::lock_guard lock(wakeMutex_);
    requests_.fetch_or(request);
  }
  wake_.notify_all();
}

void TEngine::Pause() {
  {
    // Once this returns, no frame rate from before the pause reaches the status bar.
    std::lock_guard lock(statusMutex_);
    wantPaused_ = true;
  }
  Post(kPauseChanged);
}

void TEngine::Resume() {
  wantPaused_ = false;
  Post(kPauseChanged);
}

void TEngine::SingleStep() {
  if (!Exists() || !Paused()) return;
  const uint64_t before = singleStepsDone_.load();
  Post(kSingleStep);
  WaitServingHost([&] { return singleStepsDone_.load() != before; });
}

void TEngine::JumpHere(uint32_t address) {
  jumpTarget_ = address;
  Post(kJump);
}

void TEngine::JumpToCev() {
  Post(kException);
}

void TEngine::ForceRender() {
  if (Exists())
    Post(kForceRender);
  else
    PresentFrame();
}

void TEngine::Execute() {
  // Floating-point results must not depend on how the host thread was set up.
  PrepareHostFloatingPoint();
  InitMemoryMap();
  CpuReset();
  RendererLoad();
  RunStartTime = MilliClock();
  FrameCount = 0;
  stepsExecuted_ = 0;
  framesDue_ = 0;

  try {
    Loop();
  } catch (const std::exception& error) {
    DbgAddLine(std::string("Emulation stopped: ") + error.what());
  }

  RunStartTime = MilliClock() - RunStartTime;
  const uint64_t rate = RunStartTime == 0 ? 0 : uint64_t{FrameCount} * 1000 / RunStartTime;
  DbgAddLine("Emulated " + std::to_string(FrameCount) + " frames in " +
             std::to_string(RunStartTime) + " ms, a whopping " + std::to_string(rate) + " fps!");
  RendererDeInit();
  RendererUnload();
  paused_ = false;
  {
    std::lock_guard lock(wakeMutex_);
    finished_ = true;
  }
  wake_.notify_all();
}

void TEngine::Loop() {
  // The hot loop: the step count lives in a register, and one relaxed load per step is the only
  // test for requests from other threads.
  const uint64_t limit = limits_.steps.value_or(UINT64_MAX);
  uint64_t steps = stepsExecuted_;
  while (steps < limit) {
    if (requests_.load(std::memory_order_relaxed) != 0) [[unlikely]] {
      stepsExecuted_ = steps;
      if (ApplyRequests()) return;
      steps = stepsExecuted_;
      continue;
    }
    ++steps;
    if (CpuStep() && FrameDue()) [[unlikely]]
      break;
  }
  stepsExecuted_ = steps;
}

bool TEngine::StepOnce() {
  ++stepsExecuted_;
  const bool frameLimit = CpuStep() && FrameDue();
  return frameLimit || (limits_.steps && stepsExecuted_ >= *limits_.steps);
}

bool TEngine::FrameDue() {
  ++framesDue_;
  if (RendererReady.load(std::memory_order_relaxed) && PresentFrame()) {
    ++FrameCount;
    PublishFrameRate();
  }
  return limits_.frames && framesDue_ >= *limits_.frames;
}

void TEngine::PublishFrameRate() {
  const std::string text = "FPS = " + FpsText();
  std::lock_guard lock(statusMutex_);
  if (!wantPaused_.load(std::memory_order_relaxed)) SetStatusText(text);
}

bool TEngine::ApplyRequests() {
  for (;;) {
    uint32_t request;
    {
      std::unique_lock lock(wakeMutex_);
      if (paused_) wake_.wait(lock, [this] { return requests_.load() != 0; });
      request = requests_.exchange(0);
    }
    if (request & kTerminate) return true;
    if (request & kPauseChanged) paused_ = wantPaused_.load();
    if (request & kJump) PostImmediateTransfer(jumpTarget_);
    if (request & kException) EnterException(0);
    if (request & kForceRender) PresentFrame();
    if ((request & kSingleStep) && paused_) {
      const bool limitReached = StepOnce();
      {
        std::lock_guard lock(wakeMutex_);
        ++singleStepsDone_;
      }
      wake_.notify_all();
      if (limitReached) return true;
    }
    if (!paused_) return false;
  }
}

}  // namespace vantor
