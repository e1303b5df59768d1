// Builds FrameBits for test telegrams, independently of the decoder's own tables.
#pragma once

#include <bitset>
#include <cstdint>

#include "common/time_fields.h"

// Sets `width` bits from `first` to `value`'s low bits.
inline uint64_t PutBits(uint64_t frame, unsigned first, unsigned width, unsigned value) {
  const uint64_t mask = ((uint64_t{1} << width) - 1) << first;
  return (frame & ~mask) | ((uint64_t{value} << first) & mask);
}

// Even parity: the bit after each group is set when the group holds an odd number of ones.
inline uint64_t PutParity(uint64_t frame, unsigned first, unsigned last) {
  const uint64_t group = (frame >> first) & ((uint64_t{2} << (last - first)) - 1);
  return PutBits(frame, last + 1, 1, std::bitset<64>(group).count() % 2);
}

// A telegram with bit 20 set, Z2 (CET) and correct parity. Each field is given as the
// digits sent, in BCD (0x45 for 45), so that digits out of range (0x24 hours, 0x0A minutes)
// fit too.
inline uint64_t BuildFrame(const TimeFieldsRecord& bcd) {
  uint64_t frame = (uint64_t{1} << 20) | (uint64_t{1} << 18);
  frame = PutParity(PutBits(frame, 21, 7, bcd.Minute), 21, 27);
  frame = PutParity(PutBits(frame, 29, 6, bcd.Hour), 29, 34);
  frame = PutBits(frame, 36, 6, bcd.Day);
  frame = PutBits(frame, 42, 3, bcd.Weekday);
  frame = PutBits(frame, 45, 5, bcd.Month);
  return PutParity(PutBits(frame, 50, 8, bcd.Year), 36, 57);
}
