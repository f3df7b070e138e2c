#include "debugger/MainThreadWake.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstdint>
#include <system_error>

namespace vantor {

TMainThreadWake::TMainThreadWake(std::function<void()> woken, QObject* parent)
    : QObject(parent), woken_(std::move(woken)), fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TMainThreadWake::Woken);
}

TMainThreadWake::~TMainThreadWake() {
  delete notifier_;
  close(fd_);
}

void TMainThreadWake::Wake() {
  const uint64_t one = 1;
  // Fails only when the counter would overflow, and then the main thread is due to wake anyway.
  if (write(fd_, &one, sizeof one) < 0) return;
}

void TMainThreadWake::Woken() {
  uint64_t count;
  if (read(fd_, &count, sizeof count) < 0 && errno != EAGAIN) return;
  woken_();
}

}  // namespace vantor
