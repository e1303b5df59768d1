#include "decoder/reception.h"

#include "common/clock_steering.h"
#include "common/decoded_minute.h"
#include "common/time_fields.h"
#include "decoder/clock.h"
#include "decoder/steering.h"

namespace {

uint8_t CountSeconds(uint64_t seconds) {
  uint8_t count = 0;
  for (; seconds != 0; seconds &= seconds - 1) {
    ++count;
  }
  return count;
}

MinuteResultRecord DecideMinute(const FramedMinuteRecord& minute) {
  MinuteResultRecord result = {};
  result.MarkLost = minute.End == kMarkLost;
  result.MarkTick = minute.MarkTick;
  result.SpreadMs = minute.SpreadMs;
  result.Missing = kTelegramSeconds & ~minute.Marks;
  result.Marks = CountSeconds(kTelegramSeconds & minute.Marks);
  if (minute.End == kMarkElsewhere) {
    result.Verdict = kFrameMoved;
    return result;
  }
  if (result.Missing != 0) {
    result.Verdict = kMarksMissing;
    return result;
  }
  result.Check = CheckTelegram(minute.Bits, &TimeFields);
  if (result.Check != kTelegramGood) {
    result.Verdict = kTelegramFailed;
    return result;
  }
  result.Fields = TimeFields;
  const TelegramFlagsRecord flags = ReadTelegramFlags(minute.Bits);
  result.LeapAhead = flags.LeapAhead;
  const bool doubtful = (minute.Doubtful & kTelegramSeconds) != 0;
  const bool confirmed = ConfirmDecodedMinute(minute.MarkTick, doubtful, flags, &result.Zone);
  // A minute whose mark was lost is dated by where the mark was due: right for confirming
  // others, but the clock is set only from a mark that came.
  if (confirmed && !result.MarkLost) {
    SetClockFromTelegram(minute.MarkTick, result.Zone, flags.LeapAhead);
    result.Verdict = kMinuteConfirmed;
  } else {
    ReloadTimeFields();
    result.Verdict = kMinuteHeld;
    if (flags.LeapAhead) {
      NoteLeapAnnounced(&Steering);
    }
  }
  return result;
}

MinuteResultRecord JudgeMinute(const FramedMinuteRecord& minute) {
  const MinuteResultRecord result = DecideMinute(minute);
  // A minute that set nothing still tells, by the phase of its marks, where the second lies;
  // a minute framed anew does not.
  if (result.Verdict != kMinuteConfirmed && result.Verdict != kFrameMoved &&
      result.SpreadMs != kSpreadUnknown) {
    NoteMarksOnlyMinute(result.MarkTick);
  }
  return result;
}

}  // namespace

CharacterResultRecord HandleCharacter(uint8_t value, uint32_t now) {
  CharacterResultRecord result = {};
  result.Class = ClassifyCharacter(value);
  result.Fate = kNotAMark;
  if (result.Class == kSpike) {
    return result;
  }
  result.Bit = IsLongMark(value);
  result.Doubtful = IsDoubtfulMark(value);
  // A minute whose mark is overdue by the time this character came ends first.
  result.Minute = HandlePoll(now);
  const FramedCharacterRecord framed = FrameCharacter(value, now);
  result.Fate = framed.Fate;
  result.Second = framed.Second;
  if (framed.Closed) {
    // After an overdue minute, the one the character ends held nothing: no character came
    // between.
    const MinuteResultRecord minute = JudgeMinute(framed.Minute);
    if (result.Minute.Verdict == kNoMinute) {
      result.Minute = minute;
    }
  }
  return result;
}

MinuteResultRecord HandlePoll(uint32_t now) {
  FramedMinuteRecord minute = {};
  if (!CloseOverdueMinute(now, &minute)) {
    return MinuteResultRecord{};
  }
  return JudgeMinute(minute);
}

void RunReceptionPoll(TakeArrivalFunction take, uint32_t now, PollResultRecord* result) {
  result->Count = 0;
  while (result->Count < kMostCharactersPerPoll && take(now, &result->Arrivals[result->Count])) {
    const ArrivalRecord& arrival = result->Arrivals[result->Count];
    result->Characters[result->Count] = HandleCharacter(arrival.Value, arrival.Tick);
    ++result->Count;
  }
  result->Overdue = HandlePoll(now);
}

void RestartReception() {
  ResetFrame();
  HeldMinutes = HeldMinutesRecord{};
}
