// Confirming and setting on the native clock with any decoded minutes, ticks, doubts, leap
// announcements and refusals: a minute is confirmed exactly when one of the last ten held
// is 1 to 10 minutes earlier by its existing time, weekday included, and by the ticks to
// half a second, a leap second between counted, and, where either is doubtful, that one
// followed one before it; the set asks twice unless refused, for the minute and 315 ms;
// the fields show the clock. dcf77sim's calendar judges the dates.
#include <cstdlib>
#include <cstring>

#include "civil_time.h"
#include "common/decoded_minute.h"
#include "common/time_fields.h"
#include "decoder/clock.h"
#include "platform/platform.h"

constexpr size_t kStepSize = 11;  // the fields, the ticks since the step before, flags

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

struct Step {
  bool Exists;
  int64_t Minute;  // POSIX seconds
  uint32_t Tick;
  bool Doubtful;
  bool LeapAhead;
  bool Followed;
};

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  SetNativeClock({2026, 12, 0, 6, 20, 15, 42, 500});
  HeldMinutes = {};
  Step steps[kHeldMinutes] = {};
  unsigned count = 0;
  uint32_t tick = 0;
  for (; size >= kStepSize; data += kStepSize, size -= kStepSize) {
    std::memcpy(&TimeFields, data, sizeof TimeFields);
    const TimeFieldsRecord decoded = TimeFields;
    uint32_t ticks;
    std::memcpy(&ticks, data + sizeof TimeFields, sizeof ticks);
    tick += ticks;
    const uint8_t flags = data[kStepSize - 1];
    const bool refused = (flags & 1) != 0, doubtful = (flags & 2) != 0, leap = (flags & 4) != 0;
    RefuseClockChanges(refused);

    Step step = {false, 0, tick, doubtful, leap, false};
    step.Exists = FindMinute(decoded, &step.Minute);
    bool expected = false;
    for (unsigned i = 0; i < count && i < kHeldMinutes; ++i) {
      const Step& held = steps[i];
      const int64_t minutes = (step.Minute - held.Minute) / kSecondsPerMinute;
      const int64_t leap_ms =
          held.LeapAhead && held.Minute / kSecondsPerHour != step.Minute / kSecondsPerHour ? 1000
                                                                                           : 0;
      const int64_t off =
          static_cast<int64_t>(static_cast<uint32_t>(tick - held.Tick)) - minutes * 60000 - leap_ms;
      if (held.Exists && step.Exists && minutes >= 1 && minutes <= 10 && off >= -500 &&
          off <= 500) {
        step.Followed = true;
        expected = expected || held.Followed || !(doubtful || held.Doubtful);
      }
    }
    steps[count++ % kHeldMinutes] = step;

    const int requests_before = CountClockRequests();
    const bool confirmed = ConfirmDecodedMinute(tick, doubtful, leap);
    if (confirmed) {
      SetClockFromTelegram(tick, tick);
    } else {
      ReloadTimeFields();
    }
    const int requests = CountClockRequests() - requests_before;
    const SYSTEMTIME& r = LastClockRequest();
    const bool right_request =
        r.wMilliseconds == 315 && r.wDayOfWeek == decoded.Weekday &&
        IsMinuteOf(SplitPosixSeconds(JoinCivilTime(
                       {r.wYear, r.wMonth, r.wDay, r.wHour, r.wMinute, r.wSecond, 0, false})),
                   decoded);
    SYSTEMTIME clock;
    GetLocalTime(&clock);
    if (confirmed != expected || requests != (confirmed ? (refused ? 1 : 2) : 0) ||
        (confirmed && !right_request) || TimeFields.Year != clock.wYear % 100 ||
        TimeFields.Month != clock.wMonth || TimeFields.Day != clock.wDay ||
        TimeFields.Weekday != clock.wDayOfWeek || TimeFields.Hour != clock.wHour ||
        TimeFields.Minute != clock.wMinute) {
      std::abort();
    }
  }
  return 0;
}
