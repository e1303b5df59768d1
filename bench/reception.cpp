// Reception under noisy marks: minutes of DCF77 made by dcf77sim's core, each mark's width
// changed by a Gaussian jitter (and the long marks by a bias), its start by a jitter of
// its own, interference laid on the line, the characters read through the same 50-baud
// UART model, each stamped as it arrives, and handed to the program's own poll on the native
// clock, which fires every 250 ms on a 15.625 ms system tick with some lateness; ticks are
// cut to 32 bits. One row per noise level: the minutes decoded and confirmed, and the clock
// sets that were not within half a second of the true time.
//
//   reception [--minutes N] [--seed S] [--wrong] [--check] [--accuracy | --steer]
//
// --wrong lists every wrong set: the true time and the time set. --check exits 1 when a
// level whose target is no wrong set has one. --accuracy measures instead how close each
// set comes to the true time at its call, with the marks' start jitter, the reader's
// wake-up and the PC clock's rate error as each row gives them. --steer runs a simulated week
// a row, or 100 outages, with the clock steered by the program's own steering and the clock's
// adjustment modelled as Windows keeps it, and samples the clock's offset every second.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "civil_time.h"
#include "common/clock_steering.h"
#include "common/decoded_minute.h"
#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "decoder/reception.h"
#include "decoder/steering.h"
#include "mark_stream.h"
#include "platform/platform.h"
#include "random_source.h"
#include "uart_model.h"

