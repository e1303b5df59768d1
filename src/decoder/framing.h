// Pulse framing: turns the characters of the second marks into the bits of one minute.
#pragma once

#include <cstdint>

// A gap longer than this (ms) is the missing mark of second 59.
constexpr int32_t kMinuteGapMs = 1500;
// A character of this value or below was a long (200 ms) mark, a 1 bit.
constexpr uint8_t kLongPulseMaxValue = 100;
// A minute is decoded only when exactly seconds 1 to 58 were stored.
constexpr uint8_t kPulsesPerMinute = 58;

// Clears FrameBits and SecondCounter; LastByteTick is left alone.
void ResetFrame();

// Frames one received character, handled at tick `now` (ms). True exactly when the
// character closed a minute whose telegram decoded; TimeFields then hold its time.
// Reads LastByteTick but never writes it: the caller notes the tick afterwards.
bool FramePulse(uint8_t value, uint32_t now);
