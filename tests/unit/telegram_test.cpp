#include "decoder/telegram.h"

#include <gtest/gtest.h>

#include <array>

#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "frame_builder.h"

namespace {

constexpr TimeFieldsRecord kSentinel = {11, 12, 13, 4, 5, 66};

// Minute, hour, day, weekday, month, year: the order the decoder checks them in.
std::array<uint8_t, 6> FieldsOf(const TimeFieldsRecord& f) {
  return {f.Minute, f.Hour, f.Day, f.Weekday, f.Month, f.Year};
}

bool Decode(uint64_t frame) {
  ReceiverState.FrameBits = frame;
  return DecodeTelegram();
}

void ExpectFields(const TimeFieldsRecord& expected) {
  EXPECT_EQ(TimeFields.Minute, expected.Minute);
  EXPECT_EQ(TimeFields.Hour, expected.Hour);
  EXPECT_EQ(TimeFields.Day, expected.Day);
  EXPECT_EQ(TimeFields.Weekday, expected.Weekday);
  EXPECT_EQ(TimeFields.Month, expected.Month);
  EXPECT_EQ(TimeFields.Year, expected.Year);
}

class TelegramTest : public ::testing::Test {
 protected:
  void SetUp() override { TimeFields = kSentinel; }
};

TEST_F(TelegramTest, DecodesJune1997Example) {
  // 15 June 1997, 13:45, Sunday, written out bit by bit: seconds 0..58.
  const char* kSeconds =
      "0"               // 0: start of minute
      "00000000000000"  // 1-14: third-party data
      "0"               // 15: call bit
      "0"
      "10"
      "0"  // 16-19: A1, Z1 (CEST), Z2, A2
      "1"  // 20: start of time
      "1010"
      "001"
      "1"  // 21-28: minute 45, parity
      "1100"
      "10"
      "1"  // 29-35: hour 13, parity
      "1010"
      "10"   // 36-41: day 15
      "111"  // 42-44: Sunday
      "0110"
      "0"  // 45-49: June
      "1110"
      "1001"  // 50-57: 97
      "1";    // 58: parity over 36-57
  uint64_t frame = 0;
  for (unsigned second = 0; kSeconds[second] != '\0'; ++second) {
    if (kSeconds[second] == '1') {
      frame |= uint64_t{1} << second;
    }
  }
  ASSERT_EQ(CountOnes(frame, 36, 58) % 2, 0u);

  EXPECT_TRUE(Decode(frame));
  ExpectFields({45, 13, 15, 7, 6, 97});
  EXPECT_EQ(frame, BuildFrame({45, 13, 15, 7, 6, 97}) | (uint64_t{1} << 17));
}

TEST_F(TelegramTest, AnyFlippedBitInAParityGroupFailsWithoutStoring) {
  const uint64_t good = BuildFrame({59, 23, 31, 5, 12, 99});
  ASSERT_TRUE(Decode(good));
  for (unsigned bit = 21; bit <= 58; ++bit) {
    SCOPED_TRACE(bit);
    TimeFields = kSentinel;
    EXPECT_FALSE(Decode(good ^ (uint64_t{1} << bit)));
    ExpectFields(kSentinel);
  }
}

TEST_F(TelegramTest, ThirdPartyDataAndFlagBitsAreIgnored) {
  const uint64_t good = BuildFrame({7, 8, 9, 3, 10, 26});
  // Bits 0 to 20 (weather, call, announcement, zone and start bits) and 59 to 63.
  const uint64_t ignored = ((uint64_t{1} << 21) - 1) | (uint64_t{0x1F} << 59);
  const uint64_t patterns[] = {0, ignored, ignored & 0x5555555555555555u,
                               ignored & 0xAAAAAAAAAAAAAAAAu, uint64_t{0x7FFE}};
  for (const uint64_t pattern : patterns) {
    SCOPED_TRACE(pattern);
    TimeFields = kSentinel;
    const uint64_t frame = (good & ~ignored) | pattern;  // bit 20 clear included
    EXPECT_TRUE(Decode(frame));
    ExpectFields({7, 8, 9, 3, 10, 26});
  }
}

TEST_F(TelegramTest, LimitFailuresStoreTheFieldsCheckedBefore) {
  struct Case {
    const char* name;
    TestTime time;
    TimeFieldsRecord expected;
  };
  const TimeFieldsRecord s = kSentinel;
  const Case kCases[] = {
      {"minute 60", {60, 1, 2, 3, 4, 5}, s},
      {"hour 24", {30, 24, 2, 3, 4, 5}, {30, s.Hour, s.Day, s.Weekday, s.Month, s.Year}},
      {"day 32", {30, 9, 32, 3, 4, 5}, {30, 9, s.Day, s.Weekday, s.Month, s.Year}},
      {"month 13", {30, 9, 12, 3, 13, 5}, {30, 9, 12, 3, s.Month, s.Year}},
      {"year 100", {30, 9, 12, 3, 11, 100}, {30, 9, 12, 3, 11, s.Year}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    TimeFields = kSentinel;
    EXPECT_FALSE(Decode(BuildFrame(c.time)));
    ExpectFields(c.expected);
  }
}

TEST_F(TelegramTest, UnitsDigitAboveNineFails) {
  struct Case {
    const char* name;
    unsigned units_bit;
    unsigned stored_before;  // fields checked, and stored, before this one
  };
  const Case kCases[] = {
      {"minute", 21, 0}, {"hour", 29, 1}, {"day", 36, 2}, {"month", 45, 4}, {"year", 50, 5}};
  const std::array<uint8_t, 6> sentinel = FieldsOf(kSentinel);
  for (const Case& c : kCases) {
    for (unsigned units = 10; units <= 15; ++units) {
      SCOPED_TRACE(testing::Message() << c.name << " units " << units);
      TimeFields = kSentinel;
      const uint64_t frame =
          FixParity(PutBits(BuildFrame({1, 1, 1, 1, 1, 1}), c.units_bit, 4, units));
      EXPECT_FALSE(Decode(frame));
      std::array<uint8_t, 6> expected = sentinel;
      for (unsigned i = 0; i < c.stored_before; ++i) {
        expected[i] = 1;
      }
      EXPECT_EQ(FieldsOf(TimeFields), expected);
    }
  }
}

TEST_F(TelegramTest, LowestValuesAndAllZeroFrameAreAccepted) {
  EXPECT_TRUE(Decode(BuildFrame({0, 0, 0, 0, 0, 0})));
  ExpectFields({0, 0, 0, 0, 0, 0});

  TimeFields = kSentinel;
  EXPECT_TRUE(Decode(0));
  ExpectFields({0, 0, 0, 0, 0, 0});
}

TEST_F(TelegramTest, UpperLimitsAreAccepted) {
  EXPECT_TRUE(Decode(BuildFrame({59, 23, 31, 7, 12, 99})));
  ExpectFields({59, 23, 31, 7, 12, 99});
}

}  // namespace
