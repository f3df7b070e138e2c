// A host whose console lines and status texts from other threads travel through one bounded,
// ordered queue that the owning (main) thread drains in batches.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "common/Host.h"

namespace vantor {

class TQueuedHost : public THost {
 public:
  // The constructing thread is the one that drains.
  explicit TQueuedHost(size_t capacity = 4096);

  // From the draining thread: earlier queued items are delivered first, then this one. From any
  // other thread: queued; waits while the queue is full, so a flood slows the writer down.
  void LogLine(std::string_view line) override;
  void SetStatusText(std::string_view text) override;
  void DrainPending() override { Drain(); }

  // On the draining thread: delivers up to `limit` queued items in order; returns how many.
  size_t Drain(size_t limit = SIZE_MAX);

 protected:
  virtual void DeliverLine(std::string_view line) = 0;
  virtual void DeliverStatus(std::string_view text) = 0;

 private:
  struct Item {
    bool isStatus;
    std::string text;
  };
  void Post(bool isStatus, std::string_view text);

  const std::thread::id drainThread_;
  const size_t capacity_;
  std::mutex mutex_;
  std::condition_variable spaceFreed_;
  std::deque<Item> items_;
};

}  // namespace vantor
