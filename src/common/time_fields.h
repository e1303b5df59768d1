// The decoded date and time that the readout shows and the clock is set from.
#pragma once

#include <cstdint>

struct TimeFieldsRecord {
  uint8_t Minute;
  uint8_t Hour;
  uint8_t Day;
  uint8_t Weekday;  // as decoded: 1 = Monday .. 7 = Sunday; after a clock reload 0 = Sunday
  uint8_t Month;
  uint8_t Year;  // two digits
};

// All fields 0 until the first telegram decodes.
extern TimeFieldsRecord TimeFields;
