// Pulse framing: turns the characters of the second marks into the bits of one minute.
#pragma once

#include <cstdint>

// A gap longer than this (ms) is the missing mark of second 59.
constexpr int32_t kMinuteGapMs = 1500;
// A minute is decoded only when exactly seconds 1 to 58 were stored.
constexpr uint8_t kPulsesPerMinute = 58;

// What a character tells of the line. The 50-baud UART samples data bit i 30 + 20 i ms
// after the line falls and reads 0 for each sample taken while it is still low, so a clean
// pulse of n samples reads (0xFF << n) & 0xFF.
enum CharacterClass : uint8_t {
  kShortMark,   // clean 0xFC to 0xC0: low for 51 to 150 ms, a 0 bit
  kLongMark,    // clean 0x80 or 0x00: low for 151 ms or more, a 1 bit
  kBrokenMark,  // any other value: a mark cut by a gap, or one whose start a spike took
  kSpike,       // 0xFF or 0xFE: low for under 50 ms, which no receiver sends as a mark
};

CharacterClass ClassifyCharacter(uint8_t value);

// The data bits of `value` that read low (0 to 8): for a clean pulse, the samples taken
// before the line rose; for a broken one, how long in all the line was low while sampled.
int CountLowSamples(uint8_t value);

// The bit a mark's character stands for: 1 when at least 7 of its 8 data bits read low.
// The cut lies at the midpoint of the two marks, 151 ms (0x80) for a clean character;
// for a broken one the count of low samples still measures how long the line was low,
// where a limit on the value would not (0x7F is a short mark's tail, 0x02 a long mark
// with a gap).
bool IsLongMark(uint8_t value);

// A mark's character that lies within one sample of the cut (0xC0: 131-150 ms, 0x80:
// 151-170 ms) or is broken: jitter or interference may have turned its bit.
bool IsDoubtfulMark(uint8_t value);

// Clears FrameBits, SecondCounter and DoubtfulMarks; LastByteTick is left alone.
void ResetFrame();

// True when a mark handled at tick `now` (ms) follows the silent second 59: more than
// kMinuteGapMs after the mark before it.
bool FollowsMinuteGap(uint32_t now);

// Frames one mark's character, handled at tick `now` (ms). True exactly when the
// character closed a minute whose telegram decoded; TimeFields then hold its time.
// Reads LastByteTick but never writes it: the caller notes the tick afterwards.
bool FramePulse(uint8_t value, uint32_t now);
