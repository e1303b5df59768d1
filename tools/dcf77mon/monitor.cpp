#include "monitor.h"

#include <cmath>
#include <cstring>

#include "character_view.h"
#include "common/decoded_minute.h"
#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "decoder/clock.h"
#include "decoder/framing.h"
#include "decoder/steering.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t kMsPerSecond = 1000;
// From FILETIME's epoch, 1601, to 1970's, in ms.
constexpr int64_t kMsFrom1601To1970 = 11644473600000;

// The histogram's longest bar.
constexpr uint32_t kBarLength = 40;
// Fewer marks than about half a minute's are too few to call them all long; one minute framed
// anew after a start is normal, more are not.
constexpr uint32_t kFewestMarksToJudge = 30;
constexpr uint32_t kFramedAnewAgain = 2;
constexpr uint8_t kLongestMark = 0x00;

// The failed minutes in the summary, in the order of the framing and then the checks.
struct ReasonRecord {
  MinuteVerdict Verdict;
  const char* Name;
};
const ReasonRecord kReasons[] = {
    {kMarksMissing, "seconds without a mark"},
    {kFrameMoved, "framed anew"},
};

void ClearLiveStatus(MonitorRecord* monitor) {
  if (monitor->StatusShown > 0) {
    std::fprintf(monitor->Out, "\r%*s\r", monitor->StatusShown, "");
    monitor->StatusShown = 0;
  }
}

void WriteLine(MonitorRecord* monitor, const char* line) {
  ClearLiveStatus(monitor);
  std::fputs(line, monitor->Out);
  std::fputc('\n', monitor->Out);
}

void NoteInSlot(MonitorRecord* monitor, uint32_t now, CharacterClass kind) {
  const uint32_t second = now / kMsPerSecond;
  const uint32_t slot = second % kStatusSeconds;
  if (monitor->SlotSeconds[slot] != second) {
    monitor->SlotSeconds[slot] = second;
    monitor->SlotSpikes[slot] = 0;
    monitor->SlotBroken[slot] = 0;
  }
  if (kind == kSpike) {
    ++monitor->SlotSpikes[slot];
  } else {
    ++monitor->SlotBroken[slot];
  }
}

void CountMinute(MonitorRecord* monitor, const MinuteResultRecord& minute) {
  ++monitor->MinutesSeen;
  ++monitor->Verdicts[minute.Verdict];
  monitor->MarksLost += minute.MarkLost;
  if (minute.Verdict == kTelegramFailed && minute.Check <= kYearOutOfRange) {
    ++monitor->FailedChecks[minute.Check];
  }
  monitor->RecentDecoded[monitor->RecentNext] =
      minute.Verdict == kMinuteHeld || minute.Verdict == kMinuteConfirmed;
  monitor->RecentNext = (monitor->RecentNext + 1) % kStatusMinutes;
  if (monitor->RecentCount < kStatusMinutes) {
    ++monitor->RecentCount;
  }
}

uint8_t CountMarksThisMinute() {
  uint8_t marks = 0;
  for (uint64_t seconds = ReceiverState.MarkSeconds & ~uint64_t{1}; seconds != 0;
       seconds &= seconds - 1) {
    ++marks;
  }
  return marks;
}

// The PC clock's offset from DCF77, as horax's steering would take it, where a minute that
// ended at `tick`, when the clock read `clock_ms` (ms since 1970): by its telegram when it was
// confirmed and its mark came, else by its marks alone where they give a phase. kNoOffset
// when the steering takes none.
int64_t TakeClockOffset(MonitorRecord* monitor, const MinuteResultRecord& minute, uint32_t tick,
                        int64_t clock_ms, bool* by_marks) {
  SteeringRecord* steering = &monitor->Steering;
  const uint32_t mark_tick = minute.MarkTick;
  const int64_t clock = clock_ms + kMsFrom1601To1970;
  // Shown as horax takes it: less the marks' bias by the rate learned.
  const int64_t bias = std::llround(FindRateBiasMs(*steering));
  int64_t dcf77_ms = 0;
  *by_marks = false;
  if (clock_ms == kNoClock) {
    return kNoOffset;
  }
  if (minute.Verdict == kMinuteConfirmed &&
      FindDcf77Time(minute.Fields, minute.Zone, mark_tick, tick, &dcf77_ms)) {
    NoteTelegramOffset(steering, tick, static_cast<double>(clock - dcf77_ms), minute.LeapAhead,
                       kRightClockMs);
    ++monitor->Offsets;
    return clock - dcf77_ms + bias;
  }
  if (minute.Verdict == kMinuteHeld && minute.LeapAhead) {
    NoteLeapAnnounced(steering);
  }
  const int64_t offset = FindMarksOffset(mark_tick, tick, clock);
  *by_marks = minute.Verdict != kFrameMoved && minute.SpreadMs != kSpreadUnknown &&
              NoteMarksOffset(steering, tick, static_cast<double>(offset));
  monitor->Offsets += *by_marks;
  return *by_marks ? offset + bias : kNoOffset;
}

