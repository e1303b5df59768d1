// The monitor's words and numbers: the lines of a character and of the minute the
// simulator cannot make, the command line and the COM port names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "character_view.h"
#include "monitor_options.h"

namespace {

CharacterResultRecord Result(CharacterClass kind, bool bit, bool doubtful, uint8_t second) {
  CharacterResultRecord result = {};
  result.Class = kind;
  result.Bit = bit;
  result.Doubtful = doubtful;
  result.Second = second;
  return result;
}

TEST(CharacterLineTest, TimeValueWidthReadingAndSecond) {
  const struct {
    uint32_t ms;
    uint8_t value;
    CharacterResultRecord result;
    const char* line;
  } kCases[] = {
      {690, 0xF0, Result(kShortMark, false, false, 1),
       "     0.690  0xF0  91-110 ms        0          1"},
      {123456, 0x80, Result(kLongMark, true, true, 37),
       "   123.456  0x80  151-170 ms       1?        37"},
      {7000, 0xC0, Result(kShortMark, false, true, 0),
       "     7.000  0xC0  131-150 ms       0?         0"},
      {61250, 0x02, Result(kBrokenMark, true, true, 12),
       "    61.250  0x02  cut: 7 of 8 low  broken 1  12"},
      {5, 0xFE, Result(kSpike, false, false, 3), "     0.005  0xFE  31-50 ms         spike"},
  };
  for (const auto& c : kCases) {
    char line[kViewLineSize];
    const int length = FormatCharacterLine(c.ms, c.value, c.result, line, sizeof line);
    EXPECT_STREQ(line, c.line);
    EXPECT_EQ(length, static_cast<int>(strlen(c.line)));
  }
}

TEST(MinuteLineTest, TheVerdictTheSimulatorsMinutesDoNotShow) {
  // The rest come from whole minutes in replay_test.cpp.
  CharacterResultRecord result = {};
  result.Verdict = kNoMinuteGap;
  result.Marks = 59;
  const char kLine[] = "minute: failed, no minute gap: mark 60 came without one, and closed it";
  char line[kViewLineSize];
  EXPECT_EQ(FormatMinuteLine(result, false, line, sizeof line), static_cast<int>(strlen(kLine)));
  EXPECT_STREQ(line, kLine);
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

}  // namespace
