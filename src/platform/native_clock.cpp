#include "platform/native_clock.h"

#include <ctime>

#include "platform/tick.h"

namespace {

constexpr WORD kFirstYear = 1601;
constexpr WORD kLastYear = 30827;
constexpr WORD kMonthsPerYear = 12;
constexpr WORD kHoursPerDay = 24;
constexpr WORD kMinutesPerHour = 60;
constexpr WORD kSecondsPerMinute = 60;
constexpr WORD kMillisecondsPerSecond = 1000;
constexpr WORD kDaysPerWeek = 7;
constexpr int64_t kMsPerHour =
    int64_t{kMinutesPerHour} * kSecondsPerMinute * kMillisecondsPerSecond;
constexpr int64_t kMsPerDay = kHoursPerDay * kMsPerHour;
constexpr int64_t kFileTimeUnitsPerMs = 10000;
// Days from 1 March of year 0 (the day count's origin) to 1 January 1601 (FILETIME's).
constexpr int64_t kDaysTo1601 = 584694;
// 1 January 1601 was a Monday.
constexpr int64_t kWeekdayOf1601 = 1;

// Berlin: CET, UTC+1, and CEST, UTC+2, from 01:00 UTC on the last Sunday of March to
// 01:00 UTC on the last Sunday of October.
constexpr int64_t kWinterOffsetMs = kMsPerHour;
constexpr int64_t kSummerOffsetMs = 2 * kMsPerHour;
constexpr WORD kChangeHourUtc = 1;
constexpr WORD kMarch = 3;
constexpr WORD kOctober = 10;
constexpr WORD kLastDayOfMarchAndOctober = 31;

double clock_ms = 0;  // UTC, ms since 1601, at the tick passed last
double clock_rate = 1;
uint32_t clock_tick = 0;
bool has_tick = false;
bool clock_started = false;
bool refuse_changes = false;
int accepted_sets = 0;
int requests = 0;
SYSTEMTIME last_request;

bool IsLeapYear(unsigned year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(unsigned year, unsigned month) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidTime(const SYSTEMTIME& t) {
  return t.wYear >= kFirstYear && t.wYear <= kLastYear && t.wMonth >= 1 &&
         t.wMonth <= kMonthsPerYear && t.wDay >= 1 && t.wDay <= DaysInMonth(t.wYear, t.wMonth) &&
         t.wHour < kHoursPerDay && t.wMinute < kMinutesPerHour && t.wSecond < kSecondsPerMinute &&
         t.wMilliseconds < kMillisecondsPerSecond;
}

// Days since 1 March of year 0, a 400-year cycle at a time (Hinnant's method).
int64_t CountDays(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const int64_t era = year / 400;
  const int64_t of_era = year - era * 400;
  const int64_t of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  return era * 146097 + of_era * 365 + of_era / 4 - of_era / 100 + of_year;
}

// A valid time as ms since 1601.
int64_t CountMs(const SYSTEMTIME& t) {
  const int64_t days = CountDays(t.wYear, t.wMonth, t.wDay) - kDaysTo1601;
  return days * kMsPerDay +
         ((t.wHour * int64_t{kMinutesPerHour} + t.wMinute) * kSecondsPerMinute + t.wSecond) *
             kMillisecondsPerSecond +
         t.wMilliseconds;
}

// ms since 1601 (0 or more) as a date and time: the day count's inverse, by the same method.
SYSTEMTIME SplitMs(int64_t ms) {
  const int64_t days_since_1601 = ms / kMsPerDay;
  int64_t of_day = ms % kMsPerDay;
  const int64_t days = days_since_1601 + kDaysTo1601;
  const int64_t era = days / 146097;
  const int64_t of_era = days - era * 146097;
  const int64_t year_of_era = (of_era - of_era / 1460 + of_era / 36524 - of_era / 146096) / 365;
  const int64_t of_year = of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_index = (5 * of_year + 2) / 153;
  const unsigned month =
      static_cast<unsigned>(month_index < 10 ? month_index + 3 : month_index - 9);
  SYSTEMTIME t = {};
  t.wYear = static_cast<WORD>(year_of_era + era * 400 + (month <= 2));
  t.wMonth = static_cast<WORD>(month);
  t.wDay = static_cast<WORD>(of_year - (153 * month_index + 2) / 5 + 1);
  t.wDayOfWeek = static_cast<WORD>((days_since_1601 + kWeekdayOf1601) % kDaysPerWeek);
  t.wMilliseconds = static_cast<WORD>(of_day % kMillisecondsPerSecond);
  of_day /= kMillisecondsPerSecond;
  t.wSecond = static_cast<WORD>(of_day % kSecondsPerMinute);
  of_day /= kSecondsPerMinute;
  t.wMinute = static_cast<WORD>(of_day % kMinutesPerHour);
  t.wHour = static_cast<WORD>(of_day / kMinutesPerHour);
  return t;
}

void StartClock() {
  if (clock_started) {
    return;
  }
  const std::time_t now = std::time(nullptr);
  const std::tm* utc = std::gmtime(&now);
  SYSTEMTIME t = {};
  t.wYear = static_cast<WORD>(utc->tm_year + 1900);
  t.wMonth = static_cast<WORD>(utc->tm_mon + 1);
  t.wDay = static_cast<WORD>(utc->tm_mday);
  t.wHour = static_cast<WORD>(utc->tm_hour);
  t.wMinute = static_cast<WORD>(utc->tm_min);
  t.wSecond = static_cast<WORD>(utc->tm_sec);
  clock_ms = static_cast<double>(CountMs(t));
  clock_started = true;
}

// The day of the last Sunday of March or October.
WORD FindLastSunday(WORD year, WORD month) {
  SYSTEMTIME last = {year, month, 0, kLastDayOfMarchAndOctober, 0, 0, 0, 0};
  return static_cast<WORD>(kLastDayOfMarchAndOctober - SplitMs(CountMs(last)).wDayOfWeek);
}

// Berlin's offset from UTC at `utc_ms`.
int64_t FindLocalOffsetMs(int64_t utc_ms) {
  const WORD year = SplitMs(utc_ms).wYear;
  const SYSTEMTIME summer = {year,           kMarch, 0, FindLastSunday(year, kMarch),
                             kChangeHourUtc, 0,      0, 0};
  const SYSTEMTIME winter = {year,           kOctober, 0, FindLastSunday(year, kOctober),
                             kChangeHourUtc, 0,        0, 0};
  return utc_ms >= CountMs(summer) && utc_ms < CountMs(winter) ? kSummerOffsetMs : kWinterOffsetMs;
}

// Every set call is counted and kept; false when it is refused.
bool NoteSetRequest(const SYSTEMTIME* time) {
  if (time == nullptr) {
    return false;
  }
  last_request = *time;
  ++requests;
  return !refuse_changes && IsValidTime(*time);
}

void SetClock(double utc_ms) {
  clock_ms = utc_ms;
  clock_started = true;
  ++accepted_sets;
}

}  // namespace

BOOL SetSystemTime(const SYSTEMTIME* time) {
  if (!NoteSetRequest(time)) {
    return 0;
  }
  SetClock(static_cast<double>(CountMs(*time)));
  return 1;
}

void GetSystemTime(SYSTEMTIME* time) {
  StartClock();
  *time = SplitMs(static_cast<int64_t>(clock_ms));
}

void GetSystemTimePreciseAsFileTime(FILETIME* time) {
  StartClock();
  const uint64_t units = static_cast<uint64_t>(clock_ms * kFileTimeUnitsPerMs);
  time->dwLowDateTime = static_cast<DWORD>(units);
  time->dwHighDateTime = static_cast<DWORD>(units >> 32);
}

BOOL SetLocalTime(const SYSTEMTIME* time) {
  if (!NoteSetRequest(time)) {
    return 0;
  }
  StartClock();
  SetClock(static_cast<double>(CountMs(*time) -
                               FindLocalOffsetMs(static_cast<int64_t>(clock_ms))));
  return 1;
}

void GetLocalTime(SYSTEMTIME* time) {
  StartClock();
  const int64_t utc = static_cast<int64_t>(clock_ms);
  *time = SplitMs(utc + FindLocalOffsetMs(utc));
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* system, FILETIME* file) {
  if (!IsValidTime(*system)) {
    return 0;
  }
  const uint64_t units = static_cast<uint64_t>(CountMs(*system)) * kFileTimeUnitsPerMs;
  file->dwLowDateTime = static_cast<DWORD>(units);
  file->dwHighDateTime = static_cast<DWORD>(units >> 32);
  return 1;
}

BOOL FileTimeToSystemTime(const FILETIME* file, SYSTEMTIME* system) {
  const uint64_t units = (uint64_t{file->dwHighDateTime} << 32) | file->dwLowDateTime;
  const SYSTEMTIME t = SplitMs(static_cast<int64_t>(units / kFileTimeUnitsPerMs));
  if (!IsValidTime(t)) {
    return 0;
  }
  *system = t;
  return 1;
}

uint32_t ReadTickMs() {
  return clock_tick;
}

void SetNativeClock(const SYSTEMTIME& utc) {
  clock_ms = static_cast<double>(CountMs(utc));
  clock_started = true;
}

void PassNativeClockTick(uint32_t tick) {
  // Modulo 2^32, as the tick wraps.
  if (has_tick && clock_started) {
    clock_ms += static_cast<uint32_t>(tick - clock_tick) * clock_rate;
  }
  clock_tick = tick;
  has_tick = true;
}

void SetNativeClockRate(double rate) {
  clock_rate = rate;
}

void RefuseClockChanges(bool refuse) {
  refuse_changes = refuse;
}

int CountClockSets() {
  return accepted_sets;
}

int CountClockRequests() {
  return requests;
}

const SYSTEMTIME& LastClockRequest() {
  return last_request;
}
