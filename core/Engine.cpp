#include "core/Engine.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <exception>
#include <system_error>

#include "common/AccurateOnly.h"
#include "common/Clock.h"
#include "common/DebugLog.h"
#include "common/Host.h"
#include "common/MachineState.h"
#include "core/Accurate.h"
#include "core/AccurateClock.h"
#include "core/AccurateExceptions.h"
#include "core/BlockCache.h"
#include "core/BlockRunner.h"
#include "core/Cop1.h"
#include "core/Cpu.h"
#include "core/MachineImage.h"
#include "core/Scheduler.h"
#include "core/Transfer.h"
#include "memory/AddressMap.h"
#include "memory/RomImage.h"
#include "memory/VideoInterface.h"
#include "rsp/Rsp.h"
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
  kDebugControl = 1 << 6,
  kInspect = 1 << 7,
  kPacingChanged = 1 << 8,
  kCaptureState = 1 << 9,
  kRestoreState = 1 << 10,
};

// The signal processor's IMEM as the processor's segments show it: physical 0x04001000.
constexpr uint32_t kPhysicalMask = 0x1FFFF000;
constexpr uint32_t kImemAddress = 0x04001000;
constexpr uint32_t kImemMask = 0xFFC;

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

// On Linux the process's priority of the calling thread is that thread's own.
TEngine::TEngine() : normalNiceness_(getpriority(PRIO_PROCESS, 0)), niceness_(normalNiceness_) {}

TEngine::~TEngine() {
  Stop();
}

