#include "decoder/framing.h"

#include <gtest/gtest.h>

#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "frame_builder.h"

namespace {

// The shortest long mark (151-170 ms) and the longest short one (131-150 ms).
constexpr uint8_t kLongMark = 0x80;
constexpr uint8_t kShortMark = 0xC0;
// The longest gap within a minute, and the shortest that ends one.
constexpr uint32_t kSecondGap = 1500;
constexpr uint32_t kMinuteGap = 1501;

// Hands one character to the framing `gap` ms after the one before, and notes its tick
// afterwards as the caller does. Expects the frame to hold `count` seconds afterwards.
bool Feed(uint8_t value, uint32_t gap, uint8_t count) {
  const uint32_t now = ReceiverState.LastByteTick + gap;
  const bool decoded = FramePulse(value, now);
  ReceiverState.LastByteTick = now;
  EXPECT_EQ(ReceiverState.SecondCounter, count);
  return decoded;
}

TEST(FramingTest, OnlyAMarkAfterExactly58PulsesDecodes) {
  const uint64_t frame = BuildFrame({0x45, 0x13, 0x15, 7, 0x06, 0x97});
  // As when the port has just opened, four seconds before the ticks wrap past 2^32, with
  // stale bits, so that each 0 written shows; the last minute shows each 1 written.
  ReceiverState = {~uint64_t{0}, 0, 0xFFFFF000u, 0};
  for (const uint8_t pulses : {58, 56, 57, 59, 58}) {
    SCOPED_TRACE(pulses);
    TimeFields = {};
    for (uint8_t second = 1; second <= pulses; ++second) {
      ASSERT_FALSE(Feed((frame >> second) & 1 ? kLongMark : kShortMark, kSecondGap, second));
    }
    // After a 59th pulse (a leap second, or a spurious character) the next character is
    // taken as the mark even without a gap.
    EXPECT_EQ(Feed(kShortMark, pulses == 59 ? kSecondGap : kMinuteGap, 0), pulses == 58);
    EXPECT_EQ(TimeFields.Minute, pulses == 58 ? 45 : 0);
    EXPECT_EQ(ReceiverState.FrameBits, 0u);
  }
}

}  // namespace
