#include "civil_time.h"

namespace {

constexpr int kMonthsPerYear = 12;
constexpr int kHoursPerDay = 24;
constexpr int kMinutesPerHour = 60;
constexpr int kDaysPerWeek = 7;
// 1970-01-01 was a Thursday.
constexpr int kEpochWeekday = 4;

// The EU rule's moments: 01:00 UTC on the last Sunday of the month.
constexpr int kSummerStartMonth = 3;
constexpr int kSummerEndMonth = 10;
constexpr int64_t kChangeHourUtc = 1;
constexpr int kSundayWeekday = 7;
constexpr int64_t kCetOffset = 1 * kSecondsPerHour;
constexpr int64_t kCestOffset = 2 * kSecondsPerHour;

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// POSIX seconds of 01:00 UTC on the last Sunday of `month`.
int64_t FindEuChange(int year, int month) {
  const int64_t last_day = CountDaysFromCivil(year, month, CountDaysInMonth(year, month));
  const int64_t sunday = last_day - (FindWeekday(last_day) % kSundayWeekday);
  return sunday * kSecondsPerDay + kChangeHourUtc * kSecondsPerHour;
}

// Reads exactly `count` decimal digits; false when any is missing.
bool ReadDigits(const char*& text, int count, int* value) {
  int result = 0;
  for (int i = 0; i < count; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') {
      return false;
    }
    result = result * 10 + (c - '0');
  }
  text += count;
  *value = result;
  return true;
}

bool ReadChar(const char*& text, char expected) {
  if (*text != expected) {
    return false;
  }
  ++text;
  return true;
}

bool IsSameWallTime(const CivilTimeRecord& a, const CivilTimeRecord& b) {
  return a.Year == b.Year && a.Month == b.Month && a.Day == b.Day && a.Hour == b.Hour &&
         a.Minute == b.Minute && a.Second == b.Second;
}

}  // namespace

int64_t DivideDown(int64_t value, int64_t divisor) {
  const int64_t quotient = value / divisor;
  return (value % divisor < 0) ? quotient - 1 : quotient;
}

int64_t CountDaysFromCivil(int year, int month, int day) {
  // Counts in eras of 400 years that begin on 1 March, so the leap day ends each year.
  const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
  const int64_t era = DivideDown(y, 400);
  const int64_t year_of_era = y - era * 400;
  const int64_t shifted_month = (month + 9) % kMonthsPerYear;  // March = 0
  const int64_t day_of_year = (153 * shifted_month + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

int CountDaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > kMonthsPerYear) {
    return 0;
  }
  return (month == 2 && IsLeapYear(year)) ? 29 : kDays[month - 1];
}

int FindWeekday(int64_t days) {
  const int64_t from_monday = days + (kEpochWeekday - 1);
  return static_cast<int>(from_monday - DivideDown(from_monday, kDaysPerWeek) * kDaysPerWeek) + 1;
}

CivilTimeRecord SplitPosixSeconds(int64_t posix_seconds) {
  const int64_t days = DivideDown(posix_seconds, kSecondsPerDay);
  const int64_t second_of_day = posix_seconds - days * kSecondsPerDay;

  // The inverse of CountDaysFromCivil.
  const int64_t z = days + 719468;
  const int64_t era = DivideDown(z, 146097);
  const int64_t day_of_era = z - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t shifted_month = (5 * day_of_year + 2) / 153;
  const int month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);

  CivilTimeRecord civil = {};
  civil.Year = static_cast<int>(year_of_era + era * 400 + (month <= 2 ? 1 : 0));
  civil.Month = month;
  civil.Day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  civil.Hour = static_cast<int>(second_of_day / kSecondsPerHour);
  civil.Minute = static_cast<int>(second_of_day % kSecondsPerHour / kSecondsPerMinute);
  civil.Second = static_cast<int>(second_of_day % kSecondsPerMinute);
  civil.Weekday = FindWeekday(days);
  civil.Summer = false;
  return civil;
}

int64_t JoinCivilTime(const CivilTimeRecord& civil) {
  return CountDaysFromCivil(civil.Year, civil.Month, civil.Day) * kSecondsPerDay +
         civil.Hour * kSecondsPerHour + civil.Minute * kSecondsPerMinute + civil.Second;
}

bool ConvertToEuLocal(int64_t posix_seconds, CivilTimeRecord* local) {
  // The year of the UTC date; the changes lie far from the turn of the year.
  const int year = SplitPosixSeconds(posix_seconds).Year;
  const bool summer = posix_seconds >= FindEuChange(year, kSummerStartMonth) &&
                      posix_seconds < FindEuChange(year, kSummerEndMonth);
  *local = SplitPosixSeconds(posix_seconds + (summer ? kCestOffset : kCetOffset));
  local->Summer = summer;
  return true;
}

int64_t MeasureUtcOffset(int64_t posix_seconds, const CivilTimeRecord& local) {
  return JoinCivilTime(local) - posix_seconds;
}

bool FindPosixForLocal(const CivilTimeRecord& local, LocalTimeFunction convert,
                       int64_t* posix_seconds) {
  // A zone's offset a day before and a day after covers both sides of any change.
  const int64_t wall = JoinCivilTime(local);
  const int64_t probes[] = {wall - kSecondsPerDay, wall + kSecondsPerDay};
  bool found = false;
  int64_t earliest = 0;
  for (const int64_t probe : probes) {
    CivilTimeRecord probe_local = {};
    if (!convert(probe, &probe_local)) {
      return false;
    }
    const int64_t candidate = wall - MeasureUtcOffset(probe, probe_local);
    CivilTimeRecord candidate_local = {};
    if (!convert(candidate, &candidate_local)) {
      return false;
    }
    if (IsSameWallTime(candidate_local, local) && (!found || candidate < earliest)) {
      earliest = candidate;
      found = true;
    }
  }
  if (found) {
    *posix_seconds = earliest;
  }
  return found;
}

bool ParseCivilTime(const char* text, CivilTimeRecord* civil, bool* has_seconds) {
  CivilTimeRecord parsed = {};
  const char* p = text;
  if (!ReadDigits(p, 4, &parsed.Year) || !ReadChar(p, '-') || !ReadDigits(p, 2, &parsed.Month) ||
      !ReadChar(p, '-') || !ReadDigits(p, 2, &parsed.Day) || !ReadChar(p, ' ') ||
      !ReadDigits(p, 2, &parsed.Hour) || !ReadChar(p, ':') || !ReadDigits(p, 2, &parsed.Minute)) {
    return false;
  }
  bool seconds_given = false;
  if (*p == ':') {
    ++p;
    if (!ReadDigits(p, 2, &parsed.Second)) {
      return false;
    }
    seconds_given = true;
  }
  if (*p != '\0') {
    return false;
  }
  if (parsed.Month < 1 || parsed.Month > kMonthsPerYear || parsed.Day < 1 ||
      parsed.Day > CountDaysInMonth(parsed.Year, parsed.Month) || parsed.Hour >= kHoursPerDay ||
      parsed.Minute >= kMinutesPerHour || parsed.Second >= kSecondsPerMinute) {
    return false;
  }
  parsed.Weekday = FindWeekday(CountDaysFromCivil(parsed.Year, parsed.Month, parsed.Day));
  *civil = parsed;
  *has_seconds = seconds_given;
  return true;
}
