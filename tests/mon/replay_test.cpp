// Sessions of the monitor: minutes of dcf77sim's stream with each fault, read through the
// UART model into recordings and replayed; a session that records and its replay;
// recordings that are not.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "civil_time.h"
#include "mark_stream.h"
#include "monitor.h"
#include "replay.h"
#include "uart_model.h"

namespace {

typedef std::function<void(int index, SecondRecord* second)> ChangeFunction;

// The port opens at 0 ms, 01:29:00.500 CET on 10 January 2012 (a Tuesday): the PC clock
// then, right, in ms since 1970.
constexpr int64_t kClockAtOpen = 1326155340500;

// Seconds of dcf77sim's stream from 01:29:01 on, Berlin time, each changed by `change`,
// through the UART model: the characters and when it hands them over. The first mark
// begins at 500 ms.
std::vector<UartCharacterRecord> ReceiveStream(int seconds, const ChangeFunction& change,
                                               double spikes_per_minute = 0, double jitter = 0) {
  constexpr int64_t kFirstPosix = 1326155341;  // 00:29:01 UTC
  // Weather bits, no faults of the stream's own but spikes and jitter, no room noise.
  const StreamSettingsRecord settings = {
      ConvertToEuLocal, kNoLeapMinute,     true, 0, 0, 0, 0, kLongMarkMs, kShortMarkMs,
      jitter,           spikes_per_minute, 0,    21};
  StreamRecord stream = {};
  EXPECT_TRUE(StartStream(settings, kFirstPosix, &stream));
  UartRecord uart;
  StartUart(&uart);
  std::vector<UartCharacterRecord> characters;
  UartCharacterRecord character = {};
  for (int k = 0; k < seconds; ++k) {
    SecondRecord second = {};
    EXPECT_TRUE(AdvanceStream(&stream, &second));
    change(k, &second);
    const double start = 500 + 1000.0 * k;
    EXPECT_TRUE(PutSecondOnLine(second, start, &uart));
    while (ReadUartCharacter(&uart, start + 1000, &character)) {
      characters.push_back(character);
    }
  }
  return characters;
}

std::string ReadAll(FILE* file) {
  std::string text;
  std::rewind(file);
  for (int c; (c = std::fgetc(file)) != EOF;) {
    text += static_cast<char>(c);
  }
  return text;
}

// The monitor's output on `recording`, summary included, or "refused: " and the reason.
std::string Replay(const std::string& recording) {
  FILE* in = std::tmpfile();
  FILE* out = std::tmpfile();
  std::fputs(recording.c_str(), in);
  std::rewind(in);
  MonitorRecord monitor;
  StartMonitor(&monitor, out, nullptr, false);
  char refusal[kReplayMessageSize] = {};
  uint32_t end_ms = 0;
  const bool played = ReplayRecording(in, "rec.txt", &monitor, &end_ms, refusal);
  PrintSummary(&monitor, end_ms);
  const std::string text = played ? ReadAll(out) : std::string("refused: ") + refusal;
  std::fclose(in);
  std::fclose(out);
  return text;
}

// A recording of `characters`, with the PC clock `clock_ms` ahead and `ppm` fast.
std::string Record(const std::vector<UartCharacterRecord>& characters, int clock_ms = 0,
                   double ppm = 0) {
  std::string recording = kRecordingHeader;
  for (const UartCharacterRecord& r : characters) {
    const int64_t clock = kClockAtOpen + clock_ms + std::llround(r.DoneMs * (1 + ppm * 1e-6));
    recording += std::to_string(std::lround(r.DoneMs)) + " " + std::to_string(r.Value) + " " +
                 std::to_string(clock) + "\n";
  }
  return recording;
}

std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& start) {
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    if (text.compare(at, start.size(), start) == 0) {
      lines.push_back(text.substr(at, end - at));
    }
  }
  return lines;
}

// Three minutes, the mark of 01:32 and second 1 after it: the first opens 01:30 and is
// held, the second opens 01:31 and is confirmed; a fault laid on the third (second s of
// 01:31 at index 119 + s) gives the rest.
constexpr int kThreeMinutes = 59 + 60 + 60 + 2;
constexpr int kThirdMinute = 119;

