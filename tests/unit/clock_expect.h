// What the clock tests expect of the time fields once they are reloaded from the clock.
#pragma once

#include <gtest/gtest.h>

#include "common/time_fields.h"
#include "platform/platform.h"

inline SYSTEMTIME ReadClock() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return now;
}

// The minute is left out: a running clock may have turned it meanwhile.
inline ::testing::AssertionResult FieldsShowClock(const SYSTEMTIME& clock) {
  const TimeFieldsRecord& t = TimeFields;
  if (t.Year == clock.wYear % 100 && t.Month == clock.wMonth && t.Day == clock.wDay &&
      t.Weekday == clock.wDayOfWeek && t.Hour == clock.wHour) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "the fields show " << int{t.Year} << "-" << int{t.Month} << "-" << int{t.Day}
         << " (weekday " << int{t.Weekday} << ") hour " << int{t.Hour} << ", the clock "
         << clock.wYear << "-" << clock.wMonth << "-" << clock.wDay << " (weekday "
         << clock.wDayOfWeek << ") hour " << clock.wHour;
}

inline void ExpectFieldsShowClock(const SYSTEMTIME& clock) {
  EXPECT_TRUE(FieldsShowClock(clock));
}
