// Reception under noisy marks: minutes of DCF77 made by dcf77sim's core, each mark's width
// changed by a Gaussian jitter (and the long marks by a bias), interference spikes laid on
// the line, the characters read through the same 50-baud UART model and handled at a
// 250 ms poll by the program's own HandleCharacter on the native clock. One row per noise
// level: the minutes decoded, the clock sets and the wrong ones.
//
//   reception [--minutes N] [--seed S] [--wrong] [--check]
//
// --wrong lists every wrong set: the true minute, the minute set, and the seconds read
// wrong in the minute that closed and in the minute before, which confirmed it. --check
// exits 1 when a level whose target is no wrong set has one.
#include <chrono>
#include <cinttypes>
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
constexpr uint64_t kPollSeedSalt = 0x504F4C4C21212121u;
// Berlin time of the first minute; 100,000 minutes run past the spring change.
constexpr char kFirstMinute[] = "2026-03-01 00:00";

// horax polls the port every 250 ms and handles every character queued then.
constexpr double kPollPeriodMs = 250;
constexpr double kMsPerSecond = 1000;
// The port opened this long before the first mark, so that the first character starts a
// frame rather than closing one.
constexpr double kFirstMarkMs = 10000;

// Bits 1 to 14 (weather) are not examined by the decoder, so misreading them is harmless.
constexpr uint64_t kExaminedBits = ~uint64_t{0x7FFE};
constexpr int kLastFrameBit = 58;

struct LevelRecord {
  double JitterMs;         // standard deviation of each mark's width
  double BiasMs;           // added to every long mark
  double SpikesPerMinute;  // interference
  bool NoneWrong;          // the target: not one wrong set
};

const LevelRecord kLevels[] = {
    {5, 0, 0, true},     {5, -10, 0, true},  {5, -20, 0, true},   {15, 0, 0, true},
    {15, -10, 0, true},  {15, -20, 0, true}, {20, 0, 0, true},    {20, -10, 0, true},
    {20, -20, 0, false}, {30, 0, 0, false},  {30, -10, 0, false}, {30, -20, 0, false},
    {10, 0, 1, true},    {10, 0, 2, true},   {10, 0, 5, true},    {15, 0, 1, true},
    {15, 0, 2, true},    {15, 0, 5, true},
};

struct TallyRecord {
  int64_t Minutes;  // minutes closed by a mark
  int64_t Decoded;
  int64_t Sets;  // what HandleCharacter asked of the clock
  int64_t Wrong;
};

SYSTEMTIME MakeSystemTime(const CivilTimeRecord& local) {
  SYSTEMTIME time = {};
  time.wYear = static_cast<WORD>(local.Year);
  time.wMonth = static_cast<WORD>(local.Month);
  time.wDay = static_cast<WORD>(local.Day);
  time.wHour = static_cast<WORD>(local.Hour);
  time.wMinute = static_cast<WORD>(local.Minute);
  return time;
}

// The weekday and the seconds are not compared: the clock takes no weekday, and the set's
// milliseconds are the program's own.
bool IsSameMinute(const SYSTEMTIME& a, const SYSTEMTIME& b) {
  return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
         a.wMinute == b.wMinute;
}

void PrintTime(const SYSTEMTIME& time) {
  std::printf("%04u-%02u-%02u %02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
              time.wMinute);
}

// The seconds (1 .. 58) of the set bits of `bits`, as "b1,b2,...".
void PrintBits(uint64_t bits) {
  const char* separator = "";
  for (int bit = 1; bit <= kLastFrameBit; ++bit) {
    if ((bits >> bit) & 1) {
      std::printf("%s%d", separator, bit);
      separator = ",";
    }
  }
  if (*separator == '\0') {
    std::printf("none");
  }
}

void Fail(const char* what) {
  std::fprintf(stderr, "reception: %s\n", what);
  std::exit(1);
}

// One level: the stream, the line and the program, second by second.
struct PlayRecord {
  StreamRecord Stream;
  UartRecord Uart;
  int64_t FirstPosix;  // the wall-clock second of the first mark
  double NextPollMs;
  uint64_t SentBits;       // the telegram of the minute being received
  uint64_t MisreadBefore;  // bits read wrong in the minute before it
  bool ListWrong;
  TallyRecord Tally;
};

