// The emulation thread's scheduling priority, read back from the kernel with getpriority on the
// thread's own id.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "core/Engine.h"
#include "memory/AddressMap.h"
#include "memory/RomImage.h"
#include "tests/support/CaptureHost.h"
#include "tests/support/InstrEncoder.h"
#include "tests/support/RomBytes.h"
#include "tests/support/TempDir.h"

namespace vantor {
namespace {

// The running thread's id, once its run has applied the niceness; 0 after ten seconds.
pid_t WaitForThread(const TEngine& engine) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (engine.ThreadId() == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return engine.ThreadId();
}

int NiceOf(pid_t thread) {
  return getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
}

// Whether this process may raise a thread's priority, tried on a thread of its own.
bool MayRaise() {
  bool allowed = false;
  std::thread([&] {
    allowed = setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -1) == 0;
  }).join();
  return allowed;
}

int PriorityLines(const test::CaptureHost& host) {
  const auto lines = host.Lines();
  return static_cast<int>(std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.starts_with("Thread priority");
  }));
}

// Whether exactly `count` priority lines have arrived; the emulation thread may still be writing
// one, so this waits up to ten seconds for the count to be reached.
bool HasPriorityLines(const test::CaptureHost& host, int count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (PriorityLines(host) < count && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return PriorityLines(host) == count;
}

class EnginePriorityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateMemoryBlocks());
    // An idle loop at the reset address: the run goes on until it is stopped.
    const uint32_t idle = test::EncodeJ(2, 0xA4000040 >> 2);
    ASSERT_TRUE(LoadRomImage(dir.WriteFile("idle.z64", test::CodeRom({idle, 0}))));
  }
  void TearDown() override { UnloadRomImage(); }

  test::TempDir dir;
  test::CaptureHost host;
};

TEST_F(EnginePriorityTest, AppliesToTheRunningThreadAndToLaterRunsOnly) {
  const int callerNice = NiceOf(gettid());
  TEngine engine;
  EXPECT_EQ(engine.ThreadId(), 0);
  engine.SetNiceness(10);
  engine.Start();
  const pid_t first = WaitForThread(engine);
  ASSERT_NE(first, 0);
  EXPECT_EQ(NiceOf(first), 10);

  engine.SetNiceness(15);
  EXPECT_EQ(NiceOf(first), 15);
  engine.Stop();
  EXPECT_EQ(engine.ThreadId(), 0);

  engine.Start();
  const pid_t second = WaitForThread(engine);
  ASSERT_NE(second, 0);
  EXPECT_EQ(NiceOf(second), 15);
  engine.Stop();
  EXPECT_EQ(NiceOf(gettid()), callerNice);
  EXPECT_EQ(PriorityLines(host), 0);
}

// Without privileges: a raise is refused and the thread runs at normal priority, or as near to it
// as RLIMIT_NICE lets a lowered thread come back. Returns 0 when everything held, otherwise the
// number of the check that failed.
int RunWithoutPrivileges(const test::CaptureHost& host) {
  rlimit limit{};
  getrlimit(RLIMIT_NICE, &limit);
  const bool mayReturnToNormal = limit.rlim_cur >= 20;

  TEngine engine;
  engine.SetNiceness(-5);
  engine.Start();
  pid_t thread = WaitForThread(engine);
  if (thread == 0) return 10;
  if (NiceOf(thread) != 0) return 11;
  if (!HasPriorityLines(host, 1)) return 12;

  engine.SetNiceness(10);
  if (NiceOf(thread) != 10) return 13;
  engine.SetNiceness(-5);
  if (NiceOf(thread) != (mayReturnToNormal ? 0 : 10)) return 14;
  if (!HasPriorityLines(host, 2)) return 15;
  engine.Stop();

  // Each run starts from normal; the refusal already said is not said again.
  engine.Start();
  thread = WaitForThread(engine);
  if (thread == 0 || NiceOf(thread) != 0) return 16;
  engine.Stop();
  if (!HasPriorityLines(host, 2)) return 17;
  return 0;
}

TEST_F(EnginePriorityTest, ARefusedRaiseFallsBackToNormalWithOneLine) {
  constexpr int kSkip = 77;
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    // An unprivileged user: the kernel refuses nice -5. Where root may raise RLIMIT_NICE, it
    // lets the user come back to nice 0, which the fallback then reaches.
    if (getuid() == 0) {
      const rlimit normalAtBest{20, 20};
      setrlimit(RLIMIT_NICE, &normalAtBest);
      if (setuid(65534) != 0) _exit(2);
    }
    if (MayRaise()) _exit(kSkip);
    _exit(RunWithoutPrivileges(host));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == kSkip) GTEST_SKIP() << "this user may raise priorities";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "failed check number " << WEXITSTATUS(status);
}

TEST_F(EnginePriorityTest, AnAllowedRaiseIsApplied) {
  if (!MayRaise()) GTEST_SKIP() << "needs the right to raise priorities";
  TEngine engine;
  engine.SetNiceness(-5);
  engine.Start();
  const pid_t thread = WaitForThread(engine);
  ASSERT_NE(thread, 0);
  EXPECT_EQ(NiceOf(thread), -5);
  engine.Stop();
  EXPECT_EQ(PriorityLines(host), 0);
}

}  // namespace
}  // namespace vantor
