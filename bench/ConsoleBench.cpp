// The debug console's path from the emulation thread to the window: lines per second that reach
// TDbgWnd while another thread floods it, the delay of a single line, and how many status texts
// per second a thread can publish while the main thread serves its events. Runs on Qt's
// offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "common/Host.h"
#include "debugger/DbgWnd.h"
#include "ui/Dialogs.h"
#include "ui/QtHost.h"

namespace vantor::ui {
namespace {

using Clock = std::chrono::steady_clock;

// Answers nothing: no benchmark shows a message.
class TSilentDialogs : public TUserDialogs {
 public:
  std::optional<QString> ChooseOpenFile(QWidget*, const QString&, const QString&,
                                        const QString&) override {
    return std::nullopt;
  }
  std::optional<QString> ChooseSaveFile(QWidget*, const QString&, const QString&) override {
    return std::nullopt;
  }
  void ShowError(QWidget*, const QString&) override {}
};

// A host installed with a console window behind it, counting what reaches the window.
struct TConsole {
  TSilentDialogs dialogs;
  TQtHost host{dialogs};
  TDbgWnd window;
  std::atomic<uint64_t> delivered{0};
  Clock::time_point lastDelivery;
  double longestDeliveryMs = 0;  // the longest the main thread spent on one delivery

  TConsole() {
    host.SetLineSink([this](const QStringList& lines) {
      const Clock::time_point start = Clock::now();
      window.AddLines(lines);
      lastDelivery = Clock::now();
      longestDeliveryMs =
          std::max(longestDeliveryMs,
                   std::chrono::duration<double, std::milli>(lastDelivery - start).count());
      delivered += static_cast<uint64_t>(lines.size());
    });
    host.SetStatusSink([](const QString&) {});
    InstallHost(&host);
  }
  ~TConsole() { InstallHost(nullptr); }

  void ServeUntil(uint64_t count) {
    while (delivered.load() < count)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
};

// A thread writes distinct lines as fast as it can (a ROM faulting at every address; repeats
// would be counted, not queued); the main thread serves its events until the last one is in the
// window.
void BM_ConsoleThroughput(benchmark::State& state) {
  const auto count = static_cast<uint64_t>(state.range(0));
  TConsole console;
  std::vector<std::string> lines;
  for (uint64_t i = 0; i < count; ++i)
    lines.push_back("Illegal CPU opcode at " + std::to_string(0xA4000040 + 4 * i));
  for (auto _ : state) {
    const uint64_t target = console.delivered.load() + count;
    std::thread writer([&] {
      for (const std::string& line : lines)
        console.host.LogLine(line);
    });
    console.ServeUntil(target);
    writer.join();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
  state.counters["lines_per_s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * count), benchmark::Counter::kIsRate);
  state.counters["longest_batch_ms"] = console.longestDeliveryMs;
}
BENCHMARK(BM_ConsoleThroughput)->Arg(20000)->UseRealTime()->Unit(benchmark::kMillisecond);

// One line from a quiet thread: the time from the append to its arrival in the window.
void BM_ConsoleLatency(benchmark::State& state) {
  TConsole console;
  int round = 0;
  for (auto _ : state) {
    const uint64_t target = console.delivered.load() + 1;
    // One line of its own each time: a repeat would be counted, not shown.
    const std::string line = "Resolution set to 320x240 (" + std::to_string(++round) + ")";
    Clock::time_point written;
    std::thread writer([&] {
      written = Clock::now();
      console.host.LogLine(line);
    });
    console.ServeUntil(target);
    writer.join();
    state.SetIterationTime(std::chrono::duration<double>(console.lastDelivery - written).count());
  }
}
BENCHMARK(BM_ConsoleLatency)->UseManualTime()->Iterations(200)->Unit(benchmark::kMicrosecond);

// A thread publishes a frame rate per presented frame, as fast as it can, while lines are quiet.
void BM_StatusPublish(benchmark::State& state) {
  const auto count = static_cast<uint64_t>(state.range(0));
  TConsole console;
  for (auto _ : state) {
    std::atomic<bool> done{false};
    std::thread writer([&] {
      for (uint64_t i = 0; i < count; ++i)
        console.host.SetStatusText("FPS = 60");
      done = true;
    });
    while (!done.load())
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    writer.join();
  }
  QCoreApplication::processEvents();
  state.counters["texts_per_s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * count), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StatusPublish)->Arg(50000)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vantor::ui

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