// The line of a minute that ended at the poll of tick `now`, and the status after it.
void ReportMinute(MonitorRecord* monitor, const MinuteResultRecord& minute, int64_t offset_ms,
                  bool by_marks, uint32_t now) {
  // A minute that began before the port was opened cannot hold all its marks: it tells
  // nothing of the signal.
  const bool partial = monitor->InsideFirstMinute &&
                       (minute.Verdict == kMarksMissing || minute.Verdict == kFrameMoved);
  monitor->InsideFirstMinute = false;
  if (partial) {
    ++monitor->PartialMinutes;
  } else {
    CountMinute(monitor, minute);
  }
  char line[kViewLineSize];
  FormatMinuteLine(minute, partial, offset_ms, by_marks, line, sizeof line);
  WriteLine(monitor, line);
  FormatStatus(*monitor, now, line);
  WriteLine(monitor, line);
}

// The monitor whose queue the poll takes from, and how many it took.
MonitorRecord* Polled = nullptr;
int Taken = 0;

bool TakeQueued(uint32_t now, ArrivalRecord* arrival) {
  const MonitorRecord& m = *Polled;
  if (Taken == m.Queued ||
      (!m.StampedAtPoll && static_cast<int32_t>(now - m.QueuedMs[Taken]) < 0)) {
    return false;
  }
  arrival->Value = m.QueuedValues[Taken];
  arrival->Tick = m.StampedAtPoll ? now : m.QueuedMs[Taken];
  ++Taken;
  return true;
}

// The i-th character queued, handled at the poll of tick `now` with the tick it was given:
// its line, and that of a minute that ended.
void ReportCharacter(MonitorRecord* monitor, int i, uint32_t tick,
                     const CharacterResultRecord& result, uint32_t now) {
  const uint8_t value = monitor->QueuedValues[i];
  ++monitor->Characters[value];
  monitor->Readings[value] = NameReading(result);
  monitor->LeftOut += result.Fate == kMarkLeftOut;
  monitor->Replacing += result.Fate == kMarkReplacing;
  if (result.Class == kSpike || result.Class == kBrokenMark) {
    NoteInSlot(monitor, now, result.Class);
  }
  char line[kViewLineSize];
  FormatCharacterLine(monitor->QueuedMs[i], value, result, line, sizeof line);
  WriteLine(monitor, line);
  if (result.Minute.Verdict != kNoMinute) {
    bool by_marks = false;
    const int64_t offset =
        TakeClockOffset(monitor, result.Minute, tick, monitor->QueuedClocks[i], &by_marks);
    ReportMinute(monitor, result.Minute, offset, by_marks, now);
  }
}

}  // namespace

bool StartMonitor(MonitorRecord* monitor, FILE* out, FILE* recording, bool live_status) {
  std::memset(monitor, 0, sizeof *monitor);
  monitor->Out = out;
  monitor->Recording = recording;
  monitor->LiveStatus = live_status;
  TimeFields = {};
  RestartMonitor(monitor, 0);
  return recording == nullptr || std::fputs(kRecordingHeader, recording) >= 0;
}

void RestartMonitor(MonitorRecord* monitor, uint32_t now) {
  RestartReception();
  OpenFrame(now);
  monitor->InsideFirstMinute = true;
}

void NotePortEvent(MonitorRecord* monitor, PortEvent event, const char* port, uint32_t now) {
  if (event == kPortWentAway) {
    RestartReception();
  } else {
    RestartMonitor(monitor, now);
  }
  if (monitor->Recording != nullptr) {
    std::fprintf(monitor->Recording, "# %u ms: %s %s\n", now, port, kPortEventTexts[event]);
  }
}

