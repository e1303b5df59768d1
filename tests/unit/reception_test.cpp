// What the program makes of each character and each minute: marks placed in their seconds
// by time, strays left out, lost and misplaced minute marks, and the minutes that set the
// clock, with the polls of the program's timer in between.
#include "decoder/reception.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/clock_steering.h"
#include "common/decoded_minute.h"
#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "frame_builder.h"
#include "platform/platform.h"
#include "port/arrival_queue.h"

namespace {

TEST(CharacterTest, ClassBitAndSamplesOfEachKindOfCharacter) {
  struct Case {
    uint8_t value;
    CharacterClass expected;
    bool bit;
    bool doubtful;
    int low;
  };
  const Case kCases[] = {
      {0xFF, kSpike, false, false, 0},    {0xFC, kShortMark, false, false, 2},
      {0xC0, kShortMark, false, true, 6}, {0x80, kLongMark, true, true, 7},
      {0x00, kLongMark, true, false, 8},  {0x7F, kBrokenMark, false, true, 1},
      {0x02, kBrokenMark, true, true, 7},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(static_cast<int>(c.value));
    EXPECT_EQ(std::make_tuple(ClassifyCharacter(c.value), IsLongMark(c.value),
                              IsDoubtfulMark(c.value), CountLowSamples(c.value)),
              std::make_tuple(c.expected, c.bit, c.doubtful, c.low));
    // What a monitor is told of it.
    OpenFrame(0);
    const CharacterResultRecord r = HandleCharacter(c.value, 1000);
    EXPECT_EQ(std::make_tuple(r.Class, r.Bit, r.Doubtful, r.Fate),
              std::make_tuple(c.expected, c.bit, c.doubtful,
                              c.expected == kSpike ? kNotAMark : kMarkKept));
  }
}

constexpr uint8_t kZero = 0xF0, kOne = 0x00;
constexpr int kMinute = 60000, kSecond = 1000;
// The port opens half a second into the first minute, four seconds before the ticks wrap
// past 2^32; a mark's character reaches it 190 ms after the mark begins.
constexpr uint32_t kOpenTick = 0xFFFFF060u;
constexpr int kFirstMinuteMs = -500;
constexpr int kHandOverMs = 190;

struct Character {
  int AtMs;  // after the open, when the UART hands it over
  uint8_t Value;
  bool Shown;  // its second and fate go into the outcome
};

// A telegram announcing `hour`:`minute` on 10 January 2012 (a Tuesday), or with `leap_day`
// on 1 January 2017 (a Sunday) with bit 19 when `leap_ahead`.
uint64_t Telegram(unsigned hour, unsigned minute, bool leap_day = false, bool leap_ahead = false) {
  auto bcd = [](unsigned n) { return static_cast<uint8_t>(n / 10 * 16 + n % 10); };
  const uint64_t frame = leap_day ? BuildFrame({bcd(minute), bcd(hour), 0x01, 7, 0x01, 0x17})
                                  : BuildFrame({bcd(minute), bcd(hour), 0x10, 2, 0x01, 0x12});
  return frame | (leap_ahead ? uint64_t{1} << 19 : 0);
}

// The marks of minutes sent one after the other, as the port sees them from its open; the
// minute `leap`, whose telegram announces a leap second at its end, has a 0 mark in second
// 59 and lasts 61 s.
std::vector<Character> Send(const std::vector<uint64_t>& telegrams, int leap = -1,
                            int first_minute_ms = kFirstMinuteMs) {
  std::vector<Character> marks;
  int start = first_minute_ms;
  for (int j = 0; j < static_cast<int>(telegrams.size()); ++j) {
    for (int second = 0; second <= (j == leap ? 59 : 58); ++second) {
      const bool one = second <= 58 && ((telegrams[j] >> second) & 1) != 0;
      const int at = start + kSecond * second + kHandOverMs;
      if (at > 0) {
        marks.push_back({at, one ? kOne : kZero, false});
      }
    }
    start += j == leap ? kMinute + kSecond : kMinute;
  }
  marks.push_back({start + kHandOverMs, kZero, false});  // the last minute's end
  return marks;
}

// The marks without those of the seconds given as {j, second}: minute j's mark of `second`,
// 0 for the mark that opens it.
std::vector<Character> Drop(std::vector<Character> marks,
                            const std::vector<std::pair<int, int>>& seconds) {
  for (const auto& [j, second] : seconds) {
    const int at = kFirstMinuteMs + kMinute * j + kSecond * second + kHandOverMs;
    marks.erase(std::remove_if(marks.begin(), marks.end(),
                               [at](const Character& c) { return c.AtMs == at; }),
                marks.end());
  }
  return marks;
}

// The marks with strays, each {when it begins, its character}, shown in the outcome.
std::vector<Character> Add(std::vector<Character> marks,
                           const std::vector<std::pair<int, uint8_t>>& strays) {
  for (const auto& [begins_ms, value] : strays) {
    marks.push_back({begins_ms + kHandOverMs, value, true});
  }
  std::stable_sort(marks.begin(), marks.end(),
                   [](const Character& a, const Character& b) { return a.AtMs < b.AtMs; });
  return marks;
}

std::string Clock(unsigned hour, unsigned minute, unsigned second = 99) {
  char text[16];
  std::snprintf(text, sizeof text, second == 99 ? "%02u:%02u" : "%02u:%02u:%02u", hour, minute,
                second);
  return text;
}

// "missing 10-58": the seconds that held no mark; "missing 10 to 58" were they not one run.
std::string Missing(uint64_t seconds) {
  const int first = __builtin_ctzll(seconds), last = 63 - __builtin_clzll(seconds);
  const bool run = seconds == (uint64_t{2} << last) - (uint64_t{1} << first);
  return "missing " + std::to_string(first) + (run ? "-" : " to ") + std::to_string(last);
}

std::string Describe(const MinuteResultRecord& m) {
  const std::string lost = m.MarkLost ? ", mark lost" : "";
  switch (m.Verdict) {
    case kMinuteConfirmed: {
      // Set, or found right already.
      SYSTEMTIME clock;
      GetLocalTime(&clock);
      return "confirmed " + Clock(m.Fields.Hour, m.Fields.Minute) + " clock " +
             Clock(clock.wHour, clock.wMinute, clock.wSecond);
    }
    case kMinuteHeld:
      return "held " + Clock(m.Fields.Hour, m.Fields.Minute) + lost;
    case kMarksMissing:
      return Missing(m.Missing) + lost;
    case kFrameMoved:
      return "moved";
    case kTelegramFailed:
      return "check " + std::to_string(m.Check) + lost;
    default:
      return "none";
  }
}

// Plays the characters, each stamped as it arrives, at a poll every 250 ms, as the program
// does, from the open to `end_ms`: the minutes that ended, and for each character shown its
// second and fate. The first poll may come late, held back by the program's start-up, and
// from `stall_ms` on none may come for a second, as in a stalled message loop. The stand-in
// clock runs with the polls' ticks.
ArrivalQueueRecord Line;  // what the port received and the polls have not taken yet

bool TakeFromLine(uint32_t now, ArrivalRecord* arrival) {
  return TakeArrival(&Line, now, arrival);
}

std::vector<std::string> Play(const std::vector<Character>& characters, int end_ms,
                              int first_poll_ms = kPollPeriodMs, int stall_ms = -1) {
  OpenFrame(kOpenTick);
  HeldMinutes = {};
  Steering = {};
  Line = {};
  std::vector<std::string> outcome;
  size_t next = 0, shown = 0;
  for (int poll = first_poll_ms; poll <= end_ms; poll += kPollPeriodMs) {
    for (; next < characters.size() && characters[next].AtMs <= poll; ++next) {
      PushArrival(&Line, characters[next].Value,
                  kOpenTick + static_cast<uint32_t>(characters[next].AtMs));
    }
    if (stall_ms >= 0 && poll >= stall_ms && poll < stall_ms + kSecond) {
      continue;
    }
    const uint32_t now = kOpenTick + static_cast<uint32_t>(poll);
    PassNativeClockTick(now);
    static PollResultRecord result;
    RunReceptionPoll(TakeFromLine, now, &result);
    for (int i = 0; i < result.Count; ++i, ++shown) {
      if (result.Characters[i].Minute.Verdict != kNoMinute) {
        outcome.push_back(Describe(result.Characters[i].Minute));
      }
      if (characters[shown].Shown) {
        const char* fates[] = {"no mark", "kept", "replacing", "left out"};
        outcome.push_back("^ " + std::to_string(result.Characters[i].Second) + " " +
                          fates[result.Characters[i].Fate]);
      }
    }
    if (result.Overdue.Verdict != kNoMinute) {
      outcome.push_back(Describe(result.Overdue));
      EXPECT_EQ(ReceiverState.SecondCounter, 0) << "the readout is at 00 when a minute ends";
    }
  }
  return outcome;
}

// Minutes announcing 01:30 and on, the first from before the open.
std::vector<uint64_t> Minutes(unsigned count) {
  std::vector<uint64_t> telegrams;
  for (unsigned j = 0; j < count; ++j) {
    telegrams.push_back(Telegram(1 + (30 + j) / 60, (30 + j) % 60));
  }
  return telegrams;
}

// Minute j's mark of second s begins here, after the open.
int MarkAt(int j, int second) {
  return kFirstMinuteMs + kMinute * j + kSecond * second;
}

TEST(ReceptionTest, SecondsByTimeAndTheMinutesThatSetTheClock) {
  struct Case {
    const char* name;
    std::vector<Character> characters;
    std::vector<std::string> outcome;
    int first_poll_ms = static_cast<int>(kPollPeriodMs);
    int stall_ms = -1;
  };
  std::vector<Case> cases;
  const std::vector<std::string> clean = {"held 01:30", "confirmed 01:31 clock 01:31:00",
                                          "confirmed 01:32 clock 01:32:00"};
  cases.push_back({"clean: the second good minute sets the clock", Send(Minutes(3)), clean});
  // The open 0.9 s into the first minute, the first poll 1.3 s after it, when the marks of
  // seconds 1 and 2 are both queued.
  cases.push_back({"a late first poll", Send(Minutes(3), -1, -900), clean, 1300});
  // No poll for a second from the mark that ends 01:31's minute: it waits in the queue, and
  // sets the clock a second late to the time then.
  cases.push_back(
      {"a stalled poll",
       Send(Minutes(3)),
       {"held 01:30", "confirmed 01:31 clock 01:31:01", "confirmed 01:32 clock 01:32:00"},
       kPollPeriodMs,
       MarkAt(2, 0)});
  // Noise cut the mark that opens 01:32 under 50 ms: the minute decodes, but is only held.
  cases.push_back({"a lost minute mark",
                   Drop(Send(Minutes(4)), {{3, 0}}),
                   {"held 01:30", "confirmed 01:31 clock 01:31:00", "held 01:32, mark lost",
                    "confirmed 01:33 clock 01:33:00"}});
  // In 01:31's minute: a stray 300 ms after second 30's mark, one half-way between seconds
  // 40 and 41, which 41's mark then replaces, one half a second before 50 whose mark was
  // lost, and one in the silent second 59. A second that had a rival is doubtful, so 01:31
  // waits for a third minute.
  cases.push_back({"strays",
                   Add(Drop(Send(Minutes(3)), {{1, 50}}), {{MarkAt(1, 30) + 300, kZero},
                                                           {MarkAt(1, 40) + 500, kZero},
                                                           {MarkAt(1, 50) - 500, kZero},
                                                           {MarkAt(1, 59) + 200, kOne}}),
                   {"held 01:30", "^ 30 left out", "^ 41 kept", "^ 50 kept", "^ 59 kept",
                    "held 01:31", "confirmed 01:32 clock 01:32:00"}});
  // Bit 30 of 01:32's telegram is 0; a stray there, and its mark cut by a gap: the clean
  // stray beats the broken mark, though further from the second.
  cases.push_back({"a clean stray beats a broken mark",
                   Add(Drop(Send(Minutes(4)), {{2, 30}}),
                       {{MarkAt(2, 30), 0x3E}, {MarkAt(2, 30) + 250, kZero}}),
                   {"held 01:30", "confirmed 01:31 clock 01:31:00", "^ 30 kept", "^ 30 replacing",
                    "confirmed 01:32 clock 01:32:00", "confirmed 01:33 clock 01:33:00"}});
  // Two lost marks leave no silent second that could be taken for the minute's; the
  // seconds after them stay where they are. 01:32 is confirmed across the failed minute.
  cases.push_back({"two lost marks in a row",
                   Drop(Send(Minutes(3)), {{1, 30}, {1, 31}}),
                   {"held 01:30", "missing 30-31", "confirmed 01:32 clock 01:32:00"}});
  // A lost mark in the first minute after the start leaves a silent second that the frame,
  // locked on nothing yet, takes for the minute's; the true minute mark moves it back, and
  // the next one, where that predicted it, locks it.
  cases.push_back({"a wrong anchor after the start",
                   Drop(Send(Minutes(3)), {{0, 21}}),
                   {"moved", "moved", "held 01:31", "confirmed 01:32 clock 01:32:00"}});
  // Lost marks lock the frame on second 21: a silent second where the unlocked frame put
  // the minute mark, and again a minute later, with the true minute mark lost between. The
  // true minute marks are then only candidates, until two a minute apart move the frame.
  cases.push_back({"a frame locked on lost marks",
                   Drop(Send(Minutes(6)), {{0, 21}, {1, 0}, {1, 21}}),
                   {"moved", "missing 37-38", "missing 37-37", "moved", "held 01:33",
                    "confirmed 01:34 clock 01:34:00", "confirmed 01:35 clock 01:35:00"}});
  {
    // Nothing from second 10 of 01:33's minute for three minutes: each minute ends where
    // its mark was due, and the first whole minute after is confirmed across the outage.
    std::vector<std::pair<int, int>> outage;
    for (int second = 3 * 60 + 10; second < 6 * 60 + 10; ++second) {
      outage.emplace_back(second / 60, second % 60);
    }
    const std::vector<Character> c = Drop(Send(Minutes(8)), outage);
    cases.push_back(
        {"a three-minute outage",
         c,
         {"held 01:30", "confirmed 01:31 clock 01:31:00", "confirmed 01:32 clock 01:32:00",
          "missing 10-58, mark lost", "missing 1-58, mark lost", "missing 1-58, mark lost",
          "missing 1-9", "confirmed 01:37 clock 01:37:00"}});
  }
  {
    // 1 January 2017: the hour before 01:00 CET announces the leap second; its last minute
    // lasts 61 s, with a 0 mark in second 59.
    const std::vector<Character> c =
        Send({Telegram(0, 58, true, true), Telegram(0, 59, true, true), Telegram(1, 0, true, true),
              Telegram(1, 1, true), Telegram(1, 2, true)},
             2);
    cases.push_back(
        {"a leap second and the minutes after it",
         c,
         {"held 00:58", "confirmed 00:59 clock 00:59:00", "confirmed 01:00 clock 01:00:00",
          "confirmed 01:01 clock 01:01:00", "confirmed 01:02 clock 01:02:00"}});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Play(c.characters, c.characters.back().AtMs + kSecond, c.first_poll_ms, c.stall_ms),
              c.outcome);
  }
}

