#include "telegram_encoder.h"

namespace {

// A BCD number's place in the telegram: units digit from UnitsBit upward, least significant
// bit first, the tens digit right after it.
struct BcdPlace {
  int UnitsBit;
  int UnitsWidth;
  int TensWidth;
};

constexpr BcdPlace kMinutePlace = {21, 4, 3};
constexpr BcdPlace kHourPlace = {29, 4, 2};
constexpr BcdPlace kDayPlace = {36, 4, 2};
constexpr BcdPlace kWeekdayPlace = {42, 3, 0};
constexpr BcdPlace kMonthPlace = {45, 4, 1};
constexpr BcdPlace kYearPlace = {50, 4, 4};

// Even-parity groups: the last bit makes the count of ones in the group even.
constexpr int kMinuteParityBit = 28;
constexpr int kHourParityBit = 35;
constexpr int kDateParityBit = 58;

constexpr int kYearsPerCentury = 100;
// Announcements cover the hour before the event.
constexpr int64_t kAnnouncePeriod = kSecondsPerHour;

uint64_t MaskBits(int width) {
  return (uint64_t{1} << width) - 1;
}

uint64_t PlaceBcd(int value, const BcdPlace& place) {
  const uint64_t units = static_cast<uint64_t>(value % 10) & MaskBits(place.UnitsWidth);
  const uint64_t tens = static_cast<uint64_t>(value / 10) & MaskBits(place.TensWidth);
  return (units << place.UnitsBit) | (tens << (place.UnitsBit + place.UnitsWidth));
}

uint64_t FlagBit(bool set, int bit) {
  return set ? uint64_t{1} << bit : 0;
}

// The parity bit that makes bits first .. parity_bit even.
uint64_t MakeParity(uint64_t bits, int first, int parity_bit) {
  int ones = 0;
  for (int bit = first; bit < parity_bit; ++bit) {
    ones += static_cast<int>((bits >> bit) & 1);
  }
  return FlagBit(ones % 2 != 0, parity_bit);
}

}  // namespace

uint64_t EncodeTelegram(const TelegramFieldsRecord& fields) {
  uint64_t bits = (static_cast<uint64_t>(fields.Weather) & MaskBits(kWeatherBitCount))
                  << kWeatherFirstBit;
  bits |= FlagBit(fields.Call, kCallBit);
  bits |= FlagBit(fields.ChangeAhead, kChangeAheadBit);
  bits |= FlagBit(fields.Summer, kSummerBit);
  bits |= FlagBit(!fields.Summer, kWinterBit);
  bits |= FlagBit(fields.LeapAhead, kLeapAheadBit);
  bits |= FlagBit(true, kTimeStartBit);
  bits |= PlaceBcd(fields.Minute, kMinutePlace);
  bits |= MakeParity(bits, kMinutePlace.UnitsBit, kMinuteParityBit);
  bits |= PlaceBcd(fields.Hour, kHourPlace);
  bits |= MakeParity(bits, kHourPlace.UnitsBit, kHourParityBit);
  bits |= PlaceBcd(fields.Day, kDayPlace);
  bits |= PlaceBcd(fields.Weekday, kWeekdayPlace);
  bits |= PlaceBcd(fields.Month, kMonthPlace);
  bits |= PlaceBcd(fields.Year, kYearPlace);
  bits |= MakeParity(bits, kDayPlace.UnitsBit, kDateParityBit);
  return bits;
}

bool PlanMinute(int64_t start_posix, LocalTimeFunction convert, int64_t leap_minute,
                uint16_t weather, MinutePlanRecord* plan) {
  const int64_t announced_posix = start_posix + kSecondsPerMinute;
  CivilTimeRecord local = {};
  CivilTimeRecord announced = {};
  CivilTimeRecord hour_later = {};
  if (!convert(start_posix, &local) || !convert(announced_posix, &announced) ||
      !convert(start_posix + kAnnouncePeriod, &hour_later)) {
    return false;
  }

  TelegramFieldsRecord fields = {};
  fields.Weather = weather;
  // Offsets change only on minute boundaries and at most once an hour, so a change within
  // the hour after this minute's start shows as a different offset an hour on.
  fields.ChangeAhead = MeasureUtcOffset(start_posix, local) !=
                       MeasureUtcOffset(start_posix + kAnnouncePeriod, hour_later);
  fields.Summer = announced.Summer;
  // The leap second ends minute `leap_minute`: the hour before it holds the 60 minutes
  // that start after leap_minute - 1 h, up to and including leap_minute itself.
  fields.LeapAhead = leap_minute != kNoLeapMinute && start_posix <= leap_minute &&
                     start_posix > leap_minute - kAnnouncePeriod;
  fields.Minute = announced.Minute;
  fields.Hour = announced.Hour;
  fields.Day = announced.Day;
  fields.Weekday = announced.Weekday;
  fields.Month = announced.Month;
  fields.Year = announced.Year % kYearsPerCentury;

  plan->StartPosix = start_posix;
  plan->Local = local;
  plan->Announced = announced;
  plan->Fields = fields;
  plan->Bits = EncodeTelegram(fields);
  plan->SecondCount = start_posix == leap_minute ? kSecondsPerLeapMinute : kSecondsPerPlainMinute;
  return true;
}

bool FindLeapMinute(int64_t first_mark_posix, LocalTimeFunction convert, int64_t* leap_minute) {
  const int64_t first_minute = DivideDown(first_mark_posix, kSecondsPerMinute) * kSecondsPerMinute;
  // Zones whose offsets are not whole hours still reach minute 0 within two hours.
  constexpr int kMinutesSearched = 120;
  for (int i = 0; i < kMinutesSearched; ++i) {
    const int64_t minute = first_minute + i * kSecondsPerMinute;
    CivilTimeRecord next = {};
    if (!convert(minute + kSecondsPerMinute, &next)) {
      return false;
    }
    if (next.Minute == 0) {
      *leap_minute = minute;
      return true;
    }
  }
  return false;
}
