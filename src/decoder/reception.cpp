#include "decoder/reception.h"

#include "common/decoded_minute.h"
#include "common/receiver_state.h"
#include "decoder/clock.h"

namespace {

// The announcement bit A2: a leap second comes at the end of the hour.
constexpr unsigned kLeapAheadBit = 19;

MinuteVerdict JudgeUndecodedMinute(uint8_t marks, bool gap) {
  if (!gap) {
    return kNoMinuteGap;
  }
  if (marks < kPulsesPerMinute) {
    return kTooFewMarks;
  }
  // A leap second adds a mark in second 59; the hour before it announces it.
  return LastDecodedMinute.Held && LastDecodedMinute.LeapAhead ? kLeapSecondMinute : kTooManyMarks;
}

}  // namespace

CharacterResultRecord HandleCharacter(uint8_t value, uint32_t now) {
  CharacterResultRecord result = {};
  result.Class = ClassifyCharacter(value);
  result.Second = ReceiverState.SecondCounter;
  if (result.Class == kSpike) {
    return result;
  }
  result.Bit = IsLongMark(value);
  result.Doubtful = IsDoubtfulMark(value);

  const uint64_t frame = ReceiverState.FrameBits;
  const uint8_t marks = ReceiverState.SecondCounter;
  const bool doubtful = ReceiverState.DoubtfulMarks > 0;
  const bool gap = FollowsMinuteGap(now);
  const bool decoded = FramePulse(value, now);
  result.Second = ReceiverState.SecondCounter;
  if (result.Second == 0) {
    result.Marks = marks;
    if (decoded) {
      result.Fields = TimeFields;
      result.Verdict = SetClockFromTelegram(doubtful) ? kMinuteConfirmed : kMinuteHeld;
      LastDecodedMinute.LeapAhead = ((frame >> kLeapAheadBit) & 1) != 0;
    } else if (marks == kPulsesPerMinute) {
      // The checks run again on a copy, for their verdict alone.
      TimeFieldsRecord scratch = TimeFields;
      result.Check = CheckTelegram(frame, &scratch);
      result.Verdict = kTelegramFailed;
    } else {
      result.Verdict = JudgeUndecodedMinute(marks, gap);
    }
  }
  ReceiverState.LastByteTick = now;
  return result;
}

void RestartReception() {
  ResetFrame();
  LastDecodedMinute = DecodedMinuteRecord{};
}
