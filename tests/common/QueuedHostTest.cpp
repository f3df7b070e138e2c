#include "common/QueuedHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vantor {
namespace {

class CollectingHost : public TQueuedHost {
 public:
  using TQueuedHost::TQueuedHost;
  void ShowMessage(std::string_view) override {}
  std::vector<std::string> delivered;

 protected:
  void DeliverLine(std::string_view line) override { delivered.emplace_back(line); }
  void DeliverStatus(std::string_view text) override {
    delivered.push_back("status:" + std::string(text));
  }
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
  EXPECT_EQ(host.delivered, (std::vector<std::string>{"0", "1", "2", "3", "4", "5", "6", "7", "8",
                                                      "9", "status:done"}));
}

TEST(QueuedHostTest, TheOwnersOwnLinesComeAfterWhatIsQueuedAndNeverWait) {
  CollectingHost host(1);
  std::thread([&] { host.LogLine("from the emulation thread"); }).join();
  host.LogLine("from the owner");  // would wait forever if the owner queued behind a full queue
  host.LogLine("again");
  EXPECT_EQ(host.delivered,
            (std::vector<std::string>{"from the emulation thread", "from the owner", "again"}));
}

}  // namespace
}  // namespace vantor
