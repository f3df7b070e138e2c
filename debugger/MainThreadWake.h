// Wakes the main thread from any other thread: the call given at construction then runs on the
// main thread at its event loop's next turn. The wake is an eventfd the loop watches, so nothing
// made on the other thread crosses over and whatever the call reads goes through locks of ours,
// where the thread sanitizer can see the hand-over (Qt's own queue locking is invisible to it).
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace vantor {

class TMainThreadWake : public QObject {
 public:
  // Made on the main thread.
  explicit TMainThreadWake(std::function<void()> woken, QObject* parent = nullptr);
  ~TMainThreadWake() override;

  // From any thread, the main thread too; wakes that come before the call runs are one.
  void Wake();

 private:
  void Woken();

  std::function<void()> woken_;
  int fd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace vantor
