#include "decoder/clock.h"

#include "common/time_fields.h"
#include "platform/platform.h"

namespace {

constexpr WORD kCentury = 100;
constexpr WORD kBaseYear = 1900;
// Two-digit years from here on are in the 1900s; below it, in the 2000s.
constexpr uint8_t kFirstYearOf1900s = 97;

}  // namespace

void SetClockFromTelegram() {
  SYSTEMTIME time = {};
  time.wYear = static_cast<WORD>(kBaseYear + TimeFields.Year);
  if (TimeFields.Year < kFirstYearOf1900s) {
    time.wYear = static_cast<WORD>(time.wYear + kCentury);
  }
  time.wMonth = TimeFields.Month;
  time.wDayOfWeek = TimeFields.Weekday;
  time.wDay = TimeFields.Day;
  time.wHour = TimeFields.Hour;
  time.wMinute = TimeFields.Minute;

  SetLocalTime(&time);
  GetLocalTime(&time);

  TimeFields.Year = static_cast<uint8_t>(time.wYear % kCentury);
  TimeFields.Month = static_cast<uint8_t>(time.wMonth);
  TimeFields.Weekday = static_cast<uint8_t>(time.wDayOfWeek);
  TimeFields.Day = static_cast<uint8_t>(time.wDay);
  TimeFields.Hour = static_cast<uint8_t>(time.wHour);
  TimeFields.Minute = static_cast<uint8_t>(time.wMinute);
}