void HandleUartCharacter(PlayRecord* play, const UartCharacterRecord& character) {
  while (play->NextPollMs < character.DoneMs) {
    play->NextPollMs += kPollPeriodMs;
  }
  const uint64_t misread = (ReceiverState.FrameBits ^ play->SentBits) & kExaminedBits;
  const int requests_before = CountClockRequests();
  const CharacterResultRecord result =
      HandleCharacter(character.Value, static_cast<uint32_t>(play->NextPollMs));
  if (result.Verdict == kNoMinute) {
    return;
  }
  const uint64_t misread_before = play->MisreadBefore;
  play->MisreadBefore = misread;
  play->Tally.Decoded += result.Verdict == kMinuteHeld || result.Verdict == kMinuteConfirmed;
  if (CountClockRequests() > requests_before) {
    // Right when it is the whole minute nearest the true time of the set.
    const double since_first_ms = play->NextPollMs - kFirstMarkMs;
    const int64_t nearest_minute =
        DivideDown(play->FirstPosix + static_cast<int64_t>(since_first_ms / kMsPerSecond) +
                       kSecondsPerMinute / 2,
                   kSecondsPerMinute);
    CivilTimeRecord local = {};
    ConvertToEuLocal(nearest_minute * kSecondsPerMinute, &local);
    const SYSTEMTIME truth = MakeSystemTime(local);
    ++play->Tally.Sets;
    const bool wrong = !IsSameMinute(LastClockRequest(), truth);
    play->Tally.Wrong += wrong;
    if (wrong && play->ListWrong) {
      std::printf("  wrong set: true ");
      PrintTime(truth);
      std::printf(", set ");
      PrintTime(LastClockRequest());
      std::printf(", misread seconds ");
      PrintBits(misread);
      std::printf(", the minute before ");
      PrintBits(misread_before);
      std::printf("\n");
    }
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
  settings.Seed = seed;
  PlayRecord play = {};
  if (!StartStream(settings, first_posix, &play.Stream)) {
    Fail("the stream cannot start");
  }
  StartUart(&play.Uart);
  uint64_t poll_state = seed ^ kPollSeedSalt;
  play.NextPollMs = DrawUnit(&poll_state) * kPollPeriodMs;
  play.ListWrong = list_wrong;
  play.FirstPosix = first_posix;
  ReceiverState = {};
  LastDecodedMinute = {};
  TimeFields = {};

  for (int64_t k = 0; play.Tally.Minutes < minutes; ++k) {
    SecondRecord second = {};
    if (!AdvanceStream(&play.Stream, &second)) {
      Fail("the stream stopped");
    }
    const double start = kFirstMarkMs + kMsPerSecond * static_cast<double>(k);
    if (!PutSecondOnLine(second, start, &play.Uart)) {
      Fail("the line holds too many spikes");
    }
    play.Tally.Minutes += second.Second == 0 && k > 0;
    // Everything before the next second is on the line now.
    UartCharacterRecord character = {};
    while (ReadUartCharacter(&play.Uart, start + kMsPerSecond, &character)) {
      HandleUartCharacter(&play, character);
    }
    if (second.Second == 0) {
      play.SentBits = 0;
    } else if (second.HasMark) {
      play.SentBits |= uint64_t{second.Bit} << second.Second;
    }
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
              "spikes 5-45 ms at random; a 50-baud UART, a 250 ms poll\n",
              kFirstMinute, seed);
  std::printf("%9s %8s %7s %9s %9s %9s %6s %7s\n", "jitter sd", "bias", "spikes", "minutes",
              "decoded", "sets", "set", "wrong");
  int failed_levels = 0;
  for (const LevelRecord& level : kLevels) {
    const TallyRecord tally =
        PlayLevel(level, first_posix, static_cast<int64_t>(minutes), seed, list_wrong);
    const bool failed = level.NoneWrong && tally.Wrong > 0;
    failed_levels += failed;
    std::printf("%6.0f ms %5.0f ms %4.0f/min %9" PRId64 " %9" PRId64 " %9" PRId64
                " %5.1f%% %7" PRId64 "%s\n",
                level.JitterMs, level.BiasMs, level.SpikesPerMinute, tally.Minutes, tally.Decoded,
                tally.Sets,
                100.0 * static_cast<double>(tally.Sets) / static_cast<double>(tally.Minutes),
                tally.Wrong, failed ? "  <- target: none wrong" : "");
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
  std::printf("%.1f s\n", elapsed.count());
  return check && failed_levels > 0 ? 1 : 0;
}
