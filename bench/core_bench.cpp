// Speed of the time-code core: framing per received character with the polls between, and
// one telegram decode.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "decoder/reception.h"
#include "decoder/telegram.h"

namespace {

struct Character {
  uint8_t Value;
  uint32_t Gap;  // ms since the previous character
};

// A minute of 15 June 1997, 13:45 as the port delivers it: seconds 1 to 58 a second
// apart, then the mark of second 0 after the silent second 59.
constexpr uint64_t kFrame = 0x65CDD5A78B20000ull;

std::vector<Character> MakeMinuteStream() {
  std::vector<Character> stream;
  for (unsigned second = 1; second <= 58; ++second) {
    const bool one = (kFrame >> second) & 1;
    stream.push_back({static_cast<uint8_t>(one ? 0x00 : 0xF0), 1000u});
  }
  stream.push_back({0xF0, 2000});
  return stream;
}

// A character and the four polls of its second; the clock is the stand-in's, which only
// records.
void BM_HandleCharacterPerCharacter(benchmark::State& state) {
  const std::vector<Character> stream = MakeMinuteStream();
  uint32_t now = 0;
  OpenFrame(now);
  size_t next = 0;
  unsigned decodes = 0;
  for (auto _ : state) {
    const Character& c = stream[next];
    for (uint32_t poll = kPollPeriodMs; poll < c.Gap; poll += kPollPeriodMs) {
      HandlePoll(now + poll);
    }
    now += c.Gap;
    const MinuteVerdict verdict = HandleCharacter(c.Value, now).Minute.Verdict;
    decodes += verdict == kMinuteHeld || verdict == kMinuteConfirmed;
    next = next + 1 == stream.size() ? 0 : next + 1;
  }
  state.counters["decodes"] = decodes;
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HandleCharacterPerCharacter);

void BM_DecodeTelegram(benchmark::State& state) {
  ReceiverState.FrameBits = kFrame;
  bool accepted = true;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ReceiverState.FrameBits);
    accepted &= DecodeTelegram();
    benchmark::ClobberMemory();
  }
  if (!accepted || TimeFields.Minute != 45 || TimeFields.Year != 97) {
    state.SkipWithError("the benchmark telegram did not decode");
  }
}
BENCHMARK(BM_DecodeTelegram);

}  // namespace

BENCHMARK_MAIN();
