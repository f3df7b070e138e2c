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

// Whether this process may raise a new thread's priority to `nice`, tried on a thread of its own.
bool MayRaiseTo(int nice) {
  bool allowed = false;
  std::thread([&] {
    allowed = setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice) == 0;
  }).join();
  return allowed;
}

// A niceness `by` steps lower than `nice`, as far as the scale goes.
int Lower(int nice, int by) {
  return std::min(nice + by, 19);
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

// Lowering is always allowed, from whatever niceness the program was started with.
TEST_F(EnginePriorityTest, AppliesToTheRunningThreadAndToLaterRunsOnly) {
  const int callerNice = NiceOf(gettid());
  TEngine engine;
  EXPECT_EQ(engine.NormalNiceness(), callerNice);
  EXPECT_EQ(engine.ThreadId(), 0);
  engine.SetNiceness(Lower(callerNice, 1));
  engine.Start();
  const pid_t first = WaitForThread(engine);
  ASSERT_NE(first, 0);
  EXPECT_EQ(NiceOf(first), Lower(callerNice, 1));

  engine.SetNiceness(Lower(callerNice, 3));
  EXPECT_EQ(NiceOf(first), Lower(callerNice, 3));
  engine.Stop();
  EXPECT_EQ(engine.ThreadId(), 0);

  engine.Start();
  const pid_t second = WaitForThread(engine);
  ASSERT_NE(second, 0);
  EXPECT_EQ(NiceOf(second), Lower(callerNice, 3));
  engine.Stop();
  EXPECT_EQ(NiceOf(gettid()), callerNice);
  EXPECT_EQ(PriorityLines(host), 0);
}

// Without privileges: a raise is refused and the thread runs at normal priority (the niceness
// the program started with), or as near to it as RLIMIT_NICE lets a lowered thread come back.
// Returns 0 when everything held, otherwise the number of the check that failed.
int RunWithoutPrivileges(const test::CaptureHost& host) {
  TEngine engine;
  const int normal = engine.NormalNiceness();
  rlimit limit{};
  getrlimit(RLIMIT_NICE, &limit);
  const bool mayReturnToNormal = limit.rlim_cur >= rlim_t(20 - normal);

  engine.SetNiceness(normal - 5);
  engine.Start();
  pid_t thread = WaitForThread(engine);
  if (thread == 0) return 10;
  if (NiceOf(thread) != normal) return 11;
  if (!HasPriorityLines(host, 1)) return 12;

  const int lower = Lower(normal, 10);
  engine.SetNiceness(lower);
  if (NiceOf(thread) != lower) return 13;
  engine.SetNiceness(normal - 5);
  if (NiceOf(thread) != (mayReturnToNormal ? normal : lower)) return 14;
  if (!HasPriorityLines(host, 2)) return 15;
  engine.Stop();

  // Each run starts from normal; the refusal already said is not said again.
  engine.Start();
  thread = WaitForThread(engine);
  if (thread == 0 || NiceOf(thread) != normal) return 16;
  engine.Stop();
  if (!HasPriorityLines(host, 2)) return 17;
  return 0;
}

// Runs the program's case in a child process started at `startNice` or lower (as a program
// started with nice is), as an unprivileged user: 0 when it held, 77 when this user may raise
// priorities anyway, otherwise the number of the check that failed.
int RunChildWithoutPrivileges(const test::CaptureHost& host, int startNice) {
  constexpr int kSkip = 77;
  const pid_t child = fork();
  if (child == -1) return 1;
  if (child == 0) {
    const int normal = std::max(NiceOf(gettid()), startNice);
    if (setpriority(PRIO_PROCESS, 0, normal) != 0) _exit(3);
    // An unprivileged user: the kernel refuses a raise. Where root may raise RLIMIT_NICE, it
    // lets the user come back to the niceness it started with, which the fallback then reaches.
    if (getuid() == 0) {
      const rlimit normalAtBest{rlim_t(20 - normal), rlim_t(20 - normal)};
      setrlimit(RLIMIT_NICE, &normalAtBest);
      if (setuid(65534) != 0) _exit(2);
    }
    if (MayRaiseTo(normal - 1)) _exit(kSkip);
    _exit(RunWithoutPrivileges(host));
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 4;
  return WEXITSTATUS(status);
}

TEST_F(EnginePriorityTest, ARefusedRaiseFallsBackToNormalWithOneLine) {
  // As the program runs normally, and as it runs when started with nice.
  for (const int startNice : {-20, 7}) {
    SCOPED_TRACE(startNice);
    const int failed = RunChildWithoutPrivileges(host, startNice);
    if (failed == 77) GTEST_SKIP() << "this user may raise priorities";
    EXPECT_EQ(failed, 0) << "failed check number " << failed;
  }
}

TEST_F(EnginePriorityTest, AnAllowedRaiseIsApplied) {
  const int raised = std::max(NiceOf(gettid()) - 5, -20);
  if (!MayRaiseTo(raised)) GTEST_SKIP() << "needs the right to raise priorities";
  TEngine engine;
  engine.SetNiceness(raised);
  engine.Start();
  const pid_t thread = WaitForThread(engine);
  ASSERT_NE(thread, 0);
  EXPECT_EQ(NiceOf(thread), raised);
  engine.Stop();
  EXPECT_EQ(PriorityLines(host), 0);
}

}  // namespace
}  // namespace vantor
