// Calendar arithmetic, the built-in EU rule, and the reading of --start times.
#include <gtest/gtest.h>

#include "civil_time.h"
#include "test_times.h"

namespace {

struct DateCase {
  int Year;
  int Month;
  int Day;
  int64_t DaysSince1970;  // from Python's datetime.date
  int Weekday;
};

const DateCase kDates[] = {
    {1970, 1, 1, 0, 4},      {1969, 12, 31, -1, 3},   {1900, 1, 1, -25567, 1},
    {2000, 3, 1, 11017, 3},  {1997, 6, 15, 10027, 7}, {2017, 1, 1, 17167, 7},
    {2026, 3, 29, 20541, 7}, {2100, 2, 28, 47540, 7},
};

TEST(CivilTime, CountsDaysAndWeekdays) {
  for (const DateCase& c : kDates) {
    EXPECT_EQ(CountDaysFromCivil(c.Year, c.Month, c.Day), c.DaysSince1970) << c.Year;
    const CivilTimeRecord split = SplitPosixSeconds(c.DaysSince1970 * kSecondsPerDay + 3723);
    EXPECT_EQ(JoinCivilTime(split), c.DaysSince1970 * kSecondsPerDay + 3723);
    EXPECT_EQ(split.Weekday, c.Weekday) << c.Year << "-" << c.Month << "-" << c.Day;
  }
}

struct ZoneCase {
  const char* Utc;
  const char* Local;
  bool Summer;
};

const ZoneCase kEuTimes[] = {
    {"2026-03-29 00:59:59", "2026-03-29 01:59:59", false},
    {"2026-03-29 01:00:00", "2026-03-29 03:00:00", true},
    {"2026-10-25 00:59:59", "2026-10-25 02:59:59", true},
    {"2026-10-25 01:00:00", "2026-10-25 02:00:00", false},
    {"2024-03-31 01:00:00", "2024-03-31 03:00:00", true},  // a leap year's last Sunday
    {"1997-06-15 11:45:00", "1997-06-15 13:45:00", true},
    {"2026-12-31 23:30:00", "2027-01-01 00:30:00", false},
};

TEST(ConvertToEuLocal, ChangesAtOneUtcOnTheLastSundays) {
  for (const ZoneCase& c : kEuTimes) {
    CivilTimeRecord local = {};
    ASSERT_TRUE(ConvertToEuLocal(ParseUtc(c.Utc), &local));
    EXPECT_EQ(JoinCivilTime(local), ParseUtc(c.Local)) << c.Utc;
    EXPECT_EQ(local.Summer, c.Summer) << c.Utc;
  }
}

TEST(FindPosixForLocal, RefusesTheSkippedHourAndTakesTheFirstOfTheRepeatedOne) {
  int64_t posix = 0;
  EXPECT_FALSE(FindPosixForLocal(ParseCivil("2026-03-29 02:30"), ConvertToEuLocal, &posix));
  ASSERT_TRUE(FindPosixForLocal(ParseCivil("2026-10-25 02:30"), ConvertToEuLocal, &posix));
  EXPECT_EQ(posix, ParseUtc("2026-10-25 00:30"));
  ASSERT_TRUE(FindPosixForLocal(ParseCivil("2026-01-10 08:29:30"), ConvertToEuLocal, &posix));
  EXPECT_EQ(posix, ParseUtc("2026-01-10 07:29:30"));
}

struct ParseCase {
  const char* Text;
  bool Valid;
  bool HasSeconds;
};

const ParseCase kParses[] = {
    {"2026-03-29 01:59", true, false},
    {"2024-02-29 23:59:59", true, true},
    {"2026-02-29 12:00", false, false},
    {"2026-13-01 12:00", false, false},
    {"2026-04-31 12:00", false, false},
    {"2026-01-01 24:00", false, false},
    {"2026-01-01 12:60", false, false},
    {"2026-01-01 12:00:60", false, false},
    {"2026-1-01 12:00", false, false},
    {"2026-01-01T12:00", false, false},
    {"2026-01-01 12:00 ", false, false},
    {"2026-01-01 12:00:5", false, false},
    {"", false, false},
};

TEST(ParseCivilTime, TakesOnlyRealDatesInTheOneForm) {
  for (const ParseCase& c : kParses) {
    CivilTimeRecord civil = {};
    bool has_seconds = false;
    EXPECT_EQ(ParseCivilTime(c.Text, &civil, &has_seconds), c.Valid) << "'" << c.Text << "'";
    if (c.Valid) {
      EXPECT_EQ(has_seconds, c.HasSeconds) << c.Text;
    }
  }
}

}  // namespace
