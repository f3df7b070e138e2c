#include "core/Engine.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <system_error>

#include "common/Clock.h"
#include "common/DebugLog.h"
#include "common/Host.h"
#include "common/MachineState.h"
#include "core/Accurate.h"
#include "core/Cop1.h"
#include "core/Cpu.h"
#include "core/Transfer.h"
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

void TEngine::Start(const TRunLimits& limits, bool paused) {
  if (Exists()) return;
  limits_ = limits;
  // Taken here, not by the new thread, so that a choice made right after Start waits for the
  // next run.
  runAccurate_ = accurateNext_.load();
  // The loop applies requests before its first step, so a pause posted now comes first.
  requests_ = paused ? uint32_t{kPauseChanged} : 0;
  finished_ = false;
  wantPaused_ = paused;
  paused_ = false;
  RunExists = true;
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
  RunExists = false;
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

void TEngine::SetNiceness(int nice) {
  std::string line;
  {
    std::lock_guard lock(priorityMutex_);
    niceness_ = std::clamp(nice, -20, 19);
    refusalReported_ = false;
    line = ApplyNiceness();
  }
  if (!line.empty()) DbgAddLine(line);
}

int TEngine::Niceness() const {
  std::lock_guard lock(priorityMutex_);
  return niceness_;
}

pid_t TEngine::ThreadId() const {
  std::lock_guard lock(priorityMutex_);
  return threadId_;
}

std::string TEngine::ApplyNiceness() {
  if (threadId_ == 0) return {};
  const auto thread = static_cast<id_t>(threadId_);
  if (setpriority(PRIO_PROCESS, thread, niceness_) == 0) return {};
  const int error = errno;
  // Only a raise is ever refused. Normal priority is the closest a thread may take; one that
  // already runs lower cannot come back up and keeps its priority until the next run.
  if (niceness_ < 0) setpriority(PRIO_PROCESS, thread, 0);
  if (refusalReported_) return {};
  refusalReported_ = true;
  const int now = getpriority(PRIO_PROCESS, thread);
  return "Thread priority nice " + std::to_string(niceness_) + " refused (" +
         std::generic_category().message(error) +
         ": raising a priority needs CAP_SYS_NICE or RLIMIT_NICE), the emulation thread runs "
         "at nice " +
         std::to_string(now);
}

void TEngine::Execute() {
  std::string priorityLine;
  {
    std::lock_guard lock(priorityMutex_);
    threadId_ = gettid();
    priorityLine = ApplyNiceness();
  }
  if (!priorityLine.empty()) DbgAddLine(priorityLine);
  // Floating-point results must not depend on how the host thread was set up.
  PrepareHostFloatingPoint();
  InitMemoryMap();
  AccurateHardware = runAccurate_;
  CpuReset();
  if (AccurateHardware) {
    AccurateReset();
    DbgAddLine("Accurate hardware mode");
  }
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

  elapsedMs_ = MilliClock() - RunStartTime;
  const uint64_t rate = elapsedMs_ == 0 ? 0 : uint64_t{FrameCount} * 1000 / elapsedMs_;
  DbgAddLine("Emulated " + std::to_string(FrameCount) + " frames in " + std::to_string(elapsedMs_) +
             " ms, a whopping " + std::to_string(rate) + " fps!");
  RendererDeInit();
  RendererUnload();
  {
    std::lock_guard lock(priorityMutex_);
    threadId_ = 0;
  }
  paused_ = false;
  {
    std::lock_guard lock(wakeMutex_);
    finished_ = true;
  }
  wake_.notify_all();
}

// The mode is chosen once per run, so each loop's step carries no test of it.
void TEngine::Loop() {
  if (AccurateHardware)
    RunSteps<true>();
  else
    RunSteps<false>();
}

template <bool kAccurate>
void TEngine::RunSteps() {
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
    if (CpuStep<kAccurate>()) [[unlikely]] {
      PresentDueFrame();
      if (FrameLimitReached()) break;
    }
  }
  stepsExecuted_ = steps;
}

bool TEngine::StepOnce() {
  ++stepsExecuted_;
  bool frameLimit = false;
  if (AccurateHardware ? CpuStep<true>() : CpuStep<false>()) {
    PresentDueFrame();
    frameLimit = FrameLimitReached();
  }
  return frameLimit || (limits_.steps && stepsExecuted_ >= *limits_.steps);
}

void TEngine::PresentDueFrame() {
  ++framesDue_;
  if (RendererReady.load(std::memory_order_relaxed) && PresentFrame()) {
    ++FrameCount;
    PublishFrameRate();
  }
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
