#include "mark_stream.h"

#include <cmath>
#include <cstdio>
#include <iterator>

#include "random_source.h"

namespace {

// Weather bits come from their own generator, so that switching faults on or off leaves
// the telegrams as they were for the same seed; so does the jitter, so that a seed gives
// the weather and faults it gave before the widths had any; so do the spikes and the room,
// so that switching them on leaves the rest of a seed's run as it was.
constexpr uint64_t kWeatherSeedSalt = 0x5745415448455221u;
constexpr uint64_t kJitterSeedSalt = 0x4A49545445522121u;
constexpr uint64_t kSpikeSeedSalt = 0x5350494B45532121u;
constexpr uint64_t kRoomSeedSalt = 0x524F4F4D4E4F4953u;
constexpr double kMsPerSecond = 1000;
constexpr uint16_t kWeatherMask = (1u << kWeatherBitCount) - 1;
constexpr uint64_t kByteMask = 0xFF;

// A room with a PC in it, in the counts of a quarter hour a module there delivered, so
// that a noise level of 1 repeats that quarter hour. Its marks cut short and the first
// pieces of those cut in two are its 45 pulses under 60 ms at a mark's start. The marks
// lost outright are what its 70 seconds without a mark's character leave once the pulses
// that took a mark's edge are counted (in the loud spells below, many of those fall on a
// second that has lost its mark anyway); worn 1 marks make most of its 29 characters 0x80
// and 0xC0.
constexpr double kRoomSeconds = 900;
constexpr double kRoomMarks = 885;
constexpr double kRoomLostMarks = 20;
constexpr double kRoomShortMarks = 28;
constexpr double kRoomShortLongestMs = 60;
constexpr double kRoomCutMarks = 31;
constexpr double kRoomGapShortestMs = 10;
constexpr double kRoomGapLongestMs = 30;
constexpr double kRoomWornChance = 1.0 / 13;  // of the 1 marks
constexpr double kRoomWornShortestMs = 150;
constexpr double kRoomWornLongestMs = 170;

struct RoomBandRecord {
  double FromMs;
  double ToMs;
  int Count;
};

// The widths of the pulses between the marks (ms, from .. to), and how many of those of
// the quarter hour fell in each band; the tails of the marks cut in two are among them.
constexpr RoomBandRecord kRoomBands[] = {
    {0, 20, 83},   {20, 40, 201},  {40, 60, 59},  {60, 80, 24},
    {80, 100, 10}, {100, 160, 18}, {160, 250, 5},
};

constexpr int CountRoomPulses() {
  int total = 0;
  for (const RoomBandRecord& band : kRoomBands) {
    total += band.Count;
  }
  return total;
}

constexpr double kRoomPulseCount = CountRoomPulses();

// The room's noise comes in spells: its sources (a monitor, a power supply) switch on and
// off, so quiet stretches lie between loud ones, each spell ending after any second with
// the chance 1 / its mean length. The quarter hour shows no lengths or levels, only what
// they make of it: a quiet spell's noise at a hundredth of a loud one's, and both spells
// two minutes long, leave about a third of the minutes with a mark's character in each of
// seconds 1 .. 58, as 5 of its 15 minutes decode framed by time.
constexpr double kRoomQuietSeconds = 120;
constexpr double kRoomLoudSeconds = 120;
constexpr double kRoomQuietLevel = 0.01;  // of a loud spell's

// The share of the time a room at `noise` is loud: its loud spells begin `noise` times as
// often as at 1. Louder spells alone would hardly change how many minutes come through
// whole, as a quiet spell stays nearly clean at any noise.
double ShareRoomLoud(double noise) {
  const double begin_chance = noise / kRoomQuietSeconds;
  return begin_chance / (begin_chance + 1 / kRoomLoudSeconds);
}

// The level of the room's noise in the next second: its spell goes on, or the other one
// begins. Both spells' levels follow from `noise`, so that over time they average to it:
// a room at 1 keeps the quarter hour's counts, and one at 2 has twice its noise.
double AdvanceRoomSpell(StreamRecord* stream) {
  const double noise = stream->Settings.RoomNoise;
  const double end_chance = stream->RoomLoud ? 1 / kRoomLoudSeconds : noise / kRoomQuietSeconds;
  if (DrawChance(&stream->RoomState, end_chance)) {
    stream->RoomLoud = !stream->RoomLoud;
  }
  const double loud_share = ShareRoomLoud(noise);
  const double loud_level = noise / (loud_share + (1 - loud_share) * kRoomQuietLevel);
  return stream->RoomLoud ? loud_level : kRoomQuietLevel * loud_level;
}

bool PlanStreamMinute(StreamRecord* stream, int64_t start_posix) {
  uint16_t weather = 0;
  if (stream->Settings.Weather) {
    weather = static_cast<uint16_t>(DrawRandom(&stream->WeatherState) & kWeatherMask);
  }
  return PlanMinute(start_posix, stream->Settings.Convert, stream->Settings.LeapMinute, weather,
                    &stream->Minute);
}

// A Poisson number with mean `mean` (Knuth's method), but no more than `most`.
int DrawPoisson(uint64_t* state, double mean, int most) {
  const double limit = std::exp(-mean);
  int count = 0;
  for (double product = DrawUnit(state); product > limit && count < most;
       product *= DrawUnit(state)) {
    ++count;
  }
  return count;
}

// Puts `pulse` among the interference of `second`, by time. False when it holds no more.
bool AddInterference(SecondRecord* second, const SpikeRecord& pulse) {
  if (second->SpikeCount >= kMaxPulsesPerSecond) {
    return false;
  }
  int at = second->SpikeCount++;
  for (; at > 0 && second->Spikes[at - 1].OffsetMs > pulse.OffsetMs; --at) {
    second->Spikes[at] = second->Spikes[at - 1];
  }
  second->Spikes[at] = pulse;
  return true;
}

// Interference falls at random: a Poisson number of spikes a second, each at a uniform
// moment with a uniform width.
void DrawSpikes(uint64_t* state, double spikes_per_minute, SecondRecord* second) {
  const int count = DrawPoisson(state, spikes_per_minute / kSecondsPerMinute, kMaxSpikesPerSecond);
  for (int i = 0; i < count; ++i) {
    AddInterference(second,
                    {DrawUnit(state) * kMsPerSecond,
                     kSpikeShortestMs + DrawUnit(state) * (kSpikeLongestMs - kSpikeShortestMs)});
  }
}

// The width the room leaves a mark of `width_ms` (a 1 mark's when `long_mark`), and the
// gap it cuts into it (of no width when none). Every second takes the same draws, with a
// mark or without, so that a drop or a flip does not move the room's pulses.
double ShapeRoomMark(uint64_t* state, double rate, bool long_mark, double width_ms,
                     SpikeRecord* gap) {
  const bool lost = DrawChance(state, rate * kRoomLostMarks / kRoomMarks);
  const bool cut_short = DrawChance(state, rate * kRoomShortMarks / kRoomMarks);
  const double short_ms = DrawUnit(state) * kRoomShortLongestMs;
  const bool worn = DrawChance(state, rate * kRoomWornChance);
  const double worn_ms =
      kRoomWornShortestMs + DrawUnit(state) * (kRoomWornLongestMs - kRoomWornShortestMs);
  const bool cut = DrawChance(state, rate * kRoomCutMarks / kRoomMarks);
  const double gap_place = DrawUnit(state);
  const double gap_ms =
      kRoomGapShortestMs + DrawUnit(state) * (kRoomGapLongestMs - kRoomGapShortestMs);
  double width = width_ms;
  if (long_mark && worn && worn_ms < width) {
    width = worn_ms;
  }
  if (cut_short && short_ms < width) {
    width = short_ms;
  }
  if (lost) {
    width = 0;
  }
  *gap = {};
  if (cut && width > gap_ms) {
    *gap = {gap_place * (width - gap_ms), gap_ms};
  }
  return width;
}

// The room's pulses between the marks: a Poisson number a second, each at a uniform
// moment from `from_ms` on, in a band of widths drawn by the bands' counts, uniform
// within it. A mark already holds the line low, so the room shows only outside it; the
// tails of the cut marks, counted in the bands, come from their gaps.
void DrawRoomPulses(uint64_t* state, double rate, double from_ms, SecondRecord* second) {
  const double mean = rate * (kRoomPulseCount - kRoomCutMarks) / kRoomSeconds;
  const int count = DrawPoisson(state, mean, kMaxPulsesPerSecond - second->SpikeCount);
  for (int i = 0; i < count; ++i) {
    const double offset = from_ms + DrawUnit(state) * (kMsPerSecond - from_ms);
    int pick = static_cast<int>(DrawUnit(state) * kRoomPulseCount);
    const RoomBandRecord* band = std::begin(kRoomBands);
    for (; pick >= band->Count && band + 1 != std::end(kRoomBands); ++band) {
      pick -= band->Count;
    }
    AddInterference(second, {offset, band->FromMs + DrawUnit(state) * (band->ToMs - band->FromMs)});
  }
}

int FormatTimePrefix(const CivilTimeRecord& local, char* line) {
  return std::snprintf(line, kTraceLineSize, "%04d-%02d-%02d %02d:%02d:%02d", local.Year,
                       local.Month, local.Day, local.Hour, local.Minute, local.Second);
}

}  // namespace

