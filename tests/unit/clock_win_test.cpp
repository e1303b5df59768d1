// Clock setting against the real platform clock. Without the right to change the time
// (as under Wine, which refuses any change of more than half a second), a set to
// another day is refused; a set to the current minute, made just at its start, is not.
#include <windows.h>

#include <gtest/gtest.h>

#include "clock_expect.h"
#include "common/time_fields.h"
#include "decoder/clock.h"

namespace {

constexpr DWORD kMinuteMs = 60 * 1000;
constexpr WORD kSetWindowMs = 300;  // how far into a minute a set to its start may come

TEST(ClockWinTest, SetToAnotherDayIsRefusedAndTheFieldsShowTheClock) {
  const SYSTEMTIME before = ReadClock();
  // Three days on (or back, near a month's end), within the same month.
  const uint8_t other_day = before.wDay <= 25 ? before.wDay + 3 : before.wDay - 3;
  TimeFields = {0,
                0,
                other_day,
                1,
                static_cast<uint8_t>(before.wMonth),
                static_cast<uint8_t>(before.wYear % 100)};
  SetClockFromTelegram();
  const SYSTEMTIME after = ReadClock();
  ASSERT_EQ(after.wDay, before.wDay) << "the clock was changed";
  EXPECT_EQ(TimeFields.Day, before.wDay);
  ExpectFieldsShowClock(after);
}

TEST(ClockWinTest, InvalidDateIsRefused) {
  TimeFields = {};  // the all-zero telegram: 0 December... day 0 of month 0, 2000
  SetClockFromTelegram();
  const SYSTEMTIME after = ReadClock();
  EXPECT_NE(TimeFields.Year, 0);  // reloaded from the clock, which is not in 2000
  ExpectFieldsShowClock(after);
}

TEST(ClockWinTest, SetToTheStartOfTheCurrentMinuteIsAccepted) {
  // Wait for the first moments of a minute, then ask for exactly that minute.
  const DWORD deadline = GetTickCount() + 2 * kMinuteMs;
  SYSTEMTIME now = ReadClock();
  while (!(now.wSecond == 0 && now.wMilliseconds < kSetWindowMs)) {
    ASSERT_LT(static_cast<int32_t>(GetTickCount() - deadline), 0) << "no minute start seen";
    Sleep(now.wSecond == 59 ? 1 : 20);
    now = ReadClock();
  }
  TimeFields = {static_cast<uint8_t>(now.wMinute), static_cast<uint8_t>(now.wHour),
                static_cast<uint8_t>(now.wDay),    7,
                static_cast<uint8_t>(now.wMonth),  static_cast<uint8_t>(now.wYear % 100)};
  ASSERT_TRUE(SetLocalTime(&now)) << "the platform refuses even the current time";
  SetClockFromTelegram();
  EXPECT_EQ(TimeFields.Minute, now.wMinute);
  EXPECT_EQ(TimeFields.Weekday, now.wDayOfWeek);  // 7 went out; the platform's number came back
  ExpectFieldsShowClock(ReadClock());
}

}  // namespace
