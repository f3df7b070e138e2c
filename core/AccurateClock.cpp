#include "core/AccurateClock.h"

#include "common/MachineState.h"
#include "memory/AccuratePeripherals.h"
#include "memory/AccurateVideo.h"

namespace vantor {

uint64_t IdleSkippedCycles = 0;

namespace {

constexpr uint64_t kCountWrap = uint64_t{1} << 32;

// COUNT has reached COMPARE: the timer interrupt, and the next match a whole turn of COUNT on.
void CompareReached() {
  Cop0Regs[CAUSE] |= kCauseIP7;
  ScheduleCompare();
}

}  // namespace

void ScheduleCompare() {
  const uint32_t gap = Cop0Regs[COMPARE] - Cop0Regs[COUNT];
  const uint64_t counts = gap == 0 ? kCountWrap : gap;
  // COUNT steps when the clock enters an even cycle; the first such cycle after now is
  // (now | 1) + 1, and each further count two cycles later.
  MachineClock.ScheduleAt(TEventKind::Compare, (MachineClock.Now() | 1) + 2 * counts - 1);
}

void InstallClockHandlers() {
  MachineClock.SetHandler(TEventKind::Compare, CompareReached);
  MachineClock.SetHandler(TEventKind::PiDma, PiDmaEnds);
  MachineClock.SetHandler(TEventKind::SiDma, SiDmaEnds);
}

void StartClock() {
  InstallClockHandlers();
  IdleSkippedCycles = 0;
  ScheduleCompare();
}

void SkipToNextEvent() {
  if (MachineClock.NextEvent() == kNever) return;
  const uint64_t left = MachineClock.CyclesToNextEvent();
  if (left <= 2) return;
  AdvanceClock(left - 2);
  IdleSkippedCycles += left - 2;
}

int32_t CyclesToFrame() {
  return ViCyclesToFrame();
}

}  // namespace vantor
