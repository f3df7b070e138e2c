#include "ui/QtHost.h"

#include <QCoreApplication>
#include <QThread>

#include "ui/Dialogs.h"

namespace vantor::ui {

QString CoreText(std::string_view text) {
  const auto size = static_cast<qsizetype>(text.size());
  QString decoded = QString::fromUtf8(text.data(), size);
  if (decoded.contains(QChar::ReplacementCharacter)) return QString::fromLatin1(text.data(), size);
  return decoded;
}

TQtHost::TQtHost(TUserDialogs& dialogs) : dialogs_(dialogs) {}

void TQtHost::Woken() {
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

void TQtHost::SetLineSink(TLineSink sink, TLastLineSink replaceLast) {
  lineSink_ = std::move(sink);
  replaceLast_ = std::move(replaceLast);
  lastIsCount_ = false;
  replacesShownLast_ = false;
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
  wake_.Wake();
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
  lastIsCount_ = false;
}

void TQtHost::DeliverRepeats(uint64_t repeats, size_t lines, bool final) {
  if (!replaceLast_) {
    TQueuedHost::DeliverRepeats(repeats, lines, final);
    return;
  }
  if (final) return;  // the console shows the count already
  const QString text = CoreText(RepeatText(repeats, lines));
  if (!lastIsCount_) {
    pendingLines_.append(text);
    lastIsCount_ = true;
  } else if (!pendingLines_.isEmpty()) {
    pendingLines_.last() = text;
  } else {
    pendingLines_.append(text);
    replacesShownLast_ = true;
  }
}

void TQtHost::WorkArrived() {
  // Through the event loop even on the main thread, so a drain that left lines behind lets other
  // events go first.
  wake_.Wake();
}

void TQtHost::DeliverStatus(std::string_view text) {
  if (statusSink_) statusSink_(CoreText(text));
}

void TQtHost::FlushLines() {
  if (!lineSink_ || pendingLines_.isEmpty()) return;
  if (std::exchange(replacesShownLast_, false)) {
    if (replaceLast_) replaceLast_(pendingLines_.first());
    pendingLines_.removeFirst();
  }
  if (!pendingLines_.isEmpty()) lineSink_(pendingLines_);
  pendingLines_.clear();
}

}  // namespace vantor::ui
