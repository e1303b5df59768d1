// Framing and decoding of any stream: each byte pair is a character's value and the gap
// before it in tens of ms. Whatever arrives, the frame keeps its invariants and only a
// mark after exactly 58 pulses decodes.
#include <cstdlib>

#include "common/receiver_state.h"
#include "decoder/framing.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  constexpr uint32_t kGapUnitMs = 10;
  ReceiverState = {};
  ReceiverState.LastByteTick = 0xFFFF0000u;  // the ticks wrap past 2^32 in a long input
  for (; size >= 2; data += 2, size -= 2) {
    const uint32_t gap = data[1] * kGapUnitMs;
    const uint8_t count = ReceiverState.SecondCounter;
    const bool mark = gap > kMinuteGapMs || count > kPulsesPerMinute;
    const bool decoded = FramePulse(data[0], ReceiverState.LastByteTick + gap);
    ReceiverState.LastByteTick += gap;
    if ((ReceiverState.FrameBits & 1) != 0 || ReceiverState.SecondCounter > 59 ||
        (mark && (ReceiverState.SecondCounter != 0 || ReceiverState.FrameBits != 0)) ||
        (!mark && ReceiverState.SecondCounter != count + 1) ||
        (decoded && (!mark || count != kPulsesPerMinute))) {
      std::abort();
    }
  }
  return 0;
}
