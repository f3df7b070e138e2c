#include "common/AccurateOnly.h"

#include <atomic>
#include <string>

#include "common/Clock.h"
#include "common/DebugLog.h"
#include "common/Host.h"

namespace vantor {

namespace {
std::atomic<bool> noticesOn{false};
std::atomic<bool> noticeGiven{false};
std::atomic<uint32_t> noticeTime{0};
}  // namespace

void ResetAccurateOnlyNotice(bool enabled) {
  noticesOn = enabled;
  noticeGiven = false;
}

void EnableAccurateOnlyNotice(bool enabled) {
  noticesOn = enabled;
}

void NoteAccurateOnlyHardware(std::string_view what) {
  if (!noticesOn.load(std::memory_order_relaxed) || noticeGiven.exchange(true)) return;
  DbgAddLine("This program uses " + std::string(what) +
             ", hardware only \"Accurate Hardware\" emulates (Options > Accurate Hardware)");
  noticeTime = MilliClock();
  SetStatusText("Needs Accurate Hardware: " + std::string(what));
}

bool AccurateOnlyNoticeShowing() {
  return noticeGiven.load(std::memory_order_relaxed) &&
         MilliClock() - noticeTime.load(std::memory_order_relaxed) < kAccurateOnlyNoticeMs;
}

}  // namespace vantor
