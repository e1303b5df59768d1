// dcf77sim: a stand-in for the DCF77 receiver module. Reads the options, opens the output,
// and sends the characters of the marks (or of a file played back) at the moments the
// receiving port would deliver them, on a drift-free schedule.

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "civil_time.h"
#include "mark_stream.h"
#include "options.h"
#include "output.h"
#include "pacing.h"
#include "recording.h"
#include "send_queue.h"
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
constexpr double kMsPerSecond = 1000;
// After the last character the line stays open this long: closing a pseudo-terminal at
// once would throw the character away before its reader got it.
constexpr double kLingerMs = 1000;
// Seconds kept for their trace lines. A character reaches the port at most 5.6 s after
// its hand-over (send_queue.h), well within them.
constexpr int kSecondSlots = 16;
constexpr int64_t kLargestValue = 255;
constexpr char kRecordingHeader[] =
    "# dcf77sim characters: MS VALUE, when each went out (ms from the start) and its value\n";

enum SourceKind {
  kMarkSource,       // the telegrams' marks
  kPulseSource,      // --replay-pulses
  kRecordingSource,  // --replay
};

// Where and when the run starts.
struct StartRecord {
  int64_t FirstMarkPosix;  // wall-clock time of the first mark, as POSIX seconds
  int64_t FirstMarkNs;     // its moment on the monotonic clock
};

struct SlotRecord {
  SecondRecord Second;
  CivilTimeRecord Announced;  // the minute its telegram announces
};

