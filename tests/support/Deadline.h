// Deadlines for tests that wait for the emulation thread: a broken engine then fails its test
// with a message saying what it waited for, instead of hanging until ctest kills the program.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace vantor::test {

// Generous: sanitizer builds on a busy machine are slow, and only a stuck engine comes near it.
inline constexpr std::chrono::seconds kEngineDeadline{60};

// Polls `done` until it holds; false when it still does not after the deadline.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds deadline = kEngineDeadline);

// For calls that block until the engine answers (WaitForEnd, Stop, SingleStep): while alive, it
// ends the test program with "<what> did not finish within N s" once the deadline has passed.
class Watchdog {
 public:
  explicit Watchdog(std::string what, std::chrono::milliseconds deadline = kEngineDeadline);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable finished_;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace vantor::test
