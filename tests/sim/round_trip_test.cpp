// Whole days of telegrams from the stream, framed and decoded by the core as the receiver
// would: every announced minute must come back, in the order the notes on the time code
// give for summer-time changes, and the leap-second minute must be dropped by the framing.
#include <gtest/gtest.h>

#include "civil_time.h"
#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "decoder/framing.h"
#include "mark_stream.h"
#include "test_times.h"

namespace {

enum DayChange { kNoChange, kSpringChange, kAutumnChange };

struct DayCase {
  const char* Name;
  const char* DayBefore;  // Berlin time of the first minute sent: 23:59 the day before
  int Weekday;            // of the day itself, from a calendar
  int Year;               // two digits
  int Month;
  int Day;
  bool SummerAtMidnight;
  DayChange Change;
  const char* LeapMinuteUtc;  // nullptr, or the minute that ends in a leap second
};

const DayCase kDays[] = {
    {"Summer", "2026-07-14 23:59", 3, 26, 7, 15, true, kNoChange, nullptr},
    {"Spring", "2026-03-28 23:59", 7, 26, 3, 29, false, kSpringChange, nullptr},
    {"Autumn", "2026-10-24 23:59", 7, 26, 10, 25, true, kAutumnChange, nullptr},
    // The leap second of 2016-12-31 23:59:60 UTC, which was 00:59:60 CET on 1 January.
    {"LeapSecond", "2016-12-31 23:59", 7, 17, 1, 1, false, kNoChange, "2016-12-31 23:59"},
};

constexpr int kMinutesPerHour = 60;
constexpr int kMinutesPerDay = 24 * kMinutesPerHour;

// One announced minute as a receiver should see it.
struct ExpectedMinute {
  int Hour;
  int Minute;
  bool Summer;
  bool ChangeAhead;
  bool LeapAhead;
  bool Dropped;  // carried by the leap-second minute, which has one pulse too many
};

// The day's minutes by the rules alone: in spring 02:00 CET is followed by 03:00 CEST, in
// autumn 03:00 CEST by 02:00 CET; both announcements cover the 60 telegrams up to and
// including the one for the first minute after the event.
std::vector<ExpectedMinute> ListExpectedMinutes(const DayCase& day) {
  std::vector<ExpectedMinute> minutes;
  ExpectedMinute now = {0, 0, day.SummerAtMidnight, false, false, false};
  while (now.Hour < 24) {
    minutes.push_back(now);
    now.ChangeAhead = false;
    if (++now.Minute == kMinutesPerHour) {
      now.Minute = 0;
      ++now.Hour;
    }
    const bool spring = day.Change == kSpringChange && !now.Summer && now.Hour == 2;
    const bool autumn = day.Change == kAutumnChange && now.Summer && now.Hour == 3;
    if ((spring || autumn) && now.Minute == 0) {
      now.Hour = spring ? 3 : 2;
      now.Summer = spring;
      for (size_t i = minutes.size() - (kMinutesPerHour - 1); i < minutes.size(); ++i) {
        minutes[i].ChangeAhead = true;
      }
      now.ChangeAhead = true;
    }
  }
  if (day.LeapMinuteUtc != nullptr) {
    // 00:59:60 CET: the telegram for 01:00 is the dropped one.
    const size_t leap = kMinutesPerHour;
    minutes[leap].Dropped = true;
    for (size_t i = leap - (kMinutesPerHour - 1); i <= leap; ++i) {
      minutes[i].LeapAhead = true;
    }
  }
  return minutes;
}

bool ReadFrameBit(uint64_t frame, int bit) {
  return ((frame >> bit) & 1) != 0;
}

class DayRoundTrip : public testing::TestWithParam<DayCase> {};

TEST_P(DayRoundTrip, EveryMinuteDecodesToWhatWasAnnounced) {
  const DayCase& day = GetParam();
  const std::vector<ExpectedMinute> expected = ListExpectedMinutes(day);
  const size_t day_length = day.Change == kSpringChange   ? kMinutesPerDay - kMinutesPerHour
                            : day.Change == kAutumnChange ? kMinutesPerDay + kMinutesPerHour
                                                          : kMinutesPerDay;
  ASSERT_EQ(expected.size(), day_length);

  StreamSettingsRecord settings = {};
  settings.Convert = ConvertToEuLocal;
  settings.LeapMinute = day.LeapMinuteUtc ? ParseUtc(day.LeapMinuteUtc) : kNoLeapMinute;
  settings.Weather = true;
  settings.Seed = 77;
  settings.LongMarkMs = kLongMarkMs;
  settings.ShortMarkMs = kShortMarkMs;
  StreamRecord stream = {};
  ASSERT_TRUE(StartStream(settings, ParseBerlin(day.DayBefore), &stream));

  ResetFrame();
  ReceiverState.LastByteTick = 0;
  size_t closed = 0;
  for (int64_t k = 0; closed < expected.size(); ++k) {
    SecondRecord second = {};
    ASSERT_TRUE(AdvanceStream(&stream, &second));
    if (!second.Sent) {
      continue;
    }
    // The module's character completes ~190-200 ms after the mark; the port adds a little.
    const uint32_t tick = static_cast<uint32_t>(5000 + 1000 * k + 190 + (k * 7) % 13);
    const uint64_t frame = ReceiverState.FrameBits;
    const bool decoded = FramePulse(second.Value, tick);
    ReceiverState.LastByteTick = tick;
    if (second.Second != 0 || k == 0) {
      ASSERT_FALSE(decoded) << "second " << second.Second << " of mark " << k;
      continue;
    }
    const ExpectedMinute& want = expected[closed++];
    SCOPED_TRACE(testing::Message() << day.Name << " minute " << closed - 1 << " = " << want.Hour
                                    << ":" << want.Minute);
    ASSERT_EQ(decoded, !want.Dropped);
    if (!decoded) {
      continue;
    }
    EXPECT_EQ(TimeFields.Hour, want.Hour);
    EXPECT_EQ(TimeFields.Minute, want.Minute);
    EXPECT_EQ(TimeFields.Day, day.Day);
    EXPECT_EQ(TimeFields.Weekday, day.Weekday);
    EXPECT_EQ(TimeFields.Month, day.Month);
    EXPECT_EQ(TimeFields.Year, day.Year);
    EXPECT_EQ(ReadFrameBit(frame, kSummerBit), want.Summer);
    EXPECT_EQ(ReadFrameBit(frame, kWinterBit), !want.Summer);
    EXPECT_EQ(ReadFrameBit(frame, kChangeAheadBit), want.ChangeAhead);
    EXPECT_EQ(ReadFrameBit(frame, kLeapAheadBit), want.LeapAhead);
  }
}

INSTANTIATE_TEST_SUITE_P(Days, DayRoundTrip, testing::ValuesIn(kDays),
                         [](const testing::TestParamInfo<DayCase>& info) {
                           return std::string(info.param.Name);
                         });

}  // namespace
