// 15 minutes of a real receiver module's output (tests/data/README.md), read through the
// UART model and handled at a 250 ms poll by the program's own HandleCharacter on the
// native clock. The capture's minute mark at about 65.5 s opens 01:30 on 10 January 2012,
// and each one after it the next minute.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

#include "common/decoded_minute.h"
#include "common/receiver_state.h"
#include "decoder/reception.h"
#include "platform/platform.h"
#include "recording.h"
#include "uart_model.h"

namespace {

constexpr char kCapture[] = HORAX_TEST_DATA "/dcf1-capture-2012-01-10.txt";
constexpr double kPollMs = 250;
constexpr double kFirstMarkMs = 65500;
constexpr double kMinuteMs = 60000;
constexpr int kFirstMinute = 30;

class CaptureTest : public ::testing::TestWithParam<double> {
 protected:
  // Handles a character at the first poll after it is complete; checks any clock set.
  void Handle(const UartCharacterRecord& character) {
    const double tick = GetParam() + kPollMs * std::ceil((character.DoneMs - GetParam()) / kPollMs);
    const int before = CountClockRequests();
    HandleCharacter(character.Value, static_cast<uint32_t>(tick));
    if (CountClockRequests() == before) {
      return;
    }
    ++sets_;
    const SYSTEMTIME& set = LastClockRequest();
    const int minute =
        kFirstMinute + static_cast<int>(std::lround((tick - kFirstMarkMs) / kMinuteMs));
    EXPECT_EQ(set.wYear, 2012);
    EXPECT_EQ(set.wMonth, 1);
    EXPECT_EQ(set.wDay, 10);
    EXPECT_EQ(set.wHour, 1);
    EXPECT_EQ(set.wMinute, minute) << "set at " << tick << " ms";
  }

  int sets_ = 0;
};

TEST_P(CaptureTest, EverySetIsTheMinuteItsMarkOpened) {
  // The port opens at tick 0, before the first pulse.
  ReceiverState = {};
  LastDecodedMinute = {};
  UartRecord uart;
  StartUart(&uart);
  UartCharacterRecord character = {};
  std::ifstream capture(kCapture);
  ASSERT_TRUE(capture.is_open()) << kCapture;
  for (std::string line; std::getline(capture, line);) {
    double start = 0, width = 0;
    const RecordLineKind kind = ReadRecordLine(line.c_str(), &start, &width);
    ASSERT_NE(kind, kBadLine) << line;
    if (kind == kCommentLine) {
      continue;
    }
    // The pulses come in order: the line is known up to this one's start.
    while (ReadUartCharacter(&uart, start, &character)) {
      Handle(character);
    }
    ASSERT_TRUE(AddLinePulse(&uart, start, width));
  }
  while (ReadUartCharacter(&uart, HUGE_VAL, &character)) {
    Handle(character);
  }
  // 14 whole minutes, the first of which has none before it to confirm it.
  EXPECT_GE(sets_, 12);
  RecordProperty("sets", sets_);
}

INSTANTIATE_TEST_SUITE_P(PollPhases, CaptureTest, ::testing::Values(0.0, 60.0, 125.0, 200.0));

}  // namespace
