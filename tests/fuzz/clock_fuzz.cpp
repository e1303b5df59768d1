// Clock setting on the native clock with any decoded minutes, ticks and refusals: the
// clock is asked only for an existing time a minute after the held minute, a minute of
// ticks later, twice unless refused; the fields show the clock. dcf77sim's calendar
// judges the dates.
#include <cstdlib>
#include <cstring>

#include "civil_time.h"
#include "common/decoded_minute.h"
#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "decoder/clock.h"
#include "platform/platform.h"

constexpr size_t kStepSize = 11;  // the fields, the ticks since the step before, refusal

static bool IsMinuteOf(const CivilTimeRecord& civil, const TimeFieldsRecord& t) {
  return civil.Year % 100 == t.Year && civil.Month == t.Month && civil.Day == t.Day &&
         civil.Hour == t.Hour && civil.Minute == t.Minute && civil.Second == 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  SetNativeClock({2026, 12, 0, 6, 20, 15, 42, 500});
  LastDecodedMinute = {};
  for (; size >= kStepSize; data += kStepSize, size -= kStepSize) {
    const DecodedMinuteRecord held = LastDecodedMinute;
    std::memcpy(&TimeFields, data, sizeof TimeFields);
    const TimeFieldsRecord decoded = TimeFields;
    uint32_t ticks;
    std::memcpy(&ticks, data + sizeof TimeFields, sizeof ticks);
    ReceiverState.LastByteTick = held.Tick + ticks;
    const bool refused = (data[kStepSize - 1] & 1) != 0;
    RefuseClockChanges(refused);
    const int requests_before = CountClockRequests();
    SetClockFromTelegram();

    const int requests = CountClockRequests() - requests_before;
    const SYSTEMTIME& r = LastClockRequest();
    const CivilTimeRecord asked = {r.wYear,   r.wMonth,  r.wDay, r.wHour,
                                   r.wMinute, r.wSecond, 0,      false};
    const int64_t seconds = JoinCivilTime(asked);
    const bool right = held.Held && ticks >= kMinuteMs - kMinuteSlackMs &&
                       ticks <= kMinuteMs + kMinuteSlackMs && r.wMilliseconds == 0 &&
                       IsMinuteOf(asked, decoded) &&
                       IsMinuteOf(SplitPosixSeconds(seconds), decoded) &&
                       IsMinuteOf(SplitPosixSeconds(seconds - kSecondsPerMinute), held.Fields);
    SYSTEMTIME clock;
    GetLocalTime(&clock);
    if ((requests != 0 && (!right || requests != (refused ? 1 : 2))) ||
        TimeFields.Year != clock.wYear % 100 || TimeFields.Month != clock.wMonth ||
        TimeFields.Day != clock.wDay || TimeFields.Weekday != clock.wDayOfWeek ||
        TimeFields.Hour != clock.wHour || TimeFields.Minute != clock.wMinute ||
        std::memcmp(&LastDecodedMinute.Fields, &decoded, sizeof decoded) != 0) {
      std::abort();
    }
  }
  return 0;
}
