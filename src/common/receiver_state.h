// The framing state of the minute being received.
#pragma once

#include <cstdint>

struct ReceiverStateRecord {
  uint64_t FrameBits;     // bit n holds the bit of second n; bit 0 is never written
  uint8_t SecondCounter;  // number of the last second stored, shown as the readout's seconds
  uint32_t LastByteTick;  // GetTickCount() after the previous character, or at the port's open
  uint8_t DoubtfulMarks;  // marks stored whose character lay near the cut, or was broken
};

extern ReceiverStateRecord ReceiverState;
