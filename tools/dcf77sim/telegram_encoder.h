// The DCF77 minute telegram: its fields, its 59 bits, and the characters the receiver
// module sends for them. No OS calls, so tests link it as it is.
#pragma once

#include <cstdint>

#include "civil_time.h"

// The transmitter's marks (ms): a 1 bit drops the carrier for the long one, a 0 bit for
// the short one.
constexpr double kLongMarkMs = 200;
constexpr double kShortMarkMs = 100;

// Seconds of an ordinary minute and of one with a leap second.
constexpr int kSecondsPerPlainMinute = 60;
constexpr int kSecondsPerLeapMinute = 61;
// The second without a mark: 59, or 60 in a leap-second minute.
constexpr int kSilentSecond = 59;

// Bits of the telegram by their second.
constexpr int kWeatherFirstBit = 1;
constexpr int kWeatherBitCount = 14;
constexpr int kCallBit = 15;
constexpr int kChangeAheadBit = 16;  // A1
constexpr int kSummerBit = 17;       // Z1
constexpr int kWinterBit = 18;       // Z2
constexpr int kLeapAheadBit = 19;    // A2
constexpr int kTimeStartBit = 20;    // S
constexpr int kTelegramBitCount = 59;

// No leap second is planned.
constexpr int64_t kNoLeapMinute = INT64_MIN;

// What one telegram says; every number is the plain value, not BCD.
struct TelegramFieldsRecord {
  uint16_t Weather;  // bits 1 .. 14: bit 0 of this value goes to second 1
  bool Call;         // bit 15: an irregularity at the transmitter
  bool ChangeAhead;  // A1: a CET/CEST change comes within the hour
  bool Summer;       // Z1 when set, Z2 when clear
  bool LeapAhead;    // A2: a leap second comes within the hour
  int Minute;        // 0 .. 59
  int Hour;          // 0 .. 23
  int Day;           // 1 .. 31
  int Weekday;       // 1 = Monday .. 7 = Sunday
  int Month;         // 1 .. 12
  int Year;          // 0 .. 99
};

// One transmitted minute: the telegram it carries and how many seconds it lasts.
struct MinutePlanRecord {
  int64_t StartPosix;         // POSIX seconds of its second 0
  CivilTimeRecord Local;      // wall-clock time of its second 0
  CivilTimeRecord Announced;  // wall-clock time of the next minute, which the telegram gives
  TelegramFieldsRecord Fields;
  uint64_t Bits;    // bit n is the bit of second n; bits 59 and up are 0
  int SecondCount;  // kSecondsPerPlainMinute or kSecondsPerLeapMinute
};

// The 59 bits of a telegram; bit n of the result is the bit of second n. Fields out of
// their range are the caller's mistake and come out garbled, never out of the 59 bits.
uint64_t EncodeTelegram(const TelegramFieldsRecord& fields);

// Plans the minute whose second 0 is at `start_posix` (a multiple of 60) in the zone of
// `convert`. `leap_minute` is the POSIX start of the minute that ends in a leap second, or
// kNoLeapMinute. False when the zone cannot tell the time.
bool PlanMinute(int64_t start_posix, LocalTimeFunction convert, int64_t leap_minute,
                uint16_t weather, MinutePlanRecord* plan);

// The POSIX start of the minute that ends at the first hour boundary of the zone's clock
// after `first_mark_posix`. False when the zone cannot tell the time.
bool FindLeapMinute(int64_t first_mark_posix, LocalTimeFunction convert, int64_t* leap_minute);
