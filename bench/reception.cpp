// Reception under noisy marks: minutes of DCF77 made by dcf77sim's core, each mark's width
// changed by a Gaussian jitter (and the long marks by a bias), read through the same UART
// model and played through the program's own framing, decoding and clock setting on the
// native clock. One row per noise level: the minutes decoded, and the clock sets (and the
// wrong ones) of a rule that trusts one minute and of the confirmed rule that
// SetClockFromTelegram follows.
//
//   reception [MINUTES] [--wrong]
//
// --wrong lists every wrong confirmed set: the true minute, the minute set, and the bits
// read wrong in the minute that closed and in the minute before, which confirmed it.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "civil_time.h"
#include "common/decoded_minute.h"
#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "decoder/clock.h"
#include "decoder/framing.h"
#include "mark_stream.h"
#include "platform/platform.h"
#include "random_source.h"

namespace {

constexpr int64_t kDefaultMinutes = 100000;
constexpr uint64_t kSeed = 77;
constexpr uint64_t kPollSeedSalt = 0x504F4C4C21212121u;
// Berlin time of the first minute; 100,000 minutes run past the spring change.
constexpr char kFirstMinute[] = "2026-03-01 00:00";

// The module's character is complete about this long after its mark begins (ms); horax
// takes it at its next timer poll, up to a poll period later, and notes LastByteTick
// after the redraw, a few ms after the framing.
constexpr uint32_t kCharacterDoneMs = 200;
constexpr uint32_t kPollPeriodMs = 250;
constexpr uint32_t kRedrawMs = 3;
constexpr uint32_t kMsPerSecond = 1000;
// The port opened this long before the first mark, so that the first character starts a
// frame rather than closing one.
constexpr uint32_t kFirstMarkTick = 10000;

constexpr int kCentury = 2000;
// Bits 1 to 14 (weather) are not examined by the decoder, so misreading them is harmless.
constexpr uint64_t kExaminedBits = ~uint64_t{0x7FFE};
constexpr int kLastFrameBit = 58;

struct LevelRecord {
  double JitterMs;  // standard deviation of each mark's width
  double BiasMs;    // added to every long mark
};

const LevelRecord kLevels[] = {
    {5, 0},  {5, -10},  {5, -20},  {15, 0}, {15, -10}, {15, -20},
    {20, 0}, {20, -10}, {20, -20}, {30, 0}, {30, -10}, {30, -20},
};

struct TallyRecord {
  int64_t Minutes;  // minutes closed by a mark
  int64_t Decoded;
  int64_t TrustedSets;  // a rule that sets every decoded minute whose date exists
  int64_t TrustedWrong;
  int64_t ConfirmedSets;  // what SetClockFromTelegram asked of the clock
  int64_t ConfirmedWrong;
};

SYSTEMTIME MakeSystemTime(int year, int month, int day, int hour, int minute) {
  SYSTEMTIME time = {};
  time.wYear = static_cast<WORD>(year);
  time.wMonth = static_cast<WORD>(month);
  time.wDay = static_cast<WORD>(day);
  time.wHour = static_cast<WORD>(hour);
  time.wMinute = static_cast<WORD>(minute);
  return time;
}

// The weekday and the seconds are not compared: the clock is set to whole minutes and
// takes no weekday.
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

// Handles the decode of a minute whose true time is `truth`: the confirmed rule through
// SetClockFromTelegram, then the rule that trusts one minute on the same fields.
void CountSets(const SYSTEMTIME& truth, TallyRecord* tally, bool* confirmed_wrong) {
  const TimeFieldsRecord decoded = TimeFields;
  const int requests_before = CountClockRequests();
  SetClockFromTelegram();
  // A confirmed set asks twice with the same record; an unconfirmed minute not at all.
  *confirmed_wrong = false;
  if (CountClockRequests() - requests_before > 0) {
    ++tally->ConfirmedSets;
    *confirmed_wrong = !IsSameMinute(LastClockRequest(), truth);
    tally->ConfirmedWrong += *confirmed_wrong;
  }
  SYSTEMTIME trusted = MakeSystemTime(kCentury + decoded.Year, decoded.Month, decoded.Day,
                                      decoded.Hour, decoded.Minute);
  // The clock refuses a date that does not exist, as Windows does.
  if (SetLocalTime(&trusted)) {
    ++tally->TrustedSets;
    tally->TrustedWrong += !IsSameMinute(trusted, truth);
  }
}

TallyRecord PlayLevel(const LevelRecord& level, int64_t first_posix, int64_t minutes,
                      bool list_wrong) {
  StreamSettingsRecord settings = {};
  settings.Convert = ConvertToEuLocal;
  settings.LeapMinute = kNoLeapMinute;
  settings.Weather = true;
  settings.LongMarkMs = kLongMarkMs + level.BiasMs;
  settings.ShortMarkMs = kShortMarkMs;
  settings.JitterMs = level.JitterMs;
  settings.Seed = kSeed;
  StreamRecord stream = {};
  if (!StartStream(settings, first_posix, &stream)) {
    std::fprintf(stderr, "reception: the stream cannot start\n");
    std::exit(1);
  }
  ReceiverState = {};
  LastDecodedMinute = {};
  TimeFields = {};
  uint64_t poll_state = kSeed ^ kPollSeedSalt;

  TallyRecord tally = {};
  uint64_t sent_bits = 0;       // the telegram of the minute being received
  uint64_t misread_before = 0;  // bits read wrong in the minute before it
  for (int64_t k = 0; tally.Minutes < minutes; ++k) {
    SecondRecord second = {};
    if (!AdvanceStream(&stream, &second)) {
      std::fprintf(stderr, "reception: the stream stopped\n");
      std::exit(1);
    }
    if (!second.Sent) {
      continue;
    }
    const uint32_t mark_tick = static_cast<uint32_t>(kFirstMarkTick + kMsPerSecond * k);
    const uint32_t handled = mark_tick + kCharacterDoneMs +
                             static_cast<uint32_t>(DrawRandom(&poll_state) % kPollPeriodMs);
    const uint64_t misread = (ReceiverState.FrameBits ^ sent_bits) & kExaminedBits;
    if (FramePulse(second.Value, handled)) {
      ++tally.Decoded;
      const CivilTimeRecord& local = second.Local;
      const SYSTEMTIME truth =
          MakeSystemTime(local.Year, local.Month, local.Day, local.Hour, local.Minute);
      bool wrong = false;
      CountSets(truth, &tally, &wrong);
      if (wrong && list_wrong) {
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
    if (second.Second == 0) {
      tally.Minutes += k > 0;
      misread_before = misread;
      sent_bits = 0;
    } else {
      sent_bits |= uint64_t{second.Bit} << second.Second;
    }
    ReceiverState.LastByteTick = handled + kRedrawMs;
  }
  return tally;
}

}  // namespace

int main(int argc, char** argv) {
  int64_t minutes = kDefaultMinutes;
  bool list_wrong = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--wrong") == 0) {
      list_wrong = true;
    } else if ((minutes = std::strtoll(argv[i], nullptr, 10)) <= 0) {
      std::fprintf(stderr, "usage: reception [MINUTES] [--wrong]\n");
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
              ": long marks 200 ms + bias, short marks 100 ms, each + Gaussian jitter\n",
              kFirstMinute, kSeed);
  std::printf("%9s %8s %8s %8s | %-17s | %-17s\n", "", "", "", "", "one minute trusted",
              "confirmed (horax)");
  std::printf("%9s %8s %8s %8s | %8s %8s | %8s %8s\n", "jitter sd", "bias", "minutes", "decoded",
              "sets", "wrong", "sets", "wrong");
  for (const LevelRecord& level : kLevels) {
    const TallyRecord tally = PlayLevel(level, first_posix, minutes, list_wrong);
    std::printf("%6.0f ms %5.0f ms %8" PRId64 " %8" PRId64 " | %8" PRId64 " %8" PRId64
                " | %8" PRId64 " %8" PRId64 "\n",
                level.JitterMs, level.BiasMs, tally.Minutes, tally.Decoded, tally.TrustedSets,
                tally.TrustedWrong, tally.ConfirmedSets, tally.ConfirmedWrong);
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
  std::printf("%.1f s\n", elapsed.count());
  return 0;
}
