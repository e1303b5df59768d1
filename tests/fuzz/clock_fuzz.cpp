// Clock setting on the native clock with any decoded minutes, each handed over any number
// of ticks after the one before (backwards too), with sets refused or not. The clock is
// asked only for an existing time that follows the held minute by one minute, a minute of
// ticks later; an accepted set is asked twice; the fields show the clock afterwards.
// dcf77sim's calendar judges the dates.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "civil_time.h"
#include "common/decoded_minute.h"
#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "decoder/clock.h"
#include "platform/platform.h"

namespace {

constexpr SYSTEMTIME kClockStart = {2026, 12, 0, 6, 20, 15, 42, 500};

struct Step {
  TimeFieldsRecord Fields;
  uint32_t TicksAfter;  // after the step before
  uint8_t Refuse;       // low bit: sets are refused, as without the right to change the time
};

bool IsSameMinute(const CivilTimeRecord& civil, const TimeFieldsRecord& t) {
  return civil.Year % 100 == t.Year && civil.Month == t.Month && civil.Day == t.Day &&
         civil.Hour == t.Hour && civil.Minute == t.Minute && civil.Second == 0;
}

// A request for `fields` at an existing time, whose minute before is `held`.
bool IsRightRequest(const SYSTEMTIME& r, const TimeFieldsRecord& fields,
                    const TimeFieldsRecord& held) {
  const CivilTimeRecord civil = {r.wYear,   r.wMonth,  r.wDay, r.wHour,
                                 r.wMinute, r.wSecond, 0,      false};
  const int64_t seconds = JoinCivilTime(civil);
  return r.wMilliseconds == 0 && IsSameMinute(civil, fields) &&
         IsSameMinute(SplitPosixSeconds(seconds), fields) &&
         IsSameMinute(SplitPosixSeconds(seconds - kSecondsPerMinute), held);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  SetNativeClock(kClockStart);
  LastDecodedMinute = {};
  for (size_t offset = 0; offset + sizeof(Step) <= size; offset += sizeof(Step)) {
    Step step;
    std::memcpy(&step, data + offset, sizeof step);
    step.Fields.Year %= 100;  // two digits, as a telegram carries it
    const DecodedMinuteRecord held = LastDecodedMinute;
    const bool refused = (step.Refuse & 1) != 0;
    const int requests_before = CountClockRequests();
    const int sets_before = CountClockSets();
    RefuseClockChanges(refused);
    TimeFields = step.Fields;
    ReceiverState.LastByteTick = held.Tick + step.TicksAfter;
    SetClockFromTelegram();

    const int requests = CountClockRequests() - requests_before;
    const int sets = CountClockSets() - sets_before;
    const bool a_minute_on = step.TicksAfter >= kMinuteMs - kMinuteSlackMs &&
                             step.TicksAfter <= kMinuteMs + kMinuteSlackMs;
    SYSTEMTIME clock;
    GetLocalTime(&clock);
    if ((requests != 0 && (!held.Held || !a_minute_on || requests != (refused ? 1 : 2) ||
                           sets != (refused ? 0 : 2) ||
                           !IsRightRequest(LastClockRequest(), step.Fields, held.Fields))) ||
        TimeFields.Year != clock.wYear % 100 || TimeFields.Month != clock.wMonth ||
        TimeFields.Day != clock.wDay || TimeFields.Weekday != clock.wDayOfWeek ||
        TimeFields.Hour != clock.wHour || TimeFields.Minute != clock.wMinute ||
        std::memcmp(&LastDecodedMinute.Fields, &step.Fields, sizeof step.Fields) != 0) {
      std::abort();
    }
  }
  return 0;
}