void TEngine::Start(const TRunLimits& limits, bool paused,
                    std::shared_ptr<const TStateImage> from) {
  if (Exists()) return;
  limits_ = limits;
  startImage_ = std::move(from);
  frameRate_ = VideoRate(RomHeader.Country);
  restartPacing_ = true;
  // Taken here, not by the new thread, so that a choice made right after Start waits for the
  // next run.
  runAccurate_ = accurateNext_.load();
  // The loop applies requests before its first step, so a pause posted now comes first, and so
  // does the debugger's control.
  requests_ = kDebugControl | (paused ? uint32_t{kPauseChanged} : 0);
  finished_ = false;
  wantPaused_ = paused;
  paused_ = false;
  stops_ = 0;
  passOnce_ = false;
  runExact_ = exactPath_;
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

void TEngine::SetDebugControl(bool stepMode, std::vector<uint32_t> breakpoints) {
  std::sort(breakpoints.begin(), breakpoints.end());
  {
    std::lock_guard lock(debugMutex_);
    postedStepMode_ = stepMode;
    postedBreakpoints_ = std::move(breakpoints);
  }
  if (Exists()) Post(kDebugControl);
}

void TEngine::SetStopOnException(bool stop) {
  {
    std::lock_guard lock(debugMutex_);
    postedStopOnException_ = stop;
  }
  if (Exists()) Post(kDebugControl);
}

bool TEngine::WaitForStop(uint64_t seen) {
  if (!Exists()) return false;
  WaitServingHost([&] { return stops_.load() > seen; });
  return stops_.load() > seen;
}

bool TEngine::Inspect(const std::function<void()>& work, int timeoutMs) {
  if (!Exists() || finished_.load()) {
    work();
    return true;
  }
  TInspection inspection{&work};
  {
    std::lock_guard lock(inspectMutex_);
    inspections_.push_back(&inspection);
  }
  Post(kInspect);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  WaitServingHost(
      [&] { return inspection.done.load() || std::chrono::steady_clock::now() >= deadline; });
  std::lock_guard lock(inspectMutex_);
  if (inspection.done) return true;
  std::erase(inspections_, &inspection);
  if (finished_.load()) {
    // The run ended before it came to the work; nothing touches the machine any more.
    work();
    return true;
  }
  return false;
}

void TEngine::ServeInspection() {
  {
    std::lock_guard lock(inspectMutex_);
    for (TInspection* inspection : inspections_) {
      (*inspection->work)();
      inspection->done = true;
    }
    inspections_.clear();
  }
  // A waiter tests its flag under wakeMutex_: passing through it orders the notification after
  // any test that saw the flag unset, so no wake-up is lost.
  { std::lock_guard lock(wakeMutex_); }
  wake_.notify_all();
}

void TEngine::ForceRender() {
  if (Exists())
    Post(kForceRender);
  else
    PresentFrame();
}

void TEngine::SetLimitSpeed(bool on) {
  if (limitSpeed_.exchange(on) != on && Exists()) Post(kPacingChanged);
}

TStateImage TEngine::CaptureState() {
  if (!Exists()) return CaptureMachine();
  const uint64_t before = stateRequestsDone_.load();
  Post(kCaptureState);
  WaitServingHost([&] { return stateRequestsDone_.load() != before; });
  std::lock_guard lock(stateMutex_);
  // A run that ended before it got to the request leaves the machine as it stopped.
  if (!capturedImage_) return CaptureMachine();
  TStateImage image = std::move(*capturedImage_);
  capturedImage_.reset();
  return image;
}

void TEngine::RestoreState(std::shared_ptr<const TStateImage> image) {
  if (!Exists()) {
    RestoreMachine(*image);
    return;
  }
  const uint64_t before = stateRequestsDone_.load();
  {
    std::lock_guard lock(stateMutex_);
    restoreImage_ = std::move(image);
  }
  Post(kRestoreState);
  WaitServingHost([&] { return stateRequestsDone_.load() != before; });
}

void TEngine::ApplyStateImage(const TStateImage& image) {
  const bool accurateBefore = AccurateHardware;
  RestoreMachine(image);
  if (AccurateHardware != accurateBefore)
    DbgAddLine(AccurateHardware ? "The state switched the run to the accurate hardware mode"
                                : "The state switched the run to the default hardware mode");
  // The renderer shows frames of the saved size from the next one on: the video interface's
  // picture sets it up at its next frame in the accurate mode, the width here in the default one.
  UseDescribedFrames(AccurateHardware);
  EnableAccurateOnlyNotice(!AccurateHardware);
  if (!AccurateHardware) {
    const auto width = static_cast<int32_t>(PageWord(VIRegisterPage, kViWidth));
    if (width != 0)
      RendererResize(width, static_cast<int32_t>(int64_t{width} * 3 / 4));
    else
      RendererDeInit();
  }
  restartPacing_ = true;
}

void TEngine::ApplyStateRequest(uint32_t request) {
  std::shared_ptr<const TStateImage> restore;
  if (request & kCaptureState) {
    TStateImage image = CaptureMachine();
    std::lock_guard lock(stateMutex_);
    capturedImage_ = std::move(image);
  }
  if (request & kRestoreState) {
    std::lock_guard lock(stateMutex_);
    restore = std::move(restoreImage_);
  }
  if (restore) {
    ApplyStateImage(*restore);
    // A paused run shows where it now stands; a running one shows it at its next frame.
    if (paused_) PresentFrame();
  }
  {
    std::lock_guard lock(wakeMutex_);
    ++stateRequestsDone_;
  }
  wake_.notify_all();
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
  if (niceness_ < normalNiceness_) setpriority(PRIO_PROCESS, thread, normalNiceness_);
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
  BlockCache.Clear();
  AccurateBlockCache.Clear();
  if (AccurateHardware) {
    // Each accurate run starts its own time line at cycle 0; the mode's reset puts the first
    // events on it.
    MachineClock.Reset();
    AccurateReset();
    DbgAddLine("Accurate hardware mode");
  }
  UseDescribedFrames(AccurateHardware);
  ResetAccurateOnlyNotice(!AccurateHardware);
  RendererLoad();
  {
    std::lock_guard lock(stateMutex_);
    if (startImage_) ApplyStateImage(*startImage_);
    startImage_.reset();
  }
  RunStartTime = MilliClock();
  runStart_ = clock_->Now();
  pausedFor_ = TNanos(0);
  FrameCount = 0;
  stepsExecuted_ = 0;
  framesDue_ = 0;

  try {
    Loop();
  } catch (const std::exception& error) {
    DbgAddLine(std::string("Emulation stopped: ") + error.what());
  }

  // The run's time counts only while it was going: paused or held by the debugger it was not.
  TNanos going = clock_->Now() - runStart_ - pausedFor_;
  if (paused_) going -= clock_->Now() - pausedSince_;
  elapsedMs_ = static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::max(going, TNanos(0))).count());
  RunStartTime = elapsedMs_;
  const uint64_t rate = elapsedMs_ == 0 ? 0 : uint64_t{FrameCount} * 1000 / elapsedMs_;
  DbgAddLine("Emulated " + std::to_string(FrameCount) + " frames in " + std::to_string(elapsedMs_) +
             " ms, a whopping " + std::to_string(rate) + " fps!");
  // The next run's lines are its own, never counted as repeats of this one's.
  DbgEndRepeats();
  RendererDeInit();
  RendererUnload();
  EnableAccurateOnlyNotice(false);
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

