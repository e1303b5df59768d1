// What the program makes of each character: its class and bit, spikes that are no marks,
// and the verdict on every minute a character closes.
#include "decoder/reception.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/decoded_minute.h"
#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "frame_builder.h"
#include "platform/platform.h"

namespace {

TEST(CharacterTest, ClassBitAndSamplesOfEachKindOfCharacter) {
  struct Case {
    uint8_t value;
    CharacterClass expected;
    bool bit;
    bool doubtful;
    int low;
  };
  const Case kCases[] = {
      {0xFF, kSpike, false, false, 0},    {0xFC, kShortMark, false, false, 2},
      {0xC0, kShortMark, false, true, 6}, {0x80, kLongMark, true, true, 7},
      {0x00, kLongMark, true, false, 8},  {0x7F, kBrokenMark, false, true, 1},
      {0x02, kBrokenMark, true, true, 7},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(static_cast<int>(c.value));
    EXPECT_EQ(ClassifyCharacter(c.value), c.expected);
    EXPECT_EQ(IsLongMark(c.value), c.bit);
    EXPECT_EQ(IsDoubtfulMark(c.value), c.doubtful);
    EXPECT_EQ(CountLowSamples(c.value), c.low);
    // What a monitor is told of it; a spike is no mark, so nothing of it is doubtful.
    ReceiverState = {};
    const CharacterResultRecord result = HandleCharacter(c.value, 0);
    EXPECT_EQ(result.Class, c.expected);
    EXPECT_EQ(result.Bit, c.expected != kSpike && c.bit);
    EXPECT_EQ(result.Doubtful, c.expected != kSpike && c.doubtful);
  }
}

constexpr uint8_t kZero = 0xF0, kOne = 0x00, kSpikeValue = 0xFF;
constexpr uint32_t kSecondMs = 1000;

struct Character {
  uint8_t Value;
  uint32_t Gap;  // ms after the character before
};

// Seconds 1 to 58 of `frame` a second apart, then the next minute's mark after second 59.
std::vector<Character> MinuteOf(uint64_t frame) {
  std::vector<Character> minute;
  for (unsigned second = 1; second <= kPulsesPerMinute; ++second) {
    minute.push_back({((frame >> second) & 1) != 0 ? kOne : kZero, kSecondMs});
  }
  minute.push_back({kZero, 2 * kSecondMs});
  return minute;
}

class ReceptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ReceiverState = {0, 0, 0xFFFFF000u, 0};  // as at the open; the ticks wrap past 2^32
    LastDecodedMinute = {};
    now_ = ReceiverState.LastByteTick;
  }

  // Hands the characters over; returns the last one's result.
  CharacterResultRecord Play(const std::vector<Character>& characters) {
    CharacterResultRecord result = {};
    for (const Character& c : characters) {
      now_ += c.Gap;
      result = HandleCharacter(c.Value, now_);
    }
    return result;
  }

  uint32_t now_ = 0;
};

// 10 January 2012 (a Tuesday), 01:30, 01:31 and 01:32.
const uint64_t kFirst = BuildFrame({0x30, 0x01, 0x10, 2, 0x01, 0x12});
const uint64_t kSecond = BuildFrame({0x31, 0x01, 0x10, 2, 0x01, 0x12});
const uint64_t kThird = BuildFrame({0x32, 0x01, 0x10, 2, 0x01, 0x12});