struct RunRecord {
  const OptionsRecord* Options;
  SourceKind Source;
  bool Sending;    // false while a file is checked before it is played
  bool UartTimed;  // characters at the receiving UART's moments, not the marks'
  bool ShowStatus;
  bool StatusShown;
  int64_t StartNs;   // the run's start (its first mark) on the monotonic clock
  double LastOutMs;  // the last entry sent, from the start
  std::FILE* Record;
  std::FILE* Played;
  const char* PlayedPath;
  int LineNumber;
  int NumberLines;
  double LastLineMs;  // the time on the file's previous line
  bool InputDone;
  StreamRecord Stream;
  int64_t SecondCount;
  int64_t MinuteMarks;
  SlotRecord Slots[kSecondSlots];
  SendQueueRecord Queue;
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

bool FailRun(RunRecord* run, const char* what) {
  std::snprintf(run->Message, kMessageSize, "%s line %d: %s", run->PlayedPath, run->LineNumber,
                what);
  return false;
}

void ShowStatus(RunRecord* run, const SlotRecord& slot) {
  if (!run->ShowStatus) {
    return;
  }
  const CivilTimeRecord& announced = slot.Announced;
  const SecondRecord& second = slot.Second;
  const char bit = !second.HasMark ? '-' : (second.Bit ? '1' : '0');
  std::fprintf(stderr, "\rtelegram for %04d-%02d-%02d %02d:%02d %s  second %02d  bit %c ",
               announced.Year, announced.Month, announced.Day, announced.Hour, announced.Minute,
               announced.Summer ? "summer time  " : "standard time", second.Second, bit);
  std::fflush(stderr);
  run->StatusShown = true;
}

// The next second of the telegrams: its mark and interference on the line, or with
// --device its character at the mark's start. False on a failure (message in run->Message).
bool FeedSecond(RunRecord* run) {
  SecondRecord second = {};
  if (!AdvanceStream(&run->Stream, &second)) {
    std::snprintf(run->Message, kMessageSize, "the time zone cannot tell the time");
    return false;
  }
  const int64_t number = run->SecondCount++;
  const int slot = static_cast<int>(number % kSecondSlots);
  run->Slots[slot].Second = second;
  run->Slots[slot].Announced = run->Stream.Minute.Announced;
  SendQueueRecord* queue = &run->Queue;
  const double start = kMsPerSecond * static_cast<double>(number);
  bool fits = true;
  if (run->UartTimed) {
    fits = PutSecondOnLine(second, start, &queue->Uart) &&
           (second.Sent ? AddQueueMark(queue, slot, start, second.Garbled, second.Value)
                        : AddQueueLine(queue, start + kUartHandOverMs, slot));
  } else {
    fits = second.Sent ? AddQueueCharacter(queue, start, second.Value, slot)
                       : AddQueueLine(queue, start, slot);
  }
  const int64_t minutes = run->Options->Minutes;
  run->InputDone = second.Second == 0 && number > 0 && ++run->MinuteMarks == minutes;
  if (second.HasExtra && !run->InputDone) {
    fits =
        fits && AddQueueCharacter(queue, start + second.ExtraDelayMs, second.ExtraValue, kNoOwner);
  }
  fits = SettleQueue(queue, run->InputDone ? HUGE_VAL : start + kMsPerSecond) && fits;
  if (!fits) {
    std::snprintf(run->Message, kMessageSize, "more interference than the line model holds");
  }
  return fits;
}

// The next line of the file played: a pulse on the line, or a character at its time.
// False on a bad line or a failure (message in run->Message).
bool FeedLine(RunRecord* run) {
  double time_ms = 0;
  double other = 0;
  const RecordReadResult result = ReadNextRecord(run->Played, &run->LineNumber, &time_ms, &other);
  const bool pulses = run->Source == kPulseSource;
  switch (result) {
    case kRecordRead:
      break;
    case kRecordEnd:
      if (run->NumberLines == 0) {
        std::snprintf(run->Message, kMessageSize, "%s holds no %s", run->PlayedPath,
                      pulses ? "pulses" : "characters");
        return false;
      }
      run->InputDone = true;
      return SettleQueue(&run->Queue, HUGE_VAL) ||
             FailRun(run, "more characters at once than the queue holds");
    case kRecordBad:
      return FailRun(run, pulses ? "wants \"START_MS WIDTH_MS\", two plain decimal numbers"
                                 : "wants \"MS VALUE\", two plain decimal numbers");
    case kRecordFailed:
      std::snprintf(run->Message, kMessageSize, "cannot read %s: %s", run->PlayedPath,
                    std::strerror(errno));
      return false;
  }
  ++run->NumberLines;
  if (time_ms < run->LastLineMs) {
    return FailRun(run, pulses ? "the pulse starts before the one on the line before"
                               : "the time is before the one on the line before");
  }
  run->LastLineMs = time_ms;
  SendQueueRecord* queue = &run->Queue;
  if (pulses) {
    // The pulses come in order: the line is known up to this one's start.
    if (!SettleQueue(queue, time_ms) || !AddLinePulse(&queue->Uart, time_ms, other)) {
      return FailRun(run, "more pulses at once than the UART model holds");
    }
    return true;
  }
  if (other != std::floor(other) || other > kLargestValue) {
    return FailRun(run, "the value is no whole number from 0 to 255");
  }
  if (!AddQueueCharacter(queue, time_ms, static_cast<uint8_t>(other), kNoOwner) ||
      !SettleQueue(queue, time_ms)) {
    return FailRun(run, "more characters at one moment than the queue holds");
  }
  return true;
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

bool WriteRecordLine(RunRecord* run, const OutgoingRecord& outgoing) {
  const long long ms = std::llround(outgoing.AtMs);
  if (std::fprintf(run->Record, "%lld %u\n", ms, static_cast<unsigned>(outgoing.Value)) > 0 &&
      (run->Options->Fast || std::fflush(run->Record) == 0)) {
    return true;
  }
  std::snprintf(run->Message, kMessageSize, "cannot write to --record %s",
                run->Options->RecordPath);
  return false;
}

int FormatOutgoingLine(const RunRecord& run, const OutgoingRecord& outgoing, char* line) {
  if (run.Source != kMarkSource) {
    return FormatPlayedTraceLine(outgoing.AtMs, outgoing.Value, line);
  }
  if (outgoing.Owner != kNoOwner) {
    return FormatTraceLine(run.Slots[outgoing.Owner].Second, outgoing.HasCharacter, outgoing.Value,
                           line);
  }
  const int64_t origin = static_cast<int64_t>(std::floor(outgoing.OriginMs / kMsPerSecond));
  return FormatExtraTraceLine(run.Slots[origin % kSecondSlots].Second, outgoing.Value, line);
}

// Sends one entry at its moment: the character, its recording, its trace line, the status.
// False when the run must end: a stop, or a failure with a message in run->Message.
bool SendOutgoing(RunRecord* run, const OutgoingRecord& outgoing) {
  const OptionsRecord& options = *run->Options;
  const int64_t at_ns =
      run->StartNs + std::llround(outgoing.AtMs * static_cast<double>(kNanosecondsPerMillisecond));
  if (!options.Fast && !SleepUntil(at_ns)) {
    return false;
  }
  if (outgoing.HasCharacter && !WriteCharacter(outgoing.Value, run->Message)) {
    return false;
  }
  if (outgoing.HasCharacter && run->Record != nullptr && !WriteRecordLine(run, outgoing)) {
    return false;
  }
  char line[kTraceLineSize];
  if (options.Trace && !WriteTrace(run, line, FormatOutgoingLine(*run, outgoing, line))) {
    return false;
  }
  if (run->Source == kMarkSource && outgoing.Owner != kNoOwner) {
    ShowStatus(run, run->Slots[outgoing.Owner]);
  }
  run->LastOutMs = outgoing.AtMs;
  return true;
}

// Feeds the input and sends what comes out, to its end or a stop. False on a failure
// (message in run->Message).
bool RunQueue(RunRecord* run) {
  for (;;) {
    OutgoingRecord outgoing = {};
    while (TakeOutgoing(&run->Queue, &outgoing)) {
      if (run->Sending && !SendOutgoing(run, outgoing)) {
        return run->Message[0] == '\0';
      }
    }
    if (run->InputDone || (run->Sending && IsStopRequested())) {
      return true;
    }
    const bool fed = run->Source == kMarkSource ? FeedSecond(run) : FeedLine(run);
    if (!fed) {
      return false;
    }
  }
}

// Plays the whole file once without sending, so that a bad line stops the run before it
// starts; then rewinds it. False with a message.
bool CheckPlayedFile(RunRecord* run) {
  run->Sending = false;
  StartSendQueue(&run->Queue, run->Options->Fifo);
  const bool good = RunQueue(run);
  std::rewind(run->Played);
  run->LineNumber = 0;
  run->NumberLines = 0;
  run->LastLineMs = 0;
  run->InputDone = false;
  return good;
}

bool StartStreamRun(RunRecord* run, const StartRecord& start, LocalTimeFunction convert) {
  const OptionsRecord& options = *run->Options;
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
  settings.SpikesPerMinute = options.SpikesPerMinute;
  settings.RoomNoise = options.RoomNoise;
  settings.Seed = options.HasSeed ? options.Seed : MakeSeed();
  const int64_t announced =
      start.FirstMarkPosix + int64_t{options.AheadMinutes} * kSecondsPerMinute;
  if ((options.Leap && !FindLeapMinute(announced, convert, &settings.LeapMinute)) ||
      !StartStream(settings, announced, &run->Stream)) {
    std::snprintf(run->Message, kMessageSize,
                  "the time zone cannot tell the time of the first mark");
    return false;
  }
  const bool random_used = options.Weather || options.DropChance > 0 ||
                           options.SpuriousChance > 0 || options.FlipChance > 0 ||
                           options.GarbleChance > 0 || options.JitterMs > 0 ||
                           options.SpikesPerMinute > 0 || options.RoomNoise > 0;
  if (!options.HasSeed && random_used && !options.Quiet) {
    std::fprintf(stderr, "%s: seed %" PRIu64 " (--seed repeats this run)\n", kProgramName,
                 settings.Seed);
  }
  return true;
}

// Opens the file to play and checks it. False with a message.
bool OpenPlayedFile(RunRecord* run) {
  const OptionsRecord& options = *run->Options;
  run->Source = options.ReplayPath != nullptr ? kRecordingSource : kPulseSource;
  run->PlayedPath = run->Source == kRecordingSource ? options.ReplayPath : options.ReplayPulsesPath;
  run->Played = std::fopen(run->PlayedPath, "r");
  if (run->Played == nullptr) {
    std::snprintf(run->Message, kMessageSize, "cannot open %s %s: %s",
                  run->Source == kRecordingSource ? "--replay" : "--replay-pulses", run->PlayedPath,
                  std::strerror(errno));
    return false;
  }
  return CheckPlayedFile(run);
}

bool OpenRecord(RunRecord* run) {
  const char* path = run->Options->RecordPath;
  run->Record = std::fopen(path, "w");
  if (run->Record == nullptr || std::fputs(kRecordingHeader, run->Record) < 0) {
    std::snprintf(run->Message, kMessageSize, "cannot write --record %s: %s", path,
                  std::strerror(errno));
    return false;
  }
  return true;
}

void CloseFiles(RunRecord* run) {
  if (run->Played != nullptr) {
    std::fclose(run->Played);
  }
  if (run->Record != nullptr && std::fclose(run->Record) != 0 && run->Message[0] == '\0') {
    std::snprintf(run->Message, kMessageSize, "cannot write to --record %s",
                  run->Options->RecordPath);
  }
}

// The run itself once the output is open: its exit status, with a message in
// run->Message unless it is kExitDone.
int Run(RunRecord* run, int64_t start_posix, LocalTimeFunction convert) {
  const OptionsRecord& options = *run->Options;
  if (options.OnOpen && !WaitForPtyReader(run->Message)) {
    return IsStopRequested() ? kExitDone : kExitBadInput;
  }
  if (run->Source == kMarkSource) {
    const StartRecord start = PlanStart(options, start_posix);
    if (!StartStreamRun(run, start, convert)) {
      return kExitBadInput;
    }
    run->StartNs = start.FirstMarkNs;
  } else {
    run->StartNs = ReadMonotonicNs();
  }
  run->Sending = true;
  StartSendQueue(&run->Queue, options.Fifo);
  run->ShowStatus = !options.Quiet && !options.Fast && IsStderrTerminal();
  if (!RunQueue(run)) {
    return kExitFailed;
  }
  if (run->InputDone && !options.Fast) {
    const double linger_ns = (run->LastOutMs + kLingerMs) * kNanosecondsPerMillisecond;
    SleepUntil(run->StartNs + std::llround(linger_ns));
  }
  return kExitDone;
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

  RunRecord run = {};
  run.Options = &options;
  run.Source = kMarkSource;
  run.UartTimed = options.DevicePath == nullptr;
  if ((options.ReplayPath != nullptr || options.ReplayPulsesPath != nullptr) &&
      !OpenPlayedFile(&run)) {
    CloseFiles(&run);
    return ReportBadInput(run.Message);
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
  if (options.RecordPath != nullptr && !OpenRecord(&run)) {
    CloseFiles(&run);
    return ReportBadInput(run.Message);
  }

  PrepareRealTime();
  const bool opened = options.PtyLink != nullptr ? OpenPtyOutput(options.PtyLink, message)
                      : options.DevicePath != nullptr
                          ? OpenDeviceOutput(options.DevicePath, message)
                          : true;
  if (!opened) {
    CloseFiles(&run);
    return ReportBadInput(message);
  }
  int status = Run(&run, start_posix, convert);
  CloseOutput();
  CloseFiles(&run);
  if (run.StatusShown) {
    std::fputc('\n', stderr);
  }
  if (run.Message[0] != '\0') {
    std::fprintf(stderr, "%s: %s\n", kProgramName, run.Message);
    status = status == kExitDone ? kExitFailed : status;
  }
  return status;
}
