// The second-by-second stream of marks: minute after minute of telegrams, the faults laid
// on them, and the trace lines that show what went out. No OS calls.
#pragma once

#include <cstddef>
#include <cstdint>

#include "civil_time.h"
#include "telegram_encoder.h"
#include "uart_model.h"

// A spurious character goes out this long after the mark's start (ms, from .. below to),
// so that on a real 50-baud line it neither overlaps the mark's character nor the next one.
constexpr int kExtraDelayFromMs = 250;
constexpr int kExtraDelayToMs = 750;

// Room for one trace line with its newline and terminator.
constexpr size_t kTraceLineSize = 48;

// Interference spikes: the module's output drops (or, inside a mark, rises) this long (ms,
// from .. to), at random moments; at most this many are drawn for one second.
constexpr double kSpikeShortestMs = 5;
constexpr double kSpikeLongestMs = 45;
constexpr int kMaxSpikesPerSecond = 16;
// No mark lasts into the next second's.
constexpr double kLongestMarkMs = 999;
// Interference one second holds: the spikes, and a room's pulses in what is left.
constexpr int kMaxPulsesPerSecond = 24;

struct StreamSettingsRecord {
  LocalTimeFunction Convert;  // the zone
  int64_t LeapMinute;         // POSIX start of the minute with a leap second, or kNoLeapMinute
  bool Weather;               // random bits 1 .. 14 instead of zeros
  double DropChance;          // each: probability per second, 0 .. 1
  double SpuriousChance;
  double FlipChance;
  double GarbleChance;
  double LongMarkMs;  // width of a 1 bit's mark, and of a 0 bit's
  double ShortMarkMs;
  double JitterMs;         // standard deviation of the Gaussian change to each mark's width
  double SpikesPerMinute;  // mean number of interference spikes a minute
  double RoomNoise;        // 0 off, 1 = a quarter hour near a PC, 2 twice as much of it
  uint64_t Seed;
};

struct SpikeRecord {
  double OffsetMs;  // from the second's start
  double WidthMs;
};

// One second of the stream.
struct SecondRecord {
  CivilTimeRecord Local;  // wall-clock time of the second; Second is 60 in a leap second
  int Second;             // 0 .. 60
  bool HasMark;           // false in the silent second
  bool Bit;               // the telegram's bit for this second, when HasMark
  bool Sent;              // a mark goes out (false when silent, dropped, or under 10 ms)
  double WidthMs;         // the mark's width, jitter and flip included, when Sent
  uint8_t Value;          // its character, as a UART reads the mark alone, or a garbled one
  bool Garbled;           // Value is a random one
  bool HasExtra;          // a spurious character follows within the second
  uint8_t ExtraValue;
  int ExtraDelayMs;  // when it goes out, after the mark's start
  int SpikeCount;    // interference within the second, the room's too, by time
  SpikeRecord Spikes[kMaxPulsesPerSecond];
};

struct StreamRecord {
  StreamSettingsRecord Settings;
  MinutePlanRecord Minute;  // the minute the next second belongs to
  int NextSecond;           // 0 .. Minute.SecondCount - 1
  uint64_t FaultState;
  uint64_t WeatherState;
  uint64_t JitterState;
  uint64_t SpikeState;
  uint64_t RoomState;
  bool RoomLoud;  // the room's noise is in a loud spell
};

// Sets up `stream` so that its first second is the one at `first_mark_posix`. False when
// the zone cannot tell the time.
bool StartStream(const StreamSettingsRecord& settings, int64_t first_mark_posix,
                 StreamRecord* stream);

// Fills `second` with the stream's next second and moves on. False when the zone cannot
// tell the time of a new minute; `second` is then unchanged.
bool AdvanceStream(StreamRecord* stream, SecondRecord* second);

// Puts the mark and the spikes of `second`, which starts at `start_ms` on the line's clock,
// on the line that `uart` receives. False when the UART cannot hold them.
bool PutSecondOnLine(const SecondRecord& second, double start_ms, UartRecord* uart);

// "YYYY-MM-DD HH:MM:SS SS BIT CHAR\n" for the mark of `second`: CHAR is `value` when
// `has_character`, else "-" (and BIT "-" in the silent second). Returns the length
// written; `line` holds at least kTraceLineSize chars.
int FormatTraceLine(const SecondRecord& second, bool has_character, uint8_t value, char* line);
// The line of a character that is no mark's own, which started within `second`: "--" for
// the second and "-" for the bit.
int FormatExtraTraceLine(const SecondRecord& second, uint8_t value, char* line);
// The line of a character played from a file: "MS 0xXX\n", ms from the start.
int FormatPlayedTraceLine(double at_ms, uint8_t value, char* line);
