// The monitor's words and numbers: the mark widths, the lines of a character and of each
// kind of minute, the command line, the COM port names and the lost-port rule.
#include <gtest/gtest.h>

#include <string>

#include "character_view.h"
#include "monitor_options.h"
#include "port_policy.h"

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

TEST(MinuteLineTest, EveryVerdictInTheWordsOfTheChecks) {
  CharacterResultRecord decoded = {};
  decoded.Fields = {5, 1, 10, 2, 1, 12};  // Tuesday 10 January 2012, 01:05
  decoded.Marks = 58;
  CharacterResultRecord leap_day = decoded;
  leap_day.Fields = {59, 23, 29, 1, 2, 0};  // Monday 29 February 2000
  CharacterResultRecord bad_weekday = decoded;
  bad_weekday.Fields.Weekday = 0;
  const struct {
    MinuteVerdict verdict;
    uint8_t marks;
    TelegramCheck check;
    const CharacterResultRecord* fields;
    bool partial;
    const char* line;
  } kCases[] = {
      {kMinuteConfirmed, 58, kTelegramGood, &decoded, false,
       "minute: 10.01.12 01:05 Tue, decoded, confirmed: horax sets the clock"},
      {kMinuteHeld, 58, kTelegramGood, &leap_day, false,
       "minute: 29.02.00 23:59 Mon, decoded, held: the minutes before do not confirm it yet"},
      {kMinuteHeld, 58, kTelegramGood, &bad_weekday, false,
       "minute: 10.01.12 01:05 ???, decoded, held: the minutes before do not confirm it yet"},
      {kTooFewMarks, 36, kTelegramGood, nullptr, false, "minute: failed, too few marks: 36 of 58"},
      {kTooFewMarks, 12, kTelegramGood, nullptr, true,
       "minute: partial, 12 marks (the port was opened inside it)"},
      {kTooManyMarks, 59, kTelegramGood, nullptr, false,
       "minute: failed, too many marks: 59 of 58"},
      {kLeapSecondMinute, 59, kTelegramGood, nullptr, false,
       "minute: failed, a leap-second minute: 59 marks, announced by bit 19 the minute before"},
      {kNoMinuteGap, 59, kTelegramGood, nullptr, false,
       "minute: failed, no minute gap: mark 60 came without one, and closed it"},
      {kTelegramFailed, 58, kMinuteParityFailed, nullptr, false,
       "minute: failed, 58 marks but minute parity failed"},
      {kTelegramFailed, 58, kHourParityFailed, nullptr, false,
       "minute: failed, 58 marks but hour parity failed"},
      {kTelegramFailed, 58, kDateParityFailed, nullptr, false,
       "minute: failed, 58 marks but date parity failed"},
      {kTelegramFailed, 58, kMinuteOutOfRange, nullptr, false,
       "minute: failed, 58 marks but minute out of range"},
      {kTelegramFailed, 58, kHourOutOfRange, nullptr, false,
       "minute: failed, 58 marks but hour out of range"},
      {kTelegramFailed, 58, kDayOutOfRange, nullptr, false,
       "minute: failed, 58 marks but day out of range"},
      {kTelegramFailed, 58, kMonthOutOfRange, nullptr, false,
       "minute: failed, 58 marks but month out of range"},
      {kTelegramFailed, 58, kYearOutOfRange, nullptr, false,
       "minute: failed, 58 marks but year out of range"},
  };
  for (const auto& c : kCases) {
    CharacterResultRecord result = c.fields != nullptr ? *c.fields : CharacterResultRecord{};
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
  const struct {
    std::vector<const char*> arguments;
    const char* port;
    const char* record;
    const char* replay;
    bool help;
    const char* refusal;  // nullptr when the line is good
  } kCases[] = {
      {{"/dev/ttyS0"}, "/dev/ttyS0", nullptr, nullptr, false, nullptr},
      {{"--record", "r.txt", "COM2"}, "COM2", "r.txt", nullptr, false, nullptr},
      {{"--replay", "r.txt"}, nullptr, nullptr, "r.txt", false, nullptr},
      {{"3", "--help", "--bogus"}, nullptr, nullptr, nullptr, true, nullptr},
      {{}, nullptr, nullptr, nullptr, false, "no PORT given"},
      {{"--record", "r.txt"}, nullptr, nullptr, nullptr, false, "no PORT given"},
      {{"1", "2"}, nullptr, nullptr, nullptr, false, "one PORT only, not also 2"},
      {{"1", "--record"}, nullptr, nullptr, nullptr, false, "missing FILE after --record"},
      {{"1", "--record", "a", "--record", "b"},
       nullptr,
       nullptr,
       nullptr,
       false,
       "given twice: --record"},
      {{"1", "--speed", "50"}, nullptr, nullptr, nullptr, false, "unknown option --speed"},
      {{"1", "--replay", "r.txt"},
       nullptr,
       nullptr,
       nullptr,
       false,
       "--replay reads no port and records nothing"},
      {{"--replay", "r.txt", "--record", "s.txt"},
       nullptr,
       nullptr,
       nullptr,
       false,
       "--replay reads no port and records nothing"},
  };
  for (const auto& c : kCases) {
    std::vector<char*> argv = {const_cast<char*>("dcf77mon")};
    for (const char* argument : c.arguments) {
      argv.push_back(const_cast<char*>(argument));
    }
    MonitorOptionsRecord options = {};
    char message[kOptionsMessageSize] = {};
    const bool parsed =
        ParseMonitorOptions(static_cast<int>(argv.size()), argv.data(), &options, message);
    SCOPED_TRACE(c.arguments.empty() ? "(none)" : c.arguments[0]);
    if (c.refusal != nullptr) {
      EXPECT_FALSE(parsed);
      EXPECT_EQ(std::string(message), std::string(c.refusal) + " (see --help)");
      continue;
    }
    ASSERT_TRUE(parsed) << message;
    EXPECT_EQ(options.Help, c.help);
    EXPECT_STREQ(options.Port ? options.Port : "-", c.port ? c.port : "-");
    EXPECT_STREQ(options.RecordPath ? options.RecordPath : "-", c.record ? c.record : "-");
    EXPECT_STREQ(options.ReplayPath ? options.ReplayPath : "-", c.replay ? c.replay : "-");
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

TEST(PortPolicyTest, GivesUpAfterFailingReadsAndTriesAgainNowAndThen) {
  // One poll after another: the port's state, whether a read failed, and the step.
  const struct {
    uint32_t now;
    bool open;
    bool failed;
    PortStep step;
  } kPolls[] = {
      {250, true, false, kKeepReading},    {500, true, true, kKeepReading},
      {750, true, false, kKeepReading},  // one failure that passed: nothing
      {1000, true, true, kKeepReading},    {2750, true, true, kKeepReading},
      {3000, true, true, kReleasePort},  // failing at every poll for 2 s
      {3250, false, false, kWaitForPort},  {4750, false, false, kWaitForPort},
      {5000, false, false, kTryPortAgain},  // it did not open
      {6750, false, false, kWaitForPort},  {7000, false, false, kTryPortAgain},
      {7250, true, false, kKeepReading},  // it did
      {7500, true, true, kKeepReading},
  };
  PortWatchRecord watch = {};
  for (const auto& poll : kPolls) {
    EXPECT_EQ(DecidePortStep(&watch, poll.open, poll.failed, poll.now), poll.step) << poll.now;
  }
}

}  // namespace
