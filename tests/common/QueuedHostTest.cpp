#include "common/QueuedHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace vantor {
namespace {

class CollectingHost : public TQueuedHost {
 public:
  using TQueuedHost::TQueuedHost;
  void ShowMessage(std::string_view) override {}
  std::vector<std::string> delivered;
  std::atomic<int> announced{0};

 protected:
  void DeliverLine(std::string_view line) override { delivered.emplace_back(line); }
  void DeliverStatus(std::string_view text) override {
    delivered.push_back("status:" + std::string(text));
  }
  void WorkArrived() override { ++announced; }
};

TEST(QueuedHostTest, AFullQueueHoldsTheWriterUntilTheOwnerDrains) {
  CollectingHost host(4);
  std::atomic<int> written{0};
  std::thread writer([&] {
    for (int i = 0; i < 10; ++i) {
      host.LogLine(std::to_string(i));
      ++written;
    }
    host.SetStatusText("done");
  });
  while (written < 4)
    std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(written, 4);  // the fifth line waits for room
  while (host.delivered.size() < 11)
    host.Drain(3);
  writer.join();
  // The status text is a latest value beside the lines: a drain that leaves lines queued may
  // show it before them.
  std::vector<std::string> lines = host.delivered;
  std::erase(lines, "status:done");
  EXPECT_EQ(lines, (std::vector<std::string>{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}));
  EXPECT_EQ(std::count(host.delivered.begin(), host.delivered.end(), "status:done"), 1);
}

TEST(QueuedHostTest, TheOwnersOwnLinesComeAfterWhatIsQueuedAndNeverWait) {
  CollectingHost host(1);
  std::thread([&] { host.LogLine("from the emulation thread"); }).join();
  host.LogLine("from the owner");  // would wait forever if the owner queued behind a full queue
  host.LogLine("again");
  EXPECT_EQ(host.delivered,
            (std::vector<std::string>{"from the emulation thread", "from the owner", "again"}));
}

TEST(QueuedHostTest, OnlyTheNewestStatusTextIsShownAndTheOwnersOwnWins) {
  CollectingHost host;
  std::thread([&] {
    host.SetStatusText("FPS = 1");
    host.SetStatusText("FPS = 2");
    host.LogLine("line");
  }).join();
  host.Drain();
  EXPECT_EQ(host.delivered, (std::vector<std::string>{"line", "status:FPS = 2"}));
  host.Drain();
  EXPECT_EQ(host.delivered.size(), 2u);  // a text is shown once

  // A text the owner sets drops what the thread published before it.
  host.delivered.clear();
  std::thread([&] { host.SetStatusText("FPS = 3"); }).join();
  host.SetStatusText("Emulation Paused");
  host.Drain();
  EXPECT_EQ(host.delivered, (std::vector<std::string>{"status:Emulation Paused"}));
}

TEST(QueuedHostTest, TheDrainerIsToldOncePerBurstAndAgainWhileLinesRemain) {
  CollectingHost host;
  std::thread([&] {
    for (int i = 0; i < 5; ++i)
      host.LogLine(std::to_string(i));
    host.SetStatusText("FPS = 60");
  }).join();
  EXPECT_EQ(host.announced, 1);
  EXPECT_EQ(host.Drain(2), 2u);
  EXPECT_EQ(host.announced, 2);  // three lines are left
  EXPECT_EQ(host.Drain(), 3u);
  EXPECT_EQ(host.announced, 2);
  std::thread([&] { host.LogLine("later"); }).join();
  EXPECT_EQ(host.announced, 3);
  host.Drain();
  EXPECT_EQ(host.delivered.back(), "later");
}

}  // namespace
}  // namespace vantor
