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

std::string TQueuedHost::RepeatText(uint64_t repeats, size_t lines) {
  std::string digits = std::to_string(repeats);
  for (size_t at = digits.size(); at > 3; at -= 3)
    digits.insert(at - 3, 1, ',');
  const std::string what = lines == 1 ? "" : "the last " + std::to_string(lines) + " lines ";
  return "\u2026 " + what + "repeated " + digits + (repeats == 1 ? " time" : " times");
}

void TQueuedHost::DeliverRepeats(uint64_t repeats, size_t lines, bool final) {
  if (final) DeliverLine(RepeatText(repeats, lines));
}

void TQueuedHost::Remember(std::string_view line) {
  recent_.emplace_back(line);
  if (recent_.size() > kMaxRepeatGroup) recent_.pop_front();
}

std::vector<TQueuedHost::TEntry> TQueuedHost::EndGroup() {
  std::vector<TEntry> begun;
  for (size_t i = 0; i < groupMatched_; ++i)
    begun.push_back({recent_[recent_.size() - groupSize_ + i]});
  groupSize_ = groupMatched_ = 0;
  for (const TEntry& entry : begun)
    Remember(entry.line);
  return begun;
}

std::vector<TQueuedHost::TEntry> TQueuedHost::Classify(std::string_view line) {
  if (groupSize_ == 0) {
    // The smallest group whose first line this is starts a repeat.
    for (size_t size = 1; size <= recent_.size(); ++size)
      if (line == recent_[recent_.size() - size]) {
        groupSize_ = size;
        break;
      }
  }
  if (groupSize_ > 0) {
    if (line == recent_[recent_.size() - groupSize_ + groupMatched_]) {
      if (++groupMatched_ < groupSize_) return {};
      groupMatched_ = 0;
      if (!lines_.empty() && lines_.back().repeats > 0) {
        ++lines_.back().repeats;
        return {};
      }
      return {{{}, 1, groupSize_}};
    }
    std::vector<TEntry> entries = EndGroup();
    entries.push_back({std::string(line)});
    Remember(line);
    return entries;
  }
  Remember(line);
  return {{std::string(line)}};
}

void TQueuedHost::LogLine(std::string_view line) {
  if (std::this_thread::get_id() == drainThread_) {
    // The drainer never waits on its own queue: it delivers what is queued ahead of it and the
    // lines of a group begun, then its own line, which ends any count.
    Drain();
    std::vector<TEntry> begun;
    {
      std::lock_guard lock(mutex_);
      begun = EndGroup();
      recent_.clear();
    }
    EndDeliveredRepeats();
    for (const TEntry& entry : begun)
      DeliverLine(entry.line);
    DeliverLine(line);
    return;
  }
  bool announce;
  {
    std::unique_lock lock(mutex_);
    // A repeat that joins the queued count needs no room and no announcement.
    announce = Queue(lock, Classify(line));
  }
  if (announce) WorkArrived();
}

bool TQueuedHost::Queue(std::unique_lock<std::mutex>& lock, std::vector<TEntry> entries) {
  bool announce = false;
  for (TEntry& entry : entries) {
    spaceFreed_.wait(lock, [this] { return lines_.size() < capacity_; });
    lines_.push_back(std::move(entry));
    announce = Announce() || announce;
  }
  return announce;
}

void TQueuedHost::EndRepeats() {
  if (std::this_thread::get_id() == drainThread_) {
    FlushRepeats();
    return;
  }
  bool announce;
  {
    std::unique_lock lock(mutex_);
    std::vector<TEntry> begun = EndGroup();
    recent_.clear();
    announce = Queue(lock, std::move(begun));
  }
  if (announce) WorkArrived();
}

void TQueuedHost::Deliver(const TEntry& entry) {
  if (entry.repeats > 0) {
    deliveredRepeats_ += entry.repeats;
    deliveredGroup_ = entry.lines;
    DeliverRepeats(deliveredRepeats_, deliveredGroup_, false);
    return;
  }
  EndDeliveredRepeats();
  DeliverLine(entry.line);
}

void TQueuedHost::EndDeliveredRepeats() {
  if (deliveredRepeats_ == 0) return;
  DeliverRepeats(std::exchange(deliveredRepeats_, 0), deliveredGroup_, true);
}

void TQueuedHost::FlushRepeats() {
  Drain();
  std::vector<TEntry> begun;
  {
    std::lock_guard lock(mutex_);
    begun = EndGroup();
    recent_.clear();
  }
  EndDeliveredRepeats();
  for (const TEntry& entry : begun)
    DeliverLine(entry.line);
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
  std::vector<TEntry> batch;
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
  for (const TEntry& entry : batch)
    Deliver(entry);
  if (hasStatus) DeliverStatus(status);
  if (more) WorkArrived();
  return batch.size();
}

}  // namespace vantor
