// The monitor's session: characters queued as they arrive, each with its own stamp and the
// PC clock's reading then, and handled at each 250 ms poll as horax's poll does, the lines
// that tell what became of them, the status for positioning an antenna, the summary, and the
// recording. Only stdio, no OS calls.
#pragma once

#include <cstdint>
#include <cstdio>

#include "character_view.h"
#include "common/clock_steering.h"
#include "decoder/reception.h"

// The status counts spikes and broken marks over this many seconds, and decoded minutes over
// this many minutes.
constexpr int kStatusSeconds = 60;
constexpr int kStatusMinutes = 10;
constexpr int kCharacterValues = 256;
// The first line of a recording. Recordings before this one have "ms value" lines, whose
// characters a replay hands on with their poll's tick, as the monitor then did.
constexpr char kRecordingHeader[] =
    "# dcf77mon recording, ms value clock: one character a line: the milliseconds since the "
    "start at which it arrived, its value in decimal, and the PC clock then, UTC in ms since "
    "1970\n";
// A character's PC clock reading, where the recording has none.
constexpr int64_t kNoClock = -1;
// The port's going and coming back, with their texts: a recording notes each as
// "# ms: PORT <text>", so that a replay starts reception afresh where the session did.
enum PortEvent { kPortWentAway, kPortIsBack };
constexpr const char* kPortEventTexts[] = {"went away; waiting for it to return",
                                           "is back; reception starts afresh"};

struct MonitorRecord {
  FILE* Out;        // the lines
  FILE* Recording;  // every character as "ms value", or nullptr
  bool LiveStatus;  // keep the status as the last line on a terminal, redrawn each poll
  int StatusShown;  // length of the live status line on the screen now, 0 for none
  char StatusText[kViewLineSize];  // what it says
  uint32_t LastPollMs;             // the tick of the poll before
  int Queued;
  uint32_t QueuedMs[kMostCharactersPerPoll];  // when each arrived
  uint8_t QueuedValues[kMostCharactersPerPoll];
  int64_t QueuedClocks[kMostCharactersPerPoll];  // the PC clock then, or kNoClock
  bool StampedAtPoll;      // a recording of old: each character is handed on with its poll's tick
  bool InsideFirstMinute;  // since the start, or the port's return: no minute closed yet
  // The summary's counts.
  uint32_t Characters[kCharacterValues];
  const char* Readings[kCharacterValues];  // what horax read each value as
  uint32_t MinutesSeen;                    // closed minutes, the partial ones left out
  uint32_t PartialMinutes;
  uint32_t Verdicts[kMinuteConfirmed + 1];
  uint32_t FailedChecks[kYearOutOfRange + 1];
  uint32_t MarksLost;  // minutes whose closing mark did not come when due
  uint32_t LeftOut;    // characters whose second kept another
  uint32_t Replacing;  // characters that took their second from another
  // The status's: spikes and broken marks by the second they came in, and the last minutes.
  uint32_t SlotSeconds[kStatusSeconds];
  uint16_t SlotSpikes[kStatusSeconds];
  uint16_t SlotBroken[kStatusSeconds];
  bool RecentDecoded[kStatusMinutes];
  uint32_t RecentCount;  // minutes noted in RecentDecoded, up to kStatusMinutes
  uint32_t RecentNext;
  // What horax's steering would learn of the PC clock from its offsets; the monitor only
  // watches.
  SteeringRecord Steering;
  uint32_t Offsets;  // offsets it took
};

// Starts a session at tick 0: clears `monitor` and the decoder's records, as the open of
// the port does, and writes the recording's first line. `out` and `recording` stay the
// caller's to close. False when the recording cannot be written.
bool StartMonitor(MonitorRecord* monitor, FILE* out, FILE* recording, bool live_status);

// The port came back at tick `now` (ms): reception starts again as horax's does after a
// reopen: the frame afresh, the minute held for confirmation dropped.
void RestartMonitor(MonitorRecord* monitor, uint32_t now);

// What the port's going or coming back at tick `now` (ms) does to reception, as horax's:
// gone, nothing of the minute before confirms one after the return; back, RestartMonitor.
// The recording, if any, notes it with `port`'s name.
void NotePortEvent(MonitorRecord* monitor, PortEvent event, const char* port, uint32_t now);

// True while another character fits before the next poll.
bool HasRoomForCharacter(const MonitorRecord& monitor);

// Queues a character that arrived at `arrival_ms`, when the PC clock read `clock_ms` (UTC, ms
// since 1970, or kNoClock), for the next poll, and records it. False when the queue is full
// (nothing is queued) or the recording cannot be written.
bool NoteArrival(MonitorRecord* monitor, uint32_t arrival_ms, uint8_t value, int64_t clock_ms);

// The poll at tick `now` (ms; the one after LastPollMs), as horax's poll does it
// (RunReceptionPoll): hands every queued character that arrived by then to HandleCharacter
// with its own tick, then ends an overdue minute; writes a line for each character, a line
// for each minute that ended, with the PC clock's offset from DCF77 where its closing mark
// came, and then the status. False when the output or the recording cannot be written.
bool RunPoll(MonitorRecord* monitor, uint32_t now);

// The status at tick `now` into `line` (kViewLineSize chars): marks in this minute, spikes
// and broken marks in the last kStatusSeconds, minutes decoded of the last kStatusMinutes.
// Returns the length.
int FormatStatus(const MonitorRecord& monitor, uint32_t now, char* line);

// Writes `text` as a line to `where` (standard error, say), clearing the live status first.
void PrintNotice(MonitorRecord* monitor, FILE* where, const char* text);

// What the session's characters and minutes say of the wiring and the port, when they say
// one thing: none came; every mark read 0x00; minutes framed anew again and again. nullptr
// otherwise.
const char* DiagnoseReception(const MonitorRecord& monitor);

// Writes the summary at tick `now`: minutes seen, decoded, confirmed, the reasons of the
// failed minutes with their counts, the minute marks lost, the characters left out or
// replacing another, the PC clock's rate against DCF77, a histogram of the character values
// and the diagnosis, if any.
void PrintSummary(MonitorRecord* monitor, uint32_t now);
