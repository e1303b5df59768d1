// The program's own HandleCharacter, on the native clock at a 250 ms poll, on what ports
// deliver: 15 minutes of a real receiver module's output (tests/data/README.md) through the
// UART model, and clean minutes through a 16550's receive FIFO at its default trigger.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <tuple>

#include "common/decoded_minute.h"
#include "common/receiver_state.h"
#include "decoder/reception.h"
#include "mark_stream.h"
#include "platform/platform.h"
#include "recording.h"
#include "send_queue.h"
#include "uart_model.h"

namespace {

constexpr char kCapture[] = HORAX_TEST_DATA "/dcf1-capture-2012-01-10.txt";
// The capture's minute mark at about 65.5 s opens 01:30 on 10 January 2012, and each one
// after it the next minute.
constexpr double kPollMs = 250;
constexpr double kSecondMs = 1000;
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
    EXPECT_EQ(std::tie(set.wYear, set.wMonth, set.wDay, set.wHour, set.wMinute),
              std::make_tuple(2012, 1, 10, 1, minute))
        << "set at " << tick << " ms";
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

// Three clean minutes from second 1, through the UART and, with the FIFO, a 16550 at its
// default trigger: a short mark's clean character waits 800 ms for the FIFO's timeout, a
// long mark's framing error goes at once, so a 1 followed by a 0 leaves 1.8 s without a
// character, which looks like the minute's gap. The driver's one-byte trigger, which the
// program asks for, is the only mend; this documents what happens without it.
TEST(FifoTest, AHeldBackShortMarkBreaksEveryMinute) {
  for (const bool fifo : {false, true}) {
    SCOPED_TRACE(fifo ? "through the FIFO" : "straight");
    StreamSettingsRecord settings = {};
    settings.Convert = ConvertToEuLocal;
    settings.LeapMinute = kNoLeapMinute;
    settings.Weather = true;
    settings.LongMarkMs = kLongMarkMs;
    settings.ShortMarkMs = kShortMarkMs;
    StreamRecord stream = {};
    // 1 March 2026, 00:00:01 CET.
    ASSERT_TRUE(StartStream(settings, 1772319600 + 1, &stream));
    SendQueueRecord queue;
    StartSendQueue(&queue, fifo);
    ReceiverState = {};
    LastDecodedMinute = {};
    int confirmed = 0, false_marks = 0;
    for (int k = 0; k < 3 * 60; ++k) {
      SecondRecord second = {};
      ASSERT_TRUE(AdvanceStream(&stream, &second));
      const double start = kSecondMs * (k + 1);
      ASSERT_TRUE(PutSecondOnLine(second, start, &queue.Uart));
      ASSERT_TRUE(!second.Sent || AddQueueMark(&queue, k, start, false, 0));
      ASSERT_TRUE(SettleQueue(&queue, start + kSecondMs));
      OutgoingRecord outgoing = {};
      while (TakeOutgoing(&queue, &outgoing)) {
        if (!outgoing.HasCharacter) {
          continue;
        }
        const double tick = kPollMs * std::ceil(outgoing.AtMs / kPollMs);
        const MinuteVerdict verdict =
            HandleCharacter(outgoing.Value, static_cast<uint32_t>(tick)).Verdict;
        confirmed += verdict == kMinuteConfirmed;
        false_marks += verdict == kTooFewMarks;
      }
    }
    // Straight, the second and third minutes set the clock; through the FIFO none does.
    EXPECT_EQ(confirmed, fifo ? 0 : 2);
    EXPECT_EQ(false_marks == 0, !fifo);
    RecordProperty(fifo ? "false minute marks through the FIFO" : "false minute marks",
                   false_marks);
  }
}

}  // namespace
