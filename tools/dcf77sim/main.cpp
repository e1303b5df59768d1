// dcf77sim: a stand-in for the DCF77 receiver module. Reads the options, opens the output,
// and sends one character per second mark on a drift-free schedule.

#include <cinttypes>
#include <cstdio>

#include "civil_time.h"
#include "mark_stream.h"
#include "options.h"
#include "output.h"
#include "pacing.h"
#include "telegram_encoder.h"
#include "zone.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr char kProgramName[] = "dcf77sim";
// The first mark of a run that follows the real clock is at least this far ahead, so that
// the loop is asleep, not late, when it comes.
constexpr int64_t kFirstMarkLeadNs = 20 * kNanosecondsPerMillisecond;
// On --on-open, the minute begins with this second unless --from-second says otherwise.
constexpr int kOnOpenFirstSecond = 1;

// Where and when the run starts.
struct StartRecord {
  int64_t FirstMarkPosix;  // wall-clock time of the first mark, as POSIX seconds
  int64_t FirstMarkNs;     // its moment on the monotonic clock
};

// What the run loop needs besides the stream.
struct RunRecord {
  const OptionsRecord* Options;
  bool ShowStatus;
  bool StatusShown;
  char Message[kMessageSize];
};

int ReportBadInput(const char* message) {
  std::fprintf(stderr, "%s: %s\n", kProgramName, message);
  return kExitBadInput;
}

// The POSIX second of the first mark and its moment; for a run that follows the real clock
// both sit on the same whole second.
StartRecord PlanStart(const OptionsRecord& options, int64_t start_posix) {
  StartRecord start = {};
  const int64_t now_ns = ReadMonotonicNs();
  if (!options.HasStart && !options.OnOpen) {
    const int64_t wall_ns = ReadWallClockNs();
    const int64_t next_second = DivideDown(wall_ns + kFirstMarkLeadNs, kNanosecondsPerSecond) + 1;
    start.FirstMarkPosix = next_second;
    start.FirstMarkNs = now_ns + (next_second * kNanosecondsPerSecond - wall_ns);
    return start;
  }
  int64_t first =
      options.HasStart ? start_posix : DivideDown(ReadWallClockNs(), kNanosecondsPerSecond);
  if (options.OnOpen || options.FromSecond != kNoFromSecond) {
    const int second = options.FromSecond != kNoFromSecond ? options.FromSecond
                       : options.StartHasSeconds           ? options.Start.Second
                                                           : kOnOpenFirstSecond;
    first = DivideDown(first, kSecondsPerMinute) * kSecondsPerMinute + second;
  }
  start.FirstMarkPosix = first;
  start.FirstMarkNs = now_ns;
  return start;
}

// A seed from the clocks, for a run without --seed.
uint64_t MakeSeed() {
  return static_cast<uint64_t>(ReadWallClockNs()) ^
         (static_cast<uint64_t>(ReadMonotonicNs()) << 17);
}

void ShowStatus(RunRecord* run, const StreamRecord& stream, const SecondRecord& second) {
  if (!run->ShowStatus) {
    return;
  }
  const CivilTimeRecord& announced = stream.Minute.Announced;
  const char bit = !second.HasMark ? '-' : (second.Bit ? '1' : '0');
  std::fprintf(stderr, "\rtelegram for %04d-%02d-%02d %02d:%02d %s  second %02d  bit %c ",
               announced.Year, announced.Month, announced.Day, announced.Hour, announced.Minute,
               announced.Summer ? "summer time  " : "standard time", second.Second, bit);
  std::fflush(stderr);
  run->StatusShown = true;
}

// False when the run must end. A stop signal cuts short a write blocked on a reader that
// does not keep up, which is a normal end; any other failure leaves a message.
bool WriteTrace(RunRecord* run, const char* line, int length) {
  const size_t size = static_cast<size_t>(length);
  if (std::fwrite(line, 1, size, stdout) == size &&
      (run->Options->Fast || std::fflush(stdout) == 0)) {
    return true;
  }
  if (!IsStopRequested()) {
    std::snprintf(run->Message, kMessageSize, "cannot write the trace to standard output");
  }
  return false;
}

// Sends one second: its mark, the trace line, the status, and a spurious character after.
// False when the run must end: a stop, or a failure with a message in run->Message.
bool SendSecond(RunRecord* run, const StreamRecord& stream, const SecondRecord& second,
                int64_t mark_ns) {
  const OptionsRecord& options = *run->Options;
  char line[kTraceLineSize];
  if (!options.Fast && !SleepUntil(mark_ns)) {
    return false;
  }
  if (second.Sent && !WriteCharacter(second.Value, run->Message)) {
    return false;
  }
  if (options.Trace && !WriteTrace(run, line, FormatTraceLine(second, line))) {
    return false;
  }
  ShowStatus(run, stream, second);
  return true;
}

