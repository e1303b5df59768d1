// Clock setting: holds each decoded minute, confirms it by the minutes decoded before it,
// sets the PC's clock, which runs on UTC, to a confirmed one and reloads the fields from
// the local time the clock then shows.
#pragma once

#include <cstdint>

#include "common/clock_steering.h"
#include "common/time_fields.h"
#include "decoder/telegram.h"

// Two minute marks k minutes apart are dated k minutes apart to within half a second: each
// is dated where the phase of its minute's own marks puts it, a poll period at most from
// where it arrived, and the PC's tick drifts a few ms in ten minutes. A minute framed a
// whole second off cannot pass.
constexpr uint32_t kDatingSlackMs = 500;
// A minute held confirms a decoded one up to this many minutes later.
constexpr unsigned kConfirmReachMinutes = 10;
// A confirmed minute is not stepped to when the clock already reads it to within this (ms):
// Windows logs every change of the time in its Security log. It lies above the noise of the
// comparison: a set's error is within 10.2 ms of the true time at the 99.9th percentile in
// the worst row of the accuracy benchmark (a built-in port, the module's marks jittering by
// 15 ms), and sets under Wine were 0 or -1 ms off (six in a row).
constexpr double kRightClockMs = 15;
// The second a leap second adds to the hour it ends.
constexpr uint32_t kLeapSecondMs = 1000;
// A mark's character is complete when the 50-baud UART samples its stop bit, 9.5 bit times
// after the mark began; its stamp is that much after the true second.
constexpr int32_t kUartHandOverMs = 190;

// True when `later` is `minutes` minutes after `earlier`: minute, hour, day, weekday, month
// and two-digit year, across every roll-over, 99 to 00 included. The weekday (DCF77's,
// 1 = Monday .. 7 = Sunday) must fit the date, and turns with the day. An `earlier` whose
// date, time or weekday does not exist is followed by nothing.
bool FollowsByMinutes(const TimeFieldsRecord& earlier, const TimeFieldsRecord& later,
                      unsigned minutes);

// The existing local time `local`, DCF77's fields in `zone`, as UTC: one hour back for
// CET, two for CEST, across midnight, the month, the year (00 to 99) and the weekday. A
// time that does not exist, a weekday out of 1 to 7, or kZoneUnknown, comes back unchanged.
TimeFieldsRecord ConvertToUtc(const TimeFieldsRecord& local, TelegramZone zone);

// Holds the minute just decoded into TimeFields, its closing mark dated by `tick` (ms),
// `doubtful` when it held a doubtful mark, with its telegram's `flags`. True when a minute
// held confirms it: 1 to kConfirmReachMinutes earlier by the ticks, within kDatingSlackMs
// (a leap second between counted), exactly as many minutes earlier in UTC, and, should
// either minute be doubtful, itself confirmed by one before it. Where one of the two has no
// clear zone, both are taken in the other's, as long as neither announced a change of
// summer time. *zone gets the zone its time is in: its own, or that of the minutes that
// follow it, unless they place it in different zones, when it is not confirmed either.
bool ConfirmDecodedMinute(uint32_t tick, bool doubtful, const TelegramFlagsRecord& flags,
                          TelegramZone* zone);

// The UTC time, in ms since 1601 (FILETIME's epoch), that DCF77 gives at tick `now` (ms):
// the minute `local` in `zone`, which began kUartHandOverMs before `mark_tick`, its closing
// mark as framed. False for kZoneUnknown or a time that does not exist.
bool FindDcf77Time(const TimeFieldsRecord& local, TelegramZone zone, uint32_t mark_tick,
                   uint32_t now, int64_t* utc_ms);

// The PC clock's offset from DCF77 (ms, positive when it is ahead) by a minute's marks
// alone: the clock read `clock_ms` (ms since 1601) at tick `now`, and the minute's mark,
// framed at `mark_tick`, began kUartHandOverMs before it on the whole minute nearest.
int64_t FindMarksOffset(uint32_t mark_tick, uint32_t now, int64_t clock_ms);

// A minute that set nothing, but whose marks placed its closing mark at `mark_tick`: its
// offset, read from the clock now, steers the clock (NoteMarksOffset).
void NoteMarksOnlyMinute(uint32_t mark_tick);

// For the minute in TimeFields in `zone`, whose closing mark as framed is at `mark_tick` and
// which announces a leap second when `leap_ahead`: the clock's offset from the time DCF77
// gives now steers the clock (NoteTelegramOffset), and where that calls for a step, the
// clock is set to it, in UTC. Then TimeFields are reloaded from the clock's local time. A
// refused set is not reported: the fields then show the clock's own time.
void SetClockFromTelegram(uint32_t mark_tick, TelegramZone zone, bool leap_ahead);

// TimeFields from the clock's local time, as after every decoded minute that sets nothing.
void ReloadTimeFields();
