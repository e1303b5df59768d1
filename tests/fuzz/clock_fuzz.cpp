// Clock setting on the native clock with any decoded minutes, ticks, doubts and refusals:
// the clock is asked exactly when the minute is an existing time, weekday included, a
// minute after the held one, a minute of ticks later, and, where either minute is
// doubtful, the held one followed its own minute before; twice unless refused; the fields
// show the clock. dcf77sim's calendar judges the dates.
#include <cstdlib>
#include <cstring>

#include "civil_time.h"
#include "common/decoded_minute.h"
#include "common/receiver_state.h"
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

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  SetNativeClock({2026, 12, 0, 6, 20, 15, 42, 500});
  LastDecodedMinute = {};
  bool held_followed = false;
  for (; size >= kStepSize; data += kStepSize, size -= kStepSize) {
    const DecodedMinuteRecord held = LastDecodedMinute;
    std::memcpy(&TimeFields, data, sizeof TimeFields);
    const TimeFieldsRecord decoded = TimeFields;
    uint32_t ticks;
    std::memcpy(&ticks, data + sizeof TimeFields, sizeof ticks);
    ReceiverState.LastByteTick = held.Tick + ticks;
    const bool refused = (data[kStepSize - 1] & 1) != 0;
    const bool doubtful = (data[kStepSize - 1] & 2) != 0;
    RefuseClockChanges(refused);
    const int requests_before = CountClockRequests();
    SetClockFromTelegram(doubtful);

    int64_t earlier = 0, later = 0;
    const bool follows = held.Held && ticks >= kMinuteMs - kMinuteSlackMs &&
                         ticks <= kMinuteMs + kMinuteSlackMs && FindMinute(held.Fields, &earlier) &&
                         FindMinute(decoded, &later) && later == earlier + kSecondsPerMinute;
    const bool asked = follows && (held_followed || !(doubtful || held.Doubtful));
    held_followed = follows;
    const int requests = CountClockRequests() - requests_before;
    const SYSTEMTIME& r = LastClockRequest();
    const bool right_request =
        r.wMilliseconds == 315 && r.wDayOfWeek == decoded.Weekday &&
        IsMinuteOf(SplitPosixSeconds(JoinCivilTime(
                       {r.wYear, r.wMonth, r.wDay, r.wHour, r.wMinute, r.wSecond, 0, false})),
                   decoded);
    SYSTEMTIME clock;
    GetLocalTime(&clock);
    if (requests != (asked ? (refused ? 1 : 2) : 0) || (asked && !right_request) ||
        TimeFields.Year != clock.wYear % 100 || TimeFields.Month != clock.wMonth ||
        TimeFields.Day != clock.wDay || TimeFields.Weekday != clock.wDayOfWeek ||
        TimeFields.Hour != clock.wHour || TimeFields.Minute != clock.wMinute ||
        std::memcmp(&LastDecodedMinute.Fields, &decoded, sizeof decoded) != 0) {
      std::abort();
    }
  }
  return 0;
}
