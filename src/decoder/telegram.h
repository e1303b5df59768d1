// Telegram decoding: checks the minute in FrameBits and stores its fields in TimeFields.
#pragma once

#include <cstdint>

#include "common/time_fields.h"

// The checks of a telegram, in the order they run; a check's value names it as the first
// that failed.
enum TelegramCheck : uint8_t {
  kTelegramGood,
  kMinuteParityFailed,
  kHourParityFailed,
  kDateParityFailed,
  kMinuteOutOfRange,
  kHourOutOfRange,
  kDayOutOfRange,
  kWeekdayOutOfRange,  // never: three bits hold no value out of range
  kMonthOutOfRange,
  kYearOutOfRange,
};

// What a telegram says beside its date and time. None of these bits is under a parity bit.
struct TelegramFlagsRecord {
  bool ChangeAhead;  // A1 (bit 16): a change between CET and CEST ends the hour
  TelegramZone Zone;
  bool LeapAhead;  // A2 (bit 19): a leap second ends the hour
};

TelegramFlagsRecord ReadTelegramFlags(uint64_t frame);

// Checks the telegram `frame` (bit n sent in second n) and stores its fields in *fields,
// each as soon as its own check passed, so a failure may leave earlier fields changed.
// Returns the first check that failed, or kTelegramGood.
TelegramCheck CheckTelegram(uint64_t frame, TimeFieldsRecord* fields);

// CheckTelegram on FrameBits into TimeFields: true when every check passed.
bool DecodeTelegram();
