#include "tests/support/FifoRescue.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace vantor::test {

namespace {
constexpr auto kGrace = std::chrono::seconds(5);
constexpr auto kPoll = std::chrono::milliseconds(20);
}  // namespace

FifoRescue::FifoRescue(std::string path) : path_(std::move(path)) {
  if (mkfifo(path_.c_str(), 0644) != 0) throw std::runtime_error("mkfifo failed: " + path_);
  watchdog_ = std::thread([this] {
    const auto rescueFrom = std::chrono::steady_clock::now() + kGrace;
    while (!stop_) {
      std::this_thread::sleep_for(kPoll);
      if (std::chrono::steady_clock::now() < rescueFrom) continue;
      // Succeeds only while a reader has the FIFO open, which then sees its end at once.
      const int fd = open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0) continue;
      rescued_ = true;
      close(fd);
    }
  });
}

FifoRescue::~FifoRescue() {
  Rescued();
}

bool FifoRescue::Rescued() {
  stop_ = true;
  if (watchdog_.joinable()) watchdog_.join();
  return rescued_;
}

}  // namespace vantor::test
