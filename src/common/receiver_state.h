// The framing state: where the seconds of the minute being received lie, and what each holds.
#pragma once

#include <cstdint>

// Seconds 0 to 60 of a minute; 60 only in a minute that ends with a leap second.
constexpr uint8_t kFrameSeconds = 61;

struct ReceiverStateRecord {
  uint64_t FrameBits;        // bit n holds the bit of second n's mark; bit 0 is never written
  uint8_t SecondCounter;     // second of the last character kept, shown as the readout's seconds
  uint32_t LastByteTick;     // tick of the last character kept, or of the port's open
  uint64_t MarkSeconds;      // bit n: second n holds a mark; bit 0: the minute mark came
  uint64_t DoubtfulSeconds;  // bit n: second n's mark may have turned its bit
  uint8_t MarkValues[kFrameSeconds];   // the character kept for each second
  int16_t MarkOffsets[kFrameSeconds];  // ms from its whole second to that character's tick
  uint32_t MinuteTick;                 // the tick of second 0: the minute's mark as framed
  bool Locked;                         // the minute mark came where the one before predicted it
  bool FromOpen;        // no minute has ended since the open: seconds run mark to mark
  uint8_t MissedMarks;  // minute ends since a minute mark last came after its silent second
  bool HasCandidate;    // a minute mark seemed to come elsewhere, at CandidateTick
  uint32_t CandidateTick;
  uint32_t LastMarkTick;  // tick of the last mark's character, kept or left out, or of the open
};

extern ReceiverStateRecord ReceiverState;