TEST(ReceptionTest, AFrameThatDriftedAwayInAnOutageFindsTheMinuteAgain) {
  // The PC's tick runs 100 ppm fast, and nothing comes for six hours after 01:32: the frame,
  // left to itself, is two seconds off when the marks are back.
  std::vector<Character> c;
  for (Character m : Send(Minutes(366))) {
    if (m.AtMs < MarkAt(3, 10) || m.AtMs > MarkAt(363, 10)) {
      m.AtMs = static_cast<int>(m.AtMs * 1.0001);
      c.push_back(m);
    }
  }
  const std::vector<std::string> outcome = Play(c, c.back().AtMs + kSecond);
  EXPECT_EQ(std::vector<std::string>(outcome.end() - 3, outcome.end()),
            (std::vector<std::string>{"moved", "held 07:34", "confirmed 07:35 clock 07:35:00"}));
}

TEST(ReceptionTest, AClockThatIsRightIsLeftAlone) {
  // The port opens at 01:29:00.500 CET, 00:29:00.500 UTC; each mark's character is stamped
  // 190 ms into its second.
  struct Case {
    const char* name;
    SYSTEMTIME at_open;
    int requests;
  };
  const Case kCases[] = {
      {"right", {2012, 1, 2, 10, 0, 29, 0, 500}, 0},
      {"a second slow", {2012, 1, 2, 10, 0, 28, 59, 500}, 1},
      {"an hour fast", {2012, 1, 2, 10, 1, 29, 0, 500}, 1},
  };
  const std::vector<Character> hour = Send(Minutes(61));
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    PassNativeClockTick(kOpenTick);
    SetNativeClock(c.at_open);
    const int before = CountClockRequests();
    const std::vector<std::string> outcome = Play(hour, hour.back().AtMs + kSecond);
    EXPECT_EQ(std::count(outcome.begin(), outcome.end(), "held 01:30") +
                  std::count_if(outcome.begin(), outcome.end(),
                                [](const std::string& m) { return m.rfind("confirmed", 0) == 0; }),
              61);
    EXPECT_EQ(CountClockRequests() - before, c.requests);
    // A second after the mark of 02:30 CET, the clock runs right.
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(std::make_tuple(now.wHour, now.wMinute, now.wSecond), std::make_tuple(2, 30, 1));
  }
}

TEST(ReceptionTest, AfterARestartTheHeldMinutesConfirmNothing) {
  // 01:30 and 01:31 are held, and the port is away for a moment right after the mark that
  // ended 01:31. By fields and by ticks 01:32 follows them: without the restart it would be
  // confirmed.
  const std::vector<Character> c = Send(Minutes(3));
  const std::vector<Character> before(c.begin(), c.begin() + 118);
  EXPECT_EQ(Play(before, MarkAt(2, 0) + 300),
            (std::vector<std::string>{"held 01:30", "confirmed 01:31 clock 01:31:00"}));
  RestartReception();
  EXPECT_EQ(
      std::make_tuple(ReceiverState.SecondCounter, ReceiverState.MarkSeconds, ReceiverState.Locked),
      std::make_tuple(0, 0u, false));
  for (size_t i = 118; i < c.size(); ++i) {
    const CharacterResultRecord r = HandleCharacter(c[i].Value, kOpenTick + c[i].AtMs);
    EXPECT_NE(r.Minute.Verdict, kMinuteConfirmed) << i;
  }
}

}  // namespace
