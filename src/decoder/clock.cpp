#include "decoder/clock.h"

#include <cmath>

#include "common/clock_steering.h"
#include "common/decoded_minute.h"
#include "decoder/framing.h"
#include "decoder/reception.h"
#include "decoder/steering.h"
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
// FILETIME counts 100-nanosecond intervals.
constexpr int64_t kFileTimeUnitsPerMs = 10000;
// CET is UTC+1, CEST UTC+2.
constexpr uint8_t kCetHours = 1;
constexpr uint8_t kCestHours = 2;
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

void AdvanceMinute(TimeFieldsRecord* t) {
  if (++t->Minute < kMinutesPerHour) {
    return;
  }
  t->Minute = 0;
  if (++t->Hour < kHoursPerDay) {
    return;
  }
  t->Hour = 0;
  t->Weekday = static_cast<uint8_t>(t->Weekday % kDaysPerWeek + 1);
  if (++t->Day <= CountDaysInMonth(t->Year, t->Month)) {
    return;
  }
  t->Day = 1;
  if (++t->Month > kMonthsPerYear) {
    t->Month = 1;
    t->Year = static_cast<uint8_t>((t->Year + 1) % kCentury);
  }
}

// The date and weekday one day back, for an existing time.
void RetreatDay(TimeFieldsRecord* t) {
  t->Weekday = static_cast<uint8_t>((t->Weekday + kDaysPerWeek - 2) % kDaysPerWeek + 1);
  if (--t->Day >= 1) {
    return;
  }
  if (--t->Month < 1) {
    t->Month = kMonthsPerYear;
    t->Year = static_cast<uint8_t>((t->Year + kCentury - 1) % kCentury);
  }
  t->Day = CountDaysInMonth(t->Year, t->Month);
}

// The zones two minutes are compared in: each its own, or, where one of them has no clear
// zone, the other's for both, unless either announced a change between CET and CEST. False
// when no zone is found.
bool ChooseZones(const DecodedMinuteRecord& held, const TelegramFlagsRecord& flags,
                 TelegramZone* held_zone, TelegramZone* zone) {
  *held_zone = held.Zone;
  *zone = flags.Zone;
  if (held.Zone != kZoneUnknown && flags.Zone != kZoneUnknown) {
    return true;
  }
  if (held.ChangeAhead || flags.ChangeAhead) {
    return false;
  }
  *held_zone = *zone = held.Zone != kZoneUnknown ? held.Zone : flags.Zone;
  return *zone != kZoneUnknown;
}

int64_t ReadFileTimeMs(const FILETIME& time) {
  const uint64_t units = (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
  return static_cast<int64_t>(units / kFileTimeUnitsPerMs);
}

}  // namespace

bool FollowsByMinutes(const TimeFieldsRecord& earlier, const TimeFieldsRecord& later,
                      unsigned minutes) {
  if (!IsExistingTime(earlier) ||
      earlier.Weekday != FindWeekday(earlier.Year, earlier.Month, earlier.Day)) {
    return false;
  }
  TimeFieldsRecord next = earlier;
  for (unsigned i = 0; i < minutes; ++i) {
    AdvanceMinute(&next);
  }
  return later.Minute == next.Minute && later.Hour == next.Hour && later.Day == next.Day &&
         later.Weekday == next.Weekday && later.Month == next.Month && later.Year == next.Year;
}

TimeFieldsRecord ConvertToUtc(const TimeFieldsRecord& local, TelegramZone zone) {
  // A weekday out of 1 to 7 would come out of RetreatDay as a real one.
  if (zone == kZoneUnknown || !IsExistingTime(local) || local.Weekday < 1 ||
      local.Weekday > kDaysPerWeek) {
    return local;
  }
  const uint8_t hours = zone == kZoneCest ? kCestHours : kCetHours;
  TimeFieldsRecord utc = local;
  if (utc.Hour >= hours) {
    utc.Hour = static_cast<uint8_t>(utc.Hour - hours);
  } else {
    utc.Hour = static_cast<uint8_t>(utc.Hour + kHoursPerDay - hours);
    RetreatDay(&utc);
  }
  return utc;
}