bool StartStream(const StreamSettingsRecord& settings, int64_t first_mark_posix,
                 StreamRecord* stream) {
  StreamRecord started = {};
  started.Settings = settings;
  started.FaultState = settings.Seed;
  started.WeatherState = settings.Seed ^ kWeatherSeedSalt;
  started.JitterState = settings.Seed ^ kJitterSeedSalt;
  started.SpikeState = settings.Seed ^ kSpikeSeedSalt;
  started.RoomState = settings.Seed ^ kRoomSeedSalt;
  // The first spell as any later second finds one.
  started.RoomLoud = DrawChance(&started.RoomState, ShareRoomLoud(settings.RoomNoise));
  const int64_t first_minute = DivideDown(first_mark_posix, kSecondsPerMinute) * kSecondsPerMinute;
  if (!PlanStreamMinute(&started, first_minute)) {
    return false;
  }
  started.NextSecond = static_cast<int>(first_mark_posix - first_minute);
  *stream = started;
  return true;
}

bool AdvanceStream(StreamRecord* stream, SecondRecord* second) {
  if (stream->NextSecond >= stream->Minute.SecondCount) {
    if (!PlanStreamMinute(stream, stream->Minute.StartPosix + kSecondsPerMinute)) {
      return false;
    }
    stream->NextSecond = 0;
  }
  const MinutePlanRecord& minute = stream->Minute;
  const int number = stream->NextSecond++;

  SecondRecord result = {};
  result.Local = minute.Local;
  result.Local.Second = number;
  result.Second = number;
  result.HasMark = number != minute.SecondCount - 1;
  // Beyond bit 58 only the leap second's 0 bit is ever asked for, and Bits holds 0 there.
  result.Bit = result.HasMark && ((minute.Bits >> number) & 1) != 0;

  // Every second takes the same draws, whatever is switched on, so a seed gives the same
  // faults in the same seconds in every run.
  const StreamSettingsRecord& settings = stream->Settings;
  uint64_t* state = &stream->FaultState;
  const bool dropped = DrawChance(state, settings.DropChance);
  const bool flipped = DrawChance(state, settings.FlipChance);
  const bool garbled = DrawChance(state, settings.GarbleChance);
  const uint8_t garble_value = static_cast<uint8_t>(DrawRandom(state) & kByteMask);
  const bool extra = DrawChance(state, settings.SpuriousChance);
  const uint8_t extra_value = static_cast<uint8_t>(DrawRandom(state) & kByteMask);
  const uint64_t delay_span = kExtraDelayToMs - kExtraDelayFromMs;
  const int extra_delay = kExtraDelayFromMs + static_cast<int>(DrawRandom(state) % delay_span);
  const double jitter = settings.JitterMs * DrawGaussian(&stream->JitterState);

  const bool long_mark = flipped ? !result.Bit : result.Bit;
  const double width = (long_mark ? settings.LongMarkMs : settings.ShortMarkMs) + jitter;
  double clipped = width < kLongestMarkMs ? width : kLongestMarkMs;
  SpikeRecord gap = {};
  double room_level = 0;
  if (settings.RoomNoise > 0) {
    room_level = AdvanceRoomSpell(stream);
    clipped = ShapeRoomMark(&stream->RoomState, room_level, long_mark, clipped, &gap);
  }
  if (result.HasMark && !dropped) {
    result.WidthMs = clipped;
    UartCharacterRecord alone = {};
    result.Sent = ReadLonePulse(result.WidthMs, &alone);
    result.Garbled = result.Sent && garbled;
    result.Value = result.Garbled ? garble_value : alone.Value;
  }
  if (settings.SpikesPerMinute > 0) {
    DrawSpikes(&stream->SpikeState, settings.SpikesPerMinute, &result);
  }
  if (settings.RoomNoise > 0) {
    if (result.Sent && gap.WidthMs > 0) {
      AddInterference(&result, gap);
    }
    DrawRoomPulses(&stream->RoomState, room_level, result.Sent ? result.WidthMs : 0, &result);
  }
  result.HasExtra = extra;
  result.ExtraValue = extra_value;
  result.ExtraDelayMs = extra_delay;
  *second = result;
  return true;
}

