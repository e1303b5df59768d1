#include "replay.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "recording.h"

namespace {

// A recording line is two numbers; anything much longer is no recording.
constexpr int kLongestLine = 256;
constexpr double kLargestValue = 255;
// Ticks are 32-bit milliseconds; a recording ends a poll before they wrap (49.7 days).
constexpr double kLastMs = 4294967295.0 - kPollPeriodMs;

bool Fail(char* message, const char* name, unsigned number, const char* what) {
  std::snprintf(message, kReplayMessageSize, "%.100s:%u: %.140s", name, number, what);
  return false;
}

// The first poll at or after `ms`; the first of all comes a period after the start.
uint32_t FindPoll(double ms) {
  const double polls = std::ceil(ms / kPollPeriodMs);
  return kPollPeriodMs * (polls < 1 ? 1 : static_cast<uint32_t>(polls));
}

// A note of the port's going or coming back, "# ms: PORT <event>": true with the event and
// its poll's tick.
bool ReadPortEvent(const char* line, PortEvent* event, double* ms) {
  int length = 0;
  if (std::sscanf(line, "# %lf ms: %n", ms, &length) != 1 || length == 0) {
    return false;
  }
  for (const PortEvent e : {kPortWentAway, kPortIsBack}) {
    if (std::strstr(line + length, kPortEventTexts[e]) != nullptr) {
      *event = e;
      return true;
    }
  }
  return false;
}

}  // namespace

bool ReplayRecording(FILE* file, const char* name, MonitorRecord* monitor, uint32_t* end_ms,
                     char* message) {
  char line[kLongestLine];
  char what[kReplayMessageSize];
  unsigned number = 0;
  double last_ms = 0;
  uint32_t poll = kPollPeriodMs;
  while (std::fgets(line, sizeof line, file) != nullptr) {
    ++number;
    if (std::strchr(line, '\n') == nullptr && !std::feof(file)) {
      return Fail(message, name, number, "the line is too long for \"ms value\"");
    }
    double ms = 0;
    double value = 0;
    double clock = 0;
    const RecordLineKind kind = ReadRecordLine(line, &ms, &value, &clock);
    if (kind == kCommentLine) {
      // The session noted the event after its poll had run, and reception then started
      // afresh as horax's does.
      PortEvent event = kPortWentAway;
      if (ReadPortEvent(line, &event, &ms) && ms >= last_ms && ms <= kLastMs) {
        for (; poll <= ms; poll += kPollPeriodMs) {
          RunPoll(monitor, poll);
        }
        NotePortEvent(monitor, event, "", static_cast<uint32_t>(ms));
        last_ms = ms;
      }
      continue;
    }
    if (kind == kBadLine) {
      line[std::strcspn(line, "\r\n")] = '\0';
      std::snprintf(what, sizeof what, "not \"ms value clock\" or \"ms value\": %.60s", line);
      return Fail(message, name, number, what);
    }
    if (value != std::floor(value) || value > kLargestValue) {
      std::snprintf(what, sizeof what, "%g is no character value (0-255)", value);
      return Fail(message, name, number, what);
    }
    if (ms < last_ms || ms > kLastMs) {
      std::snprintf(what, sizeof what, "the time %.10g ms is %s", ms,
                    ms < last_ms ? "earlier than the line before" : "past 49 days");
      return Fail(message, name, number, what);
    }
    last_ms = ms;

    // Every poll before the one the character waits for runs, as horax's timer would: one
    // with no character may still end a minute whose mark is overdue. Behind a poll that
    // was full, a character waits for the next, as the rest did.
    while (poll < FindPoll(ms) || !HasRoomForCharacter(*monitor)) {
      RunPoll(monitor, poll);
      poll += kPollPeriodMs;
    }
    // A recording of old holds no clock, and the monitor then handed each character on
    // with its poll's tick.
    monitor->StampedAtPoll = clock < 0;
    NoteArrival(monitor, static_cast<uint32_t>(std::ceil(ms)), static_cast<uint8_t>(value),
                clock < 0 ? kNoClock : static_cast<int64_t>(clock));
  }
  if (std::ferror(file)) {
    std::snprintf(message, kReplayMessageSize, "cannot read %.100s: %.100s", name,
                  std::strerror(errno));
    return false;
  }
  RunPoll(monitor, poll);
  *end_ms = poll;
  return true;
}
