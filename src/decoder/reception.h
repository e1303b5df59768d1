// Reception: what the program does with each character the receiver port delivers, and
// what came of it, for the program and for anyone watching the signal.
#pragma once

#include <cstdint>

#include "common/time_fields.h"
#include "decoder/framing.h"
#include "decoder/telegram.h"

// The program looks for characters at the port this often (ms).
constexpr unsigned kPollPeriodMs = 250;

// How a minute ended, when a character closed one.
enum MinuteVerdict : uint8_t {
  kNoMinute,          // the character closed no minute
  kTooFewMarks,       // the gap came after fewer than 58 marks
  kTooManyMarks,      // the gap came after 59 marks
  kLeapSecondMinute,  // 59 marks, after a minute that announced a leap second
  kNoMinuteGap,       // a 60th mark came without a gap, and was taken as the minute mark
  kTelegramFailed,    // 58 marks, but a check failed: see Check
  kMinuteHeld,        // decoded, but the minute before does not confirm it: clock left alone
  kMinuteConfirmed,   // decoded and confirmed: the clock was asked to take it
};

struct CharacterResultRecord {
  CharacterClass Class;
  bool Bit;                 // the bit a mark stands for; false for a spike
  bool Doubtful;            // a mark near the cut, or broken: its bit may have turned
  uint8_t Second;           // SecondCounter afterwards: the mark's second, 0 at a minute mark
  MinuteVerdict Verdict;    // what became of the minute this character closed
  uint8_t Marks;            // marks the closed minute held
  TelegramCheck Check;      // with kTelegramFailed: the first check that failed
  TimeFieldsRecord Fields;  // with kMinuteHeld and kMinuteConfirmed: the minute as decoded
};

// Handles a character read from the port at tick `now` (ms). A spike (0xFE, 0xFF) is no
// mark and changes nothing. Any other character is framed; when it closes a minute that
// decodes, the clock is set from it if the minute before confirms it; and `now` becomes
// LastByteTick.
CharacterResultRecord HandleCharacter(uint8_t value, uint32_t now);

// Starts reception afresh, as when the port has been away: clears the frame and drops the
// held minute, so that nothing received before confirms a minute received after. Leaves
// LastByteTick alone; the open notes its own.
void RestartReception();
