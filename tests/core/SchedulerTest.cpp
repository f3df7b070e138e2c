#include "core/Scheduler.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace vantor {
namespace {

// What the handlers saw, in order: the kind and the cycle each ran at.
struct TFired {
  TEventKind kind;
  uint64_t at;
  bool operator==(const TFired&) const = default;
};
std::vector<TFired> fired;

template <TEventKind kKind>
void Record() {
  fired.push_back({kKind, MachineClock.Now()});
}

// A handler that schedules itself again: a periodic event, as video lines are.
void Periodic() {
  fired.push_back({TEventKind::ViLine, MachineClock.Now()});
  MachineClock.Schedule(TEventKind::ViLine, 7);
}

class SchedulerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fired.clear();
    MachineClock.Reset();
    MachineClock.SetHandler(TEventKind::Compare, Record<TEventKind::Compare>);
    MachineClock.SetHandler(TEventKind::PiDma, Record<TEventKind::PiDma>);
    MachineClock.SetHandler(TEventKind::SiDma, Record<TEventKind::SiDma>);
    MachineClock.SetHandler(TEventKind::ViLine, Periodic);
  }
};

// Random schedules, cancels and advances against a model that scans every slot each cycle: the
// clock runs the same events at the same cycles in the same order, and always knows the next.
TEST_F(SchedulerTest, RunsEventsAsACycleByCycleModelDoes) {
  constexpr TEventKind kinds[] = {TEventKind::Compare, TEventKind::PiDma, TEventKind::SiDma};
  std::mt19937 random(26);
  std::array<uint64_t, 3> model;
  model.fill(kNever);
  std::vector<TFired> expected;
  uint64_t modelNow = 0;
  for (int round = 0; round < 4000; ++round) {
    const uint32_t choice = random() % 8;
    const size_t k = random() % 3;
    if (choice < 3) {
      const uint64_t delay = random() % 20;
      MachineClock.Schedule(kinds[k], delay);
      model[k] = modelNow + delay;
    } else if (choice == 3) {
      MachineClock.Cancel(kinds[k]);
      model[k] = kNever;
    } else {
      // One cycle at a time, as single steps advance it; due events run before the next cycle.
      MachineClock.RunDue();
      for (size_t i = 0; i < 3; ++i)
        if (model[i] <= modelNow) {
          expected.push_back({kinds[i], modelNow});
          model[i] = kNever;
        }
      MachineClock.Advance(1);
      ++modelNow;
    }
    uint64_t next = kNever;
    for (uint64_t when : model)
      next = std::min(next, when);
    ASSERT_EQ(MachineClock.NextEvent(), next) << "round " << round;
    ASSERT_EQ(MachineClock.Now(), modelNow);
  }
  EXPECT_EQ(fired, expected);
  EXPECT_GT(fired.size(), 200u);
}

// A block may run up to the next event and advance in one go; a periodic event rescheduled from
// its own handler keeps its period, and ties between kinds run in kind order.
TEST_F(SchedulerTest, BlocksAdvanceToTheNextEventAndHandlersReschedule) {
  MachineClock.Schedule(TEventKind::ViLine, 7);
  MachineClock.Schedule(TEventKind::PiDma, 14);
  MachineClock.Schedule(TEventKind::Compare, 14);
  while (MachineClock.NextEvent() <= 30) {
    MachineClock.Advance(MachineClock.CyclesToNextEvent());
    MachineClock.RunDue();
    ASSERT_GT(MachineClock.CyclesToNextEvent(), 0u);
  }
  const std::vector<TFired> expected = {
      {TEventKind::ViLine, 7},  {TEventKind::Compare, 14}, {TEventKind::PiDma, 14},
      {TEventKind::ViLine, 14}, {TEventKind::ViLine, 21},  {TEventKind::ViLine, 28},
  };
  EXPECT_EQ(fired, expected);

  // A saved clock picks up where it was, events and all.
  const TScheduler::TSaved saved = MachineClock.Save();
  MachineClock.Reset();
  MachineClock.SetHandler(TEventKind::ViLine, Periodic);
  MachineClock.Restore(saved);
  EXPECT_EQ(MachineClock.Now(), 28u);
  EXPECT_EQ(MachineClock.NextEvent(), 35u);
}

}  // namespace
}  // namespace vantor
