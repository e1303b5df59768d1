// When a failing port is given up and when it is opened again, tick by tick.
#include "port/port_watch.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

enum Event { kReadGood, kReadFailed, kClosed, kAskDue, kTriedFailed, kTriedOpened };

struct Step {
  uint32_t At;  // ms after kStart
  Event What;
  bool Expected;  // reads: the port is given up now; kAskDue: an open is due
};

// The ticks wrap past 2^32 within the table.
constexpr uint32_t kStart = 0xFFFFF000u;

TEST(PortWatchTest, GivenUpAfterThreeSecondsOfFailuresAndTriedEveryThreeSeconds) {
  const Step kSteps[] = {
      {0, kReadGood, false},
      {250, kReadFailed, false},
      {500, kReadFailed, false},
      {750, kReadGood, false},  // a good read ends the run
      {1000, kReadFailed, false},
      {3999, kReadFailed, false},
      {4000, kReadFailed, true},  // 3000 ms of failures from 1000
      {4000, kClosed, false},
      {7000, kAskDue, true},
      {7000, kTriedFailed, false},
      {9999, kAskDue, false},
      {10000, kTriedOpened, false},
      {10250, kReadFailed, false},  // watched afresh: a new run starts
      {13250, kReadFailed, true},
      {13250, kClosed, false},
      {13250, kTriedOpened, false},  // after a resume the open is tried at once
      {13500, kReadGood, false},
  };
  PortWatchRecord watch = {};
  for (const Step& step : kSteps) {
    SCOPED_TRACE(testing::Message() << "at " << step.At << " event " << step.What);
    const uint32_t now = kStart + step.At;
    switch (step.What) {
      case kReadGood:
      case kReadFailed:
        EXPECT_EQ(NoteReadOutcome(&watch, step.What == kReadFailed, now), step.Expected);
        break;
      case kClosed:
        NotePortClosed(&watch, now);
        break;
      case kAskDue:
        EXPECT_EQ(IsReopenDue(watch, now), step.Expected);
        break;
      case kTriedFailed:
      case kTriedOpened:
        NoteReopenTried(&watch, step.What == kTriedOpened, now);
        break;
    }
  }
}

}  // namespace
