// The machine clock in the accurate-hardware mode's processor: one instruction per cycle, COUNT
// at half the processor clock, COUNT = COMPARE as an event on the clock. The
// engine resets the clock for each accurate run; the mode's reset then registers the handlers
// and schedules the first events.
#pragma once

#include <cstdint>

#include "core/CpuState.h"
#include "core/Scheduler.h"

namespace vantor {

// Processor cycles per step: the accurate mode runs one instruction per cycle.
inline constexpr uint64_t kCyclesPerStep = 1;

// Moves the clock on by `cycles` and COUNT with it: COUNT counts every cycle the clock enters
// that is even, so it runs at half the processor clock whatever the steps between. Runs no
// event: callers stay short of the next one (CyclesToNextEvent).
[[gnu::always_inline]] inline void AdvanceClock(uint64_t cycles) {
  const uint64_t before = MachineClock.Now();
  MachineClock.Advance(cycles);
  Cop0Regs[COUNT] += static_cast<uint32_t>(MachineClock.Now() / 2 - before / 2);
}

// Schedules the Compare event for the cycle at which COUNT next equals COMPARE (2^32 counts on
// when they are equal now). Called whenever COUNT or COMPARE is written, and by the event.
void ScheduleCompare();

// Registers the handlers of the processor's and the interfaces' events: Compare, PiDma and SiDma
// (the other blocks register their own). Before restoring a clock.
void InstallClockHandlers();

// The first events of a new run, on a clock just reset: the compare match.
void StartClock();

// An idle loop's jump to itself: the clock moves on to two cycles before the next event, so that
// the event falls due at the end of the jump's delay slot, as if the loop had spun until then.
void SkipToNextEvent();

// Cycles idle loops have skipped since the engine last took them. They stand for the loop's own
// instructions, one a cycle, so the engine counts them as steps: a run of N steps is N cycles of
// the machine whether its program spins or idles, and its frames are the fields of that time.
extern uint64_t IdleSkippedCycles;
inline uint64_t TakeSkippedCycles() {
  const uint64_t cycles = IdleSkippedCycles;
  IdleSkippedCycles = 0;
  return cycles;
}

// Cycles until the video interface presents its next frame (what the frame countdown is in the
// default mode).
int32_t CyclesToFrame();

}  // namespace vantor
