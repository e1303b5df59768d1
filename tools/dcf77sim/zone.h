// The zone the telegrams follow when --tz names one: on Linux any zoneinfo zone, on Windows
// only the built-in EU rule.
#pragma once

#include <cstdint>

#include "civil_time.h"

// Makes `name` the zone of ConvertToZoneLocal. False with a message in `message`
// (kMessageSize chars) when the zone is unknown or not available here.
bool SelectZone(const char* name, char* message);

// The LocalTimeFunction of the zone SelectZone chose.
bool ConvertToZoneLocal(int64_t posix_seconds, CivilTimeRecord* local);
