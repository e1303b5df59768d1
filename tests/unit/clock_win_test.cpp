// Clock setting against the real platform clock. A minute that no minute before confirms
// must not reach SetSystemTime at all: the call's error code would show it, since without
// the right to change the time (as under Wine, which refuses any change of more than half
// a second) a set to another day fails.
#include <windows.h>

#include <gtest/gtest.h>

#include "clock_expect.h"
#include "common/decoded_minute.h"
#include "common/time_fields.h"
#include "decoder/clock.h"

namespace {

constexpr DWORD kUntouchedError = 0x7E57;

TEST(ClockWinTest, UnconfirmedMinuteLeavesTheClockAloneAndShowsIt) {
  const SYSTEMTIME before = ReadClock();
  // Three days on (or back, near a month's end), within the same month.
  const uint8_t other_day = before.wDay <= 25 ? before.wDay + 3 : before.wDay - 3;
  const uint8_t month = static_cast<uint8_t>(before.wMonth);
  const uint8_t year = static_cast<uint8_t>(before.wYear % 100);
  HeldMinutes = {};
  TimeFields = {0, 0, other_day, 1, month, year};
  SetLastError(kUntouchedError);
  TelegramZone zone = kZoneUnknown;
  EXPECT_FALSE(ConfirmDecodedMinute(GetTickCount(), false, {false, kZoneCet, false}, &zone));
  ReloadTimeFields();
  EXPECT_EQ(GetLastError(), kUntouchedError) << "SetSystemTime was called";
  const SYSTEMTIME after = ReadClock();
  // An hour or a day may turn between the two reads; the fields show the clock at one of
  // them, and the clock three days off at neither.
  EXPECT_TRUE(FieldsShowClock(before) || FieldsShowClock(after));
  EXPECT_TRUE(HeldMinutes.Minutes[0].Held);
  EXPECT_EQ(HeldMinutes.Minutes[0].Fields.Day, other_day) << "held as decoded, not as reloaded";
}

}  // namespace
