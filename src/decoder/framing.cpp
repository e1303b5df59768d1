#include "decoder/framing.h"

#include <algorithm>
#include <cstdlib>

#include "common/receiver_state.h"

namespace {

constexpr int kDataBits = 8;
constexpr unsigned kAllHigh = 0xFF;
// Low samples of a spike (0xFE, 0xFF) at most, and of a long mark at least.
constexpr int kMostSpikeSamples = 1;
constexpr int kLeastLongSamples = 7;

// A leap second ends the hour that bit 19 announced: its minute (bits 21 to 28 read 0,
// minute 00 with its parity) brings a 0 mark in second 59 and is silent in second 60.
constexpr unsigned kLeapAnnounceBit = 19;
constexpr uint64_t kMinuteFieldBits = uint64_t{0xFF} << 21;
constexpr uint8_t kLeapMarkSecond = 59;
constexpr uint64_t kLeapEvidence =
    (uint64_t{1} << kLeapAnnounceBit) | kMinuteFieldBits | (uint64_t{1} << kLeapMarkSecond);
// The phase of the minute's own marks is trusted from this many clean ones on.
constexpr int kLeastPhaseMarks = 20;
// The median of the absolute deviations, times this, estimates a normal distribution's
// standard deviation (1.4826, here in ten-thousandths), undisturbed by a stray or two.
constexpr int32_t kDeviationsToSigma = 14826;
constexpr int32_t kTenThousand = 10000;

// |difference| <= limit, for any difference of ticks, INT32_MIN included.
bool IsWithin(int32_t difference, int32_t limit) {
  return difference >= -limit && difference <= limit;
}

bool IsAfterSilentSecond(int32_t gap) {
  return gap > kMinuteGapMs && gap <= kLongestMinuteGapMs;
}

bool EndsWithLeapSecond() {
  const ReceiverStateRecord& r = ReceiverState;
  return (r.MarkSeconds & kLeapEvidence) == kLeapEvidence &&
         ((r.FrameBits >> kLeapAnnounceBit) & 1) != 0 && (r.FrameBits & kMinuteFieldBits) == 0;
}

uint8_t FindLastSecond() {
  return EndsWithLeapSecond() ? kFrameSeconds - 1 : kFrameSeconds - 2;
}

// The offsets of the minute's clean marks from their whole seconds, into `offsets`
// (kFrameSeconds long); returns how many.
int CollectCleanOffsets(int16_t* offsets) {
  const ReceiverStateRecord& r = ReceiverState;
  int count = 0;
  for (uint8_t second = 1; second < kFrameSeconds; ++second) {
    if (((r.MarkSeconds >> second) & 1) != 0 &&
        ClassifyCharacter(r.MarkValues[second]) != kBrokenMark) {
      offsets[count++] = r.MarkOffsets[second];
    }
  }
  return count;
}

int16_t FindMedian(int16_t* values, int count) {
  std::nth_element(values, values + count / 2, values + count);
  return values[count / 2];
}

// Where the transmitter's marks lie against the whole seconds of the frame: the median
// offset of the minute's clean marks. A stray character falls anywhere, the marks all at
// the same phase, so the median follows the marks while strays are fewer.
// 0 while too few came to tell.
int32_t FindMarkPhase() {
  int16_t offsets[kFrameSeconds];
  const int count = CollectCleanOffsets(offsets);
  return count < kLeastPhaseMarks ? 0 : FindMedian(offsets, count);
}

// How far the clean marks lie about their phase: their median absolute deviation, scaled to
// a standard deviation. kSpreadUnknown while too few came to tell.
int16_t FindMarkSpread() {
  int16_t offsets[kFrameSeconds];
  const int count = CollectCleanOffsets(offsets);
  if (count < kLeastPhaseMarks) {
    return kSpreadUnknown;
  }
  const int16_t phase = FindMedian(offsets, count);
  for (int i = 0; i < count; ++i) {
    offsets[i] = static_cast<int16_t>(std::abs(offsets[i] - phase));
  }
  return static_cast<int16_t>((FindMedian(offsets, count) * kDeviationsToSigma + kTenThousand / 2) /
                              kTenThousand);
}

uint32_t FindMinuteEnd() {
  const uint32_t length = EndsWithLeapSecond() ? kMinuteMs + kSecondMs : kMinuteMs;
  return ReceiverState.MinuteTick + length;
}

// Whether the minute mark may be due or overdue at `now`: the phase lies within half a
// second of the whole seconds, so earlier than this it is neither, and finding the phase,
// which looks at every second, can wait.
bool IsNearMinuteEnd(uint32_t now) {
  return static_cast<int32_t>(now - FindMinuteEnd()) >= -(kHalfSecondMs + kMinuteMarkWindowMs);
}

// A locked frame that went kLapseMinutes without a minute mark after its silent second
// no longer vouches for its phase.
void NoteMissedMinuteMark() {
  ReceiverStateRecord& r = ReceiverState;
  if (r.Locked && ++r.MissedMarks >= kLapseMinutes) {
    r.Locked = false;
  }
}

void CloseMinute(MinuteEnd end, uint32_t mark_tick, FramedMinuteRecord* minute) {
  ReceiverStateRecord& r = ReceiverState;
  *minute = {r.FrameBits, r.MarkSeconds, r.DoubtfulSeconds, mark_tick, end, FindMarkSpread()};
  r.FrameBits = 0;
  r.MarkSeconds = 0;
  r.DoubtfulSeconds = 0;
  r.SecondCounter = 0;
  r.MinuteTick = mark_tick;
  r.FromOpen = false;
}

// Puts the character in the second nearest its tick. A second with two or more keeps the
// clean one over a broken one, then the one nearer the whole second, then the first, and
// its mark is doubtful whichever it keeps: either may be a stray.
void KeepMark(uint8_t value, uint32_t now, FramedCharacterRecord* result) {
  ReceiverStateRecord& r = ReceiverState;
  const int32_t since = static_cast<int32_t>(now - r.MinuteTick);
  result->Fate = kMarkLeftOut;
  if (since < -kHalfSecondMs) {
    return;
  }
  const int32_t second = (since + kHalfSecondMs) / static_cast<int32_t>(kSecondMs);
  // Past the last second the next minute's mark is due; second 0 holds the minute mark:
  // the character that just ended the minute, or one that beats it.
  if (second > FindLastSecond()) {
    return;
  }
  result->Second = static_cast<uint8_t>(second);
  if (second == 0 && (r.MarkSeconds & 1) == 0 && !result->Closed) {
    return;
  }
  const int16_t offset = static_cast<int16_t>(since - second * static_cast<int32_t>(kSecondMs));
  const uint64_t bit = uint64_t{1} << second;
  if ((r.MarkSeconds & bit) != 0) {
    r.DoubtfulSeconds |= bit;
    const bool kept_broken = ClassifyCharacter(r.MarkValues[second]) == kBrokenMark;
    const bool broken = ClassifyCharacter(value) == kBrokenMark;
    const bool better =
        kept_broken != broken ? kept_broken : std::abs(offset) < std::abs(r.MarkOffsets[second]);
    if (!better) {
      return;
    }
    result->Fate = kMarkReplacing;
  } else {
    result->Fate = kMarkKept;
    r.MarkSeconds |= bit;
    if (IsDoubtfulMark(value)) {
      r.DoubtfulSeconds |= bit;
    }
  }
  r.MarkValues[second] = value;
  r.MarkOffsets[second] = offset;
  if (second > 0) {
    r.FrameBits = IsLongMark(value) ? r.FrameBits | bit : r.FrameBits & ~bit;
  }
  r.SecondCounter = static_cast<uint8_t>(second);
  r.LastByteTick = now;
}

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
  const uint32_t last_byte_tick = ReceiverState.LastByteTick;
  const uint32_t last_mark_tick = ReceiverState.LastMarkTick;
  const uint32_t minute_tick = ReceiverState.MinuteTick;
  ReceiverState = {};
  ReceiverState.LastByteTick = last_byte_tick;
  ReceiverState.LastMarkTick = last_mark_tick;
  ReceiverState.MinuteTick = minute_tick;
}

