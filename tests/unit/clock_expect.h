// What the clock tests expect of the time fields once they are reloaded from the clock.
#pragma once

#include "common/time_fields.h"
#include "platform/platform.h"

inline SYSTEMTIME ReadClock() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return now;
}

// The minute is left out: a running clock may have turned it meanwhile.
inline bool FieldsShowClock(const SYSTEMTIME& clock) {
  const TimeFieldsRecord& t = TimeFields;
  return t.Year == clock.wYear % 100 && t.Month == clock.wMonth && t.Day == clock.wDay &&
         t.Weekday == clock.wDayOfWeek && t.Hour == clock.wHour;
}