TEST_F(ReceptionTest, SpikesChangeNothingNotEvenTheGapOfSecond59) {
  std::vector<Character> minute = MinuteOf(kFirst);
  // A spike after second 1, and one in second 59: the mark of second 0 still follows the
  // last mark by two seconds.
  minute.insert(minute.begin() + 1, {kSpikeValue, 400});
  minute[2].Gap -= 400;
  minute.insert(minute.end() - 1, {0xFE, kSecondMs});
  minute.back().Gap = kSecondMs;
  Play({minute.begin(), minute.begin() + 1});
  const ReceiverStateRecord before = ReceiverState;
  const CharacterResultRecord spike = Play({minute[1]});
  EXPECT_EQ(spike.Class, kSpike);
  EXPECT_EQ(spike.Second, 1);
  EXPECT_EQ(spike.Verdict, kNoMinute);
  EXPECT_EQ(ReceiverState.FrameBits, before.FrameBits);
  EXPECT_EQ(ReceiverState.SecondCounter, before.SecondCounter);
  EXPECT_EQ(ReceiverState.LastByteTick, before.LastByteTick);
  const CharacterResultRecord mark = Play({minute.begin() + 2, minute.end()});
  EXPECT_EQ(mark.Verdict, kMinuteHeld);
  EXPECT_EQ(mark.Marks, kPulsesPerMinute);
  EXPECT_EQ(ReceiverState.LastByteTick, now_);
}

TEST_F(ReceptionTest, EveryMinuteGetsItsVerdict) {
  struct Case {
    const char* name;
    std::vector<Character> before;  // a minute played first, or none
    std::vector<Character> minute;
    MinuteVerdict verdict;
    uint8_t marks;
    TelegramCheck check;
  };
  std::vector<Character> extra = MinuteOf(kSecond);
  extra.insert(extra.begin() + 30, {kZero, 0});
  std::vector<Character> two_extra = extra;
  two_extra.insert(two_extra.begin() + 40, {kZero, 0});
  two_extra.pop_back();  // the 60th mark, second 58, closes the minute
  // A leap second: second 59 carries a 0 bit, second 60 is silent.
  std::vector<Character> leap = MinuteOf(kSecond);
  leap.insert(leap.end() - 1, {kZero, kSecondMs});
  // A short mark 131-150 ms long: the bit may have turned, so it takes two minutes more.
  std::vector<Character> doubtful = MinuteOf(kFirst);
  doubtful[2].Value = 0xC0;
  // The rest, and what the monitor says of each, are in tests/mon's replay test.
  const Case kCases[] = {
      {"confirmed", MinuteOf(kFirst), MinuteOf(kSecond), kMinuteConfirmed, 58, kTelegramGood},
      {"after a doubtful one", doubtful, MinuteOf(kSecond), kMinuteHeld, 58, kTelegramGood},
      {"no gap", MinuteOf(kFirst), two_extra, kNoMinuteGap, 59, kTelegramGood},
      {"leap second unannounced", MinuteOf(kFirst), leap, kTooManyMarks, 59, kTelegramGood},
      {"hour parity",
       {},
       MinuteOf(kFirst ^ uint64_t{1} << 30),
       kTelegramFailed,
       58,
       kHourParityFailed},
      {"month 13",
       {},
       MinuteOf(BuildFrame({0x30, 0x01, 0x10, 2, 0x13, 0x12})),
       kTelegramFailed,
       58,
       kMonthOutOfRange},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    SetUp();
    Play(c.before);
    const CharacterResultRecord result = Play(c.minute);
    EXPECT_EQ(result.Verdict, c.verdict);
    EXPECT_EQ(result.Marks, c.marks);
    EXPECT_EQ(result.Check, c.check);
    EXPECT_EQ(result.Second, 0);
  }
}

TEST_F(ReceptionTest, AfterARestartTheHeldMinuteConfirmsNothing) {
  // 01:30 is held, and the port is away for a moment right after the mark that closed it. By
  // fields and by ticks 01:31 follows 01:30: without the restart it would be confirmed.
  Play(MinuteOf(kFirst));
  RestartReception();
  EXPECT_EQ(Play(MinuteOf(kSecond)).Verdict, kMinuteHeld);
  EXPECT_EQ(Play(MinuteOf(kThird)).Verdict, kMinuteConfirmed) << "reception goes on";
  // Part of a minute, a doubtful mark in it, goes too.
  Play({{0xC0, kSecondMs}, {kOne, kSecondMs}});
  RestartReception();
  EXPECT_EQ(ReceiverState.SecondCounter, 0);
  EXPECT_EQ(ReceiverState.FrameBits, 0u);
  EXPECT_EQ(ReceiverState.DoubtfulMarks, 0);
}

}  // namespace
