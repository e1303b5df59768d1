// A stand-in for the Win32 local clock, for native builds, their tests, and the programs
// that must never set the clock.
// It keeps SYSTEMTIME's layout and validates a date the way the platform does. The clock
// runs only with the ticks a test passes it, so tests see exactly what was set, and when.
#pragma once

#include <cstdint>

typedef uint16_t WORD;
typedef int BOOL;

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;  // 0 = Sunday
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

// Sets the clock; nonzero on success. Refuses an invalid date or time, and everything
// while refusals are switched on. The day of the week given is ignored.
BOOL SetLocalTime(const SYSTEMTIME* time);
// Reads the clock, with the day of the week worked out from the date.
void GetLocalTime(SYSTEMTIME* time);

// Test controls. The clock starts at the host's local time when first read.
void SetNativeClock(const SYSTEMTIME& time);  // unchecked; the time at the tick passed last
void PassNativeClockTick(uint32_t tick);      // the clock runs on by the ticks since the last
void RefuseClockChanges(bool refuse);         // as when the right to change the time is missing
int CountClockSets();                         // accepted SetLocalTime calls so far
int CountClockRequests();                     // all SetLocalTime calls so far, refused ones too
const SYSTEMTIME& LastClockRequest();         // what the last SetLocalTime call asked for
