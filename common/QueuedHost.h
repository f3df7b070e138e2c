// A host whose console lines from other threads travel through one bounded, ordered queue that
// the owning (main) thread drains, and whose status text is a latest value: only the newest text
// matters, so status texts never wait and never crowd out lines.
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

  // From the draining thread: earlier queued lines are delivered first, then this one. From any
  // other thread: queued; waits while the queue is full, so a flood slows the writer down.
  void LogLine(std::string_view line) override;
  // From the draining thread: delivered at once, and a text another thread published before it
  // is dropped. From any other thread: replaces the waiting text, delivered at the next drain.
  void SetStatusText(std::string_view text) override;
  void DrainPending() override { Drain(); }

  // On the draining thread: delivers up to `limit` queued lines in order, then the waiting status
  // text; returns how many lines. When lines remain it calls WorkArrived again.
  size_t Drain(size_t limit = SIZE_MAX);

 protected:
  virtual void DeliverLine(std::string_view line) = 0;
  virtual void DeliverStatus(std::string_view text) = 0;
  // Work waits for the draining thread, which has not been told yet: the first line or text
  // after a drain, or lines a drain left behind. Called without a lock held, once until the next
  // drain, on the writing or the draining thread.
  virtual void WorkArrived() {}

 private:
  // Marks work as announced; true when the caller must call WorkArrived. Needs mutex_.
  bool Announce();

  const std::thread::id drainThread_;
  const size_t capacity_;
  std::mutex mutex_;
  std::condition_variable spaceFreed_;
  std::deque<std::string> lines_;
  std::string status_;
  bool statusWaiting_ = false;
  bool announced_ = false;
};

}  // namespace vantor
