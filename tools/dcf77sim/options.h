// The command line: what each option sets, the checks between them, and the help text.
// No OS calls; whether an output exists on this platform is the output's own check.
#pragma once

#include <cstddef>
#include <cstdint>

#include "civil_time.h"

// Exit status for a bad option, date, zone or device.
constexpr int kExitBadInput = 2;
// --from-second was not given.
constexpr int kNoFromSecond = -1;
// The largest mark width or jitter (ms) the options take: a whole second.
constexpr double kLargestMarkMs = 1000;
// The most interference spikes a minute --spikes takes: two a second.
constexpr double kLargestSpikesPerMinute = 120;
// The noisiest room --room takes: four times the quarter hour near a PC.
constexpr double kLargestRoomNoise = 4;
// The furthest --ahead reaches: a day.
constexpr int kLargestAheadMinutes = 1440;
// Room for any message ParseOptions writes.
constexpr size_t kMessageSize = 256;

struct OptionsRecord {
  const char* PtyLink;           // --pty LINK, or nullptr; points into argv, as all names here
  const char* DevicePath;        // --device PATH, or nullptr
  bool Trace;                    // --stdout
  const char* RecordPath;        // --record FILE, or nullptr
  bool Fast;                     // --fast
  const char* ReplayPulsesPath;  // --replay-pulses FILE, or nullptr
  const char* ReplayPath;        // --replay FILE, or nullptr
  bool Fifo;                     // --fifo
  bool HasStart;                 // --start given
  CivilTimeRecord Start;         // its wall-clock time, in the chosen zone
  bool StartHasSeconds;          // it gave ":SS"
  bool OnOpen;                   // --on-open
  int FromSecond;                // --from-second S, 0 .. 59, or kNoFromSecond
  int64_t Minutes;               // --minutes N; 0 runs until stopped
  bool HasAhead;                 // --ahead given
  int AheadMinutes;              // its value, 0 .. kLargestAheadMinutes
  bool Leap;                     // --leap
  bool Weather;                  // --weather
  double DropChance;             // --drop P and the other faults: 0 .. 1
  double SpuriousChance;
  double FlipChance;
  double GarbleChance;
  double LongMarkMs;   // --long-mark MS, --short-mark MS, --jitter MS; 0 .. kLargestMarkMs
  double ShortMarkMs;  // (defaults: the transmitter's widths and no jitter)
  double JitterMs;
  bool HasSpikes;          // --spikes given
  double SpikesPerMinute;  // its value, 0 .. kLargestSpikesPerMinute
  bool HasRoom;            // --room given
  double RoomNoise;        // its value, 0 .. kLargestRoomNoise
  bool HasSeed;            // --seed given
  uint64_t Seed;
  const char* Zone;          // --tz NAME, or nullptr for the built-in EU rule; points into argv
  bool Quiet;                // --quiet
  bool Help;                 // --help: nothing else was checked
  const char* StreamOption;  // the first option given that shapes the marks, or nullptr
};

// Reads argv into `options`. False with a one-line message (without the program's name)
// in `message`, which holds kMessageSize chars, on an unknown option, a bad value or
// options that do not go together.
bool ParseOptions(int argc, char** argv, OptionsRecord* options, char* message);

// The --help text, ending in a newline.
const char* GetHelpText();
