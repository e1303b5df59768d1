// Civil dates and times: calendar arithmetic, the built-in EU summer-time rule, and the
// conversion between POSIX seconds and a zone's wall-clock time.
#pragma once

#include <cstdint>

constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kSecondsPerHour = 3600;
constexpr int64_t kSecondsPerDay = 86400;

// A date and time as a wall clock in some zone shows it.
struct CivilTimeRecord {
  int Year;     // four digits
  int Month;    // 1 .. 12
  int Day;      // 1 .. 31
  int Hour;     // 0 .. 23
  int Minute;   // 0 .. 59
  int Second;   // 0 .. 59
  int Weekday;  // 1 = Monday .. 7 = Sunday
  bool Summer;  // daylight-saving (summer) time is in force
};

// Fills `local` with the wall-clock time of `posix_seconds` (seconds since 1970-01-01 UTC,
// leap seconds not counted) in some zone. False when the zone cannot tell.
typedef bool (*LocalTimeFunction)(int64_t posix_seconds, CivilTimeRecord* local);

// Floor division by a positive divisor, for times before 1970 too.
int64_t DivideDown(int64_t value, int64_t divisor);

// Number of days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t CountDaysFromCivil(int year, int month, int day);
// 28 .. 31; 0 for a month outside 1 .. 12.
int CountDaysInMonth(int year, int month);
// 1 = Monday .. 7 = Sunday, for a day count as CountDaysFromCivil gives it.
int FindWeekday(int64_t days);
// The date and time `posix_seconds` names when read as if it were a wall-clock time; the
// Summer flag is cleared.
CivilTimeRecord SplitPosixSeconds(int64_t posix_seconds);
// The wall-clock time read as if it were UTC, in seconds since 1970; Weekday and Summer
// are ignored.
int64_t JoinCivilTime(const CivilTimeRecord& civil);

// Berlin time by the EU rule, applied to every year: CET (UTC+1), and CEST (UTC+2) from
// 01:00 UTC on the last Sunday of March to 01:00 UTC on the last Sunday of October.
// Always true.
bool ConvertToEuLocal(int64_t posix_seconds, CivilTimeRecord* local);

// Seconds the zone's clock is ahead of UTC at `posix_seconds`, given `local`, its wall time.
int64_t MeasureUtcOffset(int64_t posix_seconds, const CivilTimeRecord& local);

// The earliest POSIX time at which `convert` shows the date and time of `local` (weekday
// and summer flag ignored). False when the zone skips that time (as in the spring change)
// or cannot tell.
bool FindPosixForLocal(const CivilTimeRecord& local, LocalTimeFunction convert,
                       int64_t* posix_seconds);

// Parses "YYYY-MM-DD HH:MM" or "YYYY-MM-DD HH:MM:SS" into `civil` (weekday filled in,
// summer flag cleared); `has_seconds` tells whether ":SS" was given. False on any other
// form or a date or time that does not exist in the calendar.
bool ParseCivilTime(const char* text, CivilTimeRecord* civil, bool* has_seconds);
