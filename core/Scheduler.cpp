#include "core/Scheduler.h"

#include <algorithm>

namespace vantor {

TScheduler MachineClock;

void TScheduler::Reset() {
  now_ = 0;
  next_ = kNever;
  when_.fill(kNever);
  handlers_.fill(nullptr);
  frameDue_ = false;
}

void TScheduler::SetHandler(TEventKind kind, TEventHandler handler) {
  handlers_[Slot(kind)] = handler;
}

void TScheduler::ScheduleAt(TEventKind kind, uint64_t cycle) {
  when_[Slot(kind)] = cycle;
  FindNext();
}

void TScheduler::Cancel(TEventKind kind) {
  when_[Slot(kind)] = kNever;
  FindNext();
}

void TScheduler::FindNext() {
  next_ = *std::min_element(when_.begin(), when_.end());
}

void TScheduler::RunDue() {
  while (next_ <= now_) {
    const size_t slot =
        static_cast<size_t>(std::min_element(when_.begin(), when_.end()) - when_.begin());
    when_[slot] = kNever;
    FindNext();
    if (TEventHandler handler = handlers_[slot]) handler();
  }
}

void TScheduler::Restore(const TSaved& saved) {
  now_ = saved.now;
  when_ = saved.when;
  FindNext();
}

}  // namespace vantor
