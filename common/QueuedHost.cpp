#include "common/QueuedHost.h"

#include <utility>
#include <vector>

namespace vantor {

TQueuedHost::TQueuedHost(size_t capacity)
    : drainThread_(std::this_thread::get_id()), capacity_(capacity) {}

bool TQueuedHost::Announce() {
  if (announced_) return false;
  announced_ = true;
  return true;
}

void TQueuedHost::LogLine(std::string_view line) {
  if (std::this_thread::get_id() == drainThread_) {
    // The drainer never waits on its own queue; it delivers what is queued ahead of it first.
    Drain();
    DeliverLine(line);
    return;
  }
  bool announce;
  {
    std::unique_lock lock(mutex_);
    spaceFreed_.wait(lock, [this] { return lines_.size() < capacity_; });
    lines_.emplace_back(line);
    announce = Announce();
  }
  if (announce) WorkArrived();
}

void TQueuedHost::SetStatusText(std::string_view text) {
  if (std::this_thread::get_id() == drainThread_) {
    {
      std::lock_guard lock(mutex_);
      statusWaiting_ = false;
    }
    DeliverStatus(text);
    return;
  }
  bool announce;
  {
    std::lock_guard lock(mutex_);
    status_.assign(text);
    statusWaiting_ = true;
    announce = Announce();
  }
  if (announce) WorkArrived();
}

size_t TQueuedHost::Drain(size_t limit) {
  std::vector<std::string> batch;
  std::string status;
  bool hasStatus;
  bool more;
  {
    std::lock_guard lock(mutex_);
    const size_t count = std::min(limit, lines_.size());
    batch.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      batch.push_back(std::move(lines_.front()));
      lines_.pop_front();
    }
    hasStatus = std::exchange(statusWaiting_, false);
    if (hasStatus) status.swap(status_);
    more = !lines_.empty();
    announced_ = more;
  }
  spaceFreed_.notify_all();
  for (const std::string& line : batch)
    DeliverLine(line);
  if (hasStatus) DeliverStatus(status);
  if (more) WorkArrived();
  return batch.size();
}

}  // namespace vantor