bool SendExtra(RunRecord* run, const SecondRecord& second, int64_t mark_ns) {
  const OptionsRecord& options = *run->Options;
  char line[kTraceLineSize];
  const int64_t extra_ns = mark_ns + second.ExtraDelayMs * kNanosecondsPerMillisecond;
  if (!options.Fast && !SleepUntil(extra_ns)) {
    return false;
  }
  if (!WriteCharacter(second.ExtraValue, run->Message)) {
    return false;
  }
  return !options.Trace || WriteTrace(run, line, FormatExtraTraceLine(second, line));
}

// Mark k goes out at first + k seconds on the monotonic clock. False on a failure (message
// in run->Message); a stop or the end of --minutes is a normal end.
bool RunMarks(RunRecord* run, StreamRecord* stream, const StartRecord& start) {
  const OptionsRecord& options = *run->Options;
  int64_t minute_marks = 0;
  for (int64_t k = 0; !IsStopRequested(); ++k) {
    SecondRecord second = {};
    if (!AdvanceStream(stream, &second)) {
      std::snprintf(run->Message, kMessageSize, "the time zone cannot tell the time");
      return false;
    }
    const int64_t mark_ns = start.FirstMarkNs + k * kNanosecondsPerSecond;
    if (!SendSecond(run, *stream, second, mark_ns)) {
      return run->Message[0] == '\0';
    }
    if (second.Second == 0 && k > 0 && ++minute_marks == options.Minutes) {
      // The line stays open to the end of this second: closing a pseudo-terminal at once
      // would throw away the last character before its reader got it.
      if (!options.Fast) {
        SleepUntil(mark_ns + kNanosecondsPerSecond);
      }
      return true;
    }
    if (second.HasExtra && !SendExtra(run, second, mark_ns)) {
      return run->Message[0] == '\0';
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  OptionsRecord options = {};
  char message[kMessageSize] = {};
  if (!ParseOptions(argc, argv, &options, message)) {
    return ReportBadInput(message);
  }
  if (options.Help) {
    std::fputs(GetHelpText(), stdout);
    return kExitDone;
  }

  LocalTimeFunction convert = ConvertToEuLocal;
  if (options.Zone != nullptr) {
    if (!SelectZone(options.Zone, message)) {
      return ReportBadInput(message);
    }
    convert = ConvertToZoneLocal;
  }
  int64_t start_posix = 0;
  if (options.HasStart && !FindPosixForLocal(options.Start, convert, &start_posix)) {
    std::snprintf(message, kMessageSize,
                  "--start %04d-%02d-%02d %02d:%02d:%02d does not occur in the time zone",
                  options.Start.Year, options.Start.Month, options.Start.Day, options.Start.Hour,
                  options.Start.Minute, options.Start.Second);
    return ReportBadInput(message);
  }

  PrepareRealTime();
  const bool opened = options.PtyLink != nullptr ? OpenPtyOutput(options.PtyLink, message)
                      : options.DevicePath != nullptr
                          ? OpenDeviceOutput(options.DevicePath, message)
                          : true;
  if (!opened) {
    return ReportBadInput(message);
  }
  if (options.OnOpen && !WaitForPtyReader(message)) {
    CloseOutput();
    if (IsStopRequested()) {
      return kExitDone;
    }
    return ReportBadInput(message);
  }

  const StartRecord start = PlanStart(options, start_posix);
  StreamSettingsRecord settings = {};
  settings.Convert = convert;
  settings.LeapMinute = kNoLeapMinute;
  settings.Weather = options.Weather;
  settings.DropChance = options.DropChance;
  settings.SpuriousChance = options.SpuriousChance;
  settings.FlipChance = options.FlipChance;
  settings.GarbleChance = options.GarbleChance;
  settings.LongMarkMs = options.LongMarkMs;
  settings.ShortMarkMs = options.ShortMarkMs;
  settings.JitterMs = options.JitterMs;
  settings.Seed = options.HasSeed ? options.Seed : MakeSeed();
  StreamRecord stream = {};
  if ((options.Leap && !FindLeapMinute(start.FirstMarkPosix, convert, &settings.LeapMinute)) ||
      !StartStream(settings, start.FirstMarkPosix, &stream)) {
    CloseOutput();
    return ReportBadInput("the time zone cannot tell the time of the first mark");
  }
  const bool random_used = options.Weather || options.DropChance > 0 ||
                           options.SpuriousChance > 0 || options.FlipChance > 0 ||
                           options.GarbleChance > 0 || options.JitterMs > 0;
  if (!options.HasSeed && random_used && !options.Quiet) {
    std::fprintf(stderr, "%s: seed %" PRIu64 " (--seed repeats this run)\n", kProgramName,
                 settings.Seed);
  }

  RunRecord run = {};
  run.Options = &options;
  run.ShowStatus = !options.Quiet && !options.Fast && IsStderrTerminal();
  const bool finished = RunMarks(&run, &stream, start);
  CloseOutput();
  if (run.StatusShown) {
    std::fputc('\n', stderr);
  }
  if (!finished) {
    std::fprintf(stderr, "%s: %s\n", kProgramName, run.Message);
    return kExitFailed;
  }
  return kExitDone;
}
