// The minute decoded last, kept so that the next decoded minute can confirm it.
#pragma once

#include <cstdint>

#include "common/time_fields.h"

struct DecodedMinuteRecord {
  bool Held;                // a minute has decoded since the start
  TimeFieldsRecord Fields;  // as decoded, before the clock reload
  uint32_t Tick;            // LastByteTick when it decoded: the tick of its second 58
  bool LeapAhead;           // its bit 19: a leap second ends the hour
  bool Doubtful;            // it held a doubtful mark
  bool Followed;            // it followed the minute held before it
};

// Nothing held at start.
extern DecodedMinuteRecord LastDecodedMinute;
