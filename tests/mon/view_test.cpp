// The monitor's words and numbers: the lines of a character and of the minute the
// simulator cannot make, the command line, the COM port names and the recording's folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "character_view.h"
#include "monitor_options.h"

namespace {

CharacterResultRecord Result(CharacterClass kind, bool bit, bool doubtful, uint8_t second,
                             CharacterFate fate = kMarkKept) {
  return {kind, bit, doubtful, fate, second, {}};
}

TEST(CharacterLineTest, TimeValueWidthReadingAndSecond) {
  const struct {
    uint32_t ms;
    uint8_t value;
    CharacterResultRecord result;
    const char* line;
  } kCases[] = {
      {123456, 0x80, Result(kLongMark, true, true, 37),
       "   123.456  0x80  151-170 ms       1?        37"},
      {7000, 0xC0, Result(kShortMark, false, true, 0),
       "     7.000  0xC0  131-150 ms       0?         0"},
      {61250, 0x02, Result(kBrokenMark, true, true, 12),
       "    61.250  0x02  cut: 7 of 8 low  broken 1  12"},
      {5, 0xFE, Result(kSpike, false, false, 3), "     0.005  0xFE  31-50 ms         spike"},
      {7300, 0xF8, Result(kShortMark, false, false, 7, kMarkLeftOut),
       "     7.300  0xF8  71-90 ms         0          7  left out"},
      {7400, 0x00, Result(kLongMark, true, false, 7, kMarkReplacing),
       "     7.400  0x00  over 170 ms      1          7  replaces"},
  };
  for (const auto& c : kCases) {
    char line[kViewLineSize];
    const int length = FormatCharacterLine(c.ms, c.value, c.result, line, sizeof line);
    EXPECT_STREQ(line, c.line);
    EXPECT_EQ(length, static_cast<int>(strlen(c.line)));
  }
}

TEST(MinuteLineTest, TheVerdictsTheSimulatorsMinutesDoNotShow) {
  // The rest come from whole minutes in replay_test.cpp.
  const struct {
    MinuteVerdict verdict;
    uint64_t missing;
    bool lost;
    bool partial;
    int16_t spread;
    int64_t offset;
    const char* line;
  } kCases[] = {
      {kMarksMissing, 1ull << 30 | 1ull << 31, false, false, 7, kNoOffset,
       "minute: failed, no mark in seconds 30, 31; marks spread 7 ms"},
      {kFrameMoved, 0, false, false, kSpreadUnknown, kNoOffset,
       "minute: failed, a minute mark came elsewhere: framed anew from it"},
      {kFrameMoved, 0, false, true, kSpreadUnknown, kNoOffset,
       "minute: partial, 0 marks (the port was opened inside it)"},
      {kMinuteHeld, 0, true, false, 3, -1234,
       "minute: 00.00.00 00:00 ??? zone?, decoded, held: its minute mark was lost, so it sets "
       "nothing; marks spread 3 ms; PC clock -1234 ms by its marks"},
  };
  for (const auto& c : kCases) {
    MinuteResultRecord minute = {};
    minute.Verdict = c.verdict;
    minute.MarkLost = c.lost;
    minute.Missing = c.missing;
    minute.SpreadMs = c.spread;
    char line[kViewLineSize];
    EXPECT_EQ(FormatMinuteLine(minute, c.partial, c.offset, true, line, sizeof line),
              static_cast<int>(strlen(c.line)));
    EXPECT_STREQ(line, c.line);
  }
}

TEST(MonitorOptionsTest, APortOrAReplayAndTheirRefusals) {
  // What was read, as "port record replay help", or the refusal.
  const struct {
    std::vector<const char*> arguments;
    const char* expected;
  } kCases[] = {
      {{"--record", "r.txt", "COM2"}, "COM2 r.txt - 0"},
      {{"--replay", "r.txt"}, "- - r.txt 0"},
      {{"3", "--help", "--bogus"}, "- - - 1"},
      {{"--record", "r.txt"}, "no PORT given (see --help)"},
      {{"1", "2"}, "one PORT only, not also 2 (see --help)"},
      {{"1", "--record"}, "missing FILE after --record (see --help)"},
      {{"1", "--record", "a", "--record", "b"}, "given twice: --record (see --help)"},
      {{"1", "--speed", "50"}, "unknown option --speed (see --help)"},
      {{"1", "--replay", "r.txt"}, "--replay reads no port and records nothing (see --help)"},
  };
  for (const auto& c : kCases) {
    std::vector<char*> argv = {const_cast<char*>("dcf77mon")};
    for (const char* argument : c.arguments) {
      argv.push_back(const_cast<char*>(argument));
    }
    MonitorOptionsRecord options = {};
    char message[kOptionsMessageSize] = {};
    if (ParseMonitorOptions(static_cast<int>(argv.size()), argv.data(), &options, message)) {
      auto text = [](const char* value) { return std::string(value ? value : "-"); };
      std::snprintf(message, sizeof message, "%s %s %s %d", text(options.Port).c_str(),
                    text(options.RecordPath).c_str(), text(options.ReplayPath).c_str(),
                    options.Help);
    }
    EXPECT_STREQ(message, c.expected);
  }
}

TEST(ComPortTest, HoraxsNumbersAndTheNamesOpenReceiverPortReaches) {
  const struct {
    const char* text;
    unsigned number;
  } kCases[] = {
      {"1", 1},    {"4", 4},    {"5", 0},     {"0", 0},          {"COM1", 1}, {"com5", 5},
      {"Com8", 8}, {"COM9", 0}, {"COM10", 0}, {"COM0", 0},       {"COM", 0},  {"COM 1", 0},
      {"C1", 0},   {"", 0},     {"12", 0},    {"/dev/ttyS0", 0},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(ReadComPortNumber(c.text), c.number) << c.text;
  }
}

TEST(RecordingPlaceTest, InsideTheWindowsFolderWhateverTheCaseAndSlashes) {
  EXPECT_TRUE(IsInsideFolder("c:/WINDOWS\\system32\\r.txt", "C:\\Windows"));
  EXPECT_FALSE(IsInsideFolder("C:\\Windows2\\r.txt", "C:\\Windows"));
  EXPECT_TRUE(IsInsideFolder("C:\\r.txt", "C:\\"));  // a system installed in a drive's root
}

}  // namespace