void OpenFrame(uint32_t now) {
  ResetFrame();
  ReceiverState.LastByteTick = now;
  ReceiverState.LastMarkTick = now;
  ReceiverState.MinuteTick = now;
  ReceiverState.FromOpen = true;
}

uint32_t FindMinuteMarkDue() {
  return FindMinuteEnd() + static_cast<uint32_t>(FindMarkPhase());
}

FramedCharacterRecord FrameCharacter(uint8_t value, uint32_t now) {
  ReceiverStateRecord& r = ReceiverState;
  FramedCharacterRecord result = {};
  // Modulo 2^32, then signed, so that a wrap of the tick counter is a small step.
  const int32_t gap = static_cast<int32_t>(now - r.LastByteTick);
  // The minute mark is always a 0, and a character after a silent second may be one. A
  // second is silent when no mark's character came in it, kept or not: a frame that drifted
  // seconds away while the signal was gone leaves out the marks past its last second, and
  // they are not silence.
  const bool after_silence =
      IsAfterSilentSecond(static_cast<int32_t>(now - r.LastMarkTick)) && !IsLongMark(value);
  r.LastMarkTick = now;
  if (r.FromOpen && !after_silence) {
    // The open counts as a minute mark, so a first mark within kMinuteGapMs is second 1. The
    // start-up may hold the first poll back by a second or so, which would put the marks
    // after it in the wrong seconds; until a minute ends, each mark is as many seconds after
    // the one before as their gap rounds to, one at least, and sets the frame's phase.
    const int64_t seconds_on = (int64_t{gap} + kHalfSecondMs) / kSecondMs;
    const int64_t second = r.SecondCounter + (seconds_on < 1 ? 1 : seconds_on);
    r.MinuteTick = now - static_cast<uint32_t>(second) * kSecondMs;
  }
  const bool near_end = IsNearMinuteEnd(now);
  const uint32_t due = near_end ? FindMinuteMarkDue() : 0;
  const bool when_due = near_end && IsWithin(static_cast<int32_t>(now - due), kMinuteMarkWindowMs);
  // A frame not locked (after a start, or a lapse) may stand on a lost mark's silence; only
  // a mark after its own silent second where the minute before predicted it locks it. A
  // locked frame takes whatever comes when the mark is due: a stray there sets the phase
  // no more than a mark would, which the minute's marks set.
  if (when_due && (r.Locked || after_silence)) {
    // Only a mark after its silent second vouches for the frame; a candidate elsewhere stands
    // until then, so that a frame locked on a lost mark's silence can move.
    if (after_silence) {
      r.Locked = true;
      r.MissedMarks = 0;
      r.HasCandidate = false;
    } else {
      NoteMissedMinuteMark();
    }
    CloseMinute(kMarkCame, due, &result.Minute);
    result.Closed = true;
  } else if (after_silence && !r.Locked) {
    CloseMinute(kMarkElsewhere, now, &result.Minute);
    result.Closed = true;
  } else if (after_silence) {
    // A lost mark inside the minute leaves a silent second too, so a locked frame moves only
    // for two such marks a minute apart, with its own minute mark missed in between.
    const int32_t from_predicted = static_cast<int32_t>(now - (r.CandidateTick + kMinuteMs));
    if (r.HasCandidate && IsWithin(from_predicted, kMinuteMarkWindowMs) && r.MissedMarks > 0) {
      r.HasCandidate = false;
      r.MissedMarks = 0;
      CloseMinute(kMarkElsewhere, now, &result.Minute);
      result.Closed = true;
    } else {
      r.HasCandidate = true;
      r.CandidateTick = now;
    }
  }
  KeepMark(value, now, &result);
  return result;
}

bool CloseOverdueMinute(uint32_t now, FramedMinuteRecord* minute) {
  if (!IsNearMinuteEnd(now)) {
    return false;
  }
  const uint32_t due = FindMinuteMarkDue();
  if (static_cast<int32_t>(now - due) <= kMinuteMarkWindowMs) {
    return false;
  }
  NoteMissedMinuteMark();
  CloseMinute(kMarkLost, due, minute);
  return true;
}
