#include "zone.h"

#include <stdlib.h>
#include <time.h>

#include <cstdio>
#include <cstring>

#include "options.h"

namespace {

constexpr char kDefaultZoneDirectory[] = "/usr/share/zoneinfo";
// Every compiled zoneinfo file begins so.
constexpr char kZoneFileMagic[] = "TZif";
constexpr size_t kZonePathSize = 512;
constexpr int kTmYearBase = 1900;
constexpr int kDaysPerWeek = 7;
// A zone's two offsets of a year: one in each half, far from any change.
constexpr int kWinterProbeMonth = 1;
constexpr int kSummerProbeMonth = 7;
constexpr int kProbeDay = 15;

// glibc quietly takes an unknown TZ for UTC, so the zone's file is checked first.
bool IsZoneFile(const char* name) {
  const char* directory = getenv("TZDIR");
  if (directory == nullptr || *directory == '\0') {
    directory = kDefaultZoneDirectory;
  }
  char path[kZonePathSize];
  if (name[0] == '/') {
    std::snprintf(path, sizeof path, "%s", name);
  } else {
    std::snprintf(path, sizeof path, "%s/%s", directory, name);
  }
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    return false;
  }
  char magic[sizeof kZoneFileMagic - 1] = {};
  const size_t read = std::fread(magic, 1, sizeof magic, file);
  std::fclose(file);
  return read == sizeof magic && std::memcmp(magic, kZoneFileMagic, sizeof magic) == 0;
}

// The wall-clock time by the C library; Summer left clear.
bool ReadZoneTime(int64_t posix_seconds, CivilTimeRecord* local) {
  const time_t time = static_cast<time_t>(posix_seconds);
  tm broken = {};
  if (localtime_r(&time, &broken) == nullptr) {
    return false;
  }
  *local = CivilTimeRecord{};
  local->Year = broken.tm_year + kTmYearBase;
  local->Month = broken.tm_mon + 1;
  local->Day = broken.tm_mday;
  local->Hour = broken.tm_hour;
  local->Minute = broken.tm_min;
  local->Second = broken.tm_sec;
  local->Weekday = broken.tm_wday == 0 ? kDaysPerWeek : broken.tm_wday;  // tm: 0 = Sunday
  return true;
}

}  // namespace

bool SelectZone(const char* name, char* message) {
  if (!IsZoneFile(name)) {
    std::snprintf(message, kMessageSize, "unknown time zone '%s' (no such zoneinfo file)", name);
    return false;
  }
  if (setenv("TZ", name, 1) != 0) {
    std::snprintf(message, kMessageSize, "cannot select time zone '%s'", name);
    return false;
  }
  tzset();
  return true;
}

bool ConvertToZoneLocal(int64_t posix_seconds, CivilTimeRecord* local) {
  CivilTimeRecord now = {};
  CivilTimeRecord winter = {};
  CivilTimeRecord summer = {};
  if (!ReadZoneTime(posix_seconds, &now)) {
    return false;
  }
  const int64_t winter_probe =
      CountDaysFromCivil(now.Year, kWinterProbeMonth, kProbeDay) * kSecondsPerDay;
  const int64_t summer_probe =
      CountDaysFromCivil(now.Year, kSummerProbeMonth, kProbeDay) * kSecondsPerDay;
  if (!ReadZoneTime(winter_probe, &winter) || !ReadZoneTime(summer_probe, &summer)) {
    return false;
  }
  // tm_isdst follows the zone's records, which give Ireland a negative saving in winter
  // (tm_isdst set in January); summer time is the higher of the year's two offsets.
  const int64_t offset = MeasureUtcOffset(posix_seconds, now);
  const int64_t winter_offset = MeasureUtcOffset(winter_probe, winter);
  const int64_t summer_offset = MeasureUtcOffset(summer_probe, summer);
  now.Summer = winter_offset != summer_offset &&
               offset == (winter_offset > summer_offset ? winter_offset : summer_offset);
  *local = now;
  return true;
}
