// Steering the PC's clock: from the offsets the minutes give, its rate error, and the
// correction of its rate that removes both the rate error and the offset, without a step.
// Offsets are the clock less DCF77 (ms, positive when the clock is ahead); ticks are ms.
#pragma once

#include <cstdint>

#include "common/clock_steering.h"

// An offset beyond this (ms) is stepped away, as time servers do: slewed at the most the
// offset part may take, it would take over 40 minutes.
constexpr double kStepLimitMs = 128;
// A rate error learned beyond this (ppm) means something else is wrong: another program
// steering, a clock that is not what it seems. Steering then stops, and the clock is stepped
// as it was before steering.
constexpr double kMostRatePpm = 500;
// The part that takes the offset away stays below this (ppm), so that a horax killed while
// it corrects leaves little behind: 4.3 s a day at the most.
constexpr double kMostOffsetPpm = 50;
// The offset is taken away over about this long (s).
constexpr double kOffsetSeconds = 300;
// Offsets count less with their age: their weight falls by e every this long (s), which
// follows a rate that wanders by a few tenths of a ppm an hour.
constexpr double kRateMemorySeconds = 3600;
// The line's slope is taken for the rate once its offsets span this much (s) in weight, with
// this many at least; until then the rate learned before stands.
constexpr double kLeastRateSpanSeconds = 600;
constexpr uint32_t kLeastRateSamples = 5;
// An offset this far (ms) from the line, once it has a slope, is set aside, unless this
// many come in a row, when the clock has moved and the line starts afresh.
constexpr double kMostResidualMs = 25;
constexpr uint8_t kMostOutliers = 3;
// After this long (ms) without an offset, only the rate learned is corrected: holdover.
constexpr uint32_t kHoldoverMs = 180000;
// The adjustment moves to the next whole unit once the rounding has taken this much (ms) more
// or less off the clock than was asked.
constexpr double kDitherMs = 0.5;

// The minute's closing mark is placed by the median of its marks, about second 29.5: a tick
// that runs fast by the rate r puts it early by r times the half minute (ms) from there, and
// an offset by its marks reads low by as much.
constexpr double kPhaseToMarkMs = 30500;

// How far (ms) an offset a minute gives reads low by the rate learned, taken as the tick's:
// the PC's clock runs from the same crystal as its performance counter.
double FindRateBiasMs(const SteeringRecord& steering);

// A confirmed minute's offset at `tick`, as its marks placed it (FindRateBiasMs is added
// where the offset is used); `leap_ahead` when it announces a leap second.
// True when the clock is to be stepped: at the first (unless it is right to within
// `right_ms`), beyond kStepLimitMs, and while steering is refused. The caller then calls
// NoteClockStep when the step was made.
bool NoteTelegramOffset(SteeringRecord* steering, uint32_t tick, double offset_ms, bool leap_ahead,
                        double right_ms);

// A minute's offset from its marks alone, the minute itself from the clock. Used only once a
// confirmed minute has come, while no leap second is pending, and within kStepLimitMs;
// beyond it, no marks-only offset counts until a confirmed minute agrees. True when used.
bool NoteMarksOffset(SteeringRecord* steering, uint32_t tick, double offset_ms);

// A decoded minute announced a leap second: the marks wait for a confirmed minute that no
// longer does.
void NoteLeapAnnounced(SteeringRecord* steering);

// The clock was stepped by `step_ms` (added to it) at `tick`.
void NoteClockStep(SteeringRecord* steering, double step_ms);

// After the system woke from sleep: its clock may have jumped. Offsets start afresh, and the
// rate learned stands until they tell another.
void RestartSteering(SteeringRecord* steering);

// The correction (ppm, positive slows the clock) to apply at tick `now`: the rate learned,
// and, while offsets come, a part that takes the offset away. 0 while steering is refused.
// A rate beyond kMostRatePpm refuses steering.
double FindCorrection(SteeringRecord* steering, uint32_t now);

// The adjustment to put in force at tick `now`, in whole units of the clock's `increment`
// (the clock runs at units / increment of its own rate): the correction FindCorrection asks
// for, rounded down or up so that what it takes off the clock stays within kDitherMs of
// what was asked. The legacy call's unit is 6.4 ppm; held that coarsely for six hours, a
// correction could leave the clock 70 ms off.
double FindAdjustmentUnits(SteeringRecord* steering, double increment, uint32_t now);

// The correction `ppm` is in force from tick `now`, as the clock's adjustment allows it.
void NoteCorrectionApplied(SteeringRecord* steering, uint32_t now, double ppm);
