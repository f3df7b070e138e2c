#include "tests/support/Deadline.h"

#include <cstdio>
#include <cstdlib>

namespace vantor::test {

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

Watchdog::Watchdog(std::string what, std::chrono::milliseconds deadline)
    : thread_([this, what = std::move(what), deadline] {
        std::unique_lock lock(mutex_);
        if (finished_.wait_for(lock, deadline, [this] { return done_; })) return;
        std::fprintf(stderr, "%s did not finish within %lld s\n", what.c_str(),
                     static_cast<long long>(
                         std::chrono::duration_cast<std::chrono::seconds>(deadline).count()));
        std::fflush(stderr);
        std::_Exit(1);
      }) {}

Watchdog::~Watchdog() {
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  finished_.notify_all();
  thread_.join();
}

}  // namespace vantor::test
