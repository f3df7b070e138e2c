// The emulation thread: one run prepares the machine, steps it until told to stop, hands each
// due frame to the renderer and reports how many frames it drew and how fast.
#pragma once

#include <sys/types.h>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/FramePacer.h"
#include "common/StateFile.h"

namespace vantor {

// Frames presented in the current run, and the millisecond clock when it started.
extern uint32_t FrameCount;
extern uint32_t RunStartTime;

// Frame-rate state, kept across runs.
inline constexpr double FpsInterval = 400;
extern double FpsFrames;
extern double FpsLastTime;
extern double FpsValue;

// Counts a presented frame and returns the frame rate as at most five characters.
std::string FpsText();

// Where a run stops by itself; a run without limits goes on until it is stopped.
struct TRunLimits {
  std::optional<uint64_t> steps = std::nullopt;  // after this many steps (0: right after reset)
  std::optional<uint32_t> frames =
      std::nullopt;  // when this many frames have fallen due, presented or not
};

class TEngine {
 public:
  TEngine();
  ~TEngine();
  TEngine(const TEngine&) = delete;
  TEngine& operator=(const TEngine&) = delete;

  // Starts a run on a new thread; does nothing while a thread exists. A run started paused
  // halts before its first step, as after Pause. A run started from a state image (one that
  // CheckMachineImage accepted) goes on from that state instead of from reset.
  void Start(const TRunLimits& limits = {}, bool paused = false,
             std::shared_ptr<const TStateImage> from = nullptr);
  // Ends the run and waits for its closing steps, serving the host's queue meanwhile so that a
  // thread blocked on a full console queue can always finish. Nothing happens without a thread.
  void Stop();
  // Waits, serving the host's queue, until a run with limits has ended by itself.
  void WaitForEnd();
  bool Exists() const { return thread_.joinable(); }

  // Requests applied by the emulation thread between two steps.
  void Pause();
  void Resume();
  // While paused: runs one step and returns once it is done, the thread paused again.
  void SingleStep();
  void JumpHere(uint32_t address);
  void JumpToCev();
  void ForceRender();
  bool Paused() const { return paused_.load(); }

  // The debugger's hold on execution. With step mode on, the thread pauses before every
  // instruction; otherwise it pauses before executing any of the breakpoint addresses. A stop is
  // the pause of Pause; resuming executes the instruction stopped at before checking again. With
  // step mode off and no breakpoints the run keeps its fast loop, which checks neither.
  void SetDebugControl(bool stepMode, std::vector<uint32_t> breakpoints);
  // In the accurate mode, stops before the first instruction of the handler of any exception an
  // instruction raises (not interrupts), after a console line with its code, EPC and BadVAddr.
  void SetStopOnException(bool stop);
  // Called on the emulation thread after each such stop, once paused. Set while no run exists.
  void SetStopHandler(std::function<void()> handler) { stopHandler_ = std::move(handler); }
  // Stops of the current run so far; WaitForStop waits until there are more than `seen` (true)
  // or the run has ended (false), serving the host's queue.
  uint64_t Stops() const { return stops_.load(); }
  bool WaitForStop(uint64_t seen);
  // Runs work where it may read the machine: on the emulation thread between two steps (paused
  // or not), or here when no run exists. False when the thread did not come to it within
  // timeoutMs (it may be held in a message box); the work is then withdrawn and never runs.
  bool Inspect(const std::function<void()>& work, int timeoutMs = 500);

  // With exact on, every run steps one instruction at a time (the reference the block runner is
  // held to); otherwise runs without debugger control use blocks. Taken at the next Start.
  void SetExactPath(bool exact) { exactPath_ = exact; }
  bool ExactPath() const { return exactPath_; }

  // Called on the emulation thread each time a frame falls due, before it is presented, with
  // the number of frames due so far in the run. Set only while no run exists.
  void SetFrameHook(std::function<void(uint32_t framesDue)> hook) { frameHook_ = std::move(hook); }

  // Frame pacing: while on, each frame is shown no sooner than its time at the ROM's video rate
  // (50 or 60 frames per second by its country code). Off by default. Switching it wakes a
  // waiting thread at once; so does every other request.
  void SetLimitSpeed(bool on);
  bool LimitSpeed() const { return limitSpeed_.load(); }
  // The clock pacing measures and waits with; tests give one they drive. Only while no run.
  void SetPaceClock(TPaceClock& clock) { clock_ = &clock; }
  // Frames per second the current or last run is paced at.
  uint32_t FrameRate() const { return frameRate_; }

  // Save states. With a run these hand the work to the emulation thread, which does it between
  // two steps (paused or not), and return once it is done; without one they act at once, on
  // the machine the last run left. A capture needs a run to have built the map; a restore
  // needs an image that CheckMachineImage accepted, and re-initialises the renderer with the
  // saved frame width.
  TStateImage CaptureState();
  void RestoreState(std::shared_ptr<const TStateImage> image);

  // Scheduling niceness of the emulation thread (-20 highest to 19 lowest): applied to the running
  // thread at once and to every later run. When the system refuses a raise, the thread runs at
  // normal priority (or keeps its lower one) and one console line says why.
  void SetNiceness(int nice);
  // Normal priority: the niceness of the thread that made the engine, the one the program was
  // started with (0 unless it was started with nice). A new run's thread starts at it.
  int NormalNiceness() const { return normalNiceness_; }

