// Framing and decoding of any stream: each byte pair is a character's value and the gap
// before it in tens of ms. Whatever arrives, the frame keeps its invariants, only a mark
// after exactly 58 pulses decodes, and a decoded time is within the telegram's limits.
#include <cstdint>
#include <cstdlib>

#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "decoder/framing.h"

namespace {

constexpr uint32_t kGapUnitMs = 10;
constexpr uint32_t kFirstTick = 0xFFFF0000u;  // the ticks wrap past 2^32 within a long input

bool IsWithinLimits(const TimeFieldsRecord& t) {
  return t.Minute <= 59 && t.Hour <= 23 && t.Day <= 31 && t.Weekday <= 7 && t.Month <= 12 &&
         t.Year <= 99;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  ReceiverState = {};
  ReceiverState.LastByteTick = kFirstTick;
  for (size_t i = 0; i + 1 < size; i += 2) {
    const uint32_t now = ReceiverState.LastByteTick + data[i + 1] * kGapUnitMs;
    const uint8_t count_before = ReceiverState.SecondCounter;
    const bool mark = data[i + 1] * kGapUnitMs > kMinuteGapMs || count_before > kPulsesPerMinute;
    const bool decoded = FramePulse(data[i], now);
    ReceiverState.LastByteTick = now;
    const bool framed = mark ? ReceiverState.SecondCounter == 0 && ReceiverState.FrameBits == 0
                             : ReceiverState.SecondCounter == count_before + 1;
    if (!framed || (ReceiverState.FrameBits & 1) != 0 || ReceiverState.SecondCounter > 59 ||
        (decoded && (!mark || count_before != kPulsesPerMinute || !IsWithinLimits(TimeFields)))) {
      std::abort();
    }
  }
  return 0;
}
