#include "platform/native_clock.h"

#include <ctime>

namespace {

constexpr WORD kFirstYear = 1601;
constexpr WORD kLastYear = 30827;
constexpr WORD kHoursPerDay = 24;
constexpr WORD kMinutesPerHour = 60;
constexpr WORD kSecondsPerMinute = 60;
constexpr WORD kMillisecondsPerSecond = 1000;

constexpr int64_t kMsPerHour =
    int64_t{kMinutesPerHour} * kSecondsPerMinute * kMillisecondsPerSecond;
// Berlin: CET, UTC+1, and CEST, UTC+2, from 01:00 UTC on the last Sunday of March to
// 01:00 UTC on the last Sunday of October.
constexpr int64_t kWinterOffsetMs = kMsPerHour;
constexpr int64_t kSummerOffsetMs = 2 * kMsPerHour;
constexpr WORD kChangeHourUtc = 1;
constexpr WORD kMarch = 3;
constexpr WORD kOctober = 10;
constexpr WORD kLastDayOfMarchAndOctober = 31;

SYSTEMTIME clock_now;  // UTC, at the tick passed last
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

// Sakamoto's method; 0 = Sunday.
WORD DayOfWeek(unsigned year, unsigned month, unsigned day) {
  static const unsigned kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) {
    year -= 1;
  }
  return static_cast<WORD>((year + year / 4 - year / 100 + year / 400 + kOffsets[month - 1] + day) %
                           7);
}

bool IsValidTime(const SYSTEMTIME& t) {
  return t.wYear >= kFirstYear && t.wYear <= kLastYear && t.wMonth >= 1 && t.wMonth <= 12 &&
         t.wDay >= 1 && t.wDay <= DaysInMonth(t.wYear, t.wMonth) && t.wHour < kHoursPerDay &&
         t.wMinute < kMinutesPerHour && t.wSecond < kSecondsPerMinute &&
         t.wMilliseconds < kMillisecondsPerSecond;
}

constexpr int64_t kMsPerDay =
    int64_t{kHoursPerDay} * kMinutesPerHour * kSecondsPerMinute * kMillisecondsPerSecond;

// Days since 1 March of year 0, a 400-year cycle at a time (Hinnant's method).
int64_t CountDays(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const int64_t era = year / 400;
  const int64_t of_era = year - era * 400;
  const int64_t of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  return era * 146097 + of_era * 365 + of_era / 4 - of_era / 100 + of_year;
}

// Moves the valid time `t` on by `ms` (back, when negative), across days, months and years.
void AdvanceTime(SYSTEMTIME* t, int64_t ms) {
  int64_t of_day =
      ((t->wHour * int64_t{kMinutesPerHour} + t->wMinute) * kSecondsPerMinute + t->wSecond) *
          kMillisecondsPerSecond +
      t->wMilliseconds + ms;
  // Floor division, so that a time moved back before midnight lands on the day before.
  const int64_t whole_days = (of_day >= 0 ? of_day : of_day - (kMsPerDay - 1)) / kMsPerDay;
  int64_t days = CountDays(t->wYear, t->wMonth, t->wDay) + whole_days;
  of_day -= whole_days * kMsPerDay;
  // Back from the day count to a date: the civil calendar's inverse, by the same method.
  const int64_t era = days / 146097;
  const int64_t of_era = days - era * 146097;
  const int64_t year_of_era = (of_era - of_era / 1460 + of_era / 36524 - of_era / 146096) / 365;
  const int64_t of_year = of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_index = (5 * of_year + 2) / 153;
  const unsigned month =
      static_cast<unsigned>(month_index < 10 ? month_index + 3 : month_index - 9);
  t->wYear = static_cast<WORD>(year_of_era + era * 400 + (month <= 2));
  t->wMonth = static_cast<WORD>(month);
  t->wDay = static_cast<WORD>(of_year - (153 * month_index + 2) / 5 + 1);
  t->wMilliseconds = static_cast<WORD>(of_day % kMillisecondsPerSecond);
  of_day /= kMillisecondsPerSecond;
  t->wSecond = static_cast<WORD>(of_day % kSecondsPerMinute);
  of_day /= kSecondsPerMinute;
  t->wMinute = static_cast<WORD>(of_day % kMinutesPerHour);
  t->wHour = static_cast<WORD>(of_day / kMinutesPerHour);
}

void StartClock() {
  if (clock_started) {
    return;
  }
  const std::time_t now = std::time(nullptr);
  const std::tm* utc = std::gmtime(&now);
  clock_now = SYSTEMTIME{};
  clock_now.wYear = static_cast<WORD>(utc->tm_year + 1900);
  clock_now.wMonth = static_cast<WORD>(utc->tm_mon + 1);
  clock_now.wDay = static_cast<WORD>(utc->tm_mday);
  clock_now.wHour = static_cast<WORD>(utc->tm_hour);
  clock_now.wMinute = static_cast<WORD>(utc->tm_min);
  clock_now.wSecond = static_cast<WORD>(utc->tm_sec);
  clock_started = true;
}

// The day of the last Sunday of March or October.
WORD FindLastSunday(WORD year, WORD month) {
  return static_cast<WORD>(kLastDayOfMarchAndOctober -
                           DayOfWeek(year, month, kLastDayOfMarchAndOctober));
}

// Berlin's offset from UTC at the UTC time `t`.
int64_t FindLocalOffsetMs(const SYSTEMTIME& t) {
  const auto at = [&t](WORD month, WORD day, WORD hour) {
    return t.wMonth != month ? t.wMonth > month : (t.wDay != day ? t.wDay > day : t.wHour >= hour);
  };
  const bool summer = at(kMarch, FindLastSunday(t.wYear, kMarch), kChangeHourUtc) &&
                      !at(kOctober, FindLastSunday(t.wYear, kOctober), kChangeHourUtc);
  return summer ? kSummerOffsetMs : kWinterOffsetMs;
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

void SetClock(const SYSTEMTIME& utc) {
  clock_now = utc;
  clock_started = true;
  ++accepted_sets;
}

}  // namespace

BOOL SetSystemTime(const SYSTEMTIME* time) {
  if (!NoteSetRequest(time)) {
    return 0;
  }
  SetClock(*time);
  return 1;
}

void GetSystemTime(SYSTEMTIME* time) {
  StartClock();
  *time = clock_now;
  time->wDayOfWeek = DayOfWeek(time->wYear, time->wMonth, time->wDay);
}

BOOL SetLocalTime(const SYSTEMTIME* time) {
  if (!NoteSetRequest(time)) {
    return 0;
  }
  StartClock();
  SYSTEMTIME utc = *time;
  AdvanceTime(&utc, -FindLocalOffsetMs(clock_now));
  SetClock(utc);
  return 1;
}

void GetLocalTime(SYSTEMTIME* time) {
  StartClock();
  *time = clock_now;
  AdvanceTime(time, FindLocalOffsetMs(clock_now));
  time->wDayOfWeek = DayOfWeek(time->wYear, time->wMonth, time->wDay);
}

void SetNativeClock(const SYSTEMTIME& time) {
  clock_now = time;
  clock_started = true;
}

void PassNativeClockTick(uint32_t tick) {
  // Modulo 2^32, as the platform's tick counter wraps.
  if (has_tick && clock_started && IsValidTime(clock_now)) {
    AdvanceTime(&clock_now, static_cast<uint32_t>(tick - clock_tick));
  }
  clock_tick = tick;
  has_tick = true;
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
