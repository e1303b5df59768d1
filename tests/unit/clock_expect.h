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
inline void ExpectFieldsShowClock(const SYSTEMTIME& clock) {
  EXPECT_EQ(TimeFields.Year, clock.wYear % 100);
  EXPECT_EQ(TimeFields.Month, clock.wMonth);
  EXPECT_EQ(TimeFields.Day, clock.wDay);
  EXPECT_EQ(TimeFields.Weekday, clock.wDayOfWeek);
  EXPECT_EQ(TimeFields.Hour, clock.wHour);
}
