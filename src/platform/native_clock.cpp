#include "platform/native_clock.h"

#include <ctime>

namespace {

constexpr WORD kFirstYear = 1601;
constexpr WORD kLastYear = 30827;
constexpr WORD kHoursPerDay = 24;
constexpr WORD kMinutesPerHour = 60;
constexpr WORD kSecondsPerMinute = 60;
constexpr WORD kMillisecondsPerSecond = 1000;

SYSTEMTIME clock_now;
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

void StartClock() {
  if (clock_started) {
    return;
  }
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  clock_now = SYSTEMTIME{};
  clock_now.wYear = static_cast<WORD>(local->tm_year + 1900);
  clock_now.wMonth = static_cast<WORD>(local->tm_mon + 1);
  clock_now.wDay = static_cast<WORD>(local->tm_mday);
  clock_now.wHour = static_cast<WORD>(local->tm_hour);
  clock_now.wMinute = static_cast<WORD>(local->tm_min);
  clock_now.wSecond = static_cast<WORD>(local->tm_sec);
  clock_started = true;
}

}  // namespace

BOOL SetLocalTime(const SYSTEMTIME* time) {
  if (time == nullptr) {
    return 0;
  }
  last_request = *time;
  ++requests;
  if (refuse_changes || !IsValidTime(*time)) {
    return 0;
  }
  clock_now = *time;
  clock_started = true;
  ++accepted_sets;
  return 1;
}

void GetLocalTime(SYSTEMTIME* time) {
  StartClock();
  *time = clock_now;
  time->wDayOfWeek = DayOfWeek(time->wYear, time->wMonth, time->wDay);
}

void SetNativeClock(const SYSTEMTIME& time) {
  clock_now = time;
  clock_started = true;
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
