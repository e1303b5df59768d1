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

// The zone a telegram's time is given in, by its bits 17 (Z1) and 18 (Z2). Exactly one is
// set; both alike means one was misread (a long mark read short, most often), and the zone
// is not known.
enum TelegramZone : uint8_t {
  kZoneUnknown,
  kZoneCet,   // Z2: UTC+1
  kZoneCest,  // Z1: UTC+2
};

// All fields 0 until the first telegram decodes.
extern TimeFieldsRecord TimeFields;
