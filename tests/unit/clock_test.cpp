// Clock setting against the native stand-in clock.
#include "decoder/clock.h"

#include <gtest/gtest.h>

#include "clock_expect.h"
#include "common/time_fields.h"
#include "platform/platform.h"

namespace {

// Sunday 6 December 2026, 20:15:42.
constexpr SYSTEMTIME kClockStart = {2026, 12, 0, 6, 20, 15, 42, 500};

class ClockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RefuseClockChanges(false);
    SetNativeClock(kClockStart);
  }
  void TearDown() override { RefuseClockChanges(false); }
};

TEST_F(ClockTest, TwoDigitYearsMapTo1997Through2096) {
  struct Case {
    uint8_t two_digits;
    WORD year;
  };
  const Case kCases[] = {{97, 1997}, {99, 1999}, {0, 2000}, {26, 2026}, {96, 2096}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.two_digits);
    TimeFields = {45, 13, 15, 7, 6, c.two_digits};
    SetClockFromTelegram();
    const SYSTEMTIME clock = ReadClock();
    EXPECT_EQ(clock.wYear, c.year);
    EXPECT_EQ(TimeFields.Year, c.two_digits);
  }
}

TEST_F(ClockTest, SetsTheDecodedMinuteWithZeroSeconds) {
  TimeFields = {3, 7, 5, 6, 12, 97};  // Friday 5 December 1997, 07:03
  const int sets_before = CountClockSets();
  SetClockFromTelegram();

  const SYSTEMTIME& asked = LastClockRequest();
  EXPECT_EQ(asked.wYear, 1997);
  EXPECT_EQ(asked.wMonth, 12);
  EXPECT_EQ(asked.wDayOfWeek, 6);  // goes out as decoded
  EXPECT_EQ(asked.wDay, 5);
  EXPECT_EQ(asked.wHour, 7);
  EXPECT_EQ(asked.wMinute, 3);
  EXPECT_EQ(asked.wSecond, 0);
  EXPECT_EQ(asked.wMilliseconds, 0);
  EXPECT_EQ(CountClockSets(), sets_before + 1);
  ExpectFieldsShowClock(ReadClock());
  EXPECT_EQ(TimeFields.Minute, 3);
  EXPECT_EQ(TimeFields.Weekday, 5);  // comes back as the platform counts: Friday is 5
}

TEST_F(ClockTest, WeekdayComesBackInThePlatformsNumbering) {
  // Sunday is 7 on the air and 0 on the platform; a weekday the bits got wrong is
  // ignored when setting and corrected on the way back.
  const uint8_t kDecoded[] = {7, 0, 3};
  for (const uint8_t weekday : kDecoded) {
    SCOPED_TRACE(static_cast<int>(weekday));
    TimeFields = {0, 12, 6, weekday, 12, 26};  // 6 December 2026 is a Sunday
    SetClockFromTelegram();
    EXPECT_EQ(LastClockRequest().wDayOfWeek, weekday);
    EXPECT_EQ(TimeFields.Weekday, 0);
  }
}

TEST_F(ClockTest, RefusedSetShowsTheUnchangedClock) {
  RefuseClockChanges(true);
  TimeFields = {45, 13, 15, 7, 6, 97};
  const int sets_before = CountClockSets();
  SetClockFromTelegram();
  EXPECT_EQ(CountClockSets(), sets_before);
  EXPECT_EQ(ReadClock().wYear, kClockStart.wYear);
  ExpectFieldsShowClock(ReadClock());
  EXPECT_EQ(TimeFields.Minute, kClockStart.wMinute);
}

TEST_F(ClockTest, InvalidDatesLeaveTheClockUnchanged) {
  struct Case {
    const char* name;
    TimeFieldsRecord fields;
  };
  const Case kCases[] = {
      {"all-zero telegram", {0, 0, 0, 0, 0, 0}},  {"day 0", {0, 0, 0, 1, 6, 26}},
      {"month 0", {0, 0, 1, 1, 0, 26}},           {"31 April", {0, 0, 31, 1, 4, 26}},
      {"29 February 2026", {0, 0, 29, 1, 2, 26}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    SetNativeClock(kClockStart);
    TimeFields = c.fields;
    SetClockFromTelegram();
    const SYSTEMTIME clock = ReadClock();
    EXPECT_EQ(clock.wYear, kClockStart.wYear);
    EXPECT_EQ(clock.wMonth, kClockStart.wMonth);
    EXPECT_EQ(clock.wDay, kClockStart.wDay);
    EXPECT_EQ(clock.wMinute, kClockStart.wMinute);
    ExpectFieldsShowClock(clock);
  }
}

TEST_F(ClockTest, LeapDayIsAccepted) {
  TimeFields = {59, 23, 29, 3, 2, 96};  // 29 February 2096, a leap year
  SetClockFromTelegram();
  const SYSTEMTIME clock = ReadClock();
  EXPECT_EQ(clock.wYear, 2096);
  EXPECT_EQ(clock.wDay, 29);
  ExpectFieldsShowClock(clock);
}

}  // namespace
