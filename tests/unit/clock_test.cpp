// Clock setting against the native stand-in clock: which minutes are confirmed, and what
// a confirmed and an unconfirmed minute do to the clock and the fields.
#include "decoder/clock.h"

#include <gtest/gtest.h>

#include <cstring>

#include "clock_expect.h"
#include "common/decoded_minute.h"
#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "platform/platform.h"

namespace {

// Sunday 6 December 2026, 20:15:42.
constexpr SYSTEMTIME kClockStart = {2026, 12, 0, 6, 20, 15, 42, 500};
constexpr uint32_t kFirstTick = 0xFFFF0000u;  // the pair's ticks wrap past 2^32

class ClockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetNativeClock(kClockStart);
    LastDecodedMinute = {};
  }

  // Hands one decoded minute to the clock, its second 58 handled at `tick`; returns the
  // SetLocalTime calls it made.
  int Decode(const TimeFieldsRecord& fields, uint32_t tick) {
    const int before = CountClockRequests();
    TimeFields = fields;
    ReceiverState.LastByteTick = tick;
    SetClockFromTelegram(false);
    return CountClockRequests() - before;
  }

  // Two minutes decoded `gap` ms apart; returns the calls the second one made.
  int DecodePair(const TimeFieldsRecord& first, const TimeFieldsRecord& second,
                 uint32_t gap = kMinuteMs) {
    EXPECT_EQ(Decode(first, kFirstTick), 0) << "a minute with none before it set the clock";
    return Decode(second, kFirstTick + gap);
  }
};

// Minute, hour, day, weekday (1 = Monday), month, year.
struct PairCase {
  const char* name;
  TimeFieldsRecord first;
  TimeFieldsRecord second;
  WORD year;  // the full year set, or 0 when the second minute is not confirmed
};

const PairCase kPairs[] = {
    {"next minute", {44, 13, 15, 7, 6, 97}, {45, 13, 15, 7, 6, 97}, 1997},
    {"after 31 January", {59, 23, 31, 6, 1, 26}, {0, 0, 1, 7, 2, 26}, 2026},
    {"after 28 February", {59, 23, 28, 6, 2, 26}, {0, 0, 1, 7, 3, 26}, 2026},
    {"after 31 March", {59, 23, 31, 2, 3, 26}, {0, 0, 1, 3, 4, 26}, 2026},
    {"after 30 April", {59, 23, 30, 4, 4, 26}, {0, 0, 1, 5, 5, 26}, 2026},
    {"after 31 May", {59, 23, 31, 7, 5, 26}, {0, 0, 1, 1, 6, 26}, 2026},
    {"after 30 June", {59, 23, 30, 2, 6, 26}, {0, 0, 1, 3, 7, 26}, 2026},
    {"after 31 July", {59, 23, 31, 5, 7, 26}, {0, 0, 1, 6, 8, 26}, 2026},
    {"after 31 August", {59, 23, 31, 1, 8, 26}, {0, 0, 1, 2, 9, 26}, 2026},
    {"after 30 September", {59, 23, 30, 3, 9, 26}, {0, 0, 1, 4, 10, 26}, 2026},
    {"after 31 October", {59, 23, 31, 6, 10, 26}, {0, 0, 1, 7, 11, 26}, 2026},
    {"after 30 November", {59, 23, 30, 1, 11, 26}, {0, 0, 1, 2, 12, 26}, 2026},
    {"leap day", {59, 23, 28, 2, 2, 96}, {0, 0, 29, 3, 2, 96}, 2096},
    {"after a leap day", {59, 23, 29, 3, 2, 96}, {0, 0, 1, 4, 3, 96}, 2096},
    {"next year", {59, 23, 31, 3, 12, 3}, {0, 0, 1, 4, 1, 4}, 2004},
    {"99 to 00", {59, 23, 31, 5, 12, 99}, {0, 0, 1, 6, 1, 0}, 2000},
    {"weekday not turned at midnight", {59, 23, 31, 6, 1, 26}, {0, 0, 1, 6, 2, 26}, 0},
    {"weekday that does not fit the date", {44, 13, 15, 3, 6, 97}, {45, 13, 15, 3, 6, 97}, 0},
    {"two minutes on", {43, 13, 15, 7, 6, 97}, {45, 13, 15, 7, 6, 97}, 0},
    {"an hour on", {44, 12, 15, 7, 6, 97}, {45, 13, 15, 7, 6, 97}, 0},
    {"right minute, other day", {44, 13, 14, 6, 6, 97}, {45, 13, 15, 7, 6, 97}, 0},
    {"right minute, other month", {44, 13, 15, 4, 5, 97}, {45, 13, 15, 7, 6, 97}, 0},
    {"right minute, other year", {44, 13, 15, 6, 6, 96}, {45, 13, 15, 7, 6, 97}, 0},
    {"29 February in 2026", {59, 23, 28, 6, 2, 26}, {0, 0, 29, 7, 2, 26}, 0},
    {"after minute 60", {60, 13, 15, 7, 6, 97}, {61, 13, 15, 7, 6, 97}, 0},
    {"after hour 24", {44, 24, 15, 7, 6, 97}, {45, 24, 15, 7, 6, 97}, 0},
    {"after year 100", {44, 13, 15, 4, 6, 100}, {45, 13, 15, 4, 6, 100}, 0},  // a Thursday in 2000
};

TEST_F(ClockTest, OnlyTheMinuteAfterTheOneBeforeSetsTheClock) {
  for (const PairCase& c : kPairs) {
    SCOPED_TRACE(c.name);
    SetUp();
    const int calls = DecodePair(c.first, c.second);
    if (c.year == 0) {
      EXPECT_EQ(calls, 0);
      EXPECT_TRUE(FieldsShowClock(kClockStart));
      EXPECT_EQ(TimeFields.Minute, kClockStart.wMinute);
      continue;
    }
    // Twice: the second call converts with the daylight-saving setting of the new time.
    EXPECT_EQ(calls, 2);
    const SYSTEMTIME& asked = LastClockRequest();
    const SYSTEMTIME expected = {
        c.year, c.second.Month, c.second.Weekday, c.second.Day, c.second.Hour, c.second.Minute,
        0,      190 + 125};  // the UART's hand-over and half a poll
    EXPECT_EQ(0, std::memcmp(&asked, &expected, sizeof expected))
        << "the weekday goes out as decoded";
    EXPECT_TRUE(FieldsShowClock(ReadClock()));  // the weekday in the platform's numbering
    EXPECT_EQ(TimeFields.Minute, c.second.Minute);
    EXPECT_EQ(TimeFields.Year, c.second.Year);
  }
}

TEST_F(ClockTest, TheMinuteBeforeMustHaveDecodedAMinuteEarlierByTheTicks) {
  const TimeFieldsRecord first = {44, 13, 15, 7, 6, 97};
  const TimeFieldsRecord second = {45, 13, 15, 7, 6, 97};
  struct Gap {
    uint32_t ms;
    int calls;
  };
  const Gap kGaps[] = {{kMinuteMs - kMinuteSlackMs - 1, 0},
                       {kMinuteMs - kMinuteSlackMs, 2},
                       {kMinuteMs + kMinuteSlackMs, 2},
                       {kMinuteMs + kMinuteSlackMs + 1, 0}};
  for (const Gap& gap : kGaps) {
    SCOPED_TRACE(gap.ms);
    LastDecodedMinute = {};
    EXPECT_EQ(DecodePair(first, second, gap.ms), gap.calls);
  }
}

}  // namespace
