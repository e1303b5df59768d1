// Reception: what the program does with each character the receiver port delivers and at
// each poll, and what came of it, for the program and for anyone watching the signal.
#pragma once

#include <cstdint>

#include "common/time_fields.h"
#include "decoder/framing.h"
#include "decoder/telegram.h"
#include "port/arrival_queue.h"

// The program looks for characters at the port this often (ms).
constexpr unsigned kPollPeriodMs = 250;
// At 50 baud 8N1 at most 5 characters arrive in a second; a port left at another rate may
// deliver thousands, and the message loop must still get its turn: a poll hands on at most
// this many, and the rest wait for the next.
constexpr int kMostCharactersPerPoll = 64;

// What became of a minute that ended.
enum MinuteVerdict : uint8_t {
  kNoMinute,         // no minute ended
  kMarksMissing,     // some of seconds 1 to 58 held no mark: see Missing
  kFrameMoved,       // a minute mark came elsewhere: the minute was framed on a wrong one
  kTelegramFailed,   // every second held a mark, but a check failed: see Check
  kMinuteHeld,       // decoded, but unconfirmed, or its own mark was lost: clock left alone
  kMinuteConfirmed,  // decoded and confirmed: the clock was asked to take it
};

struct MinuteResultRecord {
  MinuteVerdict Verdict;
  bool MarkLost;            // no character came where the mark that ended it was due
  uint8_t Marks;            // how many of seconds 1 to 58 held a mark
  uint32_t MarkTick;        // the tick of its closing mark as framed, or where it was due
  int16_t SpreadMs;         // the module's jitter in it, or kSpreadUnknown
  uint64_t Missing;         // bit n: second n (1 to 58) held none
  TelegramCheck Check;      // with kTelegramFailed: the first check that failed
  TimeFieldsRecord Fields;  // with kMinuteHeld and kMinuteConfirmed: the minute as decoded,
                            // local time in Zone
  TelegramZone Zone;        // with kMinuteHeld and kMinuteConfirmed: as its bits give it, or
                            // as the minutes that confirmed it did
  bool LeapAhead;           // with kMinuteHeld and kMinuteConfirmed: it announced a leap second
};

struct CharacterResultRecord {
  CharacterClass Class;
  bool Bit;                   // the bit a mark stands for; false for a spike
  bool Doubtful;              // a mark near the cut, or broken: its bit may have turned
  CharacterFate Fate;         // kept in its second, replacing the one there, or left out
  uint8_t Second;             // the second it fell in, 0 for a minute mark
  MinuteResultRecord Minute;  // a minute that ended as it came, before it was framed
};

// Handles a character read from the port at tick `now` (ms). A spike (0xFE, 0xFF) is no
// mark and changes nothing. Any other character is framed in the second its tick falls in;
// when a minute ends, it is decoded and the clock set from it if minutes decoded before
// confirm it.
CharacterResultRecord HandleCharacter(uint8_t value, uint32_t now);

// Ends the minute whose mark did not come when due by tick `now`, and decodes it, but sets
// nothing from it. Verdict kNoMinute when none ended.
MinuteResultRecord HandlePoll(uint32_t now);

// Takes into *arrival the oldest character received at or before tick `now`; false when
// there is none.
typedef bool (*TakeArrivalFunction)(uint32_t now, ArrivalRecord* arrival);

struct PollResultRecord {
  int Count;  // characters handled
  ArrivalRecord Arrivals[kMostCharactersPerPoll];
  CharacterResultRecord Characters[kMostCharactersPerPoll];
  MinuteResultRecord Overdue;  // a minute HandlePoll ended after them
};

// One poll at tick `now`: hands HandleCharacter each character `take` gives, in order and
// each with the tick it arrived at, up to kMostCharactersPerPoll, then calls HandlePoll(now).
// So a minute mark that waited through a poll held back still ends its minute.
void RunReceptionPoll(TakeArrivalFunction take, uint32_t now, PollResultRecord* result);

// Starts reception afresh, as when the port has been away: clears the frame and drops the
// held minutes, so that nothing received before confirms a minute received after. Leaves
// LastByteTick alone; the open notes its own.
void RestartReception();
