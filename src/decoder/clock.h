// Clock setting: sets the local clock to a decoded minute that the minute before confirms,
// and reloads the fields from the clock.
#pragma once

#include <cstdint>

#include "common/time_fields.h"

// Ticks (ms) between the decodes of two consecutive minutes: their second-58 characters
// are a minute apart, each handled up to a poll or two late. Outside the slack, another
// minute came (or failed) in between.
constexpr uint32_t kMinuteMs = 60000;
constexpr uint32_t kMinuteSlackMs = 5000;

// True when `later` is the minute right after `earlier`: minute, hour, day, weekday, month
// and two-digit year, across every roll-over, 99 to 00 included. The weekday (DCF77's,
// 1 = Monday .. 7 = Sunday) must fit the date, and turns with the day. An `earlier` whose
// date, time or weekday does not exist is followed by nothing.
bool FollowsByOneMinute(const TimeFieldsRecord& earlier, const TimeFieldsRecord& later);

// Called when a minute has decoded into TimeFields, with LastByteTick still the tick of
// its second 58; `doubtful` when it held a doubtful mark. Sets the local clock to that
// minute, with the time its closing mark takes to reach the program (315 ms), only when it follows
// the minute held in LastDecodedMinute by exactly one minute, by the fields and by the ticks, and,
// should either minute be doubtful, the held minute followed the one before it too; then holds it
// there for the next one, and reloads TimeFields from the clock. An unconfirmed minute leaves the
// clock alone; like a refused set, nothing is reported and the fields show the clock's own time.
// True when the minute was confirmed, and so the clock asked to take it, whether it did or not.
bool SetClockFromTelegram(bool doubtful);
