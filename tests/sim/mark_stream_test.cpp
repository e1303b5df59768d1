// The stream of seconds: the silent second, the leap second, the faults and their rates,
// repeatable seeds, and the trace lines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "mark_stream.h"
#include "random_source.h"

namespace {

// 2026-06-30 23:00 UTC, 01:00 CEST.
constexpr int64_t kHourStart = 1782860400;

StreamSettingsRecord MakeSettings() {
  StreamSettingsRecord settings = {};
  settings.Convert = ConvertToEuLocal;
  settings.LeapMinute = kNoLeapMinute;
  settings.Seed = 2026;
  settings.LongMarkMs = kLongMarkMs;
  settings.ShortMarkMs = kShortMarkMs;
  return settings;
}

std::vector<SecondRecord> CollectSeconds(const StreamSettingsRecord& settings, int64_t first,
                                         int count) {
  StreamRecord stream = {};
  EXPECT_TRUE(StartStream(settings, first, &stream));
  std::vector<SecondRecord> seconds(count);
  for (SecondRecord& second : seconds) {
    EXPECT_TRUE(AdvanceStream(&stream, &second));
  }
  return seconds;
}

TEST(DrawRandom, FollowsTheSplitMix64Reference) {
  uint64_t state = 1234567;
  const uint64_t kReference[] = {6457827717110365317u, 3203168211198807973u, 9817491932198370423u,
                                 4593380528125082431u, 16408922859458223821u};
  for (const uint64_t expected : kReference) {
    EXPECT_EQ(DrawRandom(&state), expected);
  }
}

// What a run shows on --stdout.
std::string RenderTrace(const std::vector<SecondRecord>& seconds) {
  std::string trace;
  char line[kTraceLineSize];
  for (const SecondRecord& second : seconds) {
    FormatTraceLine(second, line);
    trace += line;
    if (second.HasExtra) {
      FormatExtraTraceLine(second, line);
      trace += line;
    }
  }
  return trace;
}

// 2026-07-01 is a Wednesday: date parity over day 1, weekday 3, month 7, year 26 is 1.
TEST(MarkStream, KeepsTheLastSecondOfAMinuteSilent) {
  EXPECT_EQ(RenderTrace(CollectSeconds(MakeSettings(), kHourStart + 57, 4)),
            "2026-07-01 01:00:57 57 0 0xF0\n"
            "2026-07-01 01:00:58 58 1 0x00\n"
            "2026-07-01 01:00:59 59 - -\n"
            "2026-07-01 01:01:00 00 0 0xF0\n");
  StreamSettingsRecord settings = MakeSettings();
  settings.LeapMinute = kHourStart + 59 * kSecondsPerMinute;
  EXPECT_EQ(RenderTrace(CollectSeconds(settings, settings.LeapMinute + 58, 4)),
            "2026-07-01 01:59:58 58 1 0x00\n"
            "2026-07-01 01:59:59 59 0 0xF0\n"
            "2026-07-01 01:59:60 60 - -\n"
            "2026-07-01 02:00:00 00 0 0xF0\n");
}

struct FaultCase {
  const char* Name;
  double StreamSettingsRecord::*Chance;
  double Probability;
};

const FaultCase kFaults[] = {
    {"drop", &StreamSettingsRecord::DropChance, 0.2},
    {"flip", &StreamSettingsRecord::FlipChance, 0.2},
    {"garble", &StreamSettingsRecord::GarbleChance, 0.2},
    {"spurious", &StreamSettingsRecord::SpuriousChance, 0.2},
    {"drop always", &StreamSettingsRecord::DropChance, 1.0},
    {"flip always", &StreamSettingsRecord::FlipChance, 1.0},
    {"spurious always", &StreamSettingsRecord::SpuriousChance, 1.0},
};

// Each fault, counted over 100 minutes, in the seconds where it can show.
TEST(MarkStream, FaultsShowAtTheirRateAndOnlyThere) {
  constexpr int kSeconds = 6000;
  const std::vector<SecondRecord> clean = CollectSeconds(MakeSettings(), kHourStart, kSeconds);
  for (const FaultCase& c : kFaults) {
    StreamSettingsRecord settings = MakeSettings();
    settings.*c.Chance = c.Probability;
    const std::vector<SecondRecord> faulty = CollectSeconds(settings, kHourStart, kSeconds);
    int marks = 0;
    int faults = 0;
    for (int i = 0; i < kSeconds; ++i) {
      ASSERT_EQ(faulty[i].Bit, clean[i].Bit) << c.Name;  // the telegram is never touched
      marks += faulty[i].HasMark;
      const bool changed = faulty[i].Sent != clean[i].Sent || faulty[i].Value != clean[i].Value;
      if (c.Chance == &StreamSettingsRecord::SpuriousChance) {
        ASSERT_FALSE(changed);
        faults += faulty[i].HasExtra;
        ASSERT_GE(faulty[i].ExtraDelayMs, kExtraDelayFromMs);
        ASSERT_LT(faulty[i].ExtraDelayMs, kExtraDelayToMs);
      } else {
        ASSERT_FALSE(faulty[i].HasExtra);
        faults += changed;
      }
    }
    const int chances = c.Chance == &StreamSettingsRecord::SpuriousChance ? kSeconds : marks;
    // A garbled mark may by chance get its own value back: 2 in 256.
    const double slack = c.Probability < 1.0 ? 0.03 : 0.0;
    EXPECT_NEAR(static_cast<double>(faults) / chances, c.Probability, slack) << c.Name;
  }
}

TEST(MarkStream, ASeedRepeatsARunAndWeatherDoesNotFollowTheFaults) {
  StreamSettingsRecord settings = MakeSettings();
  settings.Weather = true;
  settings.DropChance = settings.SpuriousChance = settings.GarbleChance = 0.3;
  const std::vector<SecondRecord> first = CollectSeconds(settings, kHourStart, 300);
  EXPECT_EQ(RenderTrace(first), RenderTrace(CollectSeconds(settings, kHourStart, 300)));
  settings.DropChance = settings.SpuriousChance = settings.GarbleChance = 0;
  const std::vector<SecondRecord> clean = CollectSeconds(settings, kHourStart, 300);
  settings.Seed += 1;
  const std::vector<SecondRecord> reseeded = CollectSeconds(settings, kHourStart, 300);
  int weather_differs = 0;
  for (size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(first[i].Bit, clean[i].Bit) << i;
    weather_differs += first[i].Bit != reseeded[i].Bit;
  }
  EXPECT_GT(weather_differs, 0);
}

struct TraceCase {
  int Second;
  bool HasMark;
  bool Bit;
  bool Sent;
  uint8_t Value;
  const char* Line;
};

const TraceCase kTraces[] = {
    {7, true, true, true, 0x00, "2026-07-01 01:59:07 07 1 0x00\n"},
    {9, true, true, false, 0x00, "2026-07-01 01:59:09 09 1 -\n"},
    {60, false, false, false, 0x00, "2026-07-01 01:59:60 60 - -\n"},
    {10, true, false, true, 0x5A, "2026-07-01 01:59:10 10 0 0x5A\n"},
};

TEST(FormatTraceLine, WritesTheFixedColumns) {
  for (const TraceCase& c : kTraces) {
    SecondRecord second = {};
    second.Local = CivilTimeRecord{2026, 7, 1, 1, 59, c.Second, 3, true};
    second.Second = c.Second;
    second.HasMark = c.HasMark;
    second.Bit = c.Bit;
    second.Sent = c.Sent;
    second.Value = c.Value;
    char line[kTraceLineSize];
    EXPECT_EQ(FormatTraceLine(second, line), static_cast<int>(std::strlen(c.Line)));
    EXPECT_STREQ(line, c.Line);
    second.ExtraValue = 0x3C;
    FormatExtraTraceLine(second, line);
    EXPECT_EQ(std::string(line).substr(19), " -- - 0x3C\n");
  }
}

}  // namespace
