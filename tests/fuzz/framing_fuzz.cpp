// Framing and decoding of any stream: each byte pair is a character's value and the gap
// before it in tens of ms, with a poll between. Whatever arrives, the frame keeps its
// invariants, a character left out or a spike moves nothing, and only a minute whose
// seconds 1 to 58 all held a mark decodes.
#include <cstdlib>

#include "common/receiver_state.h"
#include "decoder/reception.h"

static bool IsWhole(const MinuteResultRecord& m) {
  const bool decoded = m.Verdict == kMinuteHeld || m.Verdict == kMinuteConfirmed;
  return !decoded || (m.Missing == 0 && m.Marks == kLastTelegramSecond);
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  constexpr uint32_t kGapUnitMs = 10;
  uint32_t now = 0xFFFF0000u;  // the ticks wrap past 2^32 in a long input
  OpenFrame(now);
  for (; size >= 2; data += 2, size -= 2) {
    now += data[1] * kGapUnitMs;
    const MinuteResultRecord polled = HandlePoll(now);
    const ReceiverStateRecord before = ReceiverState;
    const CharacterResultRecord result = HandleCharacter(data[0], now);
    const ReceiverStateRecord& r = ReceiverState;
    const bool unmoved = result.Fate == kNotAMark || result.Fate == kMarkLeftOut;
    if ((r.FrameBits & 1) != 0 || (r.FrameBits & ~r.MarkSeconds) != 0 || r.SecondCounter > 60 ||
        (r.DoubtfulSeconds & ~r.MarkSeconds) != 0 || !IsWhole(polled) || !IsWhole(result.Minute) ||
        (unmoved && (r.LastByteTick != before.LastByteTick || r.FrameBits != before.FrameBits)) ||
        (!unmoved && (r.LastByteTick != now || r.SecondCounter != result.Second))) {
      std::abort();
    }
  }
  return 0;
}
