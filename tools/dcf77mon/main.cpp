// dcf77mon: shows what a DCF77 receiver module sends and what horax makes of it, from a
// serial port or from a recording. Reads the options, then the port or the recording.

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "monitor.h"
#include "monitor_options.h"
#include "monitor_port.h"
#include "port/port_watch.h"
#include "recording_place.h"
#include "replay.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr char kProgramName[] = "dcf77mon";
constexpr char kColumns[] = "      time  char  mark width       reads     second";

int ReportBadInput(const char* message) {
  std::fprintf(stderr, "%s: %s\n", kProgramName, message);
  return kBadInputStatus;
}

int ReportUnusableFile(const char* what, const char* path) {
  std::fprintf(stderr, "%s: cannot %s %s: %s\n", kProgramName, what, path, std::strerror(errno));
  return kBadInputStatus;
}

// Said once on standard error, out of the way of the live status, and noted in the
// recording, so that whoever reads it later knows why reception started again.
void ReportPortEvent(MonitorRecord* monitor, const char* port, PortEvent event, uint32_t now) {
  char text[kPortMessageSize];
  std::snprintf(text, sizeof text, "%s: %s %s", kProgramName, port, kPortEventTexts[event]);
  PrintNotice(monitor, stderr, text);
  NotePortEvent(monitor, event, port, now);
}

// Gives the port up, and opens it again, when horax would: at the poll of tick `now`.
void WatchPort(MonitorRecord* monitor, PortWatchRecord* watch, const char* port, bool read_failed,
               uint32_t now) {
  if (!watch->Closed) {
    if (NoteReadOutcome(watch, read_failed, now)) {
      CloseMonitorPort();
      NotePortClosed(watch, now);
      ReportPortEvent(monitor, port, kPortWentAway, now);
    }
    return;
  }
  if (!IsReopenDue(*watch, now)) {
    return;
  }
  char message[kPortMessageSize];
  char warning[kPortMessageSize];
  const bool opened = OpenMonitorPort(port, message, warning);
  NoteReopenTried(watch, opened, now);
  if (opened) {
    ReportPortEvent(monitor, port, kPortIsBack, now);
  }
}

// Reads the port until a stop is asked for: between two polls every character as it
// arrives, with its own time and the PC clock's reading then; at each poll, on a drift-free
// 250 ms schedule, those that arrived by then. False when the output or the recording cannot
// be written.
bool ReadPort(MonitorRecord* monitor, const char* port, uint32_t* end_ms) {
  PortWatchRecord watch = {};
  uint32_t poll = kPollPeriodMs;
  for (;;) {
    bool read_failed = false;
    for (;;) {
      const int32_t left = static_cast<int32_t>(poll - ReadMonitorClock());
      if (left <= 0 || IsStopRequested()) {
        break;
      }
      if (watch.Closed || read_failed || !HasRoomForCharacter(*monitor)) {
        PauseMonitor(static_cast<uint32_t>(left));
        continue;
      }
      uint8_t value = 0;
      uint32_t arrived = 0;
      const int count = ReadMonitorPort(&value, &arrived, static_cast<uint32_t>(left));
      read_failed = count < 0;
      // The clock read now, less the few ms since the character came: the two clocks run
      // together over so short a time.
      if (count > 0 &&
          !NoteArrival(monitor, arrived, value, ReadPcClock() - (ReadMonitorClock() - arrived))) {
        return false;
      }
    }
    if (!RunPoll(monitor, poll)) {
      return false;
    }
    *end_ms = poll;
    if (IsStopRequested()) {
      // The characters read before a stop get their poll too, as in a replay of the
      // recording: one that came after this poll's moment, the next.
      return monitor->Queued == 0 || RunPoll(monitor, *end_ms = poll + kPollPeriodMs);
    }
    WatchPort(monitor, &watch, port, read_failed, poll);
    poll += kPollPeriodMs;
    // After the whole system was paused (asleep), the polls go on from now, not in a burst.
    const uint32_t now = ReadMonitorClock();
    if (static_cast<int32_t>(now - poll) > static_cast<int32_t>(kPollPeriodMs)) {
      poll = now - now % kPollPeriodMs + kPollPeriodMs;
    }
  }
}

int RunReplay(const char* path) {
  FILE* file = std::fopen(path, "r");
  if (file == nullptr) {
    return ReportUnusableFile("read", path);
  }
  MonitorRecord monitor;
  StartMonitor(&monitor, stdout, nullptr, false);
  std::printf("%s: replaying %s, each character at the first 250 ms poll at or after it\n%s\n",
              kProgramName, path, kColumns);
  char message[kReplayMessageSize];
  uint32_t end_ms = 0;
  const bool played = ReplayRecording(file, path, &monitor, &end_ms, message);
  std::fclose(file);
  if (!played) {
    std::fflush(stdout);
    return ReportBadInput(message);
  }
  PrintSummary(&monitor, end_ms);
  return std::ferror(stdout) ? kExitFailed : kExitDone;
}

int RunPort(const char* port, const char* record_path) {
  char refusal[kPlaceMessageSize];
  if (record_path != nullptr && !CheckRecordingPlace(record_path, refusal)) {
    return ReportBadInput(refusal);
  }
  FILE* recording = nullptr;
  if (record_path != nullptr && (recording = std::fopen(record_path, "w")) == nullptr) {
    return ReportUnusableFile("write", record_path);
  }
  PrepareMonitor();
  char message[kPortMessageSize];
  char warning[kPortMessageSize];
  if (!OpenMonitorPort(port, message, warning)) {
    if (recording != nullptr) {
      std::fclose(recording);
    }
    return ReportBadInput(message);
  }
  if (warning[0] != '\0') {
    std::fprintf(stderr, "%s: warning: %s\n", kProgramName, warning);
  }
  if (DescribeOtherSteering(warning)) {
    std::fprintf(stderr, "%s: note: %s\n", kProgramName, warning);
  }
  MonitorRecord monitor;
  bool written = StartMonitor(&monitor, stdout, recording, IsOutputTerminal());
  std::printf("%s: %s at 50 baud 8N1, a poll every 250 ms as horax's; Ctrl-C ends\n%s\n",
              kProgramName, port, kColumns);
  uint32_t end_ms = 0;
  written = written && ReadPort(&monitor, port, &end_ms);
  // The port and the recording first: when the console is being closed, the time left is
  // short and writing to the console may not work at all.
  CloseMonitorPort();
  if (recording != nullptr && std::fclose(recording) != 0) {
    written = false;
  }
  PrintSummary(&monitor, end_ms);
  NoteMonitorDone();
  if (!written) {
    std::fprintf(stderr, "%s: cannot write the %s\n", kProgramName,
                 std::ferror(stdout) ? "output" : "recording");
    return kExitFailed;
  }
  return kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
  MonitorOptionsRecord options = {};
  char message[kOptionsMessageSize];
  if (!ParseMonitorOptions(argc, argv, &options, message)) {
    return ReportBadInput(message);
  }
  if (options.Help) {
    std::fputs(GetMonitorHelpText(), stdout);
    return kExitDone;
  }
  if (options.ReplayPath != nullptr) {
    return RunReplay(options.ReplayPath);
  }
  return RunPort(options.Port, options.RecordPath);
}
