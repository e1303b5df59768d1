#include "decoder/framing.h"

#include "common/receiver_state.h"
#include "decoder/telegram.h"

namespace {

constexpr uint8_t kHighestFrameBit = 63;
constexpr int kDataBits = 8;
constexpr unsigned kAllHigh = 0xFF;
// Low samples of a spike (0xFF, 0xFE) at most, and of a long mark at least.
constexpr int kMostSpikeSamples = 1;
constexpr int kLeastLongSamples = 7;

}  // namespace

int CountLowSamples(uint8_t value) {
  int low = 0;
  for (int bit = 0; bit < kDataBits; ++bit) {
    low += ((value >> bit) & 1) == 0;
  }
  return low;
}

CharacterClass ClassifyCharacter(uint8_t value) {
  const int low = CountLowSamples(value);
  // A clean pulse leaves its first `low` samples low and the rest high.
  if (value != ((kAllHigh << low) & kAllHigh)) {
    return kBrokenMark;
  }
  if (low <= kMostSpikeSamples) {
    return kSpike;
  }
  return low >= kLeastLongSamples ? kLongMark : kShortMark;
}

bool IsLongMark(uint8_t value) {
  return CountLowSamples(value) >= kLeastLongSamples;
}

bool IsDoubtfulMark(uint8_t value) {
  const int low = CountLowSamples(value);
  return ClassifyCharacter(value) == kBrokenMark || low == kLeastLongSamples ||
         low == kLeastLongSamples - 1;
}

void ResetFrame() {
  ReceiverState.SecondCounter = 0;
  ReceiverState.FrameBits = 0;
  ReceiverState.DoubtfulMarks = 0;
}

bool FollowsMinuteGap(uint32_t now) {
  // Modulo 2^32, then signed, so that a wrap of the tick counter is a small step.
  return static_cast<int32_t>(now - ReceiverState.LastByteTick) > kMinuteGapMs;
}

bool FramePulse(uint8_t value, uint32_t now) {
  if (FollowsMinuteGap(now) || ReceiverState.SecondCounter > kPulsesPerMinute) {
    bool decoded = false;
    if (ReceiverState.SecondCounter == kPulsesPerMinute) {
      decoded = DecodeTelegram();
    }
    ResetFrame();
    return decoded;
  }

  ++ReceiverState.SecondCounter;
  if (ReceiverState.SecondCounter <= kHighestFrameBit) {
    const uint64_t bit = uint64_t{1} << ReceiverState.SecondCounter;
    if (IsLongMark(value)) {
      ReceiverState.FrameBits |= bit;
    } else {
      ReceiverState.FrameBits &= ~bit;
    }
  }
  if (IsDoubtfulMark(value) && ReceiverState.DoubtfulMarks < UINT8_MAX) {
    ++ReceiverState.DoubtfulMarks;
  }
  return false;
}
