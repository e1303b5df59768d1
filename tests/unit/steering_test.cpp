// Steering the clock's rate: a clock that runs fast by a rate of its own, an offset each
// minute, the correction applied as asked.
#include "decoder/steering.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr uint32_t kMinute = 60000;
constexpr double kRightMs = 15;

struct ClockRecord {
  SteeringRecord Steering;
  uint32_t Tick;
  double OffsetMs;  // the clock less the true time
  int Steps;
};

// `minutes` minutes of a clock `ppm` fast, a confirmed minute's offset each one (or, with
// `marks`, an offset from the marks alone after the first), stepped where asked. Its tick runs
// as fast, so the marks, whose median lies 30.5 s before the minute's end, place the minute
// early and the offset reads low by as much.
void RunClock(ClockRecord* c, int minutes, double ppm, bool marks = false) {
  for (int i = 0; i < minutes; ++i) {
    const double read = c->OffsetMs - ppm * 1e-6 * 30500;
    const bool used = marks && c->Steering.Active
                          ? NoteMarksOffset(&c->Steering, c->Tick, read)
                          : !NoteTelegramOffset(&c->Steering, c->Tick, read, false, kRightMs);
    if (!used) {
      NoteClockStep(&c->Steering, -read);
      c->OffsetMs -= read;
      ++c->Steps;
    }
    const double correction = FindCorrection(&c->Steering, c->Tick);
    NoteCorrectionApplied(&c->Steering, c->Tick, correction);
    c->OffsetMs += (ppm - correction) * 1e-6 * kMinute;
    c->Tick += kMinute;
  }
}

TEST(SteeringTest, TheRateIsLearnedAndTheOffsetTakenAwayWithoutASecondStep) {
  ClockRecord c = {{}, 0xFFF00000u, 2000, 0};  // the ticks wrap on the way
  RunClock(&c, 90, 40);
  EXPECT_EQ(c.Steps, 1) << "the first minute steps a clock two seconds off";
  EXPECT_NEAR(c.Steering.RatePpm, 40, 0.5);
  EXPECT_LT(std::fabs(c.OffsetMs), 1);
  // A stray minute 60 ms off the line is set aside; one 10 ms off is taken.
  const double correction = FindCorrection(&c.Steering, c.Tick);
  NoteMarksOffset(&c.Steering, c.Tick, c.OffsetMs + 60);
  EXPECT_NEAR(FindCorrection(&c.Steering, c.Tick), correction, 1e-6);
  NoteMarksOffset(&c.Steering, c.Tick, c.OffsetMs + 10);
  EXPECT_GT(FindCorrection(&c.Steering, c.Tick), correction + 1);
  // 100 ms off, within the step limit: slewed away at 50 ppm, 3 ms a minute, once three
  // offsets in a row have shown the clock moved.
  c.OffsetMs += 100;
  RunClock(&c, 40, 40, true);
  EXPECT_EQ(c.Steps, 1);
  EXPECT_LT(std::fabs(c.OffsetMs), 5);
  // 200 ms: stepped.
  c.OffsetMs += 200;
  RunClock(&c, 1, 40);
  EXPECT_EQ(c.Steps, 2);
  // A rate no PC clock has: steering stops, and the clock is stepped once 15 ms off.
  ClockRecord absurd = {{}, 0, 0, 0};
  RunClock(&absurd, 30, 600);
  EXPECT_TRUE(absurd.Steering.Refused);
  EXPECT_GT(absurd.Steps, 10);
}

TEST(SteeringTest, HoldoverKeepsTheRateAndDropsTheOffsetPart) {
  ClockRecord c = {{}, 0, 0, 0};
  RunClock(&c, 60, -25);
  c.OffsetMs += 10;
  RunClock(&c, 1, -25);  // an offset to take away
  EXPECT_GT(FindCorrection(&c.Steering, c.Tick), c.Steering.RatePpm + 1);
  EXPECT_NEAR(FindCorrection(&c.Steering, c.Tick + kHoldoverMs + 1), c.Steering.RatePpm, 1e-9);
  // Offsets start afresh after a sleep, with the rate kept.
  RestartSteering(&c.Steering);
  EXPECT_NEAR(FindCorrection(&c.Steering, c.Tick), -25, 0.5);
}

TEST(SteeringTest, MarksAloneCountOnlyNearAConfirmedClockAndNotAcrossALeapSecond) {
  SteeringRecord s = {};
  EXPECT_FALSE(NoteMarksOffset(&s, 0, 1)) << "no confirmed minute yet";
  NoteTelegramOffset(&s, 0, 1, false, kRightMs);
  EXPECT_TRUE(NoteMarksOffset(&s, kMinute, 2));
  EXPECT_FALSE(NoteMarksOffset(&s, 2 * kMinute, 900)) << "a frame a second off";
  EXPECT_FALSE(NoteMarksOffset(&s, 3 * kMinute, 2)) << "none until a confirmed minute agrees";
  NoteTelegramOffset(&s, 4 * kMinute, 2, false, kRightMs);
  EXPECT_TRUE(NoteMarksOffset(&s, 5 * kMinute, 2));
  NoteLeapAnnounced(&s);
  EXPECT_FALSE(NoteMarksOffset(&s, 6 * kMinute, 2));
  NoteTelegramOffset(&s, 7 * kMinute, 2, true, kRightMs);
  EXPECT_FALSE(NoteMarksOffset(&s, 8 * kMinute, 2)) << "still announced";
  NoteTelegramOffset(&s, 9 * kMinute, 2, false, kRightMs);
  EXPECT_TRUE(NoteMarksOffset(&s, 10 * kMinute, 2));
}

TEST(SteeringTest, WholeUnitsTakeOffWhatWasAskedOnAverage) {
  // 11.3 ppm asked, the legacy call's unit 6.4 ppm: over an hour, within a millisecond.
  SteeringRecord s = {};
  s.Active = true;
  s.RatePpm = 11.3;
  s.RateLearned = true;
  double taken_ms = 0;
  for (uint32_t tick = 0; tick < 60 * kMinute; tick += 250) {
    const double ppm = (1 - FindAdjustmentUnits(&s, 156250, tick) / 156250) * 1e6;
    ASSERT_LT(std::fabs(ppm - 11.3), 6.4) << "a whole unit either side of what was asked";
    NoteCorrectionApplied(&s, tick, ppm);
    taken_ms += ppm * 1e-6 * 250;
  }
  EXPECT_NEAR(taken_ms, 11.3e-6 * 60 * kMinute, 1);
}

}  // namespace
