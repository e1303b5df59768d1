#include "decoder/telegram.h"

#include <cstdint>

#include "common/receiver_state.h"
#include "common/time_fields.h"

namespace {

// Even-parity groups: the last bit of each closes the bits before it.
struct ParityGroup {
  uint8_t FirstBit;
  uint8_t LastBit;
  TelegramCheck Failure;
};

constexpr ParityGroup kParityGroups[] = {
    {21, 28, kMinuteParityFailed},
    {29, 35, kHourParityFailed},
    {36, 58, kDateParityFailed},
};

// BCD fields in the order they are checked and stored. Digits run from their least
// significant bit upward; the tens digit follows the units digit directly.
struct BcdField {
  uint8_t UnitsBit;
  uint8_t UnitsWidth;
  uint8_t TensWidth;
  uint8_t Largest;
  TelegramCheck Failure;
  uint8_t TimeFieldsRecord::*Field;
};

constexpr uint8_t kLargestDigit = 9;

constexpr unsigned kChangeAheadBit = 16;
constexpr unsigned kSummerBit = 17;
constexpr unsigned kWinterBit = 18;
constexpr unsigned kLeapAheadBit = 19;

constexpr BcdField kFields[] = {
    {21, 4, 3, 59, kMinuteOutOfRange, &TimeFieldsRecord::Minute},
    {29, 4, 2, 23, kHourOutOfRange, &TimeFieldsRecord::Hour},
    {36, 4, 2, 31, kDayOutOfRange, &TimeFieldsRecord::Day},
    {42, 3, 0, 7, kWeekdayOutOfRange, &TimeFieldsRecord::Weekday},  // 3 bits: any value passes
    {45, 4, 1, 12, kMonthOutOfRange, &TimeFieldsRecord::Month},
    {50, 4, 4, 99, kYearOutOfRange, &TimeFieldsRecord::Year},
};

unsigned ReadBits(uint64_t frame, unsigned first, unsigned width) {
  return static_cast<unsigned>((frame >> first) & ((uint64_t{1} << width) - 1));
}

bool HasEvenParity(uint64_t frame, const ParityGroup& group) {
  unsigned ones = 0;
  for (unsigned bit = group.FirstBit; bit <= group.LastBit; ++bit) {
    ones += ReadBits(frame, bit, 1);
  }
  return ones % 2 == 0;
}

}  // namespace

TelegramFlagsRecord ReadTelegramFlags(uint64_t frame) {
  TelegramFlagsRecord flags = {};
  flags.ChangeAhead = ReadBits(frame, kChangeAheadBit, 1) != 0;
  const bool summer = ReadBits(frame, kSummerBit, 1) != 0;
  const bool winter = ReadBits(frame, kWinterBit, 1) != 0;
  flags.Zone = summer == winter ? kZoneUnknown : (summer ? kZoneCest : kZoneCet);
  flags.LeapAhead = ReadBits(frame, kLeapAheadBit, 1) != 0;
  return flags;
}

TelegramCheck CheckTelegram(uint64_t frame, TimeFieldsRecord* fields) {
  // Bits 1 to 14 carry third-party data (weather, warnings) and are not examined.
  for (const ParityGroup& group : kParityGroups) {
    if (!HasEvenParity(frame, group)) {
      return group.Failure;
    }
  }

  for (const BcdField& field : kFields) {
    const unsigned units = ReadBits(frame, field.UnitsBit, field.UnitsWidth);
    if (units > kLargestDigit) {
      return field.Failure;
    }
    const unsigned tens = ReadBits(frame, field.UnitsBit + field.UnitsWidth, field.TensWidth);
    const unsigned value = 10 * tens + units;
    if (value > field.Largest) {
      return field.Failure;
    }
    fields->*field.Field = static_cast<uint8_t>(value);
  }
  return kTelegramGood;
}

bool DecodeTelegram() {
  return CheckTelegram(ReceiverState.FrameBits, &TimeFields) == kTelegramGood;
}
