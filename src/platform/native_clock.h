// A stand-in for the Win32 clock, for native builds, their tests, and the programs that
// must never set the clock.
// It keeps UTC, as Windows does, to the millisecond, and shows local time as a PC in Berlin
// would: CET, and CEST by the EU rule. It takes and gives SYSTEMTIME and FILETIME in their
// Win32 layouts and validates a date the way the platform does. The clock and the tick run
// only as far as a test moves them, so tests see exactly what was set, and when.
#pragma once

#include <cstdint>

typedef uint16_t WORD;
typedef uint32_t DWORD;
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

// 100-nanosecond intervals since 1 January 1601, UTC.
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

// Sets the clock to a UTC time; nonzero on success. Refuses an invalid date or time, and
// everything while refusals are switched on. The day of the week given is ignored.
BOOL SetSystemTime(const SYSTEMTIME* time);
// Reads the clock as UTC, with the day of the week worked out from the date.
void GetSystemTime(SYSTEMTIME* time);
// Reads the clock as UTC, to the millisecond here.
void GetSystemTimePreciseAsFileTime(FILETIME* time);
// Sets the clock to a local time as Windows converts one: with the summer-time setting of
// the clock's current time, not of the time set. Refused as SetSystemTime is.
BOOL SetLocalTime(const SYSTEMTIME* time);
// Reads the clock as Berlin's local time.
void GetLocalTime(SYSTEMTIME* time);
// Conversions as Win32's: zero for a time that does not exist, or one before 1601.
BOOL SystemTimeToFileTime(const SYSTEMTIME* system, FILETIME* file);
BOOL FileTimeToSystemTime(const FILETIME* file, SYSTEMTIME* system);

// Test controls. The clock starts at the host's UTC time when first read.
void SetNativeClock(const SYSTEMTIME& utc);  // the time at the tick passed last
void PassNativeClockTick(uint32_t tick);     // the clock runs on by the ticks since the last
void SetNativeClockRate(double rate);         // ms of clock a tick ms from now on (1 at start)
void RefuseClockChanges(bool refuse);        // as when the right to change the time is missing
int CountClockSets();                        // accepted set calls so far, of either kind
int CountClockRequests();                    // all set calls so far, refused ones too
const SYSTEMTIME& LastClockRequest();        // what the last set call asked for, as given
