// Builds FrameBits for test telegrams, independently of the decoder's own tables.
#pragma once

#include <cstdint>

struct TestTime {
  unsigned Minute;
  unsigned Hour;
  unsigned Day;
  unsigned Weekday;
  unsigned Month;
  unsigned Year;
};

// Sets `width` bits from `first` to `value`'s low bits.
inline uint64_t PutBits(uint64_t frame, unsigned first, unsigned width, unsigned value) {
  for (unsigned i = 0; i < width; ++i) {
    const uint64_t bit = uint64_t{1} << (first + i);
    frame = (value >> i) & 1 ? frame | bit : frame & ~bit;
  }
  return frame;
}

inline uint64_t PutBcd(uint64_t frame, unsigned first, unsigned units_width, unsigned tens_width,
                       unsigned value) {
  frame = PutBits(frame, first, units_width, value % 10);
  return PutBits(frame, first + units_width, tens_width, value / 10);
}

inline unsigned CountOnes(uint64_t frame, unsigned first, unsigned last) {
  unsigned ones = 0;
  for (unsigned bit = first; bit <= last; ++bit) {
    ones += (frame >> bit) & 1;
  }
  return ones;
}

// Rewrites the parity bits 28, 35 and 58 so that each group has even parity.
inline uint64_t FixParity(uint64_t frame) {
  frame = PutBits(frame, 28, 1, CountOnes(frame, 21, 27) % 2);
  frame = PutBits(frame, 35, 1, CountOnes(frame, 29, 34) % 2);
  return PutBits(frame, 58, 1, CountOnes(frame, 36, 57) % 2);
}

// A telegram for `time` with bit 20 set and correct parity. Fields are written as raw
// digits, so out-of-range values (hour 24, day 32) can be built too.
inline uint64_t BuildFrame(const TestTime& time) {
  uint64_t frame = uint64_t{1} << 20;
  frame = PutBcd(frame, 21, 4, 3, time.Minute);
  frame = PutBcd(frame, 29, 4, 2, time.Hour);
  frame = PutBcd(frame, 36, 4, 2, time.Day);
  frame = PutBits(frame, 42, 3, time.Weekday);
  frame = PutBcd(frame, 45, 4, 1, time.Month);
  frame = PutBcd(frame, 50, 4, 4, time.Year);
  return FixParity(frame);
}
