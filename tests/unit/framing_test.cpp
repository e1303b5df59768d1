#include "decoder/framing.h"

#include <gtest/gtest.h>

#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "frame_builder.h"

namespace {

// The longest long mark and the shortest short one.
constexpr uint8_t kLongMark = 100;
constexpr uint8_t kShortMark = 101;
constexpr uint32_t kSecond = 1000;

// As when the port has just opened, four seconds before the ticks wrap past 2^32.
void OpenPort() {
  ReceiverState = {};
  ReceiverState.LastByteTick = 0xFFFFF000u;
}

// Hands one character to the framing `gap` ms after the one before, and notes its tick
// afterwards as the caller does. Expects the frame to hold `count` seconds afterwards.
bool Feed(uint8_t value, uint32_t gap, uint8_t count) {
  const uint32_t now = ReceiverState.LastByteTick + gap;
  const bool decoded = FramePulse(value, now);
  ReceiverState.LastByteTick = now;
  EXPECT_EQ(ReceiverState.SecondCounter, count);
  return decoded;
}

TEST(FramingTest, GapOf1500IsASecondAnd1501IsAMinuteMarkAcrossTheTickWrap) {
  OpenPort();
  ReceiverState.FrameBits = 0b100;  // a stale bit, so that a short mark's 0 is seen
  Feed(kLongMark, 1200, 1);         // the first character after the open is second 1
  Feed(kShortMark, 1500, 2);
  Feed(kLongMark, 1500, 3);  // past the wrap
  Feed(kLongMark, 1500, 4);
  EXPECT_EQ(ReceiverState.FrameBits, 0b11010u);
  EXPECT_FALSE(Feed(kLongMark, 1501, 0));
  EXPECT_EQ(ReceiverState.FrameBits, 0u);
}

TEST(FramingTest, OnlyAMarkAfterExactly58PulsesDecodes) {
  const uint64_t frame = BuildFrame({0x45, 0x13, 0x15, 7, 0x06, 0x97});
  OpenPort();
  for (uint8_t pulses = 56; pulses <= 59; ++pulses) {
    SCOPED_TRACE(pulses);
    TimeFields = {};
    for (uint8_t second = 1; second <= pulses; ++second) {
      ASSERT_FALSE(Feed((frame >> second) & 1 ? kLongMark : kShortMark, kSecond, second));
    }
    // After a 59th pulse (a leap second, or a spurious character) the next character is
    // taken as the mark even without a gap.
    EXPECT_EQ(Feed(kShortMark, pulses == 59 ? kSecond : 2 * kSecond, 0), pulses == 58);
    EXPECT_EQ(TimeFields.Minute, pulses == 58 ? 45 : 0);
    EXPECT_EQ(ReceiverState.FrameBits, 0u);
  }
}

}  // namespace
