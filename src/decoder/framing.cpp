#include "decoder/framing.h"

#include "common/receiver_state.h"
#include "decoder/telegram.h"

namespace {

constexpr uint8_t kHighestFrameBit = 63;

}  // namespace

void ResetFrame() {
  ReceiverState.SecondCounter = 0;
  ReceiverState.FrameBits = 0;
}

bool FramePulse(uint8_t value, uint32_t now) {
  // Modulo 2^32, then signed, so that a wrap of the tick counter is a small step.
  const int32_t elapsed = static_cast<int32_t>(now - ReceiverState.LastByteTick);

  if (elapsed > kMinuteGapMs || ReceiverState.SecondCounter > kPulsesPerMinute) {
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
    if (value <= kLongPulseMaxValue) {
      ReceiverState.FrameBits |= bit;
    } else {
      ReceiverState.FrameBits &= ~bit;
    }
  }
  return false;
}
