#include "common/QueuedHost.h"

#include <utility>

namespace vantor {

TQueuedHost::TQueuedHost(size_t capacity)
    : drainThread_(std::this_thread::get_id()), capacity_(capacity) {}

void TQueuedHost::LogLine(std::string_view line) {
  Post(false, line);
}

void TQueuedHost::SetStatusText(std::string_view text) {
  Post(true, text);
}

void TQueuedHost::Post(bool isStatus, std::string_view text) {
  if (std::this_thread::get_id() == drainThread_) {
    // The drainer never waits on its own queue; it delivers what is queued ahead of it first.
    Drain();
    isStatus ? DeliverStatus(text) : DeliverLine(text);
    return;
  }
  std::unique_lock lock(mutex_);
  spaceFreed_.wait(lock, [this] { return items_.size() < capacity_; });
  items_.push_back({isStatus, std::string(text)});
}

size_t TQueuedHost::Drain(size_t limit) {
  std::deque<Item> batch;
  {
    std::lock_guard lock(mutex_);
    const size_t count = std::min(limit, items_.size());
    batch.insert(batch.end(), std::make_move_iterator(items_.begin()),
                 std::make_move_iterator(items_.begin() + static_cast<ptrdiff_t>(count)));
    items_.erase(items_.begin(), items_.begin() + static_cast<ptrdiff_t>(count));
  }
  spaceFreed_.notify_all();
  for (const Item& item : batch)
    item.isStatus ? DeliverStatus(item.text) : DeliverLine(item.text);
  return batch.size();
}

}  // namespace vantor
