// Pulse framing: places the characters of the second marks in the seconds of a minute by
// the time since the minute's mark, and finds where each minute ends.
#pragma once

#include <cstdint>

constexpr uint32_t kSecondMs = 1000;
constexpr uint32_t kMinuteMs = 60000;
// A character belongs to the whole second nearest its tick: [s - 500 ms, s + 500 ms).
constexpr int32_t kHalfSecondMs = 500;
// One silent second between two marks: a gap of 2 s, give or take half a second. The
// characters of the marks either side are each handled up to a poll period (250 ms) after
// they arrive, so one second's gap never measures more than 1,250 ms, and three never less
// than 2,750 ms.
constexpr int32_t kMinuteGapMs = 1500;
constexpr int32_t kLongestMinuteGapMs = 2500;
// The minute mark is looked for this far either side of where it is due: half a second,
// beyond which a character is the mark of second 59 or 1, less half the poll period by
// which a character's tick wanders about its mean.
constexpr int32_t kMinuteMarkWindowMs = 375;
// A frame that has seen no minute mark after its silent second for this many minutes no
// longer trusts its phase. The PC's tick drifts about 0.4 s an hour at 100 ppm, well
// inside the window over that time.
constexpr uint8_t kLapseMinutes = 10;
// The telegram's seconds: a minute decodes when each of 1 to 58 holds a mark.
constexpr uint8_t kLastTelegramSecond = 58;
constexpr uint64_t kTelegramSeconds =
    ((uint64_t{1} << (kLastTelegramSecond + 1)) - 1) & ~uint64_t{1};

// What a character tells of the line. The 50-baud UART samples data bit i 30 + 20 i ms
// after the line falls and reads 0 for each sample taken while it is still low, so a clean
// pulse of n samples reads (0xFF << n) & 0xFF.
enum CharacterClass : uint8_t {
  kShortMark,   // clean 0xFC to 0xC0: low for 51 to 150 ms, a 0 bit
  kLongMark,    // clean 0x80 or 0x00: low for 151 ms or more, a 1 bit
  kBrokenMark,  // any other value: a mark cut by a gap, or one whose start a spike took
  kSpike,       // 0xFF or 0xFE: low for under 50 ms, which no receiver sends as a mark
};

// What became of a character in the frame.
enum CharacterFate : uint8_t {
  kNotAMark,       // a spike: nothing changes
  kMarkKept,       // the first character of its second
  kMarkReplacing,  // took its second from the character kept there, which it beat
  kMarkLeftOut,    // its second holds a better one, or is no second of the minute: nothing
                   // changes, LastByteTick included
};

// How a minute ended.
enum MinuteEnd : uint8_t {
  kMarkCame,       // a character came where the minute mark was due
  kMarkLost,       // none came: the next minute is framed from where the mark was due
  kMarkElsewhere,  // a minute mark came elsewhere, and the frame moved to it
};

// A minute's marks spread too little to tell below this (ms).
constexpr int16_t kSpreadUnknown = -1;

struct FramedMinuteRecord {
  uint64_t Bits;      // FrameBits of the minute
  uint64_t Marks;     // MarkSeconds of the minute
  uint64_t Doubtful;  // DoubtfulSeconds of the minute
  uint32_t MarkTick;  // the tick of its closing mark as framed, or where it was due
  MinuteEnd End;
  int16_t SpreadMs;  // how far its clean marks lie about their phase, as a standard
                     // deviation: the module's jitter; kSpreadUnknown with too few of them
};

struct FramedCharacterRecord {
  CharacterFate Fate;
  uint8_t Second;             // the second it fell in, 0 for a minute mark
  bool Closed;                // it ended a minute, before it was framed in the next
  FramedMinuteRecord Minute;  // with Closed: that minute
};

CharacterClass ClassifyCharacter(uint8_t value);

// The data bits of `value` that read low (0 to 8): for a clean pulse, the samples taken
// before the line rose; for a broken one, how long in all the line was low while sampled.
int CountLowSamples(uint8_t value);

// The bit a mark's character stands for: 1 when at least 7 of its 8 data bits read low.
// The cut lies at the midpoint of the two marks, 151 ms (0x80) for a clean character;
// for a broken one the count of low samples still measures how long the line was low,
// where a limit on the value would not (0x7F is a short mark's tail, 0x02 a long mark
// with a gap).
bool IsLongMark(uint8_t value);

// A mark's character that lies within one sample of the cut (0xC0: 131-150 ms, 0x80:
// 151-170 ms) or is broken: jitter or interference may have turned its bit.
bool IsDoubtfulMark(uint8_t value);

// Starts afresh: nothing framed, the frame not locked. LastByteTick, LastMarkTick and
// MinuteTick stay.
void ResetFrame();

// The port opened at tick `now` (ms): the open counts as a minute mark, so a first mark
// within kMinuteGapMs is second 1.
void OpenFrame(uint32_t now);

// The tick (ms) at which the mark that ends the current minute is due: 60 s after its own
// mark, 61 s when it announced a leap second and second 59 brought its mark, moved to the
// phase that the minute's own marks show.
uint32_t FindMinuteMarkDue();

// Frames a mark's character (not a spike) handled at tick `now` (ms). When it ends the
// minute, the minute comes back in the result and the character is the next one's mark.
FramedCharacterRecord FrameCharacter(uint8_t value, uint32_t now);

// Ends the minute when no character came within kMinuteMarkWindowMs of where its mark was
// due, by tick `now`; true when it did, with the minute in *minute.
bool CloseOverdueMinute(uint32_t now, FramedMinuteRecord* minute);
