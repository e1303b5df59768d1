// Clock setting against the native stand-in clock: which minutes are confirmed, and what
// a confirmed and an unconfirmed minute do to the clock and the fields.
#include "decoder/clock.h"
#include "decoder/framing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "clock_expect.h"
#include "common/clock_steering.h"
#include "common/decoded_minute.h"
#include "common/time_fields.h"
#include "platform/platform.h"

namespace {

// Sunday 6 December 2026, 20:15:42 UTC.
constexpr SYSTEMTIME kClockStart = {2026, 12, 0, 6, 20, 15, 42, 500};
// A1, and the zone bits: CET, CEST, or neither and both set.
constexpr TelegramFlagsRecord kCet = {false, kZoneCet, false}, kCest = {false, kZoneCest, false};
constexpr TelegramFlagsRecord kCetAhead = {true, kZoneCet, false};
constexpr TelegramFlagsRecord kCestAhead = {true, kZoneCest, false};
constexpr TelegramFlagsRecord kNoZone = {false, kZoneUnknown, false};
constexpr uint32_t kFirstTick = 0xFFFF0000u;  // the pair's ticks wrap past 2^32

class ClockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PassNativeClockTick(kFirstTick);
    SetNativeClock(kClockStart);
    HeldMinutes = {};
    Steering = {};
  }

  // Hands one decoded minute to the clock, its closing mark dated `tick`, as the program
  // does when the mark came; returns the clock sets it asked for.
  int Decode(const TimeFieldsRecord& fields, uint32_t tick, TelegramFlagsRecord flags = kCet) {
    const int before = CountClockRequests();
    PassNativeClockTick(tick);
    TimeFields = fields;
    TelegramZone zone = kZoneUnknown;
    if (ConfirmDecodedMinute(tick, false, flags, &zone)) {
      SetClockFromTelegram(tick, zone, flags.LeapAhead);
    } else {
      ReloadTimeFields();
    }
    return CountClockRequests() - before;
  }
};

// Minute, hour, day, weekday (1 = Monday), month, year.
constexpr TimeFieldsRecord k1344 = {44, 13, 15, 7, 6, 97}, k1345 = {45, 13, 15, 7, 6, 97};
constexpr TimeFieldsRecord k0059 = {59, 0, 1, 7, 1, 17}, k0100 = {0, 1, 1, 7, 1, 17};

struct PairCase {
  const char* name;
  TimeFieldsRecord first;
  TimeFieldsRecord second;
  WORD year;                 // the full year set (UTC, an hour back from CET), or 0 when the
                             // second minute is not confirmed
  uint32_t gap = kMinuteMs;  // by the ticks, from the first minute's mark to the second's
  bool leap_ahead = false;   // the first minute announces a leap second
};

const PairCase kPairs[] = {
    {"next minute", k1344, k1345, 1997},
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
    {"next year", {59, 23, 31, 3, 12, 3}, {0, 0, 1, 4, 1, 4}, 2003},
    {"99 to 00", {59, 23, 31, 5, 12, 99}, {0, 0, 1, 6, 1, 0}, 1999},
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
    {"half a second short", k1344, k1345, 1997, kMinuteMs - kDatingSlackMs},
    {"a millisecond less", k1344, k1345, 0, kMinuteMs - kDatingSlackMs - 1},
    {"half a second long", k1344, k1345, 1997, kMinuteMs + kDatingSlackMs},
    {"a millisecond more", k1344, k1345, 0, kMinuteMs + kDatingSlackMs + 1},
    {"a second late", k1344, k1345, 0, kMinuteMs + 1000},
    {"ten minutes", k1344, {54, 13, 15, 7, 6, 97}, 1997, 10 * kMinuteMs},
    {"eleven minutes", k1344, {55, 13, 15, 7, 6, 97}, 0, 11 * kMinuteMs},
    {"ten minutes by the ticks, eleven by the fields",
     k1344,
     {55, 13, 15, 7, 6, 97},
     0,
     10 * kMinuteMs},
    {"across a leap second", k0059, k0100, 2017, kMinuteMs + kLeapSecondMs, true},
    {"a leap second announced but not counted", k0059, k0100, 0, kMinuteMs, true},
};

TEST_F(ClockTest, OnlyAMinuteOneToTenMinutesAfterAHeldOneSetsTheClock) {
  for (const PairCase& c : kPairs) {
    SCOPED_TRACE(c.name);
    SetUp();
    EXPECT_EQ(Decode(c.first, kFirstTick, {false, kZoneCet, c.leap_ahead}), 0)
        << "the first minute set the clock";
    const int calls = Decode(c.second, kFirstTick + c.gap);
    const SYSTEMTIME clock = ReadClock();  // the weekday in the platform's numbering
    EXPECT_TRUE(FieldsShowClock(clock));
    EXPECT_EQ(TimeFields.Minute, clock.wMinute);
    if (c.year == 0) {
      EXPECT_EQ(calls, 0);
      continue;
    }
    EXPECT_EQ(calls, 1);
    // An hour back from CET; the date's roll-overs back to UTC have a table of their own.
    const SYSTEMTIME& asked = LastClockRequest();
    EXPECT_EQ(std::make_tuple(asked.wYear, asked.wHour, asked.wMinute, asked.wSecond,
                              asked.wMilliseconds),
              std::make_tuple(c.year, (c.second.Hour + 23) % 24, c.second.Minute, 0,
                              190));  // the UART's hand-over
  }
}

