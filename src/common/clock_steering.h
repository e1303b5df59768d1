// What is known of the PC clock's rate and offset against DCF77, for steering its rate.
#pragma once

#include <cstdint>

struct SteeringRecord {
  bool Active;        // the clock was set, or found right, once: offsets steer it from then on
  bool Refused;       // steering is off: another program steers, or the rate learned is absurd
  bool MarksTrusted;  // the clock is near enough for a minute's marks to give its offset
  bool LeapPending;   // a leap second was announced: the marks cannot tell it
  // A straight line through the offsets with the correction applied so far added back (what
  // the offset would be had the clock run free), weighted down with their age: sums over the
  // samples of 1, t, u, t*t, t*u, t in s from the last sample, u in ms.
  uint32_t LastSampleTick;
  double Weight, SumT, SumU, SumTT, SumTU;
  uint32_t Samples;  // since the line was started afresh
  uint8_t Outliers;  // offsets in a row too far from the line to be taken
  double RatePpm;    // the clock's rate error learned: positive when it runs fast
  bool RateLearned;
  // The correction applied (ppm, positive slows the clock) since AppliedTick, and the ms it
  // took off the clock before.
  double AppliedPpm;
  uint32_t AppliedTick;
  double AppliedMs;
  // The adjustment in whole units, chosen either side of the correction asked for: what it
  // took off the clock beyond what was asked since the last offset, by DitherTick.
  double Units;
  double DesiredPpm;
  double ExcessMs;
  uint32_t DitherTick;
};

// Nothing known at start.
extern SteeringRecord Steering;
