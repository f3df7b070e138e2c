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

// Records the counts as a live display sees them.
class LiveCountHost : public CollectingHost {
 public:
  using CollectingHost::CollectingHost;

 protected:
  void DeliverRepeats(uint64_t repeats, size_t, bool final) override {
    delivered.push_back((final ? "final " : "live ") + std::to_string(repeats));
  }
};

TEST(QueuedHostTest, RepeatsOfALineAreCountedAndNeverWaitForTheDrainer) {
  // A million equal lines into a queue with room for four: without counting, the writer would
  // wait for a drain that comes only after it ends.
  CollectingHost host(4);
  std::thread([&] {
    for (int i = 0; i < 1000000; ++i)
      host.LogLine("Unknown opcode 0x7C000000 at 0x80001000");
    host.LogLine("B");
    host.LogLine("B");
  }).join();
  host.Drain();
  EXPECT_EQ(host.delivered, (std::vector<std::string>{"Unknown opcode 0x7C000000 at 0x80001000",
                                                      "\u2026 repeated 999,999 times", "B"}));
  // The count of the last line comes when its repeats are flushed; after that the line is new.
  host.FlushRepeats();
  host.LogLine("B");
  EXPECT_EQ(host.delivered.back(), "B");
  EXPECT_EQ(host.delivered[3], "\u2026 repeated 1 time");
  EXPECT_EQ(host.delivered.size(), 5u);
}

// The owner's lines answer the user: each is shown, and each ends the count before it.
TEST(QueuedHostTest, TheOwnersLinesAreNeverCounted) {
  LiveCountHost host(8);
  host.LogLine("same");
  host.LogLine("same");
  const auto twiceFromAThread = [&] {
    std::thread([&] {
      host.LogLine("same");
      host.LogLine("same");
    }).join();
  };
  twiceFromAThread();
  host.Drain();
  twiceFromAThread();
  host.Drain();
  host.LogLine("same");
  twiceFromAThread();
  host.Drain();
  EXPECT_EQ(host.delivered, (std::vector<std::string>{"same", "same", "same", "live 1", "live 3",
                                                      "final 3", "same", "same", "live 1"}));
}

// A fault reported in two lines, in a loop: the pair is counted; a pair begun is held until
// something else comes, and nothing is lost.
TEST(QueuedHostTest, RepeatsOfAGroupOfLinesAreCounted) {
  CollectingHost host(16);
  std::thread([&] {
    host.LogLine("first");
    for (int i = 0; i < 100000; ++i) {
      host.LogLine("Unimplemented opcode at 80001000");
      host.LogLine("Opcode 3F");
    }
    host.LogLine("Unimplemented opcode at 80001000");
    host.LogLine("last");
    for (const char* line : {"a", "b", "c", "a", "b", "c", "a", "b", "a"})
      host.LogLine(line);
  }).join();
  host.FlushRepeats();
  EXPECT_EQ(host.delivered,
            (std::vector<std::string>{"first", "Unimplemented opcode at 80001000", "Opcode 3F",
                                      "\u2026 the last 2 lines repeated 99,999 times",
                                      "Unimplemented opcode at 80001000", "last", "a", "b", "c",
                                      "\u2026 the last 3 lines repeated 1 time", "a", "b", "a"}));
}

// Each run's closing line is its own, however like the last run's it reads.
TEST(QueuedHostTest, NothingIsARepeatOfWhatCameBeforeTheEndOfRepeats) {
  CollectingHost host(8);
  std::thread([&] {
    for (int run = 0; run < 2; ++run) {
      host.LogLine("fault");
      host.LogLine("Emulated 0 frames in 0 ms, a whopping 0 fps!");
      host.EndRepeats();
    }
    host.LogLine("x");
    host.LogLine("y");
    host.LogLine("x");  // a group begun, ended as lines
    host.EndRepeats();
  }).join();
  host.Drain();
  EXPECT_EQ(host.delivered, (std::vector<std::string>{
                                "fault", "Emulated 0 frames in 0 ms, a whopping 0 fps!", "fault",
                                "Emulated 0 frames in 0 ms, a whopping 0 fps!", "x", "y", "x"}));
}

TEST(QueuedHostTest, RepeatTextGroupsThousands) {
  EXPECT_EQ(TQueuedHost::RepeatText(1, 1), "\u2026 repeated 1 time");
  EXPECT_EQ(TQueuedHost::RepeatText(999, 1), "\u2026 repeated 999 times");
  EXPECT_EQ(TQueuedHost::RepeatText(1000, 1), "\u2026 repeated 1,000 times");
  EXPECT_EQ(TQueuedHost::RepeatText(12345, 1), "\u2026 repeated 12,345 times");
  EXPECT_EQ(TQueuedHost::RepeatText(18446744073709551615u, 1),
            "\u2026 repeated 18,446,744,073,709,551,615 times");
  EXPECT_EQ(TQueuedHost::RepeatText(2, 8), "\u2026 the last 8 lines repeated 2 times");
}

}  // namespace
}  // namespace vantor
