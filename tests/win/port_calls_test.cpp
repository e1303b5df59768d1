// One run of the receiver port from open to close, whose calls null_modem.py
// --check-calls then checks in Wine's trace: which device was opened and how, the RTS
// and DTR switching (a pseudo-terminal refuses it, so the calls are all there is to see),
// and that every read is preceded by the clearing of the port's error state.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>

#include "common/port_handle.h"
#include "port/receiver_port_win.h"
#include "port_bench_win.h"

namespace {

constexpr uint8_t kLongMark = 0x00;
constexpr uint8_t kShortMark = 0xF0;

TEST(ReceiverPortCallsTest, OpenReadAndCloseAsTraced) {
  const unsigned receiver = BenchPort("HORAX_TEST_RECEIVER_PORT");
  ASSERT_NE(receiver, 0u) << "start the test through tests/win/null_modem.py";
  PortHandle = kNoPort;

  // Neither may show up in the trace as a device opened.
  EXPECT_FALSE(OpenReceiverPort(0));
  EXPECT_FALSE(OpenReceiverPort(9));

  ASSERT_TRUE(OpenReceiverPort(receiver));
  // On a real port, each long mark leaves a framing error or a break, and with this flag
  // the port would refuse reads until it is cleared. Wine keeps neither the flag nor any
  // line error on a pseudo-terminal; the trace shows the clearing before every read.
  const HANDLE port = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(PortHandle));
  DCB line = {};
  line.DCBlength = sizeof(line);
  ASSERT_TRUE(GetCommState(port, &line));
  line.fAbortOnError = TRUE;
  SetCommState(port, &line);

  uint8_t character = 0;
  DWORD elapsed_ms = 0;
  ASSERT_EQ(ReadWithin(&character, &elapsed_ms), 0) << "nothing sent yet";

  const HANDLE sender = OpenComPort(BenchPort("HORAX_TEST_SENDER_PORT"), GENERIC_WRITE);
  ASSERT_NE(sender, INVALID_HANDLE_VALUE);
  const uint8_t marks[] = {kLongMark, kShortMark};
  ASSERT_TRUE(Send(sender, marks, sizeof(marks)));
  CloseHandle(sender);

  EXPECT_EQ(AwaitCharacter(&character), 1);
  EXPECT_EQ(character, kLongMark);
  EXPECT_EQ(AwaitCharacter(&character), 1);
  EXPECT_EQ(character, kShortMark);

  CloseReceiverPort();
}

}  // namespace
