#include "decoder/framing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "frame_builder.h"

namespace {

constexpr uint8_t kLongMark = 0x00;
constexpr uint8_t kShortMark = 0xF0;
constexpr uint32_t kSecond = 1000;
constexpr uint32_t kMissingSecond = 2000;

class FramingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ReceiverState = {};
    TimeFields = {};
    now_ = 5000;
    ReceiverState.LastByteTick = now_;  // as when the port has just opened
  }

  // Hands one character to the framing `gap` ms after the previous one, and notes the
  // tick afterwards as the caller does.
  bool Feed(uint8_t value, uint32_t gap = kSecond) {
    now_ += gap;
    const bool decoded = FramePulse(value, now_);
    ReceiverState.LastByteTick = now_;
    return decoded;
  }

  // Feeds seconds 1..count of `frame`, one second apart.
  void FeedSeconds(uint64_t frame, unsigned count) {
    for (unsigned second = 1; second <= count; ++second) {
      ASSERT_FALSE(Feed((frame >> second) & 1 ? kLongMark : kShortMark));
    }
  }

  uint32_t now_ = 0;
};

TEST_F(FramingTest, CharacterValueDecidesTheBit) {
  struct Case {
    uint8_t value;
    bool long_mark;
  };
  const Case kCases[] = {{0, true}, {100, true}, {101, false}, {255, false}, {0xF0, false}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(static_cast<int>(c.value));
    // Start from the opposite bit, so that the write is seen either way.
    ResetFrame();
    ReceiverState.FrameBits = c.long_mark ? 0 : uint64_t{1} << 1;
    Feed(c.value);
    EXPECT_EQ(ReceiverState.SecondCounter, 1);
    EXPECT_EQ(ReceiverState.FrameBits, c.long_mark ? uint64_t{1} << 1 : 0u);
  }
}

TEST_F(FramingTest, GapOf1500IsASecondAnd1501IsAMinuteMark) {
  Feed(kLongMark);
  Feed(kLongMark, 1500);
  EXPECT_EQ(ReceiverState.SecondCounter, 2);

  EXPECT_FALSE(Feed(kLongMark, 1501));
  EXPECT_EQ(ReceiverState.SecondCounter, 0);
  EXPECT_EQ(ReceiverState.FrameBits, 0u);
}

TEST_F(FramingTest, FirstCharacterAfterOpenIsSecondOne) {
  Feed(kLongMark, 1200);
  EXPECT_EQ(ReceiverState.SecondCounter, 1);
  EXPECT_EQ(ReceiverState.FrameBits, uint64_t{1} << 1);
}

TEST_F(FramingTest, TickWrapGivesTheTrueSmallDifference) {
  now_ = 0xFFFFFC00u;  // 1024 ms before the wrap
  ReceiverState.LastByteTick = now_;
  Feed(kLongMark, kSecond);  // lands at 0xFFFFFFE8
  Feed(kLongMark, kSecond);  // lands past 2^32
  EXPECT_LT(now_, kSecond);
  EXPECT_EQ(ReceiverState.SecondCounter, 2);

  Feed(kLongMark, kMissingSecond);
  EXPECT_EQ(ReceiverState.SecondCounter, 0);
}

TEST_F(FramingTest, OnlyAMarkAfterExactly58PulsesDecodes) {
  const uint64_t frame = BuildFrame({45, 13, 15, 7, 6, 97});
  for (unsigned pulses = 56; pulses <= 59; ++pulses) {
    SCOPED_TRACE(pulses);
    TimeFields = {};
    ResetFrame();
    ReceiverState.LastByteTick = now_;
    // A 59th pulse is what a leap second or one spurious character leaves behind.
    FeedSeconds(frame, pulses);
    const bool decoded = Feed(kShortMark, kMissingSecond);
    EXPECT_EQ(decoded, pulses == 58);
    EXPECT_EQ(TimeFields.Minute, pulses == 58 ? 45 : 0);
    EXPECT_EQ(ReceiverState.SecondCounter, 0);
    EXPECT_EQ(ReceiverState.FrameBits, 0u);
  }
}

TEST_F(FramingTest, FailedTelegramIsDroppedAndTheNextMinuteFramesAfresh) {
  const uint64_t good = BuildFrame({1, 2, 3, 4, 5, 6});
  FeedSeconds(good ^ (uint64_t{1} << 30), 58);  // hour parity broken
  EXPECT_FALSE(Feed(kShortMark, kMissingSecond));
  FeedSeconds(good, 58);
  EXPECT_TRUE(Feed(kShortMark, kMissingSecond));
  EXPECT_EQ(TimeFields.Hour, 2);
}

TEST_F(FramingTest, CharacterAfterSecond59IsTakenAsAMinuteMark) {
  FeedSeconds(BuildFrame({1, 2, 3, 4, 5, 6}), 59);
  EXPECT_EQ(ReceiverState.SecondCounter, 59);
  EXPECT_FALSE(Feed(kLongMark, kSecond));  // no gap, yet a mark
  EXPECT_EQ(ReceiverState.SecondCounter, 0);
  EXPECT_EQ(ReceiverState.FrameBits, 0u);
}

// Random streams from a fixed seed, minute by minute: clean minutes of a valid telegram
// alternate with noise (random values, jitter, drops and bursts). Whatever arrives, the
// frame keeps its invariants and only a 58-pulse minute can decode.
TEST(FramingPropertyTest, RandomStreamsKeepTheInvariants) {
  std::mt19937 random(20261206u);
  ReceiverState = {};
  uint32_t now = random();
  ReceiverState.LastByteTick = now;
  const uint64_t valid = BuildFrame({45, 13, 15, 7, 6, 97});
  unsigned decodes = 0;
  unsigned marks = 0;
  unsigned characters = 0;

  auto feed = [&](uint8_t value, uint32_t gap) {
    now += gap;
    ++characters;
    const uint8_t count_before = ReceiverState.SecondCounter;
    const bool mark = static_cast<int32_t>(now - ReceiverState.LastByteTick) > kMinuteGapMs ||
                      count_before > kPulsesPerMinute;
    const bool decoded = FramePulse(value, now);
    now += random() % 20;  // the redraw
    ReceiverState.LastByteTick = now;

    ASSERT_EQ(ReceiverState.FrameBits & 1, 0u) << "character " << characters;
    ASSERT_LE(ReceiverState.SecondCounter, 59) << "character " << characters;
    if (mark) {
      ++marks;
      ASSERT_EQ(ReceiverState.FrameBits, 0u) << "character " << characters;
      ASSERT_EQ(ReceiverState.SecondCounter, 0) << "character " << characters;
    } else {
      ASSERT_EQ(ReceiverState.SecondCounter, count_before + 1) << "character " << characters;
    }
    if (decoded) {
      ++decodes;
      ASSERT_TRUE(mark);
      ASSERT_EQ(count_before, kPulsesPerMinute) << "character " << characters;
    }
  };

  for (unsigned minute = 0; minute < 3000 && !testing::Test::HasFatalFailure(); ++minute) {
    if (random() % 2 == 0) {
      for (unsigned second = 1; second <= 58; ++second) {
        feed((valid >> second) & 1 ? kLongMark : kShortMark, 750 + random() % 500);
      }
      feed(kShortMark, 1750 + random() % 500);
    } else {
      const unsigned length = random() % 70;
      for (unsigned i = 0; i < length; ++i) {
        feed(static_cast<uint8_t>(random()), random() % 3000);
      }
    }
  }
  EXPECT_GT(marks, 1000u);
  EXPECT_GT(decodes, 500u);  // the success path was reached, not only the failures
}

}  // namespace