bool PutSecondOnLine(const SecondRecord& second, double start_ms, UartRecord* uart) {
  if (second.Sent && !AddLinePulse(uart, start_ms, second.WidthMs)) {
    return false;
  }
  for (int i = 0; i < second.SpikeCount; ++i) {
    if (!AddLinePulse(uart, start_ms + second.Spikes[i].OffsetMs, second.Spikes[i].WidthMs)) {
      return false;
    }
  }
  return true;
}

int FormatTraceLine(const SecondRecord& second, bool has_character, uint8_t value, char* line) {
  const int prefix = FormatTimePrefix(second.Local, line);
  const char* bit = !second.HasMark ? "-" : (second.Bit ? "1" : "0");
  if (has_character) {
    return prefix + std::snprintf(line + prefix, kTraceLineSize - prefix, " %02d %s 0x%02X\n",
                                  second.Second, bit, value);
  }
  return prefix +
         std::snprintf(line + prefix, kTraceLineSize - prefix, " %02d %s -\n", second.Second, bit);
}

int FormatExtraTraceLine(const SecondRecord& second, uint8_t value, char* line) {
  const int prefix = FormatTimePrefix(second.Local, line);
  return prefix + std::snprintf(line + prefix, kTraceLineSize - prefix, " -- - 0x%02X\n", value);
}

int FormatPlayedTraceLine(double at_ms, uint8_t value, char* line) {
  return std::snprintf(line, kTraceLineSize, "%.1f 0x%02X\n", at_ms, value);
}
