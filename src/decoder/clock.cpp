#include "decoder/clock.h"

#include "common/decoded_minute.h"
#include "common/receiver_state.h"
#include "decoder/reception.h"
#include "platform/platform.h"

namespace {

constexpr WORD kCentury = 100;
constexpr WORD kBaseYear = 1900;
// Two-digit years from here on are in the 1900s; below it, in the 2000s.
constexpr uint8_t kFirstYearOf1900s = 97;
constexpr uint8_t kMinutesPerHour = 60;
constexpr uint8_t kHoursPerDay = 24;
constexpr uint8_t kMonthsPerYear = 12;
constexpr uint8_t kFebruary = 2;
constexpr WORD kLeapYearCycle = 4;
constexpr WORD kGregorianCycle = 400;
constexpr uint8_t kDaysInMonth[kMonthsPerYear] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr uint8_t kDaysPerWeek = 7;
// A minute's closing mark reaches the program 190 ms after it began, when the 50-baud UART
// samples the stop bit (9.5 bit times), and then waits for the next poll, half a period on
// average. The clock is set to the minute plus that mean delay, so that it lands within
// half a poll period of the true second either way.
constexpr WORD kUartHandOverMs = 190;
constexpr WORD kSetDelayMs = kUartHandOverMs + kPollPeriodMs / 2;
// Sakamoto's offsets of the months, for a year counted from March.
constexpr uint8_t kMonthOffsets[kMonthsPerYear] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};

WORD FullYear(uint8_t two_digits) {
  const WORD year = static_cast<WORD>(kBaseYear + two_digits);
  return two_digits < kFirstYearOf1900s ? static_cast<WORD>(year + kCentury) : year;
}

uint8_t CountDaysInMonth(uint8_t two_digit_year, uint8_t month) {
  // From 1997 to 2096 every fourth year is a leap year: 2000 is one by the 400-year rule.
  const bool leap = FullYear(two_digit_year) % kLeapYearCycle == 0;
  return month == kFebruary && leap ? kDaysInMonth[month - 1] + 1 : kDaysInMonth[month - 1];
}

// DCF77's numbering: 1 = Monday .. 7 = Sunday (Sakamoto's method, Gregorian calendar).
uint8_t FindWeekday(uint8_t two_digit_year, uint8_t month, uint8_t day) {
  unsigned year = FullYear(two_digit_year);
  if (month <= kFebruary) {
    --year;
  }
  const unsigned from_sunday = (year + year / kLeapYearCycle - year / kCentury +
                                year / kGregorianCycle + kMonthOffsets[month - 1] + day) %
                               kDaysPerWeek;
  return static_cast<uint8_t>(from_sunday == 0 ? kDaysPerWeek : from_sunday);
}

bool IsExistingTime(const TimeFieldsRecord& t) {
  return t.Minute < kMinutesPerHour && t.Hour < kHoursPerDay && t.Year < kCentury && t.Month >= 1 &&
         t.Month <= kMonthsPerYear && t.Day >= 1 && t.Day <= CountDaysInMonth(t.Year, t.Month);
}

// Modulo 2^32, like every tick difference.
bool IsAMinuteApart(uint32_t earlier, uint32_t later) {
  const uint32_t elapsed = later - earlier;
  return elapsed >= kMinuteMs - kMinuteSlackMs && elapsed <= kMinuteMs + kMinuteSlackMs;
}

}  // namespace

bool FollowsByOneMinute(const TimeFieldsRecord& earlier, const TimeFieldsRecord& later) {
  if (!IsExistingTime(earlier) ||
      earlier.Weekday != FindWeekday(earlier.Year, earlier.Month, earlier.Day)) {
    return false;
  }
  TimeFieldsRecord next = earlier;
  if (++next.Minute == kMinutesPerHour) {
    next.Minute = 0;
    if (++next.Hour == kHoursPerDay) {
      next.Hour = 0;
      next.Weekday = static_cast<uint8_t>(next.Weekday % kDaysPerWeek + 1);
      if (++next.Day > CountDaysInMonth(next.Year, next.Month)) {
        next.Day = 1;
        if (++next.Month > kMonthsPerYear) {
          next.Month = 1;
          next.Year = static_cast<uint8_t>((next.Year + 1) % kCentury);
        }
      }
    }
  }
  return later.Minute == next.Minute && later.Hour == next.Hour && later.Day == next.Day &&
         later.Weekday == next.Weekday && later.Month == next.Month && later.Year == next.Year;
}

bool SetClockFromTelegram(bool doubtful) {
  // Two bit errors in one parity group pass every check of a single telegram; the minute
  // before, decoded a minute earlier, must agree before the clock is trusted to it. Where
  // either holds a doubtful mark, the same bit may have turned in both, so the minute
  // before that must agree too.
  const DecodedMinuteRecord& held = LastDecodedMinute;
  const uint32_t now = ReceiverState.LastByteTick;
  const bool follows =
      held.Held && IsAMinuteApart(held.Tick, now) && FollowsByOneMinute(held.Fields, TimeFields);
  const bool confirmed = follows && (held.Followed || !(doubtful || held.Doubtful));
  // The caller notes its announcement.
  LastDecodedMinute = {true, TimeFields, now, false, doubtful, follows};

  SYSTEMTIME time = {};
  time.wYear = FullYear(TimeFields.Year);
  time.wMonth = TimeFields.Month;
  time.wDayOfWeek = TimeFields.Weekday;
  time.wDay = TimeFields.Day;
  time.wHour = TimeFields.Hour;
  time.wMinute = TimeFields.Minute;
  time.wMilliseconds = kSetDelayMs;

  // The system converts a local time with the daylight-saving setting in force before the
  // set; the second call converts with the setting of the new time, which matters when the
  // set crosses a change.
  if (confirmed && SetLocalTime(&time)) {
    SetLocalTime(&time);
  }
  GetLocalTime(&time);

  TimeFields.Year = static_cast<uint8_t>(time.wYear % kCentury);
  TimeFields.Month = static_cast<uint8_t>(time.wMonth);
  TimeFields.Weekday = static_cast<uint8_t>(time.wDayOfWeek);
  TimeFields.Day = static_cast<uint8_t>(time.wDay);
  TimeFields.Hour = static_cast<uint8_t>(time.wHour);
  TimeFields.Minute = static_cast<uint8_t>(time.wMinute);
  return confirmed;
}
