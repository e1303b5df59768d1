// Clock setting: holds each decoded minute, confirms it by the minutes decoded before it,
// sets the local clock to a confirmed one and reloads the fields from the clock.
#pragma once

#include <cstdint>

#include "common/time_fields.h"

// Two minute marks k minutes apart are dated k minutes apart to within half a second: each
// is dated where the phase of its minute's own marks puts it, a poll period at most from
// where it arrived, and the PC's tick drifts a few ms in ten minutes. A minute framed a
// whole second off cannot pass.
constexpr uint32_t kDatingSlackMs = 500;
// A minute held confirms a decoded one up to this many minutes later.
constexpr unsigned kConfirmReachMinutes = 10;
// The second a leap second adds to the hour it ends.
constexpr uint32_t kLeapSecondMs = 1000;

// True when `later` is `minutes` minutes after `earlier`: minute, hour, day, weekday, month
// and two-digit year, across every roll-over, 99 to 00 included. The weekday (DCF77's,
// 1 = Monday .. 7 = Sunday) must fit the date, and turns with the day. An `earlier` whose
// date, time or weekday does not exist is followed by nothing.
bool FollowsByMinutes(const TimeFieldsRecord& earlier, const TimeFieldsRecord& later,
                      unsigned minutes);

// Holds the minute just decoded into TimeFields, its closing mark dated by `tick` (ms),
// `doubtful` when it held a doubtful mark, `leap_ahead` with its bit 19. True when a minute
// held confirms it: 1 to kConfirmReachMinutes earlier by the ticks, within kDatingSlackMs
// (a leap second between counted), exactly as many minutes earlier by the fields, and,
// should either minute be doubtful, itself confirmed by one before it.
bool ConfirmDecodedMinute(uint32_t tick, bool doubtful, bool leap_ahead);

// Sets the local clock, at tick `now`, to the minute in TimeFields as it stood at `tick`
// (its closing mark as framed) plus the time such a mark takes to reach the program
// (315 ms), and reloads TimeFields from the clock. A refused set is not reported: the
// fields then show the clock's own time.
void SetClockFromTelegram(uint32_t tick, uint32_t now);

// TimeFields from the local clock, as after every decoded minute that sets nothing.
void ReloadTimeFields();
