// Frame pacing: when each video frame may be shown so that frames follow one another at the
// console's video rate, measured against deadlines on one clock so that no error adds up.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace vantor {

using TNanos = std::chrono::nanoseconds;

// After a stall, at most this many frames follow the late one without a wait; the schedule then
// goes on from there instead of hurrying to make up for all of the lost time.
inline constexpr uint32_t kCatchUpFrames = 3;

class TFramePacer {
 public:
  // The first frame is due at `now`, the following ones `rate` times per second after it.
  void Start(TNanos now, uint32_t rate);
  // When the next frame may be released.
  TNanos Deadline() const;
  // The frame due at Deadline() has been released at `now`; moves on to the next one.
  void Released(TNanos now);
  uint32_t Rate() const { return rate_; }

 private:
  TNanos Period() const { return TNanos(1'000'000'000 / rate_); }

  TNanos base_{0};
  uint64_t frame_ = 0;
  uint32_t rate_ = 60;
};

// The clock the emulation thread paces against. Tests replace it with one they drive.
class TPaceClock {
 public:
  virtual ~TPaceClock() = default;
  virtual TNanos Now() = 0;
  // Blocks until Now() reaches `deadline` or `woken` holds, whichever comes first. `lock` holds
  // the mutex under which `wake` is notified whenever `woken` may have become true.
  virtual void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                         TNanos deadline, const std::function<bool()>& woken) = 0;
};

// The host's monotonic clock (std::chrono::steady_clock).
TPaceClock& SteadyPaceClock();

}  // namespace vantor