// Each fast loop is built for one mode and path, so its steps carry no test of them; a restored
// state of the other mode makes it return, and the run goes on in the loop for the new mode.
void TEngine::Loop() {
  for (;;) {
    bool ended;
    if (debugActive_)
      ended = DebugLoop();
    else if (AccurateHardware)
      ended = runExact_ ? FastLoop<true, false>() : FastLoop<true, true>();
    else if (runExact_)
      ended = FastLoop<false, false>();
    else
      ended = FastLoop<false, true>();
    if (ended) return;
  }
}

// The hot loop: the step count lives in a register, and one relaxed load per step, or per block
// of at most kMaxBlockSteps + 1 steps, is the only test for requests from other threads.
template <bool kAccurate, bool kBlocks>
bool TEngine::FastLoop() {
  const uint64_t limit = limits_.steps.value_or(UINT64_MAX);
  uint64_t steps = stepsExecuted_;
  while (steps < limit) {
    if (requests_.load(std::memory_order_relaxed) != 0) [[unlikely]] {
      stepsExecuted_ = steps;
      if (ApplyRequests()) return true;
      if (debugActive_ || AccurateHardware != kAccurate) return false;
      steps = stepsExecuted_;
      continue;
    }
    bool frameDue;
    if constexpr (kBlocks) {
      steps += RunFastSteps<kAccurate>(limit - steps, frameDue);
    } else {
      ++steps;
      frameDue = CpuStep<kAccurate>();
    }
    if constexpr (kAccurate) steps += TakeSkippedCycles();
    if (frameDue) [[unlikely]] {
      stepsExecuted_ = steps;
      if (FrameFellDue()) return true;
      // Requests served while the frame waited for its time may have handed the run to the
      // debugger or restored a state of the other mode.
      if (debugActive_ || AccurateHardware != kAccurate) return false;
      steps = stepsExecuted_;
    }
  }
  stepsExecuted_ = steps;
  return true;
}

// The loop of a run under the debugger: the fast loop's work plus the step mode and breakpoint
// checks before each instruction.
bool TEngine::DebugLoop() {
  const uint64_t limit = limits_.steps.value_or(UINT64_MAX);
  while (stepsExecuted_ < limit) {
    if (requests_.load(std::memory_order_relaxed) != 0) {
      if (ApplyRequests()) return true;
      if (!debugActive_) return false;
      continue;
    }
    if (MustStopBeforeStep()) {
      if (StopBeforeStep()) return true;
      if (!debugActive_) return false;
      continue;
    }
    passOnce_ = false;
    ++stepsExecuted_;
    RaisedException = kNoException;
    if (StepInMode()) {
      if (FrameFellDue()) return true;
      if (!debugActive_) return false;
    }
    // After an exception PC is the handler's first instruction; the cause goes to the console.
    const bool exception = stopOnException_ && RaisedException != kNoException;
    if (exception) DbgAddLine(ExceptionLine(RaisedException));
    // The signal processor reached a breakpoint in IMEM during the step's events.
    const bool rspBreak = runAccurate_ && RspTakeBreak();
    if (exception || rspBreak) {
      if (StopBeforeStep()) return true;
      if (!debugActive_) return false;
    }
  }
  return true;
}

void TEngine::SetPaused(bool paused) {
  if (paused == paused_) return;
  if (paused)
    pausedSince_ = clock_->Now();
  else
    pausedFor_ += clock_->Now() - pausedSince_;
  paused_ = paused;
}

