// A host whose console lines from other threads travel through one bounded, ordered queue that
// the owning (main) thread drains, and whose status text is a latest value: only the newest text
// matters, so status texts never wait and never crowd out lines.
//
// Lines from other threads that repeat the group of up to kMaxRepeatGroup lines before them are
// counted, not queued: a program that reports the same fault in a loop costs a counter, not a
// line, and never waits for the drainer. Every distinct line is still delivered; the lines of a
// group begun but not completed are held until the next different line or FlushRepeats. The
// draining thread's own lines answer the user and are always delivered as they are.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

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
  // The lines of a group begun are queued (or, on the draining thread, delivered) as lines.
  void EndRepeats() override;
  void DrainPending() override { Drain(); }

  // On the draining thread: delivers up to `limit` queued lines in order, then the waiting status
  // text; returns how many lines. When lines remain it calls WorkArrived again.
  size_t Drain(size_t limit = SIZE_MAX);
  // On the draining thread: drains, then ends the count of repeats and delivers the lines of a
  // group begun, so that everything logged so far has been delivered.
  void FlushRepeats();

  static constexpr size_t kMaxRepeatGroup = 8;
  // "… repeated 12,345 times" for one line, "… the last 2 lines repeated 12,345 times" for more.
  static std::string RepeatText(uint64_t repeats, size_t lines);

 protected:
  virtual void DeliverLine(std::string_view line) = 0;
  // The last `lines` delivered lines have come `repeats` more times since. `final` is true once:
  // before a different line is delivered, or at FlushRepeats. The default delivers RepeatText
  // as one line then; a display that can change its last line may show each count as it grows.
  virtual void DeliverRepeats(uint64_t repeats, size_t lines, bool final);
  virtual void DeliverStatus(std::string_view text) = 0;
  // Work waits for the draining thread, which has not been told yet: the first line or text
  // after a drain, or lines a drain left behind. Called without a lock held, once until the next
  // drain, on the writing or the draining thread.
  virtual void WorkArrived() {}

 private:
  // A queued line, or (repeats > 0) that many more of the group of `lines` lines before it.
  struct TEntry {
    std::string line;
    uint64_t repeats = 0;
    size_t lines = 0;
  };

  // Marks work as announced; true when the caller must call WorkArrived. Needs mutex_.
  bool Announce();
  // What a line from another thread adds to the queue, in order; nothing while it continues a
  // group. Needs mutex_.
  std::vector<TEntry> Classify(std::string_view line);
  // Ends a group in progress: the lines of it begun come back to be queued. Needs mutex_.
  std::vector<TEntry> EndGroup();
  void Remember(std::string_view line);
  // On the draining thread: delivers one entry.
  void Deliver(const TEntry& entry);
  // Ends the count being delivered.
  void EndDeliveredRepeats();
  // Queues entries from another thread, waiting for room; needs mutex_, held by `lock`.
  bool Queue(std::unique_lock<std::mutex>& lock, std::vector<TEntry> entries);

  const std::thread::id drainThread_;
  const size_t capacity_;
  std::mutex mutex_;
  std::condition_variable spaceFreed_;
  std::deque<TEntry> lines_;
  // Guarded by mutex_: the newest lines queued, and the group they repeat (its size; 0 for
  // none) with how many of its lines the repeat in progress has matched.
  std::deque<std::string> recent_;
  size_t groupSize_ = 0;
  size_t groupMatched_ = 0;
  // The draining thread's own: the count delivered so far.
  uint64_t deliveredRepeats_ = 0;
  size_t deliveredGroup_ = 0;
  std::string status_;
  bool statusWaiting_ = false;
  bool announced_ = false;
};

}  // namespace vantor
