// A stand-in for the Win32 clock, for native builds, their tests, and the programs that
// must never set the clock.
// It keeps UTC, as Windows does, in SYSTEMTIME's layout, and shows local time as a PC in
// Berlin would: CET, and CEST by the EU rule. It validates a date the way the platform
// does. The clock runs only with the ticks a test passes it, so tests see exactly what was
// set, and when.
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

// Sets the clock to a UTC time; nonzero on success. Refuses an invalid date or time, and
// everything while refusals are switched on. The day of the week given is ignored.
BOOL SetSystemTime(const SYSTEMTIME* time);
// Reads the clock as UTC, with the day of the week worked out from the date.
void GetSystemTime(SYSTEMTIME* time);
// Sets the clock to a local time as Windows converts one: with the summer-time setting of
// the clock's current time, not of the time set. Refused as SetSystemTime is.
BOOL SetLocalTime(const SYSTEMTIME* time);
// Reads the clock as Berlin's local time.
void GetLocalTime(SYSTEMTIME* time);

// Test controls. The clock starts at the host's UTC time when first read.
void SetNativeClock(const SYSTEMTIME& utc);  // unchecked; the time at the tick passed last
void PassNativeClockTick(uint32_t tick);     // the clock runs on by the ticks since the last
void RefuseClockChanges(bool refuse);        // as when the right to change the time is missing
int CountClockSets();                        // accepted set calls so far, of either kind
int CountClockRequests();                    // all set calls so far, refused ones too
const SYSTEMTIME& LastClockRequest();        // what the last set call asked for, as given
