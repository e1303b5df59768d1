// Confirming and setting on the native clock with any decoded minutes, ticks, doubts, leap
// and change announcements, zone bits and refusals: a minute is confirmed exactly when one
// of the last ten held is 1 to 10 minutes earlier in UTC, by its existing time, weekday
// included, and by the ticks to half a second, a leap second between counted, and, where
// either is doubtful, that one followed one before it, and the minutes that agree put it in
// one zone; a minute without a clear zone is taken in the other's, when neither announces a
// change. The set asks once for the minute in UTC and 190 ms, unless refused (the clock is
// put back a year before each step, so that it never reads that already); the fields show
// the clock. dcf77sim's calendar judges the dates.
#include <cstdlib>
#include <cstring>

#include "civil_time.h"
#include "common/clock_steering.h"
#include "common/decoded_minute.h"
#include "common/time_fields.h"
#include "decoder/clock.h"
#include "platform/platform.h"

constexpr size_t kStepSize = 11;  // the fields, the ticks since the step before, flags
// Flag bits 3 and 4: 0 CET, 1 CEST, 2 neither zone bit, 3 both; so the seeds, whose flags
// leave them 0, are in CET.
constexpr TelegramZone kZones[] = {kZoneCet, kZoneCest, kZoneUnknown, kZoneUnknown};
constexpr int64_t kZoneHours[] = {0, 1, 2};  // by TelegramZone
constexpr int64_t kSetMs = 190;
constexpr SYSTEMTIME kClock = {1996, 12, 0, 6, 20, 15, 42, 500};
const int64_t kFirstUtc = JoinCivilTime({1997, 1, 1, 0, 0, 0, 0, false});

static bool IsMinuteOf(const CivilTimeRecord& civil, const TimeFieldsRecord& t) {
  return civil.Year % 100 == t.Year && civil.Month == t.Month && civil.Day == t.Day &&
         civil.Hour == t.Hour && civil.Minute == t.Minute && civil.Second == 0 &&
         civil.Weekday == t.Weekday;
}

// The POSIX start of the minute `t` names, read as UTC; false when no such minute exists.
static bool FindMinute(const TimeFieldsRecord& t, int64_t* seconds) {
  const int year = t.Year < 97 ? 2000 + t.Year : 1900 + t.Year;
  *seconds = JoinCivilTime({year, t.Month, t.Day, t.Hour, t.Minute, 0, 0, false});
  return t.Year < 100 && IsMinuteOf(SplitPosixSeconds(*seconds), t);
}

static int64_t CountMs(const SYSTEMTIME& t) {
  return JoinCivilTime({t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, 0, false}) *
             1000 +
         t.wMilliseconds;
}

struct Step {
  bool Exists;
  int64_t Local;  // POSIX seconds of its fields, read as UTC
  uint32_t Tick;
  bool Doubtful;
  bool LeapAhead;
  bool ChangeAhead;
  TelegramZone Zone;
  bool Followed;
};

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  HeldMinutes = {};
  Steering = {};
  Steering.Refused = true;  // each confirmed minute is stepped, and its set shows
  Step steps[kHeldMinutes] = {};
  unsigned count = 0;
  uint32_t tick = 0;
  for (; size >= kStepSize; data += kStepSize, size -= kStepSize) {
    std::memcpy(&TimeFields, data, sizeof TimeFields);
    const TimeFieldsRecord decoded = TimeFields;
    uint32_t ticks;
    std::memcpy(&ticks, data + sizeof TimeFields, sizeof ticks);
    tick += ticks;
    const uint8_t bits = data[kStepSize - 1];
    const bool refused = (bits & 1) != 0, doubtful = (bits & 2) != 0;
    const TelegramFlagsRecord flags = {(bits & 32) != 0, kZones[(bits >> 3) & 3], (bits & 4) != 0};
    RefuseClockChanges(refused);
    PassNativeClockTick(tick);  // the set comes at the minute's mark
    SetNativeClock(kClock);

    Step step = {false, 0, tick, doubtful, flags.LeapAhead, flags.ChangeAhead, flags.Zone, false};
    step.Exists = FindMinute(decoded, &step.Local);
    bool expected = false, zones_differ = false;
    TelegramZone zone = flags.Zone;
    for (unsigned i = 0; i < count && i < kHeldMinutes; ++i) {
      const Step& held = steps[i];
      TelegramZone common = kZoneUnknown;
      if (held.Zone == kZoneUnknown || step.Zone == kZoneUnknown) {
        common = held.ChangeAhead || step.ChangeAhead ? kZoneUnknown
                                                      : (held.Zone ? held.Zone : step.Zone);
      }
      const TelegramZone held_zone = held.Zone ? held.Zone : common;
      const TelegramZone step_zone = step.Zone ? step.Zone : common;
      const int64_t held_utc = held.Local - kZoneHours[held_zone] * kSecondsPerHour;
      const int64_t step_utc = step.Local - kZoneHours[step_zone] * kSecondsPerHour;
      const int64_t minutes = (step_utc - held_utc) / kSecondsPerMinute;
      const int64_t leap_ms =
          held.LeapAhead && held_utc / kSecondsPerHour != step_utc / kSecondsPerHour ? 1000 : 0;
      const int64_t off =
          static_cast<int64_t>(static_cast<uint32_t>(tick - held.Tick)) - minutes * 60000 - leap_ms;
      // Two-digit years name 1997 to 2096: a UTC time before 1997 has no fields.
      if (held.Exists && step.Exists && held_zone && step_zone && held_utc >= kFirstUtc &&
          minutes >= 1 && minutes <= 10 && off >= -500 && off <= 500) {
        step.Followed = true;
        expected = expected || held.Followed || !(doubtful || held.Doubtful);
        zones_differ = zones_differ || (zone && zone != step_zone);
        zone = step_zone;
      }
    }
    expected = expected && !zones_differ;
    step.Zone = zones_differ ? flags.Zone : zone;
    steps[count++ % kHeldMinutes] = step;

    const int requests_before = CountClockRequests();
    TelegramZone set_zone = kZoneUnknown;
    const bool confirmed = ConfirmDecodedMinute(tick, doubtful, flags, &set_zone);
    if (confirmed) {
      SetClockFromTelegram(tick, set_zone, flags.LeapAhead);
    } else {
      ReloadTimeFields();
    }
    const int requests = CountClockRequests() - requests_before;
    const int64_t wanted = (step.Local - kZoneHours[zone] * kSecondsPerHour) * 1000 + kSetMs;
    const bool right_request = requests == 0 || CountMs(LastClockRequest()) == wanted;
    SYSTEMTIME local;
    GetLocalTime(&local);
    if (confirmed != expected || requests != (confirmed ? 1 : 0) || !right_request ||
        TimeFields.Year != local.wYear % 100 || TimeFields.Month != local.wMonth ||
        TimeFields.Day != local.wDay || TimeFields.Weekday != local.wDayOfWeek ||
        TimeFields.Hour != local.wHour || TimeFields.Minute != local.wMinute) {
      std::abort();
    }
  }
  return 0;
}
