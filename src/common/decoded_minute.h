// The minutes decoded lately, kept so that a later decoded minute can be confirmed by them.
#pragma once

#include <cstdint>

#include "common/time_fields.h"

// One a minute at most, for as far back as a minute may confirm another (kConfirmReach).
constexpr unsigned kHeldMinutes = 10;

struct DecodedMinuteRecord {
  bool Held;                // a minute decoded into this entry
  TimeFieldsRecord Fields;  // local time as decoded, before the clock reload
  uint32_t Tick;            // the tick of its closing mark as framed, or where it was due
  bool LeapAhead;           // its bit 19: a leap second ends the hour
  bool Doubtful;            // it held a doubtful mark
  bool Followed;            // a minute held before it confirmed it, doubts aside
  TelegramZone Zone;        // as its bits gave it, or as the minute that confirmed it did
  bool ChangeAhead;         // its bit 16: a change between CET and CEST ends the hour
};

struct HeldMinutesRecord {
  DecodedMinuteRecord Minutes[kHeldMinutes];
  uint8_t Next;  // the entry the next decoded minute takes, the oldest
};

// Nothing held at start.
extern HeldMinutesRecord HeldMinutes;