bool HasRoomForCharacter(const MonitorRecord& monitor) {
  return monitor.Queued < kMostCharactersPerPoll;
}

bool NoteArrival(MonitorRecord* monitor, uint32_t arrival_ms, uint8_t value, int64_t clock_ms) {
  if (!HasRoomForCharacter(*monitor)) {
    return false;
  }
  monitor->QueuedMs[monitor->Queued] = arrival_ms;
  monitor->QueuedValues[monitor->Queued] = value;
  monitor->QueuedClocks[monitor->Queued] = clock_ms;
  ++monitor->Queued;
  return monitor->Recording == nullptr ||
         std::fprintf(monitor->Recording, "%u %u %lld\n", arrival_ms, value,
                      static_cast<long long>(clock_ms)) > 0;
}

bool RunPoll(MonitorRecord* monitor, uint32_t now) {
  // The decoder's clock runs with the polls: a set it asks for happens at one.
  PassNativeClockTick(now);
  Polled = monitor;
  Taken = 0;
  static PollResultRecord result;
  RunReceptionPoll(TakeQueued, now, &result);
  for (int i = 0; i < result.Count; ++i) {
    ReportCharacter(monitor, i, result.Arrivals[i].Tick, result.Characters[i], now);
  }
  if (result.Overdue.Verdict != kNoMinute) {
    ReportMinute(monitor, result.Overdue, kNoOffset, false, now);
  }
  const int left = monitor->Queued - Taken;
  std::memmove(monitor->QueuedMs, monitor->QueuedMs + Taken, sizeof(uint32_t) * left);
  std::memmove(monitor->QueuedValues, monitor->QueuedValues + Taken, sizeof(uint8_t) * left);
  std::memmove(monitor->QueuedClocks, monitor->QueuedClocks + Taken, sizeof(int64_t) * left);
  monitor->Queued = left;
  monitor->LastPollMs = now;
  if (monitor->LiveStatus) {
    char line[kViewLineSize];
    FormatStatus(*monitor, now, line);
    // Drawn again only when it changed, or when a line pushed it away.
    if (monitor->StatusShown == 0 || std::strcmp(line, monitor->StatusText) != 0) {
      ClearLiveStatus(monitor);
      std::fputs(line, monitor->Out);
      monitor->StatusShown = static_cast<int>(std::strlen(line));
      std::memcpy(monitor->StatusText, line, sizeof line);
    }
  }
  const bool recorded = monitor->Recording == nullptr || std::fflush(monitor->Recording) == 0;
  return std::fflush(monitor->Out) == 0 && recorded;
}

int FormatStatus(const MonitorRecord& monitor, uint32_t now, char* line) {
  const uint32_t second = now / kMsPerSecond;
  unsigned spikes = 0;
  unsigned broken = 0;
  for (int slot = 0; slot < kStatusSeconds; ++slot) {
    if (second - monitor.SlotSeconds[slot] < kStatusSeconds) {
      spikes += monitor.SlotSpikes[slot];
      broken += monitor.SlotBroken[slot];
    }
  }
  unsigned decoded = 0;
  for (uint32_t i = 0; i < monitor.RecentCount; ++i) {
    decoded += monitor.RecentDecoded[i];
  }
  const int length = std::snprintf(
      line, kViewLineSize,
      "status: %2u marks this minute | last %d s: %u spikes, %u broken | decoded %u of the last "
      "%u minutes",
      CountMarksThisMinute(), kStatusSeconds, spikes, broken, decoded, monitor.RecentCount);
  return length < 0 ? 0 : length;
}

void PrintNotice(MonitorRecord* monitor, FILE* where, const char* text) {
  ClearLiveStatus(monitor);
  std::fflush(monitor->Out);
  std::fputs(text, where);
  std::fputc('\n', where);
  std::fflush(where);
}

