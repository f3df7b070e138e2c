#include "ui/QtHost.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <cerrno>
#include <cstdint>
#include <system_error>

#include "ui/Dialogs.h"

namespace vantor::ui {

QString CoreText(std::string_view text) {
  const auto size = static_cast<qsizetype>(text.size());
  QString decoded = QString::fromUtf8(text.data(), size);
  if (decoded.contains(QChar::ReplacementCharacter)) return QString::fromLatin1(text.data(), size);
  return decoded;
}

TQtHost::TQtHost(TUserDialogs& dialogs)
    : dialogs_(dialogs), wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (wakeFd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  wakeNotifier_ = new QSocketNotifier(wakeFd_, QSocketNotifier::Read, this);
  connect(wakeNotifier_, &QSocketNotifier::activated, this, &TQtHost::Woken);
}

TQtHost::~TQtHost() {
  delete wakeNotifier_;
  close(wakeFd_);
}

void TQtHost::Wake() {
  const uint64_t one = 1;
  // Fails only when the counter would overflow, and then the main thread is due to wake anyway.
  if (write(wakeFd_, &one, sizeof one) < 0) return;
}

void TQtHost::Woken() {
  uint64_t count;
  if (read(wakeFd_, &count, sizeof count) < 0 && errno != EAGAIN) return;
  std::vector<std::string> messages;
  {
    std::lock_guard lock(messagesMutex_);
    messages.swap(pendingMessages_);
  }
  for (const std::string& text : messages)
    dialogs_.ShowError(messageParent_, CoreText(text));
  DrainBatch();
}

bool TQtHost::OnMainThread() const {
  return QThread::currentThread() == thread();
}

void TQtHost::SetLineSink(TLineSink sink) {
  lineSink_ = std::move(sink);
  FlushLines();
}

void TQtHost::SetStatusSink(TStatusSink sink) {
  statusSink_ = std::move(sink);
}

void TQtHost::LogLine(std::string_view line) {
  TQueuedHost::LogLine(line);
  if (OnMainThread()) FlushLines();
}

void TQtHost::ShowMessage(std::string_view text) {
  if (OnMainThread()) {
    dialogs_.ShowError(messageParent_, CoreText(text));
    return;
  }
  {
    std::lock_guard lock(messagesMutex_);
    pendingMessages_.emplace_back(text);
  }
  Wake();
}

void TQtHost::DrainPending() {
  Drain();
  FlushLines();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool TQtHost::DrainBatch() {
  const bool any = Drain(kBatchSize) != 0;
  FlushLines();
  return any;
}

void TQtHost::DeliverLine(std::string_view line) {
  pendingLines_.append(CoreText(line));
}

void TQtHost::WorkArrived() {
  // Through the event loop even on the main thread, so a drain that left lines behind lets other
  // events go first.
  Wake();
}

void TQtHost::DeliverStatus(std::string_view text) {
  if (statusSink_) statusSink_(CoreText(text));
}

void TQtHost::FlushLines() {
  if (!lineSink_ || pendingLines_.isEmpty()) return;
  lineSink_(pendingLines_);
  pendingLines_.clear();
}

}  // namespace vantor::ui
