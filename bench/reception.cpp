// Reception under noisy marks: minutes of DCF77 made by dcf77sim's core, each mark's width
// changed by a Gaussian jitter (and the long marks by a bias), its start by a jitter of
// its own, interference laid on the line, the characters read through the same 50-baud
// UART model and handled by the program's own HandlePoll and HandleCharacter on the native
// clock, at a poll that fires every 250 ms on a 15.625 ms system tick with some lateness,
// and sees that tick cut to 32 bits. One row per noise level: the minutes decoded and
// confirmed, and the clock sets that were not within half a second of the true time.
//
//   reception [--minutes N] [--seed S] [--wrong] [--check]
//
// --wrong lists every wrong set: the true time and the time set. --check exits 1 when a
// level whose target is no wrong set has one.
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "civil_time.h"
#include "common/decoded_minute.h"
#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "decoder/reception.h"
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
// handled some milliseconds after; GetTickCount moves only on that tick.
constexpr double kSystemTickMs = 1000.0 / 64;
constexpr double kMostTimerLatenessMs = 16;
// A module's marks start a few milliseconds either side of the true second.
constexpr double kMarkStartJitterMs = 5;
constexpr double kMostMarkStartMs = 40;
// A set is right within half a second of the true time.
constexpr int64_t kMostSetErrorMs = 500;
constexpr int kLateSecondsShown = 3;

struct LevelRecord {
  double JitterMs;         // standard deviation of each mark's width
  double BiasMs;           // added to every long mark
  double SpikesPerMinute;  // interference, 5-45 ms
  double Room;             // a room near a PC, as a multiple of its quarter hour's noise
  bool NoneWrong;          // the target: not one wrong set
};

const LevelRecord kLevels[] = {
    {5, 0, 0, 0, true},     {5, -10, 0, 0, true},  {5, -20, 0, 0, true},   {15, 0, 0, 0, true},
    {15, -10, 0, 0, true},  {15, -20, 0, 0, true}, {20, 0, 0, 0, true},    {20, -10, 0, 0, true},
    {20, -20, 0, 0, false}, {30, 0, 0, 0, false},  {30, -10, 0, 0, false}, {30, -20, 0, 0, false},
    {10, 0, 1, 0, true},    {10, 0, 2, 0, true},   {10, 0, 5, 0, true},    {15, 0, 1, 0, true},
    {15, 0, 2, 0, true},    {15, 0, 5, 0, true},   {10, 0, 0, 0.5, true},  {10, 0, 0, 1, true},
    {10, 0, 0, 2, true},
};

struct TallyRecord {
  int64_t Minutes;  // minutes sent
  int64_t Decoded;
  int64_t Confirmed;
  int64_t Wrong;                        // sets more than half a second off
  int64_t Late[kLateSecondsShown + 1];  // of those, by whole seconds late: 1, 2, 3 and more
};

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
  UartCharacterRecord Queue[kUartMaxToggles];  // handed over, not yet polled
  int Queued;
  bool ListWrong;
  TallyRecord Tally;
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

// Runs the polls due up to `until_ms` (line time), each with the characters handed over by
// then, as the program does at every WM_TIMER.
void RunPolls(PlayRecord* play, double until_ms) {
  for (;;) {
    const double due = play->PollPhaseMs + kPollPeriodMs * static_cast<double>(play->NextPoll);
    const double fired = std::ceil(due / kSystemTickMs) * kSystemTickMs +
                         DrawUnit(&play->TimerState) * kMostTimerLatenessMs;
    if (fired > until_ms) {
      return;
    }
    ++play->NextPoll;
    const uint64_t tick64 =
        kTickAtOpen + static_cast<uint64_t>(std::floor(fired / kSystemTickMs) * kSystemTickMs);
    const uint32_t now = static_cast<uint32_t>(tick64);
    CountMinute(play, HandlePoll(now), fired);
    int taken = 0;
    while (taken < play->Queued && play->Queue[taken].DoneMs <= fired) {
      CountMinute(play, HandleCharacter(play->Queue[taken].Value, now).Minute, fired);
      ++taken;
    }
    std::memmove(play->Queue, play->Queue + taken,
                 sizeof play->Queue[0] * static_cast<size_t>(play->Queued - taken));
    play->Queued -= taken;
  }
}

TallyRecord PlayLevel(const LevelRecord& level, int64_t first_posix, int64_t minutes, uint64_t seed,
                      bool list_wrong) {
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
  static PlayRecord play;
  play = PlayRecord{};
  if (!StartStream(settings, first_posix, &play.Stream)) {
    Fail("the stream cannot start");
  }
  StartUart(&play.Uart);
  play.TimerState = seed ^ kTimerSeedSalt;
  play.PollPhaseMs = DrawUnit(&play.TimerState) * kPollPeriodMs;
  play.ListWrong = list_wrong;
  play.FirstPosix = first_posix;
  HeldMinutes = {};
  TimeFields = {};
  OpenFrame(static_cast<uint32_t>(kTickAtOpen));

  for (int64_t k = 0; play.Tally.Minutes < minutes; ++k) {
    SecondRecord second = {};
    if (!AdvanceStream(&play.Stream, &second)) {
      Fail("the stream stopped");
    }
    double shift = kMarkStartJitterMs * DrawGaussian(&play.TimerState);
    shift = shift < -kMostMarkStartMs ? -kMostMarkStartMs
                                      : (shift > kMostMarkStartMs ? kMostMarkStartMs : shift);
    const double start = kFirstMarkMs + kMsPerSecond * static_cast<double>(k);
    if (!PutSecondOnLine(second, start + shift, &play.Uart)) {
      Fail("the line holds too many spikes");
    }
    play.Tally.Minutes += second.Second == 0 && k > 0;
    // Nothing of the next second starts before this.
    const double settled = start + kMsPerSecond - kMostMarkStartMs;
    UartCharacterRecord character = {};
    while (ReadUartCharacter(&play.Uart, settled, &character)) {
      if (play.Queued == kUartMaxToggles) {
        Fail("the queue overflowed");
      }
      play.Queue[play.Queued++] = character;
    }
    RunPolls(&play, settled);
  }
  return play.Tally;
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
  for (int i = 1; i < argc; ++i) {
    const bool valued = i + 1 < argc;
    if (std::strcmp(argv[i], "--wrong") == 0) {
      list_wrong = true;
    } else if (std::strcmp(argv[i], "--check") == 0) {
      check = true;
    } else if (valued && std::strcmp(argv[i], "--minutes") == 0 &&
               ReadNumber(argv[++i], &minutes) && minutes > 0) {
    } else if (valued && std::strcmp(argv[i], "--seed") == 0 && ReadNumber(argv[++i], &seed)) {
    } else {
      std::fprintf(stderr, "usage: reception [--minutes N] [--seed S] [--wrong] [--check]\n");
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
  std::printf("Reception from %s (Berlin), seed %" PRIu64
              ": long marks 200 ms + bias, short marks 100 ms, each + Gaussian jitter;\n"
              "spikes 5-45 ms at random, or a room near a PC (dcf77sim --room); a 50-baud UART;\n"
              "a 250 ms poll on a 15.625 ms tick\n",
              kFirstMinute, seed);
  std::printf("%9s %8s %7s %5s %9s %9s %9s %6s %6s %11s\n", "jitter sd", "bias", "spikes", "room",
              "minutes", "decoded", "confirmed", "", "wrong", "late 1/2/3+");
  int failed_levels = 0;
  for (const LevelRecord& level : kLevels) {
    const TallyRecord tally =
        PlayLevel(level, first_posix, static_cast<int64_t>(minutes), seed, list_wrong);
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
