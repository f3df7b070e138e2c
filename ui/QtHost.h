// The desktop program's host: console lines of the emulation thread travel through the bounded
// queue and its status texts through the latest-value slot; the first of them after a drain wakes
// the main thread (TMainThreadWake), which drains in batches with its other events in between.
#pragma once

#include <QObject>
#include <QStringList>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/QueuedHost.h"
#include "debugger/MainThreadWake.h"

class QWidget;

namespace vantor::ui {

class TUserDialogs;

class TQtHost : public QObject, public TQueuedHost {
  Q_OBJECT

 public:
  // Lines per drain: big enough that a flood costs few calls, small enough that the window
  // handles its input and painting between two of them.
  static constexpr size_t kBatchSize = 1024;

  // Made on the main thread, which drains the queue.
  explicit TQtHost(TUserDialogs& dialogs);

  using TLineSink = std::function<void(const QStringList&)>;
  using TLastLineSink = std::function<void(const QString&)>;
  using TStatusSink = std::function<void(const QString&)>;
  // Where lines and status texts go. Lines that arrive before a console exists are kept for it.
  // A console that can replace its last line (replaceLast) shows the count of a repeated line as
  // it grows; any other gets the count as a line of its own once the repeats end.
  void SetLineSink(TLineSink sink, TLastLineSink replaceLast = {});
  void SetStatusSink(TStatusSink sink);
  // The window over which messages are shown.
  void SetMessageParent(QWidget* parent) { messageParent_ = parent; }

  void LogLine(std::string_view line) override;
  // From the main thread at once; from another thread at the main thread's next event.
  void ShowMessage(std::string_view text) override;
  // While the main thread waits for the emulation thread: delivers everything queued and serves
  // the windows' events apart from user input, so they keep painting and the thread's messages
  // get through.
  void DrainPending() override;

  // Delivers one batch; true when the queue had anything.
  bool DrainBatch();

 protected:
  void DeliverLine(std::string_view line) override;
  void DeliverRepeats(uint64_t repeats, size_t lines, bool final) override;
  void DeliverStatus(std::string_view text) override;
  void WorkArrived() override;

 private:
  bool OnMainThread() const;
  void FlushLines();
  // On the main thread after a wake: shows the messages queued for it, then drains a batch.
  void Woken();

  TUserDialogs& dialogs_;
  QWidget* messageParent_ = nullptr;
  TLineSink lineSink_;
  TLastLineSink replaceLast_;
  TStatusSink statusSink_;
  QStringList pendingLines_;
  bool lastIsCount_ = false;        // the last line, pending or shown, is a repeat count
  bool replacesShownLast_ = false;  // pendingLines_'s first takes the place of the shown last
  std::mutex messagesMutex_;
  std::vector<std::string> pendingMessages_;  // guarded by messagesMutex_
  TMainThreadWake wake_{[this] { Woken(); }};
};

// Text from the core as a QString: UTF-8 when it is valid UTF-8, otherwise byte for byte.
QString CoreText(std::string_view text);

}  // namespace vantor::ui
