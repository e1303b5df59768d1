#include "zone.h"

#include <cstdio>
#include <cstring>

#include "options.h"

namespace {

// The zone whose rule is built in.
constexpr char kBuiltInZone[] = "Europe/Berlin";

}  // namespace

bool SelectZone(const char* name, char* message) {
  if (std::strcmp(name, kBuiltInZone) != 0) {
    std::snprintf(message, kMessageSize,
                  "unknown time zone '%s': on Windows only %s (the built-in EU rule) is available",
                  name, kBuiltInZone);
    return false;
  }
  return true;
}

bool ConvertToZoneLocal(int64_t posix_seconds, CivilTimeRecord* local) {
  return ConvertToEuLocal(posix_seconds, local);
}
