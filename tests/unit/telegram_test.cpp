#include "decoder/telegram.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "frame_builder.h"

namespace {

constexpr TimeFieldsRecord kSentinel = {11, 12, 13, 4, 5, 66};

// Minute, hour, day, weekday, month, year: the order the decoder checks them in.
std::array<int, 6> FieldsOf(const TimeFieldsRecord& f) {
  return {f.Minute, f.Hour, f.Day, f.Weekday, f.Month, f.Year};
}

// 15 June 1997, 13:45 CEST, a Sunday, as sent (bit n for second n): the date's parity,
// year 97, month 06, weekday 7, day 15; the hour's parity and 13; the minute's parity and
// 45; the start of time, CEST and the third-party data.
constexpr uint64_t kJune1997 =
    0b1'1001'0111'0'0110'111'01'0101'1'01'0011'1'100'0101'1'00100'000000000000000;

TEST(TelegramTest, FieldsAreCheckedAndStoredInTurn) {
  // Bits 0 to 20 (third-party data, call, announcement, zone and start bits) and 59 to 63.
  const uint64_t kIgnored = ((uint64_t{1} << 21) - 1) | (uint64_t{0x1F} << 59);
  struct Case {
    const char* name;
    uint64_t frame;
    bool decodes;
    TimeFieldsRecord fields;  // as stored: up to the failing field, the sentinel after it
  };
  const Case kCases[] = {
      {"June 1997", kJune1997, true, {45, 13, 15, 7, 6, 97}},
      {"all bits 0", 0, true, {0, 0, 0, 0, 0, 0}},
      {"highest", BuildFrame({0x59, 0x23, 0x31, 7, 0x12, 0x99}), true, {59, 23, 31, 7, 12, 99}},
      {"ignored bits", BuildFrame({7, 8, 9, 3, 0x10, 0x26}) | kIgnored, true, {7, 8, 9, 3, 10, 26}},
      {"minute 60", BuildFrame({0x60, 1, 2, 3, 4, 5}), false, kSentinel},
      {"hour 24", BuildFrame({0x30, 0x24, 2, 3, 4, 5}), false, {30, 12, 13, 4, 5, 66}},
      {"day 32", BuildFrame({0x30, 0x09, 0x32, 3, 4, 5}), false, {30, 9, 13, 4, 5, 66}},
      {"month 13", BuildFrame({0x30, 0x09, 0x12, 3, 0x13, 5}), false, {30, 9, 12, 3, 5, 66}},
      {"year 100", BuildFrame({0x30, 0x09, 0x12, 3, 0x11, 0xA0}), false, {30, 9, 12, 3, 11, 66}},
      {"minute units 10", BuildFrame({0x0A, 1, 1, 1, 1, 1}), false, kSentinel},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    TimeFields = kSentinel;
    ReceiverState.FrameBits = c.frame;
    EXPECT_EQ(DecodeTelegram(), c.decodes);
    EXPECT_EQ(FieldsOf(TimeFields), FieldsOf(c.fields));
  }
}

TEST(TelegramTest, FlagsBesideTheTime) {
  // Bits 19 (A2), 18 (Z2), 17 (Z1), 16 (A1); CET and A2 show in the reception tests.
  const TelegramFlagsRecord both = ReadTelegramFlags(uint64_t{0b0110} << 16);
  const TelegramFlagsRecord a1 = ReadTelegramFlags(uint64_t{0b0011} << 16);
  EXPECT_EQ(std::make_tuple(both.Zone, a1.ChangeAhead, a1.Zone, a1.LeapAhead),
            std::make_tuple(kZoneUnknown, true, kZoneCest, false));
}

}  // namespace