TEST(FaultTest, EachFaultGetsItsVerdict) {
  const struct {
    const char* name;
    ChangeFunction change;
    const char* last;  // the third minute's line
    const char* counts;
    const char* status;  // the last status line's counts
  } kCases[] = {
      // The seconds after a lost mark stay where they are.
      {"drop", [](int k, SecondRecord* s) { s->Sent = s->Sent && k != kThirdMinute + 21; },
       "minute: failed, no mark in second 21; marks spread 0 ms; PC clock -12 ms by its marks",
       "minutes seen 3, decoded 2, confirmed 1", "0 spikes, 0 broken | decoded 2 of the last 3"},
      // Second 40 carries the tens of the day (10): sent as a 0 it breaks the date's parity.
      {"flip",
       [](int k, SecondRecord* s) {
         s->WidthMs = k == kThirdMinute + 40 ? kShortMarkMs : s->WidthMs;
       },
       "minute: failed, every mark came but date parity failed; marks spread 0 ms; PC clock -12 "
       "ms by its marks",
       "minutes seen 3, decoded 2, confirmed 1", "0 spikes, 0 broken | decoded 2 of the last 3"},
      // A spike between the marks of seconds 30 and 31, one in the silent second 59, and
      // one 40 ms into the mark of second 10: that mark comes broken, but counts, rightly.
      // A spike at 21 s is older than the last minute's status at 179.75 s.
      {"spikes",
       [](int k, SecondRecord* s) {
         if (k == 20 || k == kThirdMinute + 30 || k == kThirdMinute + 59) {
           s->Spikes[s->SpikeCount++] = {500, 20};
         } else if (k == kThirdMinute + 10) {
           s->Spikes[s->SpikeCount++] = {40, 20};
         }
       },
       "minute: 10.01.12 01:32 Tue CET, decoded, confirmed; marks spread 0 ms; PC clock -12 ms by "
       "its telegram",
       "minutes seen 3, decoded 3, confirmed 2", "2 spikes, 1 broken | decoded 3 of the last 3"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    // The PC clock 12 ms behind: by the telegram of a confirmed minute, after it by the marks.
    const std::string output = Replay(Record(ReceiveStream(kThreeMinutes, c.change), -12));
    const std::vector<std::string> expected = {
        "minute: 10.01.12 01:30 Tue CET, decoded, held: the minutes before do not confirm it yet; "
        "marks spread 0 ms",
        "minute: 10.01.12 01:31 Tue CET, decoded, confirmed; marks spread 0 ms; PC clock -12 ms by "
        "its telegram",
        c.last};
    EXPECT_EQ(LinesStartingWith(output, "minute:"), expected) << output;
    // Second 1 after the mark of 01:32 is handled at the poll after 180.69 s.
    EXPECT_EQ(LinesStartingWith(output, "summary"),
              std::vector<std::string>{std::string("summary after 180.750 s: ") + c.counts});
    EXPECT_EQ(LinesStartingWith(output, "status:").back(),
              std::string("status:  0 marks this minute | last 60 s: ") + c.status + " minutes");
  }
}

TEST(SummaryTest, MinutesReasonsAndTheValuesSeen) {
  // Four marks and a spike, then a silent second: the minute the port was opened inside
  // ends there. A broken mark that a clean one replaces, another mark with a stray after
  // it, and nothing more until a minute after: the minute ends where its mark was due.
  const std::string output = Replay(
      "690 240\n1690 0\n2400 255\n2690 128\n3690 240\n5690 240\n6690 62\n6800 240\n"
      "7690 0\n7900 240\n66690 240\n");
  EXPECT_EQ(output.substr(output.find("summary")),
            "summary after 66.750 s: minutes seen 1, decoded 0, confirmed 0\n"
            "  partial minutes, not counted: 1 (the port was opened inside them)\n"
            "  failed minutes: 1, by reason:\n"
            "    seconds without a mark      1\n"
            "  minute marks lost: 1\n"
            "  characters left out: 1, replacing another: 1\n"
            "  PC clock against DCF77: not known: it takes offsets over ten minutes\n"
            "  characters: 11, by value:\n"
            "    0x00 over 170 ms      1              2  ##############\n"
            "    0x3E cut: 3 of 8 low  broken 0       1  #######\n"
            "    0x80 151-170 ms       1?             1  #######\n"
            "    0xF0 91-110 ms        0              6  ########################################\n"
            "    0xFF 11-30 ms         spike          1  #######\n");
  EXPECT_NE(output.find("minute: failed, no mark in seconds 3-58, and its minute mark was lost"),
            std::string::npos);
}

TEST(SummaryTest, TheDiagnosisTellsTheWiringAndThePortApart) {
  std::string long_marks;  // thirty marks a second apart, each read as 0x00
  for (int k = 1; k <= 30; ++k) {
    long_marks += std::to_string(1000 * k) + " 0\n";
  }
  // Silent seconds after 2, 5 and 8 s: a 0 mark after each comes where no minute mark is due;
  // the first minute, which the port was opened inside, is not counted. Spikes change nothing.
  const std::string framed_anew =
      "1000 240\n2000 240\n4000 240\n5000 240\n7000 240\n8000 240\n10000 240\n";
  const std::pair<std::string, std::string> kCases[] = {
      // the diagnosis's start, or none
      {"1500 255\n", "no mark came: no signal"},
      {long_marks, "every mark read 0x00: the module's output goes the wrong way round"},
      {long_marks.substr(long_marks.find('\n') + 1), ""},  // too few to tell
      {long_marks + "31000 240\n", ""},
      {framed_anew, "minutes framed anew again and again, with little interference: a receive"},
      {"500 255\n600 255\n700 254\n" + framed_anew, "minutes framed anew again and again, amid"},
  };
  for (const auto& [recording, diagnosis] : kCases) {
    EXPECT_EQ(LinesStartingWith(Replay(recording), "  diagnosis: " + diagnosis).size(),
              diagnosis.empty() ? 0u : 1u)
        << recording;
  }
}

TEST(LiveStatusTest, StaysTheLastLineAndIsDrawnWhenItChanges) {
  FILE* out = std::tmpfile();
  MonitorRecord monitor;
  StartMonitor(&monitor, out, nullptr, true);
  RunPoll(&monitor, 250);
  RunPoll(&monitor, 500);  // the same: left as it is
  NoteArrival(&monitor, 600, 0xF0, kNoClock);
  RunPoll(&monitor, 750);
  const std::string rest =
      " marks this minute | last 60 s: 0 spikes, 0 broken | decoded 0 of the last 0 minutes";
  const std::string before = "status:  0" + rest;
  EXPECT_EQ(ReadAll(out), before + "\r" + std::string(before.size(), ' ') + "\r" +
                              "     0.600  0xF0  91-110 ms        0          1\n" + "status:  1" +
                              rest);
  std::fclose(out);
}

TEST(RecordingTest, ASessionsRecordingReplaysToTheSameLines) {
  // Noisy minutes, as a port delivers them: the monitor takes each character as it
  // arrives, a poll now and then a little late, and records it. The port is away for six
  // seconds in the second minute.
  constexpr uint32_t kGoneMs = 70000, kBackMs = 76000;
  std::vector<UartCharacterRecord> characters = ReceiveStream(
      3 * 60, [](int, SecondRecord*) {}, 6, 15);
  // The marks' characters arrive 5 ms after a poll's moment, which a late poll sees.
  for (UartCharacterRecord& c : characters) {
    c.DoneMs += 65;
  }
  FILE* out = std::tmpfile();
  FILE* recording = std::tmpfile();
  MonitorRecord monitor;
  ASSERT_TRUE(StartMonitor(&monitor, out, recording, false));
  uint32_t poll = 0;
  for (size_t i = 0, k = 0; i < characters.size(); ++k) {
    poll += kPollPeriodMs;
    for (const double late_ms = 7.0 * (k % 5);
         i < characters.size() && characters[i].DoneMs < poll + late_ms; ++i) {
      ASSERT_TRUE((poll > kGoneMs && poll <= kBackMs) ||
                  NoteArrival(&monitor, static_cast<uint32_t>(characters[i].DoneMs),
                              characters[i].Value,
                              kClockAtOpen + static_cast<int64_t>(characters[i].DoneMs)));
    }
    ASSERT_TRUE(RunPoll(&monitor, poll));
    if (poll == kGoneMs || poll == kBackMs) {
      NotePortEvent(&monitor, poll == kGoneMs ? kPortWentAway : kPortIsBack, "COM2", poll);
    }
  }
  // The last character came after the last poll's moment: at a stop it gets a poll of its own.
  ASSERT_TRUE(RunPoll(&monitor, poll += kPollPeriodMs));
  PrintSummary(&monitor, poll);
  const std::string session = ReadAll(out);
  const std::string recorded = ReadAll(recording);
  std::fclose(out);
  std::fclose(recording);

  // A first line that names the format; the replay shows the rest.
  EXPECT_EQ(recorded.substr(0, recorded.find('\n') + 1), kRecordingHeader);
  EXPECT_NE(recorded.find("\n# 70000 ms: COM2 went away; waiting for it to return\n# 76000 ms: "
                          "COM2 is back; reception starts afresh\n"),
            std::string::npos);
  EXPECT_GT(LinesStartingWith(session, "minute:").size(), 2u);
  EXPECT_NE(session.find("spike"), std::string::npos);
  EXPECT_EQ(Replay(recorded), session);
}

TEST(SummaryTest, TheClocksRateAgainstDcf77) {
  // Fourteen minutes with the PC clock 40 ppm fast, each offset rounded to the ms.
  const std::string output =
      Replay(Record(ReceiveStream(14 * 60 + 2, [](int, SecondRecord*) {}), 0, 40));
  EXPECT_NE(output.find("  PC clock against DCF77: +40.0 ppm, learned from 13 offsets\n"),
            std::string::npos)
      << output;
}

TEST(RecordingTest, ABadLineIsNamed) {
  const struct {
    std::string recording;
    const char* message;
  } kCases[] = {
      {"# a\n100 240\n200 x\n", "rec.txt:3: not \"ms value clock\" or \"ms value\": 200 x"},
      {"100 240 7 8\n", "rec.txt:1: not \"ms value clock\" or \"ms value\": 100 240 7 8"},
      {"-100 240\n", "rec.txt:1: not \"ms value clock\" or \"ms value\": -100 240"},
      {"100 256\n", "rec.txt:1: 256 is no character value (0-255)"},
      {"100 240.5\n", "rec.txt:1: 240.5 is no character value (0-255)"},
      {"100 240\n\n99.5 0\n", "rec.txt:3: the time 99.5 ms is earlier than the line before"},
      {"5000000000 240\n", "rec.txt:1: the time 5000000000 ms is past 49 days"},
      {"1 240\n" + std::string(300, '1') + " 0\n",
       "rec.txt:2: the line is too long for \"ms value\""},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Replay(c.recording), std::string("refused: ") + c.message);
  }
}

}  // namespace
