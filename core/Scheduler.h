// The machine clock of the accurate-hardware mode: the cycles of the main processor since the
// run began, and the timed events of every hardware block on that one time line. Each kind of
// event is pending at most once; a block that wants another one schedules it again from its
// handler. The clock sits below the processor and the hardware blocks, which all include it, and
// knows none of them: each block registers its own handlers at its reset.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vantor {

// Processor cycles per second, and the rates the other blocks run at against them.
inline constexpr uint64_t kCpuClockHz = 93'750'000;
inline constexpr uint64_t kRspClockHz = 62'500'000;

// Every timed thing of the machine, one slot each.
enum class TEventKind : uint8_t {
  Compare,   // COUNT reaches COMPARE
  PiDma,     // the end of a peripheral-interface DMA
  SiDma,     // the end of a serial-interface DMA
  ViLine,    // the video interface's next half-line
  SpDma,     // the end of a signal-processor DMA
  RspSlice,  // the signal processor's next slice of cycles
  DpWork,    // the display processor's end of a command list
  AiBuffer,  // the end of the audio buffer playing
  Frame,     // unused: video lines time the frames; the slot keeps the saved layout
  Count
};
inline constexpr std::size_t kEventKinds = static_cast<std::size_t>(TEventKind::Count);

inline constexpr uint64_t kNever = UINT64_MAX;

using TEventHandler = void (*)();

class TScheduler {
 public:
  // A new run: cycle 0, nothing pending, no handlers.
  void Reset();

  uint64_t Now() const { return now_; }
  // The cycle of the earliest pending event, kNever when none is.
  uint64_t NextEvent() const { return next_; }
  // Cycles from now until the earliest pending event (0 when it is due).
  uint64_t CyclesToNextEvent() const { return next_ > now_ ? next_ - now_ : 0; }

  // The handler called when an event of this kind falls due.
  void SetHandler(TEventKind kind, TEventHandler handler);
  // Makes the event of this kind fall due `delay` cycles from now (at `cycle`), replacing
  // whatever time it had.
  void Schedule(TEventKind kind, uint64_t delay) { ScheduleAt(kind, now_ + delay); }
  void ScheduleAt(TEventKind kind, uint64_t cycle);
  void Cancel(TEventKind kind);
  bool Pending(TEventKind kind) const { return when_[Slot(kind)] != kNever; }
  // The cycle the event of this kind is due at, kNever when it is not pending.
  uint64_t When(TEventKind kind) const { return when_[Slot(kind)]; }

  // Moves the clock on by `cycles` without running any event: callers keep it short of the next
  // one (a step is one cycle, a block stops before the event).
  void Advance(uint64_t cycles) { now_ += cycles; }
  // Runs every event due by now, earliest first (the order of kinds breaks ties); a handler may
  // schedule again, and an event it makes due by now runs in the same call.
  void RunDue();

  // A handler that completes a picture raises this; the stepping loop takes it after the step.
  void SignalFrame() { frameDue_ = true; }
  bool TakeFrame() {
    const bool due = frameDue_;
    frameDue_ = false;
    return due;
  }

  // What a save state keeps: the time and every pending event's cycle, in kind order.
  struct TSaved {
    uint64_t now;
    std::array<uint64_t, kEventKinds> when;
  };
  TSaved Save() const { return {now_, when_}; }
  void Restore(const TSaved& saved);

 private:
  static std::size_t Slot(TEventKind kind) { return static_cast<std::size_t>(kind); }
  void FindNext();

  uint64_t now_ = 0;
  uint64_t next_ = kNever;
  std::array<uint64_t, kEventKinds> when_{};
  std::array<TEventHandler, kEventKinds> handlers_{};
  bool frameDue_ = false;
};

// The one clock of the machine; the engine resets it for each run in the accurate mode.
extern TScheduler MachineClock;

}  // namespace vantor