namespace {

constexpr int64_t kDefaultMinutes = 100000;
constexpr uint64_t kDefaultSeed = 77;
constexpr uint64_t kTimerSeedSalt = 0x504F4C4C21212121u;
// Berlin time of the first minute; 100,000 minutes run past the spring change.
constexpr char kFirstMinute[] = "2026-03-01 00:00";

constexpr double kMsPerSecond = 1000;
// The port opened this long before the first mark, so that the first character starts a
// frame rather than closing one.
constexpr double kFirstMarkMs = 10000;
// The program's tick counter reads this at the open: it wraps past 2^32 ten minutes on.
constexpr uint64_t kTickAtOpen = (uint64_t{1} << 32) - 600000;
// Windows' timer fires on the system tick, 64 a second, and the message that carries it is
// handled some milliseconds after.
constexpr double kSystemTickMs = 1000.0 / 64;
constexpr double kMostTimerLatenessMs = 16;
// A module's marks start a few milliseconds either side of the true second.
constexpr double kMarkStartJitterMs = 5;
constexpr double kMostMarkStartMs = 40;
// A set is right within half a second of the true time.
constexpr int64_t kMostSetErrorMs = 500;
// The clock is put back here before every poll, so that each confirmed minute asks for a
// set, whose error is then measured.
constexpr SYSTEMTIME kFarClock = {2000, 1, 6, 1, 0, 0, 0, 0};
constexpr int kLateSecondsShown = 3;

// The start jitter of a row that draws the marks' starts from the recorded module's.
constexpr double kCaptureStarts = -1;
// The recorded module's marks: 60 to 250 ms, their starts within this of the fitted second.
constexpr double kShortestCaptureMarkMs = 60;
constexpr double kLongestCaptureMarkMs = 250;
constexpr double kMostCaptureResidualMs = 50;
// The PC's clock keeps one rate error for this many minutes, then draws another.
constexpr int64_t kRateSessionMinutes = 100;
// A loaded PC: one read in this many wakes kLoadedLateMs late.
constexpr int kLoadedEvery = 100;
constexpr double kLoadedLateMs = 50;
constexpr double kPartsPerMillion = 1e-6;

struct LevelRecord {
  double JitterMs;         // standard deviation of each mark's width
  double BiasMs;           // added to every long mark
  double SpikesPerMinute;  // interference, 5-45 ms
  double Room;             // a room near a PC, as a multiple of its quarter hour's noise
  bool NoneWrong;          // the target: not one wrong set
  // Where and when each character is stamped (--accuracy):
  const char* Name = "";
  double StartJitterMs = kMarkStartJitterMs;  // each mark's start, sd, or kCaptureStarts
  double WakeMinMs = 0;    // the reader wakes this long after the UART hands a character over,
  double WakeMaxMs = 0;    // or as long as this
  bool Loaded = false;     // one read in kLoadedEvery wakes kLoadedLateMs late
  double MostRatePpm = 0;  // the PC's clock runs off by up to this
  // Steering (--steer): through the adjustment call with the finer steps, and outages.
  bool Precise = false;
  int64_t OutageMinutes = 0;  // the signal lost this long, after as long with it
};

const LevelRecord kLevels[] = {
    {5, 0, 0, 0, true},     {5, -10, 0, 0, true},  {5, -20, 0, 0, true},   {15, 0, 0, 0, true},
    {15, -10, 0, 0, true},  {15, -20, 0, 0, true}, {20, 0, 0, 0, true},    {20, -10, 0, 0, true},
    {20, -20, 0, 0, false}, {30, 0, 0, 0, false},  {30, -10, 0, 0, false}, {30, -20, 0, 0, false},
    {10, 0, 1, 0, true},    {10, 0, 2, 0, true},   {10, 0, 5, 0, true},    {15, 0, 1, 0, true},
    {15, 0, 2, 0, true},    {15, 0, 5, 0, true},   {10, 0, 0, 0.5, true},  {10, 0, 0, 1, true},
    {10, 0, 0, 2, true},
};

// The arrival rows: a built-in port wakes the reader within a millisecond; a USB adapter
// passes a character on when its latency timer (16 ms by default) runs out.
const LevelRecord kAccuracyLevels[] = {
    {5, 0, 0, 0, true, "built-in port, sd 5 ms", 5, 0, 1, false, 100},
    {5, 0, 0, 0, true, "built-in port, sd 15 ms", 15, 0, 1, false, 100},
    {5, 0, 0, 0, true, "built-in port, the capture's jitter", kCaptureStarts, 0, 1, false, 100},
    {5, 0, 0, 0, true, "USB adapter, sd 5 ms", 5, 1, 16, false, 100},
    {5, 0, 0, 0, true, "loaded PC, sd 5 ms", 5, 0, 1, true, 100},
};

// The clock's adjustment: a legacy call adds whole 100-ns units each 15.625 ms system tick,
// steps of 6.4 ppm; the precise one's unit is not documented, and is taken to be fine enough
// not to matter: a billion to the tick.
constexpr double kLegacyIncrement = 156250;
constexpr double kPreciseIncrement = 1e9;
// The PC's clock wanders: its rate steps by this (ppm) either way every kRateWalkMinutes.
constexpr double kRateWalkPpm = 0.2;
constexpr int64_t kRateWalkMinutes = 10;
// The offsets before this (s) are not counted: the clock is first set and its rate learned.
constexpr int64_t kSettlingSeconds = 3600;
// After an outage the clock is to be within this (ms) before kRecoveryMinutes are up.
constexpr double kRecoveredMs = 5;
constexpr int64_t kRecoveryMinutes = 30;
constexpr int64_t kSevenDays = 7 * 24 * 60;
constexpr int64_t kSixHours = 6 * 60;
constexpr int64_t kOutages = 100;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr double kFileTimeUnitsPerMs = 10000;

// A week a row: a clean signal, a room near a PC, and outages of six hours.
const LevelRecord kSteeringLevels[] = {
    {5, 0, 0, 0, true, "clean, sd 5 ms", 5, 0, 1, false, 100},
    {5, 0, 0, 0, true, "clean, sd 15 ms", 15, 0, 1, false, 100},
    {5, 0, 0, 0, true, "clean, sd 5 ms, precise call", 5, 0, 1, false, 100, true},
    {10, 0, 0, 0.5, true, "room at half the recorded rate", 5, 0, 1, false, 100},
    {10, 0, 0, 1, true, "room at the recorded rate", 5, 0, 1, false, 100},
    {10, 0, 0, 2, true, "room at twice the recorded rate", 5, 0, 1, false, 100},
    {5, 0, 0, 0, true, "clean, sd 5 ms, 100 outages of 6 h", 5, 0, 1, false, 100, false, kSixHours},
};

struct TallyRecord {
  int64_t Minutes;  // minutes sent
  int64_t Decoded;
  int64_t Confirmed;
  int64_t Wrong;                        // sets more than half a second off
  int64_t Late[kLateSecondsShown + 1];  // of those, by whole seconds late: 1, 2, 3 and more
  std::vector<double> Errors;           // each set less the true time at its call (ms)
  // Steered: |offset| each second after the first hour, the largest correction, and at each
  // outage's end the offset and the minutes until it is back within kRecoveredMs.
  std::vector<double> Offsets;
  double MostCorrectionPpm;
  std::vector<double> OutageOffsets;
  std::vector<int64_t> RecoveryMinutes;
  int64_t RecoverySteps;
  int64_t Steps;  // sets of the clock
};

// How far the recorded module's marks start from their seconds (ms): a straight line fitted
// through the starts, by least squares, and each start's distance from it.
std::vector<double> ReadCaptureStarts() {
  std::FILE* file = std::fopen(HORAX_TEST_DATA "/dcf1-capture-2012-01-10.txt", "r");
  std::vector<double> starts, seconds;
  double start = 0, width = 0;
  char line[128];
  while (file != nullptr && std::fgets(line, sizeof line, file) != nullptr) {
    if (std::sscanf(line, "%lf %lf", &start, &width) == 2 && width >= kShortestCaptureMarkMs &&
        width <= kLongestCaptureMarkMs) {
      const double second =
          starts.empty() ? 0 : seconds.back() + std::round((start - starts.back()) / kMsPerSecond);
      starts.push_back(start);
      seconds.push_back(second);
    }
  }
  if (file == nullptr || starts.size() < 2) {
    std::fprintf(stderr, "reception: cannot read the capture\n");
    std::exit(1);
  }
  std::fclose(file);
  double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (size_t i = 0; i < starts.size(); ++i) {
    n += 1;
    sx += seconds[i];
    sy += starts[i];
    sxx += seconds[i] * seconds[i];
    sxy += seconds[i] * starts[i];
  }
  const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
  const double intercept = (sy - slope * sx) / n;
  std::vector<double> residuals;
  for (size_t i = 0; i < starts.size(); ++i) {
    const double residual = starts[i] - (intercept + slope * seconds[i]);
    if (std::fabs(residual) <= kMostCaptureResidualMs) {
      residuals.push_back(residual);
    }
  }
  return residuals;
}

void Fail(const char* what) {
  std::fprintf(stderr, "reception: %s\n", what);
  std::exit(1);
}

// Milliseconds since 1970 of a UTC time.
int64_t CountUtcMs(const CivilTimeRecord& utc, int milliseconds) {
  return JoinCivilTime(utc) * 1000 + milliseconds;
}

void PrintUtc(int64_t utc_ms) {
  const CivilTimeRecord t = SplitPosixSeconds(DivideDown(utc_ms, 1000));
  std::printf("%04d-%02d-%02d %02d:%02d:%02d.%03d", t.Year, t.Month, t.Day, t.Hour, t.Minute,
              t.Second, static_cast<int>(utc_ms - DivideDown(utc_ms, 1000) * 1000));
}

// One level: the stream, the line, the timer and the program.
struct PlayRecord {
  StreamRecord Stream;
  UartRecord Uart;
  uint64_t TimerState;
  int64_t FirstPosix;  // the wall-clock second of the first mark
  int64_t NextPoll;    // the poll's next due time, in whole periods from the open
  double PollPhaseMs;
  ArrivalQueueRecord Queue;  // handed over, not yet polled
  bool ListWrong;
  TallyRecord Tally;
  const LevelRecord* Level;
  const std::vector<double>* CaptureStarts;
  // The PC's clock: its tick at line time TickBaseLine, and its rate error since.
  double TickBaseLine, TickBase, Rate;
  bool Steer;
  double Increment, Units;  // the adjustment call's, and what is in force
  bool Recovering;          // since an outage's end, until within kRecoveredMs
  int64_t RecoveryStart;    // its minute, and the steps before it
  int64_t StepsBefore;
};

void CountMinute(PlayRecord* play, const MinuteResultRecord& minute, double fired_ms) {
  play->Tally.Decoded += minute.Verdict == kMinuteHeld || minute.Verdict == kMinuteConfirmed;
  if (minute.Verdict != kMinuteConfirmed) {
    return;
  }
  ++play->Tally.Confirmed;
  // The true time of the set: the marks start on the true seconds, the first at FirstPosix.
  const double true_ms =
      static_cast<double>(play->FirstPosix) * kMsPerSecond + fired_ms - kFirstMarkMs;
  const int64_t true_utc = static_cast<int64_t>(std::floor(true_ms));
  const SYSTEMTIME& r = LastClockRequest();
  const CivilTimeRecord asked = {r.wYear,   r.wMonth,  r.wDay, r.wHour,
                                 r.wMinute, r.wSecond, 0,      false};
  const int64_t error = CountUtcMs(asked, r.wMilliseconds) - true_utc;
  play->Tally.Errors.push_back(static_cast<double>(CountUtcMs(asked, r.wMilliseconds)) - true_ms);
  if (error >= -kMostSetErrorMs && error <= kMostSetErrorMs) {
    return;
  }
  ++play->Tally.Wrong;
  // Late: the clock set behind the true time, as by a minute closed a second after its mark.
  const int64_t late = (-error + kMsPerSecond / 2) / 1000;
  if (late >= 1) {
    ++play->Tally.Late[late < kLateSecondsShown ? late : kLateSecondsShown];
  }
  if (play->ListWrong) {
    std::printf("  wrong set: true ");
    PrintUtc(true_utc);
    std::printf(", set ");
    PrintUtc(true_utc + error);
    std::printf(" UTC");
    std::printf(" (%+" PRId64 " ms)\n", error);
  }
}

PlayRecord play;

// The program's tick at line time `ms`: the performance counter, which runs off by the PC's
// rate error, cut to 32 bits.
uint32_t FindTick(double ms) {
  const double tick = play.TickBase + (ms - play.TickBaseLine) * (1 + play.Rate);
  return static_cast<uint32_t>(kTickAtOpen + static_cast<uint64_t>(std::floor(tick)));
}

// From line time `ms` on, the PC's clock runs off by a rate drawn anew.
void DrawRate(double ms) {
  play.TickBase += (ms - play.TickBaseLine) * (1 + play.Rate);
  play.TickBaseLine = ms;
  play.Rate = (2 * DrawUnit(&play.TimerState) - 1) * play.Level->MostRatePpm * kPartsPerMillion;
}

// As the program's platform layer does after each poll: the correction asked for, in whole
// units of the adjustment call, and the clock's rate from then on.
void ApplyCorrection(uint32_t now) {
  const double units = FindAdjustmentUnits(&Steering, play.Increment, now);
  if (units == play.Units) {
    return;
  }
  play.Units = units;
  SetNativeClockRate(units / play.Increment);
  const double applied = (1 - units / play.Increment) / kPartsPerMillion;
  NoteCorrectionApplied(&Steering, now, applied);
  play.Tally.MostCorrectionPpm = std::max(play.Tally.MostCorrectionPpm, std::fabs(applied));
}

// |The clock's offset from the true time| at line time `ms`.
double FindClockOffset(double ms) {
  PassNativeClockTick(FindTick(ms));
  FILETIME clock;
  GetSystemTimePreciseAsFileTime(&clock);
  const double clock_ms =
      static_cast<double>((uint64_t{clock.dwHighDateTime} << 32) | clock.dwLowDateTime) /
      kFileTimeUnitsPerMs;
  const double true_ms =
      static_cast<double>(play.FirstPosix + kSecondsFrom1601To1970) * kMsPerSecond + ms -
      kFirstMarkMs;
  return std::fabs(clock_ms - true_ms);
}

// The clock's offset, sampled as second `k` begins at line time `ms`.
void SampleClock(double ms, int64_t k) {
  const double offset = FindClockOffset(ms);
  if (k >= kSettlingSeconds) {
    play.Tally.Offsets.push_back(offset);
  }
  const int64_t minute = k / kSecondsPerMinute;
  if (play.Recovering && offset <= kRecoveredMs) {
    play.Recovering = false;
    play.Tally.RecoveryMinutes.push_back(minute - play.RecoveryStart);
  }
  if (play.Recovering && minute - play.RecoveryStart == kRecoveryMinutes) {
    play.Tally.RecoverySteps += CountClockSets() - play.StepsBefore;
  }
}

// The signal is back as second `k` begins at line time `ms`.
void NoteOutageEnd(int64_t k, double ms) {
  play.Tally.OutageOffsets.push_back(FindClockOffset(ms));
  play.Recovering = true;
  play.RecoveryStart = k / kSecondsPerMinute;
  play.StepsBefore = CountClockSets();
}

// Every kRateWalkMinutes the clock's rate steps one way or the other.
void WalkRate(double ms) {
  play.TickBase += (ms - play.TickBaseLine) * (1 + play.Rate);
  play.TickBaseLine = ms;
  play.Rate += (DrawUnit(&play.TimerState) < 0.5 ? -kRateWalkPpm : kRateWalkPpm) * kPartsPerMillion;
}

// During the second `k`, whether the signal is lost.
bool IsInOutage(int64_t k) {
  const int64_t period = play.Level->OutageMinutes;
  return period > 0 && (k / kSecondsPerMinute / period) % 2 == 1;
}

// How long after the UART handed a character over the reader stamps it.
double DrawWake() {
  const LevelRecord& level = *play.Level;
  const double wake =
      level.WakeMinMs + DrawUnit(&play.TimerState) * (level.WakeMaxMs - level.WakeMinMs);
  const bool late = level.Loaded && DrawUnit(&play.TimerState) * kLoadedEvery < 1;
  return late ? wake + kLoadedLateMs : wake;
}

// Where a mark starts against its true second.
double DrawStartShift() {
  const LevelRecord& level = *play.Level;
  if (level.StartJitterMs == kCaptureStarts) {
    const std::vector<double>& starts = *play.CaptureStarts;
    return starts[static_cast<size_t>(DrawUnit(&play.TimerState) * starts.size()) % starts.size()];
  }
  const double shift = level.StartJitterMs * DrawGaussian(&play.TimerState);
  return shift < -kMostMarkStartMs ? -kMostMarkStartMs
                                   : (shift > kMostMarkStartMs ? kMostMarkStartMs : shift);
}

bool TakeFromQueue(uint32_t now, ArrivalRecord* arrival) {
  return TakeArrival(&play.Queue, now, arrival);
}

// Runs the polls due up to `until_ms` (line time), as the program does at every WM_TIMER.
void RunPolls(double until_ms) {
  for (;;) {
    const double due = play.PollPhaseMs + kPollPeriodMs * static_cast<double>(play.NextPoll);
    const double fired = std::ceil(due / kSystemTickMs) * kSystemTickMs +
                         DrawUnit(&play.TimerState) * kMostTimerLatenessMs;
    if (fired > until_ms) {
      return;
    }
    ++play.NextPoll;
    PassNativeClockTick(FindTick(fired));
    if (!play.Steer) {
      SetNativeClock(kFarClock);
    }
    static PollResultRecord result;
    RunReceptionPoll(TakeFromQueue, FindTick(fired), &result);
    for (int i = 0; i < result.Count; ++i) {
      CountMinute(&play, result.Characters[i].Minute, fired);
    }
    CountMinute(&play, result.Overdue, fired);
    if (play.Steer) {
      ApplyCorrection(FindTick(fired));
    }
  }
}

TallyRecord PlayLevel(const LevelRecord& level, int64_t first_posix, int64_t minutes, uint64_t seed,
                      bool list_wrong, const std::vector<double>* capture_starts, bool steer) {
  StreamSettingsRecord settings = {};
  settings.Convert = ConvertToEuLocal;
  settings.LeapMinute = kNoLeapMinute;
  settings.Weather = true;
  settings.LongMarkMs = kLongMarkMs + level.BiasMs;
  settings.ShortMarkMs = kShortMarkMs;
  settings.JitterMs = level.JitterMs;
  settings.SpikesPerMinute = level.SpikesPerMinute;
  settings.RoomNoise = level.Room;
  settings.Seed = seed;
  play = PlayRecord{};
  if (!StartStream(settings, first_posix, &play.Stream)) {
    Fail("the stream cannot start");
  }
  StartUart(&play.Uart);
  play.TimerState = seed ^ kTimerSeedSalt;
  play.PollPhaseMs = DrawUnit(&play.TimerState) * kPollPeriodMs;
  play.ListWrong = list_wrong;
  play.FirstPosix = first_posix;
  play.Level = &level;
  play.CaptureStarts = capture_starts;
  play.Steer = steer;
  play.Increment = level.Precise ? kPreciseIncrement : kLegacyIncrement;
  play.Units = play.Increment;
  SetNativeClockRate(1);
  DrawRate(0);
  HeldMinutes = {};
  TimeFields = {};
  // Not steered: each confirmed minute asks for a set, whose error is measured. Steered, the
  // clock starts years off the true time.
  Steering = {};
  Steering.Refused = !steer;
  const int sets_before = CountClockSets();
  PassNativeClockTick(static_cast<uint32_t>(kTickAtOpen));
  SetNativeClock(kFarClock);
  OpenFrame(static_cast<uint32_t>(kTickAtOpen));

  for (int64_t k = 0; play.Tally.Minutes < minutes; ++k) {
    SecondRecord second = {};
    if (!AdvanceStream(&play.Stream, &second)) {
      Fail("the stream stopped");
    }
    const double start = kFirstMarkMs + kMsPerSecond * static_cast<double>(k);
    const bool lost = IsInOutage(k);
    if (lost) {
      second.Sent = false;
      second.SpikeCount = 0;
    }
    if (!PutSecondOnLine(second, start + DrawStartShift(), &play.Uart)) {
      Fail("the line holds too many spikes");
    }
    play.Tally.Minutes += second.Second == 0 && k > 0;
    if (steer) {
      if (k % (kRateWalkMinutes * kSecondsPerMinute) == 0 && k > 0) {
        WalkRate(start);
      }
      if (k > 0 && !lost && IsInOutage(k - 1)) {
        NoteOutageEnd(k, start);
      }
      SampleClock(start, k);
    } else if (second.Second == 0 && play.Tally.Minutes % kRateSessionMinutes == 0) {
      DrawRate(start);
    }
    // Nothing of the next second starts before this.
    const double settled = start + kMsPerSecond - kMostMarkStartMs;
    UartCharacterRecord character = {};
    while (ReadUartCharacter(&play.Uart, settled, &character)) {
      if (!PushArrival(&play.Queue, character.Value, FindTick(character.DoneMs + DrawWake()))) {
        Fail("the queue overflowed");
      }
    }
    RunPolls(settled);
  }
  play.Tally.Steps = CountClockSets() - sets_before;
  return play.Tally;
}

// The value below which the fraction `p` of the sorted `values` lies.
double FindPercentile(const std::vector<double>& sorted, double p) {
  return sorted[static_cast<size_t>(p * static_cast<double>(sorted.size() - 1))];
}

std::vector<double> SortMagnitudes(const std::vector<double>& values, double less) {
  std::vector<double> magnitudes;
  for (double v : values) {
    magnitudes.push_back(std::fabs(v - less));
  }
  std::sort(magnitudes.begin(), magnitudes.end());
  return magnitudes;
}

// The accuracy table: each row's |error| (the set less the true time at its call) as median,
// 95th and 99.9th percentile and maximum, its mean, and the spread about the mean.
void PrintAccuracy(int64_t first_posix, int64_t minutes, uint64_t seed) {
  const std::vector<double> capture = ReadCaptureStarts();
  std::vector<double> sorted = capture;
  std::sort(sorted.begin(), sorted.end());
  double sum = 0, squares = 0;
  for (double v : capture) {
    sum += v;
    squares += v * v;
  }
  const double n = static_cast<double>(capture.size());
  std::printf("Accuracy from %s (Berlin), seed %" PRIu64
              ": clean marks, each start off its "
              "second by\na Gaussian jitter or as the recorded module's (%zu marks: sd %.1f ms, "
              "1st/99th percentile\n%+.1f/%+.1f ms); the character stamped when the reader wakes "
              "after the UART's hand-over;\nthe PC clock off by up to 100 ppm, drawn anew every "
              "%" PRId64
              " minutes; a set's error is the time\nset less the true time at its call, "
              "in ms\n",
              kFirstMinute, seed, capture.size(), std::sqrt(squares / n - (sum / n) * (sum / n)),
              FindPercentile(sorted, 0.01), FindPercentile(sorted, 0.99), kRateSessionMinutes);
  std::printf("%-36s %7s %7s %7s %7s %7s %7s %11s\n", "row", "sets", "median", "95th", "99.9th",
              "max", "mean", "99.9th-mean");
  for (const LevelRecord& level : kAccuracyLevels) {
    const TallyRecord tally = PlayLevel(level, first_posix, minutes, seed, false, &capture, false);
    double mean = 0;
    for (double e : tally.Errors) {
      mean += e / static_cast<double>(tally.Errors.size());
    }
    const std::vector<double> magnitudes = SortMagnitudes(tally.Errors, 0);
    const std::vector<double> spread = SortMagnitudes(tally.Errors, mean);
    std::printf("%-36s %7zu %7.1f %7.1f %7.1f %7.1f %+7.1f %11.1f\n", level.Name,
                tally.Errors.size(), FindPercentile(magnitudes, 0.5),
                FindPercentile(magnitudes, 0.95), FindPercentile(magnitudes, 0.999),
                magnitudes.back(), mean, FindPercentile(spread, 0.999));
  }
}

// The steering table: each row's |offset| after the first hour, sampled every second, as
// median, 95th and 99th percentile and maximum; the steps; the largest correction; and for
// outages, where the clock was as each ended and how soon it was back within 5 ms.
void PrintSteering(int64_t first_posix, int64_t minutes, uint64_t seed) {
  std::printf("Steering from %s (Berlin), seed %" PRIu64
              ": the clock starts off by a rate within"
              " 100 ppm\nthat steps by %.1f ppm every %" PRId64
              " minutes, and years off the"
              " true time; a built-in port;\nthe legacy adjustment call (6.4 ppm a unit) unless"
              " said; |offset| in ms after the first hour\n",
              kFirstMinute, seed, kRateWalkPpm, kRateWalkMinutes);
  std::printf("%-36s %7s %7s %7s %7s %6s %9s\n", "row", "median", "95th", "99th", "max", "steps",
              "most ppm");
  for (const LevelRecord& level : kSteeringLevels) {
    const int64_t length = level.OutageMinutes > 0
                               ? 2 * kOutages * level.OutageMinutes + level.OutageMinutes
                               : (minutes > 0 ? minutes : kSevenDays);
    TallyRecord tally = PlayLevel(level, first_posix, length, seed, false, nullptr, true);
    std::sort(tally.Offsets.begin(), tally.Offsets.end());
    std::printf("%-36s %7.1f %7.1f %7.1f %7.1f %6" PRId64 " %9.1f\n", level.Name,
                FindPercentile(tally.Offsets, 0.5), FindPercentile(tally.Offsets, 0.95),
                FindPercentile(tally.Offsets, 0.99), tally.Offsets.back(), tally.Steps,
                tally.MostCorrectionPpm);
    if (!tally.OutageOffsets.empty()) {
      std::vector<double> ends = tally.OutageOffsets;
      std::sort(ends.begin(), ends.end());
      int64_t recovered = 0, longest = 0;
      for (int64_t m : tally.RecoveryMinutes) {
        recovered += m <= kRecoveryMinutes;
        longest = std::max(longest, m);
      }
      std::printf(
          "  %zu outages: |offset| at their end median %.1f, 95th %.1f, max %.1f ms;"
          " back within %.0f ms\n  within %" PRId64 " min after %" PRId64
          " of them"
          " (the longest took %" PRId64 " min), %" PRId64 " steps meanwhile\n",
          ends.size(), FindPercentile(ends, 0.5), FindPercentile(ends, 0.95), ends.back(),
          kRecoveredMs, kRecoveryMinutes, recovered, longest, tally.RecoverySteps);
    }
  }
}

bool ReadNumber(const char* text, uint64_t* value) {
  char* end = nullptr;
  *value = std::strtoull(text, &end, 10);
  return *text >= '0' && *text <= '9' && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t minutes = kDefaultMinutes;
  uint64_t seed = kDefaultSeed;
  bool list_wrong = false;
  bool check = false;
  bool accuracy = false;
  bool steer = false;
  bool minutes_given = false;
  for (int i = 1; i < argc; ++i) {
    const bool valued = i + 1 < argc;
    if (std::strcmp(argv[i], "--wrong") == 0) {
      list_wrong = true;
    } else if (std::strcmp(argv[i], "--accuracy") == 0) {
      accuracy = true;
    } else if (std::strcmp(argv[i], "--steer") == 0) {
      steer = true;
    } else if (std::strcmp(argv[i], "--check") == 0) {
      check = true;
    } else if (valued && std::strcmp(argv[i], "--minutes") == 0 &&
               ReadNumber(argv[++i], &minutes) && minutes > 0) {
      minutes_given = true;
    } else if (valued && std::strcmp(argv[i], "--seed") == 0 && ReadNumber(argv[++i], &seed)) {
    } else {
      std::fprintf(stderr,
                   "usage: reception [--minutes N] [--seed S] [--wrong] [--check] "
                   "[--accuracy | --steer]\n");
      return 2;
    }
  }
  CivilTimeRecord first = {};
  bool has_seconds = false;
  int64_t first_posix = 0;
  if (!ParseCivilTime(kFirstMinute, &first, &has_seconds) ||
      !FindPosixForLocal(first, ConvertToEuLocal, &first_posix)) {
    return 1;
  }

  const auto started = std::chrono::steady_clock::now();
  if (accuracy || steer) {
    if (steer) {
      PrintSteering(first_posix, minutes_given ? static_cast<int64_t>(minutes) : 0, seed);
    } else {
      PrintAccuracy(first_posix, static_cast<int64_t>(minutes), seed);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    std::printf("%.1f s\n", elapsed.count());
    return 0;
  }
  std::printf("Reception from %s (Berlin), seed %" PRIu64
              ": long marks 200 ms + bias, short marks 100 ms, each + Gaussian jitter;\n"
              "spikes 5-45 ms at random, or a room near a PC (dcf77sim --room); a 50-baud UART;\n"
              "each character stamped as it arrives, a 250 ms poll on a 15.625 ms tick\n",
              kFirstMinute, seed);
  std::printf("%9s %8s %7s %5s %9s %9s %9s %6s %6s %11s\n", "jitter sd", "bias", "spikes", "room",
              "minutes", "decoded", "confirmed", "", "wrong", "late 1/2/3+");
  int failed_levels = 0;
  for (const LevelRecord& level : kLevels) {
    const TallyRecord tally = PlayLevel(level, first_posix, static_cast<int64_t>(minutes), seed,
                                        list_wrong, nullptr, false);
    const bool failed = level.NoneWrong && tally.Wrong > 0;
    failed_levels += failed;
    std::printf("%6.0f ms %5.0f ms %4.0f/min %5.1f %9" PRId64 " %9" PRId64 " %9" PRId64
                " %5.1f%% %6" PRId64 " %3" PRId64 "/%" PRId64 "/%" PRId64 "%s\n",
                level.JitterMs, level.BiasMs, level.SpikesPerMinute, level.Room, tally.Minutes,
                tally.Decoded, tally.Confirmed,
                100.0 * static_cast<double>(tally.Confirmed) / static_cast<double>(tally.Minutes),
                tally.Wrong, tally.Late[1], tally.Late[2], tally.Late[3],
                failed ? "  <- target: none wrong" : "");
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
  std::printf("%.1f s\n", elapsed.count());
  return check && failed_levels > 0 ? 1 : 0;
}
