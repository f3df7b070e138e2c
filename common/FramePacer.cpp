#include "common/FramePacer.h"

#include <algorithm>

namespace vantor {

void TFramePacer::Start(TNanos now, uint32_t rate) {
  rate_ = std::max<uint32_t>(rate, 1);
  base_ = now;
  frame_ = 0;
}

TNanos TFramePacer::Deadline() const {
  // Each deadline is computed from the start, so rounding the period never accumulates.
  return base_ + TNanos(static_cast<int64_t>(frame_ * 1'000'000'000 / rate_));
}

void TFramePacer::Released(TNanos now) {
  ++frame_;
  // So far behind that more than the catch-up bound would go out without a wait: start afresh so
  // that exactly that many do.
  if (now - Deadline() >= kCatchUpFrames * Period())
    Start(now - (kCatchUpFrames - 1) * Period(), rate_);
}

namespace {

class TSteadyPaceClock : public TPaceClock {
 public:
  TNanos Now() override { return std::chrono::steady_clock::now().time_since_epoch(); }
  void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, TNanos deadline,
                 const std::function<bool()>& woken) override {
    wake.wait_until(lock, std::chrono::steady_clock::time_point(deadline), woken);
  }
};

}  // namespace

TPaceClock& SteadyPaceClock() {
  static TSteadyPaceClock clock;
  return clock;
}

}  // namespace vantor