TEST_F(ClockTest, MinutesAreComparedAndSetInUtc) {
  // Two minutes a minute apart, as decoded with their zone bits (and A1 where a change is
  // announced), and the UTC set, 190 ms into the minute, with the weekday (0 = Sunday); or
  // none.
  struct Case {
    const char* name;
    TimeFieldsRecord first;
    TelegramFlagsRecord first_flags;
    TimeFieldsRecord second;
    TelegramFlagsRecord second_flags;
    SYSTEMTIME expected;
    SYSTEMTIME clock = kClockStart;  // UTC, before the set
  };
  // Local times on Sunday 29 March 2026 (kS), Sunday 25 October 2026 (kA), Friday 1 January
  // 2027 (kN) and Wednesday 1 July 2026.
  constexpr TimeFieldsRecord kS0159 = {59, 1, 29, 7, 3, 26}, kS0300 = {0, 3, 29, 7, 3, 26};
  constexpr TimeFieldsRecord kS0200 = {0, 2, 29, 7, 3, 26}, kA0259 = {59, 2, 25, 7, 10, 26};
  constexpr TimeFieldsRecord kA0200 = {0, 2, 25, 7, 10, 26}, kA0204 = {4, 2, 25, 7, 10, 26};
  constexpr TimeFieldsRecord kA0205 = {5, 2, 25, 7, 10, 26}, kN0029 = {29, 0, 1, 5, 1, 27};
  constexpr TimeFieldsRecord kN0030 = {30, 0, 1, 5, 1, 27}, k0029 = {29, 0, 1, 3, 7, 26};
  constexpr TimeFieldsRecord k0030 = {30, 0, 1, 3, 7, 26};
  constexpr SYSTEMTIME kJune30 = {2026, 6, 2, 30, 22, 30, 0, 190};
  const Case kCases[] = {
      {"spring", kS0159, kCetAhead, kS0300, kCest, {2026, 3, 0, 29, 1, 0, 0, 190}},
      {"autumn", kA0259, kCestAhead, kA0200, kCet, {2026, 10, 0, 25, 1, 0, 0, 190}},
      // The PC a few minutes slow, still on summer time: 00:02 UTC is 02:02 CEST.
      {"repeated hour",
       kA0204,
       kCet,
       kA0205,
       kCet,
       {2026, 10, 0, 25, 1, 5, 0, 190},
       {2026, 10, 0, 25, 0, 2, 0, 0}},
      {"New Year's Eve", kN0029, kCet, kN0030, kCet, {2026, 12, 4, 31, 23, 30, 0, 190}},
      {"the 1st in summer", k0029, kCest, k0030, kCest, kJune30},
      // Neither or both zone bits: the zone of the minute it is compared with, unless either
      // announces a change; a zone read as the other is an hour off in UTC.
      {"no zone bit", k0029, kCest, k0030, kNoZone, kJune30},
      {"no zone bit before", k0029, kNoZone, k0030, kCest, kJune30},
      {"no zone bit in either", k0029, kNoZone, k0030, kNoZone, {}},
      {"a change announced", kS0159, kCetAhead, kS0200, kNoZone, {}},
      {"the other zone", k0029, kCest, k0030, kCet, {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    SetUp();
    SetNativeClock(c.clock);
    Decode(c.first, kFirstTick, c.first_flags);
    const int calls = Decode(c.second, kFirstTick + kMinuteMs, c.second_flags);
    SYSTEMTIME clock;
    GetSystemTime(&clock);
    EXPECT_EQ(calls, c.expected.wYear != 0 ? 1 : 0);
    EXPECT_TRUE(calls == 0 ||
                (std::memcmp(&LastClockRequest(), &c.expected, sizeof c.expected) == 0 &&
                 std::memcmp(&clock, &c.expected, sizeof c.expected) == 0));
  }
}

TEST_F(ClockTest, WrongMinutesBetweenTwoGoodOnesCostThemNothing) {
  // 01:30 and 01:40, and between them each minute with a wrong hour of its own.
  for (uint8_t j = 0; j <= 10; ++j) {
    const uint8_t hour = j == 0 || j == 10 ? 1 : 2 + j;
    EXPECT_EQ(
        Decode({static_cast<uint8_t>(30 + j), hour, 10, 2, 1, 12}, kFirstTick + j * kMinuteMs),
        j == 10 ? 1 : 0);
  }
}

TEST_F(ClockTest, TheSetLandsOnTheTimeOfItsCall) {
  // The minute as of its mark, plus the mark's 190 ms way to its stamp, plus the time from
  // the mark as framed to the set, which may be earlier than that mark.
  const struct {
    TimeFieldsRecord minute;
    int32_t after_mark_ms;
    SYSTEMTIME expected;
  } kCases[] = {
      {{45, 13, 15, 7, 6, 97}, 700, {1997, 6, 0, 15, 12, 45, 0, 890}},
      {{0, 1, 1, 4, 1, 26}, -400, {2025, 12, 3, 31, 23, 59, 59, 790}},
  };
  for (const auto& c : kCases) {
    TimeFields = c.minute;
    PassNativeClockTick(kFirstTick + static_cast<uint32_t>(c.after_mark_ms));
    Steering = {};
    SetClockFromTelegram(kFirstTick, kZoneCet, false);
    const SYSTEMTIME& asked = LastClockRequest();
    EXPECT_EQ(0, std::memcmp(&asked, &c.expected, sizeof c.expected)) << asked.wDay;
  }
}

}  // namespace