  // The accurate-hardware mode (core/Accurate.h) for the runs started from now on; a running run
  // keeps the mode it started with.
  void SetAccurateHardware(bool accurate) { accurateNext_ = accurate; }
  bool AccurateHardwareNext() const { return accurateNext_.load(); }
  int Niceness() const;
  // The kernel id of the running emulation thread; 0 while none runs.
  pid_t ThreadId() const;

  // Figures of the last run, valid after it ended.
  uint64_t StepsExecuted() const { return stepsExecuted_; }
  uint32_t FramesDue() const { return framesDue_; }
  uint32_t ElapsedMs() const { return elapsedMs_; }

 private:
  void Execute();
  void Loop();
  // The loops return true when the run is to end and false to switch to the other loop. The
  // fast loop is instantiated once per machine mode and way of stepping (blocks run only in the
  // default mode); the debug loop and single steps pick the mode's step at each instruction.
  template <bool kAccurate, bool kBlocks>
  bool FastLoop();
  bool DebugLoop();
  bool StepInMode();
  // In the debug loop, before the instruction at PC: true when it must stop there first.
  bool MustStopBeforeStep() const;
  // Pauses as Pause does and tells the stop handler; true when the run is to end.
  bool StopBeforeStep();
  void ApplyDebugControl();
  void ServeInspection();
  // Applies posted requests; true when the run is to end. Blocks while paused.
  bool ApplyRequests();
  // One step with its frame, outside the hot loop; true when the run's limits are reached.
  bool StepOnce();
  // What the loop does when a step reports a due frame: waits for its time while pacing, then
  // presents it. True when the run is to end.
  bool FrameFellDue();
  // Waits until the due frame's time has come, applying requests that arrive meanwhile. True
  // when one of them ends the run.
  bool WaitForFrameTime();
  // Counts a frame that fell due and presents it when the renderer is ready.
  void PresentDueFrame();
  // Applies a state image on the emulation thread, renderer included.
  void ApplyStateImage(const TStateImage& image);
  // Serves posted capture and restore requests and tells the waiting caller.
  void ApplyStateRequest(uint32_t request);
  bool FrameLimitReached() const { return limits_.frames && framesDue_ >= *limits_.frames; }
  // Shows the frame rate, unless a pause has been asked for.
  void PublishFrameRate();
  void Post(uint32_t request);
  void Join();
  // Applies niceness_ to threadId_; called with priorityMutex_ held. Returns the console line
  // to write, if any, so that it is written after the lock is released.
  std::string ApplyNiceness();
  // Pauses or resumes the loop, counting the time spent paused; emulation thread only.
  void SetPaused(bool paused);
  // Waits, serving the host's queue, until the predicate holds or the run has ended.
  template <typename Predicate>
  void WaitServingHost(Predicate done);

  std::thread thread_;
  std::atomic<uint32_t> requests_{0};
  std::atomic<bool> finished_{false};
  std::atomic<bool> wantPaused_{false};
  std::atomic<bool> paused_{false};
  std::atomic<bool> accurateNext_{false};
  bool runAccurate_ = false;  // the mode taken by Start for its run
  std::atomic<uint32_t> jumpTarget_{0};
  std::atomic<uint64_t> singleStepsDone_{0};
  std::atomic<uint64_t> stateRequestsDone_{0};
  std::atomic<bool> limitSpeed_{false};
  TPaceClock* clock_ = &SteadyPaceClock();
  TFramePacer pacer_;
  bool restartPacing_ = true;
  uint32_t frameRate_ = 60;
  // Guards the images handed between the threads.
  std::mutex stateMutex_;
  std::shared_ptr<const TStateImage> startImage_;
  std::shared_ptr<const TStateImage> restoreImage_;
  std::optional<TStateImage> capturedImage_;
  std::mutex statusMutex_;  // orders frame-rate texts against a pause request
  std::mutex wakeMutex_;
  std::condition_variable wake_;
  TRunLimits limits_;
  std::function<void(uint32_t)> frameHook_;
  uint64_t stepsExecuted_ = 0;
  uint32_t framesDue_ = 0;
  uint32_t elapsedMs_ = 0;  // the time the last run was going, without its pauses
  // The run's start and its pauses on clock_, for elapsedMs_.
  TNanos runStart_{0};
  TNanos pausedSince_{0};
  TNanos pausedFor_{0};
  // Debugger control as posted, and as the emulation thread applies it.
  std::mutex debugMutex_;
  bool postedStepMode_ = false;
  std::vector<uint32_t> postedBreakpoints_;
  bool postedStopOnException_ = false;
  bool stepMode_ = false;
  bool stopOnException_ = false;
  std::vector<uint32_t> breakpoints_;  // sorted
  bool debugActive_ = false;
  bool exactPath_ = false;
  bool runExact_ = false;  // exactPath_ as the current run took it
  bool passOnce_ = false;  // the instruction stopped at runs before the next check
  std::function<void()> stopHandler_;
  std::atomic<uint64_t> stops_{0};
  // One waiting Inspect call. While it waits the main thread serves its events, and one of them
  // may inspect as well, so several can wait at once.
  struct TInspection {
    const std::function<void()>* work;
    std::atomic<bool> done{false};
  };
  std::mutex inspectMutex_;
  std::vector<TInspection*> inspections_;  // guarded by inspectMutex_
  mutable std::mutex priorityMutex_;
  pid_t threadId_ = 0;
  const int normalNiceness_;
  int niceness_;
  bool refusalReported_ = false;
};

}  // namespace vantor