const char* DiagnoseReception(const MonitorRecord& monitor) {
  uint32_t marks = 0;
  uint32_t noise = 0;  // spikes and broken marks
  for (int value = 0; value < kCharacterValues; ++value) {
    const CharacterClass kind = ClassifyCharacter(static_cast<uint8_t>(value));
    marks += kind != kSpike ? monitor.Characters[value] : 0;
    noise += kind == kSpike || kind == kBrokenMark ? monitor.Characters[value] : 0;
  }
  if (marks == 0) {
    return "no mark came: no signal, no supply from RTS, RxD or ground not connected, or the "
           "port gone";
  }
  // A module whose output goes the wrong way starts each character at the end of a mark and
  // holds the line low until the next one; a port far above 50 baud reads a whole mark low.
  if (marks >= kFewestMarksToJudge && monitor.Characters[kLongestMark] == marks) {
    return "every mark read 0x00: the module's output goes the wrong way round, or the port is "
           "not at 50 baud";
  }
  // A receive FIFO moves clean marks; interference moves them with spikes and broken marks.
  const uint32_t framed_anew = monitor.Verdicts[kFrameMoved];
  if (framed_anew >= kFramedAnewAgain) {
    return noise < framed_anew
               ? "minutes framed anew again and again, with little interference: a receive FIFO "
                 "holding the characters back"
               : "minutes framed anew again and again, amid spikes and broken marks: "
                 "interference, see the antenna";
  }
  return nullptr;
}

void PrintSummary(MonitorRecord* monitor, uint32_t now) {
  ClearLiveStatus(monitor);
  FILE* out = monitor->Out;
  const uint32_t* verdicts = monitor->Verdicts;
  const uint32_t decoded = verdicts[kMinuteHeld] + verdicts[kMinuteConfirmed];
  std::fprintf(out, "summary after %u.%03u s: minutes seen %u, decoded %u, confirmed %u\n",
               now / kMsPerSecond, now % kMsPerSecond, monitor->MinutesSeen, decoded,
               verdicts[kMinuteConfirmed]);
  if (monitor->PartialMinutes > 0) {
    std::fprintf(out, "  partial minutes, not counted: %u (the port was opened inside them)\n",
                 monitor->PartialMinutes);
  }
  const uint32_t failed = monitor->MinutesSeen - decoded;
  std::fprintf(out, "  failed minutes: %u%s\n", failed, failed > 0 ? ", by reason:" : "");
  for (const ReasonRecord& reason : kReasons) {
    if (verdicts[reason.Verdict] > 0) {
      std::fprintf(out, "    %-22s %6u\n", reason.Name, verdicts[reason.Verdict]);
    }
  }
  for (int check = kMinuteParityFailed; check <= kYearOutOfRange; ++check) {
    if (monitor->FailedChecks[check] > 0) {
      std::fprintf(out, "    %-22s %6u\n", NameTelegramCheck(static_cast<TelegramCheck>(check)),
                   monitor->FailedChecks[check]);
    }
  }
  std::fprintf(out, "  minute marks lost: %u\n", monitor->MarksLost);
  std::fprintf(out, "  characters left out: %u, replacing another: %u\n", monitor->LeftOut,
               monitor->Replacing);
  if (monitor->Steering.RateLearned) {
    std::fprintf(out, "  PC clock against DCF77: %+.1f ppm, learned from %u offsets\n",
                 monitor->Steering.RatePpm, monitor->Offsets);
  } else {
    std::fprintf(out, "  PC clock against DCF77: not known: it takes offsets over ten minutes\n");
  }

  uint32_t most = 0;
  uint32_t total = 0;
  for (uint32_t count : monitor->Characters) {
    most = count > most ? count : most;
    total += count;
  }
  std::fprintf(out, "  characters: %u%s\n", total, total > 0 ? ", by value:" : "");
  for (int value = 0; value < kCharacterValues; ++value) {
    const uint32_t count = monitor->Characters[value];
    if (count == 0) {
      continue;
    }
    char width[kViewLineSize];
    DescribeMarkWidth(static_cast<uint8_t>(value), width, sizeof width);
    // Every value seen gets at least one mark of its bar.
    const uint32_t bar = static_cast<uint32_t>((uint64_t{count} * kBarLength + most - 1) / most);
    char bar_text[kBarLength + 1];
    std::memset(bar_text, '#', bar);
    bar_text[bar] = '\0';
    std::fprintf(out, "    0x%02X %-16s %-9s %6u  %s\n", value, width, monitor->Readings[value],
                 count, bar_text);
  }
  const char* diagnosis = DiagnoseReception(*monitor);
  if (diagnosis != nullptr) {
    std::fprintf(out, "  diagnosis: %s\n", diagnosis);
  }
  std::fflush(out);
}
