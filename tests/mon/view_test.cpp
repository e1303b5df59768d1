// The monitor's words and numbers: the mark widths, the lines of a character and of each
// kind of minute, the command line, the COM port names and the lost-port rule.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "character_view.h"
#include "monitor_options.h"

namespace {

TEST(MarkWidthTest, EachCharacterStandsForTheWidthsItsSamplesAllow) {
  // The receiver notes: 0xC0 is a mark of 131-150 ms, 0x80 one of 151-170 ms; 0xFF a
  // spike that outlasts the start bit's check at 10 ms.
  const struct {
    uint8_t value;
    const char* width;
  } kCases[] = {
      {0xFF, "11-30 ms"},        {0xFE, "31-50 ms"},        {0xFC, "51-70 ms"},
      {0xF8, "71-90 ms"},        {0xF0, "91-110 ms"},       {0xE0, "111-130 ms"},
      {0xC0, "131-150 ms"},      {0x80, "151-170 ms"},      {0x00, "over 170 ms"},
      {0x3E, "cut: 3 of 8 low"}, {0x7F, "cut: 1 of 8 low"}, {0x02, "cut: 7 of 8 low"},
  };
  for (const auto& c : kCases) {
    char text[kViewLineSize];
    EXPECT_EQ(DescribeMarkWidth(c.value, text, sizeof text), static_cast<int>(strlen(c.width)));
    EXPECT_STREQ(text, c.width) << static_cast<int>(c.value);
  }
}

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
      {5, 0xFF, Result(kSpike, false, false, 3), "     0.005  0xFF  11-30 ms         spike"},
  };
  for (const auto& c : kCases) {
    char line[kViewLineSize];
    const int length = FormatCharacterLine(c.ms, c.value, c.result, line, sizeof line);
    EXPECT_STREQ(line, c.line);
    EXPECT_EQ(length, static_cast<int>(strlen(c.line)));
  }
}

TEST(MinuteLineTest, TheVerdictsAMinuteOfTheSimulatorDoesNotShow) {
  // The rest come from whole minutes in replay_test.cpp.
  CharacterResultRecord result = {};
  result.Fields = {59, 23, 29, 0, 2, 0};  // 29 February 2000, weekday bits 0
  const struct {
    MinuteVerdict verdict;
    uint8_t marks;
    TelegramCheck check;
    bool partial;
    const char* line;
  } kCases[] = {
      {kMinuteHeld, 58, kTelegramGood, false,
       "minute: 29.02.00 23:59 ???, decoded, held: the minutes before do not confirm it yet"},
      {kTooFewMarks, 12, kTelegramGood, true,
       "minute: partial, 12 marks (the port was opened inside it)"},
      {kNoMinuteGap, 59, kTelegramGood, false,
       "minute: failed, no minute gap: mark 60 came without one, and closed it"},
      {kTelegramFailed, 58, kMonthOutOfRange, false,
       "minute: failed, 58 marks but month out of range"},
  };
  for (const auto& c : kCases) {
    result.Verdict = c.verdict;
    result.Marks = c.marks;
    result.Check = c.check;
    char line[kViewLineSize];
    EXPECT_EQ(FormatMinuteLine(result, c.partial, line, sizeof line),
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

}  // namespace
