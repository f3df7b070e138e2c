// A FIFO with a watchdog: if anything still waits on it after a grace period (an open for
// reading blocks until a writer comes), the watchdog opens the writing end so that the wait
// ends, and remembers that it had to. Tests of code that must never wait on a FIFO check that.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace vantor::test {

class FifoRescue {
 public:
  // Makes the FIFO at path and starts watching it.
  explicit FifoRescue(std::string path);
  // Stops watching; call it once the code under test has returned.
  ~FifoRescue();
  FifoRescue(const FifoRescue&) = delete;
  FifoRescue& operator=(const FifoRescue&) = delete;

  const std::string& Path() const { return path_; }
  // Stops the watchdog and tells whether something had to be rescued.
  bool Rescued();

 private:
  std::string path_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> rescued_{false};
  std::thread watchdog_;
};

}  // namespace vantor::test