bool TEngine::MustStopBeforeStep() const {
  if (passOnce_) return false;
  return stepMode_ || std::binary_search(breakpoints_.begin(), breakpoints_.end(), PC.Lo);
}

bool TEngine::StopBeforeStep() {
  {
    std::lock_guard lock(statusMutex_);
    wantPaused_ = true;
  }
  SetPaused(true);
  passOnce_ = true;
  if (stopHandler_) stopHandler_();
  {
    std::lock_guard lock(wakeMutex_);
    ++stops_;
  }
  wake_.notify_all();
  return ApplyRequests();
}

void TEngine::ApplyDebugControl() {
  std::lock_guard lock(debugMutex_);
  stepMode_ = postedStepMode_;
  breakpoints_ = postedBreakpoints_;
  stopOnException_ = postedStopOnException_;
  debugActive_ = stepMode_ || !breakpoints_.empty() || stopOnException_;
  // Breakpoints in IMEM (0x04001000 in either segment) stop the signal processor there too.
  std::vector<uint32_t> imem;
  for (uint32_t address : breakpoints_)
    if ((address & kPhysicalMask) == kImemAddress) imem.push_back(address & kImemMask);
  SetRspBreakpoints(std::move(imem));
}

bool TEngine::FrameFellDue() {
  if (limitSpeed_.load(std::memory_order_relaxed) && WaitForFrameTime()) return true;
  PresentDueFrame();
  return FrameLimitReached();
}

bool TEngine::WaitForFrameTime() {
  for (;;) {
    if (restartPacing_) {
      pacer_.Start(clock_->Now(), frameRate_);
      restartPacing_ = false;
    }
    {
      std::unique_lock lock(wakeMutex_);
      clock_->WaitUntil(lock, wake_, pacer_.Deadline(), [this] { return requests_.load() != 0; });
    }
    if (requests_.load() == 0) break;
    if (ApplyRequests()) return true;
    if (!limitSpeed_.load()) return false;
  }
  pacer_.Released(clock_->Now());
  return false;
}

bool TEngine::StepInMode() {
  if (!AccurateHardware) return CpuStep<false>();
  const bool frameDue = CpuStep<true>();
  stepsExecuted_ += TakeSkippedCycles();
  return frameDue;
}

bool TEngine::StepOnce() {
  ++stepsExecuted_;
  bool frameLimit = false;
  if (StepInMode()) {
    PresentDueFrame();
    frameLimit = FrameLimitReached();
  }
  return frameLimit || (limits_.steps && stepsExecuted_ >= *limits_.steps);
}

void TEngine::PresentDueFrame() {
  ++framesDue_;
  if (frameHook_) frameHook_(framesDue_);
  if (RendererReady.load(std::memory_order_relaxed) && PresentFrame()) {
    ++FrameCount;
    PublishFrameRate();
  }
}

void TEngine::PublishFrameRate() {
  const std::string text = "FPS = " + FpsText();
  // A notice that the program needs the accurate mode stays readable for a while.
  if (AccurateOnlyNoticeShowing()) return;
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
    if (request & kPauseChanged) {
      SetPaused(wantPaused_.load());
      // Time spent paused is not made up for afterwards.
      restartPacing_ = true;
    }
    if (request & kPacingChanged) restartPacing_ = true;
    if (request & (kCaptureState | kRestoreState)) ApplyStateRequest(request);
    if (request & kJump) PostImmediateTransfer(jumpTarget_);
    if (request & kException) {
      // The accurate machine enters it as its own exceptions do, before the next instruction.
      if (AccurateHardware)
        EnterExceptionNow(kExcInterrupt);
      else
        EnterException(0);
    }
    if (request & kForceRender) PresentFrame();
    if (request & kDebugControl) ApplyDebugControl();
    if ((request & kSingleStep) && paused_) {
      const bool limitReached = StepOnce();
      {
        std::lock_guard lock(wakeMutex_);
        ++singleStepsDone_;
      }
      wake_.notify_all();
      if (limitReached) return true;
    }
    // Last, so the work sees every change posted before it.
    if (request & kInspect) ServeInspection();
    if (!paused_) return false;
  }
}

}  // namespace vantor
