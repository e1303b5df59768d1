// Telegrams checked by hand against the bit table of the time code, and the announcement
// bits around a summer-time change and a leap second.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "civil_time.h"
#include "telegram_encoder.h"
#include "test_times.h"

namespace {

// Seconds 0..58 (59 with a leap second) as written out by hand, groups split by spaces:
// start, weather, call, A1, Z1 Z2, A2, S, minute + P1, hour + P2, day, weekday, month,
// year, P3.
std::string CollectBits(const MinutePlanRecord& plan) {
  std::string bits;
  for (int second = 0; second < plan.SecondCount - 1; ++second) {
    bits += ((plan.Bits >> second) & 1) != 0 ? '1' : '0';
  }
  return bits;
}

std::string RemoveSpaces(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
  return text;
}

struct HandCheckedCase {
  const char* Name;
  const char* Sent;  // Berlin time of the minute that carries the telegram
  bool Leap;         // that minute ends in a leap second
  const char* Bits;
};

const HandCheckedCase kHandChecked[] = {
    {"Sun 1997-06-15 13:45 CEST", "1997-06-15 13:44", false,
     "0 00000000000000 0 0 10 0 1 1010001 1 110010 1 101010 111 01100 11101001 1"},
    {"Sat 2026-01-10 08:30 CET", "2026-01-10 08:29", false,
     "0 00000000000000 0 0 01 0 1 0000110 0 000100 1 000010 011 10000 01100100 1"},
    {"Tue 2026-08-04 00:00 CEST, new day", "2026-08-03 23:59", false,
     "0 00000000000000 0 0 10 0 1 0000000 0 000000 0 001000 010 00010 01100100 0"},
    {"Sun 2026-03-29 03:00 CEST after the spring change", "2026-03-29 01:59", false,
     "0 00000000000000 0 1 10 0 1 0000000 0 110000 0 100101 111 11000 01100100 1"},
    {"Sun 2026-10-25 02:00 CET after the autumn change", "2026-10-25 02:59", false,
     "0 00000000000000 0 1 01 0 1 0000000 0 010000 1 101001 111 00001 01100100 0"},
    {"Tue 2026-06-30 02:00 CEST after a leap second", "2026-06-30 01:59", true,
     "0 00000000000000 0 0 10 1 1 0000000 0 010000 1 000011 010 01100 01100100 0 0"},
};

class HandCheckedTelegram : public testing::TestWithParam<HandCheckedCase> {};

TEST_P(HandCheckedTelegram, MatchesTheHandWrittenBits) {
  const HandCheckedCase& c = GetParam();
  const int64_t sent = ParseBerlin(c.Sent);
  MinutePlanRecord plan = {};
  ASSERT_TRUE(PlanMinute(sent, ConvertToEuLocal, c.Leap ? sent : kNoLeapMinute, 0, &plan));
  EXPECT_EQ(CollectBits(plan), RemoveSpaces(c.Bits));
  EXPECT_EQ(plan.SecondCount, c.Leap ? kSecondsPerLeapMinute : kSecondsPerPlainMinute);
}

INSTANTIATE_TEST_SUITE_P(Telegrams, HandCheckedTelegram, testing::ValuesIn(kHandChecked));

TEST(EncodeTelegram, PutsWeatherInBitsOneToFourteenOnly) {
  TelegramFieldsRecord fields = {};
  fields.Day = 1;
  fields.Weekday = 1;
  fields.Month = 1;
  const uint64_t plain = EncodeTelegram(fields);
  fields.Weather = 0xFFFF;  // two bits more than there is room for
  EXPECT_EQ(EncodeTelegram(fields) ^ plain, uint64_t{0x3FFF} << 1);
}

struct AnnouncementCase {
  const char* SentUtc;  // start of the minute that carries the telegram, UTC
  bool ChangeAhead;
  bool LeapAhead;
  int SecondCount;
};

// Changes at 01:00 UTC on 2026-03-29 and 2026-10-25; a leap second ending 2026-06-30 23:59
// UTC. Each announcement covers the 60 minutes before its event.
const AnnouncementCase kAnnouncements[] = {
    {"2026-03-28 23:59", false, false, 60}, {"2026-03-29 00:00", true, false, 60},
    {"2026-03-29 00:59", true, false, 60},  {"2026-03-29 01:00", false, false, 60},
    {"2026-10-24 23:59", false, false, 60}, {"2026-10-25 00:00", true, false, 60},
    {"2026-10-25 00:59", true, false, 60},  {"2026-10-25 01:00", false, false, 60},
    {"2026-06-30 22:59", false, false, 60}, {"2026-06-30 23:00", false, true, 60},
    {"2026-06-30 23:59", false, true, 61},  {"2026-07-01 00:00", false, false, 60},
};

TEST(PlanMinute, AnnouncesDuringTheHourBefore) {
  const int64_t leap_minute = ParseUtc("2026-06-30 23:59");
  for (const AnnouncementCase& c : kAnnouncements) {
    MinutePlanRecord plan = {};
    ASSERT_TRUE(PlanMinute(ParseUtc(c.SentUtc), ConvertToEuLocal, leap_minute, 0, &plan));
    EXPECT_EQ(plan.Fields.ChangeAhead, c.ChangeAhead) << c.SentUtc;
    EXPECT_EQ(plan.Fields.LeapAhead, c.LeapAhead) << c.SentUtc;
    EXPECT_EQ(plan.SecondCount, c.SecondCount) << c.SentUtc;
  }
}

TEST(FindLeapMinute, PicksTheMinuteBeforeTheNextHour) {
  int64_t leap_minute = 0;
  ASSERT_TRUE(FindLeapMinute(ParseBerlin("2026-06-30 13:45:10"), ConvertToEuLocal, &leap_minute));
  EXPECT_EQ(leap_minute, ParseBerlin("2026-06-30 13:59"));
  // A start right on the hour waits for the next one.
  ASSERT_TRUE(FindLeapMinute(ParseBerlin("2026-06-30 14:00"), ConvertToEuLocal, &leap_minute));
  EXPECT_EQ(leap_minute, ParseBerlin("2026-06-30 14:59"));
}

}  // namespace