bool ConfirmDecodedMinute(uint32_t tick, bool doubtful, const TelegramFlagsRecord& flags,
                          TelegramZone* zone) {
  // Two bit errors in one parity group pass every check of a single telegram; a minute
  // decoded before must agree before the clock is trusted to it. Where either holds a
  // doubtful mark, the same bit may have turned in both, so one before that must agree too.
  // A wrong minute decoded in between does not push a good one out: the last few are held.
  // Minutes are compared in UTC, so that those either side of a change of summer time agree;
  // the zone bits lie outside every parity group, and a zone misread as the other makes a
  // minute an hour off in UTC, which no minute confirms.
  bool follows = false;
  bool confirmed = false;
  bool zones_differ = false;
  *zone = flags.Zone;
  for (const DecodedMinuteRecord& held : HeldMinutes.Minutes) {
    // Modulo 2^32, like every tick difference.
    const uint32_t elapsed = tick - held.Tick;
    const unsigned minutes = (elapsed + kMinuteMs / 2) / kMinuteMs;
    if (!held.Held || minutes < 1 || minutes > kConfirmReachMinutes) {
      continue;
    }
    const bool leap_between = held.LeapAhead && held.Fields.Minute + minutes >= kMinutesPerHour;
    const uint32_t expected = minutes * kMinuteMs + (leap_between ? kLeapSecondMs : 0);
    TelegramZone held_zone = kZoneUnknown;
    TelegramZone this_zone = kZoneUnknown;
    if (elapsed + kDatingSlackMs < expected || elapsed > expected + kDatingSlackMs ||
        !ChooseZones(held, flags, &held_zone, &this_zone) ||
        !FollowsByMinutes(ConvertToUtc(held.Fields, held_zone), ConvertToUtc(TimeFields, this_zone),
                          minutes)) {
      continue;
    }
    follows = true;
    confirmed = confirmed || held.Followed || !(doubtful || held.Doubtful);
    zones_differ = zones_differ || (*zone != kZoneUnknown && *zone != this_zone);
    *zone = this_zone;
  }
  // Held in the zone the minutes before agree on, so that it confirms later minutes in UTC.
  if (zones_differ) {
    *zone = flags.Zone;
  }
  HeldMinutes.Minutes[HeldMinutes.Next] = {true,     TimeFields, tick,  flags.LeapAhead,
                                           doubtful, follows,    *zone, flags.ChangeAhead};
  HeldMinutes.Next = static_cast<uint8_t>((HeldMinutes.Next + 1) % kHeldMinutes);
  return confirmed && !zones_differ;
}

bool FindDcf77Time(const TimeFieldsRecord& local, TelegramZone zone, uint32_t mark_tick,
                   uint32_t now, int64_t* utc_ms) {
  const TimeFieldsRecord utc = ConvertToUtc(local, zone);
  const SYSTEMTIME minute = {FullYear(utc.Year), utc.Month, 0, utc.Day, utc.Hour, utc.Minute, 0, 0};
  FILETIME start;
  if (zone == kZoneUnknown || !SystemTimeToFileTime(&minute, &start)) {
    return false;
  }
  // The minute began at its mark; its character came kUartHandOverMs later, and the mark as
  // framed may lie a little either side of it.
  *utc_ms = ReadFileTimeMs(start) + kUartHandOverMs + static_cast<int32_t>(now - mark_tick);
  return true;
}

int64_t FindMarksOffset(uint32_t mark_tick, uint32_t now, int64_t clock_ms) {
  // Where the minute's mark began by the clock, against the whole minute nearest it.
  const int64_t began = clock_ms - static_cast<int32_t>(now - mark_tick) - kUartHandOverMs;
  const int64_t into_minute = ((began % kMinuteMs) + kMinuteMs) % kMinuteMs;
  return into_minute < kMinuteMs / 2 ? into_minute : into_minute - kMinuteMs;
}

void NoteMarksOnlyMinute(uint32_t mark_tick) {
  const uint32_t now = ReadTickMs();
  FILETIME clock;
  GetSystemTimePreciseAsFileTime(&clock);
  NoteMarksOffset(&Steering, now,
                  static_cast<double>(FindMarksOffset(mark_tick, now, ReadFileTimeMs(clock))));
}

void SetClockFromTelegram(uint32_t mark_tick, TelegramZone zone, bool leap_ahead) {
  // The moment of the set and the clock are read together, just before the set.
  const uint32_t now = ReadTickMs();
  int64_t dcf77_ms = 0;
  if (FindDcf77Time(TimeFields, zone, mark_tick, now, &dcf77_ms)) {
    FILETIME clock;
    GetSystemTimePreciseAsFileTime(&clock);
    const int64_t offset = ReadFileTimeMs(clock) - dcf77_ms;
    // A step goes to the time as the marks place it, less their bias by the tick's rate.
    dcf77_ms += std::llround(FindRateBiasMs(Steering));
    const int64_t difference = dcf77_ms - ReadFileTimeMs(clock);
    const uint64_t units = static_cast<uint64_t>(dcf77_ms) * kFileTimeUnitsPerMs;
    const FILETIME target = {static_cast<DWORD>(units), static_cast<DWORD>(units >> 32)};
    SYSTEMTIME time;
    // SetSystemTime: "The system time is expressed in Coordinated Universal Time (UTC)", so
    // one call is right in every zone and every hour. A local time would be converted
    // "using the current time zone information", with "the daylight saving time setting of
    // the current time, not the new time you are setting": an hour off in the hour that
    // repeats in October, for a PC a little slow.
    // The first confirmed minute steps a clock that is not right; after it the clock's rate
    // is steered, and only an offset beyond the step limit is stepped.
    if (NoteTelegramOffset(&Steering, now, static_cast<double>(offset), leap_ahead,
                           kRightClockMs) &&
        FileTimeToSystemTime(&target, &time) && SetSystemTime(&time)) {
      NoteClockStep(&Steering, static_cast<double>(difference));
    }
  }
  ReloadTimeFields();
}

void ReloadTimeFields() {
  SYSTEMTIME time;
  GetLocalTime(&time);
  TimeFields.Year = static_cast<uint8_t>(time.wYear % kCentury);
  TimeFields.Month = static_cast<uint8_t>(time.wMonth);
  TimeFields.Weekday = static_cast<uint8_t>(time.wDayOfWeek);
  TimeFields.Day = static_cast<uint8_t>(time.wDay);
  TimeFields.Hour = static_cast<uint8_t>(time.wHour);
  TimeFields.Minute = static_cast<uint8_t>(time.wMinute);
}
