#include "decoder/steering.h"

#include <cmath>

namespace {

constexpr double kMsPerSecond = 1000;
// A slope of 1 ms a second is 1000 ppm.
constexpr double kPpmPerMsPerSecond = 1000;
constexpr double kPartsPerMillion = 1e-6;
// The variance of a span of times spread evenly over it is its square over 12.
constexpr double kEvenSpreadVariance = 12;

// Modulo 2^32, read as signed, like every tick difference.
double FindSecondsSince(uint32_t since, uint32_t tick) {
  return static_cast<int32_t>(tick - since) / kMsPerSecond;
}

double Clamp(double value, double most) {
  return value < -most ? -most : (value > most ? most : value);
}

// The ms the corrections have taken off the clock by `tick`, steps included.
double FindAppliedMs(const SteeringRecord& s, uint32_t tick) {
  return s.AppliedMs + s.AppliedPpm * kPartsPerMillion * static_cast<int32_t>(tick - s.AppliedTick);
}

// The line's offsets span enough time for a slope of its own.
bool HasSlope(const SteeringRecord& s) {
  if (s.Samples < kLeastRateSamples) {
    return false;
  }
  const double mean = s.SumT / s.Weight;
  const double variance = s.SumTT / s.Weight - mean * mean;
  return variance * kEvenSpreadVariance >= kLeastRateSpanSeconds * kLeastRateSpanSeconds;
}

// ms a second: the line's own, or else the rate learned before.
double FindSlope(const SteeringRecord& s) {
  if (HasSlope(s)) {
    return (s.Weight * s.SumTU - s.SumT * s.SumU) / (s.Weight * s.SumTT - s.SumT * s.SumT);
  }
  return s.RateLearned ? s.RatePpm / kPpmPerMsPerSecond : 0;
}

// The line at `tick`: what the offset would be there had the clock run free.
double FindLine(const SteeringRecord& s, uint32_t tick) {
  const double slope = FindSlope(s);
  return (s.SumU - slope * s.SumT) / s.Weight + slope * FindSecondsSince(s.LastSampleTick, tick);
}

void StartLine(SteeringRecord* s) {
  s->Weight = s->SumT = s->SumU = s->SumTT = s->SumTU = 0;
  s->Samples = 0;
  s->Outliers = 0;
}

void AddSample(SteeringRecord* s, uint32_t tick, double offset_ms) {
  const double free_offset = offset_ms + FindAppliedMs(*s, tick);
  if (s->Samples > 0 && static_cast<int32_t>(tick - s->LastSampleTick) > int32_t{kHoldoverMs}) {
    StartLine(s);  // after an outage the offset starts afresh, the rate stands
  }
  if (HasSlope(*s) && std::fabs(free_offset - FindLine(*s, tick)) > kMostResidualMs) {
    if (++s->Outliers < kMostOutliers) {
      return;
    }
    StartLine(s);  // the clock moved: a line of its own from here
  }
  s->Outliers = 0;
  s->ExcessMs = 0;  // the offset shows what the rounding did, and the line takes it on
  if (s->Samples > 0) {
    // The times count from the new sample, and the old ones weigh less by their age.
    const double d = FindSecondsSince(s->LastSampleTick, tick);
    const double keep = std::exp(-d / kRateMemorySeconds);
    const double sum_t = s->SumT - d * s->Weight;
    const double sum_tt = s->SumTT - 2 * d * s->SumT + d * d * s->Weight;
    const double sum_tu = s->SumTU - d * s->SumU;
    s->Weight *= keep;
    s->SumT = sum_t * keep;
    s->SumTT = sum_tt * keep;
    s->SumTU = sum_tu * keep;
    s->SumU *= keep;
  }
  s->LastSampleTick = tick;
  s->Weight += 1;
  s->SumU += free_offset;
  ++s->Samples;
  if (HasSlope(*s)) {
    s->RatePpm = FindSlope(*s) * kPpmPerMsPerSecond;
    s->RateLearned = true;
  }
}

}  // namespace

double FindRateBiasMs(const SteeringRecord& steering) {
  return steering.RateLearned && !steering.Refused
             ? steering.RatePpm * kPartsPerMillion * kPhaseToMarkMs
             : 0;
}

bool NoteTelegramOffset(SteeringRecord* steering, uint32_t tick, double offset_ms, bool leap_ahead,
                        double right_ms) {
  // The announcement stands until the minutes no longer carry it: the leap second is past.
  steering->LeapPending = leap_ahead;
  const bool first = !steering->Active;
  steering->Active = true;
  steering->MarksTrusted = true;
  // While another program steers the clock, its offsets tell of that program, not of the
  // clock.
  if (!steering->Refused) {
    AddSample(steering, tick, offset_ms);
  }
  const double limit = first || steering->Refused ? right_ms : kStepLimitMs;
  return std::fabs(offset_ms) > limit;
}

bool NoteMarksOffset(SteeringRecord* steering, uint32_t tick, double offset_ms) {
  if (!steering->Active || steering->Refused || !steering->MarksTrusted || steering->LeapPending) {
    return false;
  }
  if (std::fabs(offset_ms) > kStepLimitMs) {
    steering->MarksTrusted = false;
    return false;
  }
  AddSample(steering, tick, offset_ms);
  return true;
}

void NoteLeapAnnounced(SteeringRecord* steering) {
  steering->LeapPending = true;
}

void NoteClockStep(SteeringRecord* steering, double step_ms) {
  // The line holds what the offset would be had the clock run free: a step is a correction
  // of its own.
  steering->AppliedMs -= step_ms;
}

void RestartSteering(SteeringRecord* steering) {
  StartLine(steering);
  steering->MarksTrusted = false;
}

double FindCorrection(SteeringRecord* steering, uint32_t now) {
  SteeringRecord& s = *steering;
  if (s.RateLearned && std::fabs(s.RatePpm) > kMostRatePpm) {
    s.Refused = true;
  }
  if (!s.Active || s.Refused) {
    return 0;
  }
  double correction = s.RateLearned ? s.RatePpm : 0;
  if (s.Samples > 0 && static_cast<int32_t>(now - s.LastSampleTick) <= int32_t{kHoldoverMs}) {
    const double offset = FindLine(s, now) - FindAppliedMs(s, now) + FindRateBiasMs(s);
    correction += Clamp(offset / kOffsetSeconds * kPpmPerMsPerSecond, kMostOffsetPpm);
  }
  return correction;
}

double FindAdjustmentUnits(SteeringRecord* steering, double increment, uint32_t now) {
  SteeringRecord& s = *steering;
  const double desired = FindCorrection(steering, now);
  if (s.Units != 0) {
    s.ExcessMs +=
        (s.AppliedPpm - s.DesiredPpm) * kPartsPerMillion * static_cast<int32_t>(now - s.DitherTick);
  }
  s.DitherTick = now;
  s.DesiredPpm = desired;
  // A unit more runs the clock faster, and takes less off it. Away from both whole units
  // either side, the nearer one.
  const double exact = increment * (1 - desired * kPartsPerMillion);
  const double below = std::floor(exact);
  if (s.Units != below && s.Units != below + 1) {
    s.Units = std::round(exact);
  }
  if (s.ExcessMs > kDitherMs) {
    s.Units = below + 1;
  } else if (s.ExcessMs < -kDitherMs) {
    s.Units = below;
  }
  return s.Units;
}

void NoteCorrectionApplied(SteeringRecord* steering, uint32_t now, double ppm) {
  steering->AppliedMs = FindAppliedMs(*steering, now);
  steering->AppliedTick = now;
  steering->AppliedPpm = ppm;
}
