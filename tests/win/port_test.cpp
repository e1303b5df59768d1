#include "port/receiver_port_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <vector>

#include "common/port_handle.h"
#include "common/receiver_state.h"
#include "port_bench_win.h"

namespace {

// Left over from "earlier in the run", so that whatever an open or close writes shows.
constexpr ReceiverStateRecord kEarlierState = {0x0000'0000'F0F0'F0F0ull, 42, 0xDEADBEEF};
constexpr uint16_t kEarlierHandle = 0x1234;
constexpr uint8_t kUntouched = 0xA5;
constexpr DWORD kImmediateMs = 50;

bool SameState(const ReceiverStateRecord& a, const ReceiverStateRecord& b) {
  return a.FrameBits == b.FrameBits && a.SecondCounter == b.SecondCounter &&
         a.LastByteTick == b.LastByteTick;
}

HANDLE PortDevice(uint16_t port) {
  return reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(port));
}

DCB ReadLine(HANDLE port) {
  DCB line = {};
  line.DCBlength = sizeof(line);
  EXPECT_TRUE(GetCommState(port, &line));
  return line;
}

// The handle value the process's next new handle gets. A new handle takes the most
// recently freed slot (Windows) or the lowest free one (Wine); either way a call made
// right after this gets the same slot, and leaves it free again unless it kept a handle.
HANDLE NextHandle() {
  const HANDLE probe = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  CloseHandle(probe);
  return probe;
}

class ReceiverPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    receiver_ = BenchPort("HORAX_TEST_RECEIVER_PORT");
    ASSERT_NE(receiver_, 0u) << "start the test through tests/win/null_modem.py";
    PortHandle = kNoPort;
    ReceiverState = kEarlierState;
  }

  void TearDown() override {
    if (PortHandle != kNoPort) {
      CloseReceiverPort();
    }
    if (sender_ != INVALID_HANDLE_VALUE) {
      CloseHandle(sender_);
    }
  }

  void OpenSenderEnd() {
    sender_ = OpenComPort(BenchPort("HORAX_TEST_SENDER_PORT"), GENERIC_WRITE);
    ASSERT_NE(sender_, INVALID_HANDLE_VALUE);
  }

  // Expects a refused open that leaves no handle and neither frame nor tick changed.
  void ExpectRefusedLeavingNothing(unsigned port) {
    ASSERT_TRUE(port >= 1 && port <= 8) << "not refused by its number alone: " << port;
    const HANDLE next = NextHandle();
    EXPECT_FALSE(OpenReceiverPort(port));
    EXPECT_EQ(PortHandle, kNoPort);
    EXPECT_EQ(NextHandle(), next) << "a handle was left open";
    EXPECT_TRUE(SameState(ReceiverState, kEarlierState));
  }

  unsigned receiver_ = 0;
  HANDLE sender_ = INVALID_HANDLE_VALUE;
};

using ReceiverPortRefusalTest = ReceiverPortTest;
using ReceiverPortOpenTest = ReceiverPortTest;
using ReceiverPortReadTest = ReceiverPortTest;
using ReceiverPortCloseTest = ReceiverPortTest;

TEST_F(ReceiverPortRefusalTest, PortNumbersOutsideOneToEightTouchNothing) {
  for (unsigned port : {0u, 9u}) {
    SCOPED_TRACE(port);
    PortHandle = kEarlierHandle;
    EXPECT_FALSE(OpenReceiverPort(port));
    EXPECT_EQ(PortHandle, kEarlierHandle);
    EXPECT_TRUE(SameState(ReceiverState, kEarlierState));
  }
  PortHandle = kNoPort;
}

TEST_F(ReceiverPortRefusalTest, PortNumberWithoutDeviceIsRefused) {
  // Wine gives COM ports beyond the mapped four to the machine's own serial devices.
  unsigned unused = 0;
  char target[MAX_PATH];
  for (unsigned port = 8; port > 4 && unused == 0; --port) {
    char name[8];
    wsprintfA(name, "COM%u", port);
    if (QueryDosDeviceA(name, target, sizeof(target)) == 0) {
      unused = port;
    }
  }
  if (unused == 0) {
    GTEST_SKIP() << "COM5 to COM8 all name devices on this machine";
  }
  ExpectRefusedLeavingNothing(unused);
}

TEST_F(ReceiverPortRefusalTest, PortWhoseDeviceIsMissingIsRefused) {
  // Wine opens a stand-in for a mapped port whose device is missing, which then fails as
  // a serial port; so this also covers the close after an unreadable state.
  ExpectRefusedLeavingNothing(BenchPort("HORAX_TEST_ABSENT_PORT"));
}

TEST_F(ReceiverPortRefusalTest, DeviceThatIsNoSerialPortIsClosedAgain) {
  ExpectRefusedLeavingNothing(BenchPort("HORAX_TEST_NOT_SERIAL_PORT"));
}

TEST_F(ReceiverPortRefusalTest, HandleBeyondSixteenBitsIsClosedAgain) {
  // Fills the handle table until the next free handle no longer fits in 16 bits.
  const HANDLE original = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::vector<HANDLE> filling;
  for (;;) {
    HANDLE copy = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), original, GetCurrentProcess(), &copy, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    if (reinterpret_cast<UINT_PTR>(copy) > 0xFFFF) {
      CloseHandle(copy);
      break;
    }
    filling.push_back(copy);
  }
  ExpectRefusedLeavingNothing(receiver_);
  for (HANDLE copy : filling) {
    CloseHandle(copy);
  }
  CloseHandle(original);
}

TEST_F(ReceiverPortOpenTest, SetsTheLineTo50Baud8N1AndKeepsTheRest) {
  // A line left in another state by whoever used the port before. A pseudo-terminal is
  // always 8 bits without parity, so the rate and the stop bits carry the check there.
  const HANDLE earlier = OpenComPort(receiver_, GENERIC_READ | GENERIC_WRITE);
  ASSERT_NE(earlier, INVALID_HANDLE_VALUE);
  DCB line = ReadLine(earlier);
  line.BaudRate = CBR_9600;
  line.StopBits = TWOSTOPBITS;
  line.fOutxCtsFlow = TRUE;
  EXPECT_TRUE(SetCommState(earlier, &line));
  CloseHandle(earlier);

  ASSERT_TRUE(OpenReceiverPort(receiver_));
  line = ReadLine(PortDevice(PortHandle));
  EXPECT_EQ(line.BaudRate, 50u);
  EXPECT_EQ(line.ByteSize, 8);
  EXPECT_EQ(line.Parity, NOPARITY);
  EXPECT_EQ(line.StopBits, ONESTOPBIT);
  EXPECT_TRUE(line.fOutxCtsFlow) << "flow control is the system's, not the receiver's";
}

TEST_F(ReceiverPortOpenTest, ResetsTheFrameAndNotesTheTick) {
  const DWORD before = GetTickCount();
  ASSERT_TRUE(OpenReceiverPort(receiver_));
  const DWORD after = GetTickCount();
  EXPECT_NE(PortHandle, kNoPort);
  EXPECT_EQ(ReceiverState.FrameBits, 0u);
  EXPECT_EQ(ReceiverState.SecondCounter, 0);
  // Modulo 2^32, like every tick difference.
  EXPECT_LE(ReceiverState.LastByteTick - before, after - before);
}

TEST_F(ReceiverPortReadTest, ReadWithNothingQueuedReturnsAtOnce) {
  ASSERT_TRUE(OpenReceiverPort(receiver_));
  for (int attempt = 0; attempt < 10; ++attempt) {
    uint8_t character = kUntouched;
    DWORD elapsed_ms = 0;
    ASSERT_EQ(ReadWithin(&character, &elapsed_ms), 0) << "the read waits for a character";
    EXPECT_LT(elapsed_ms, kImmediateMs);
    EXPECT_EQ(character, kUntouched);
  }
}

TEST_F(ReceiverPortReadTest, EveryByteValueArrivesIntactOnePerRead) {
  ASSERT_TRUE(OpenReceiverPort(receiver_));
  OpenSenderEnd();
  uint8_t values[256];
  for (int value = 0; value < 256; ++value) {
    values[value] = static_cast<uint8_t>(value);
  }
  ASSERT_TRUE(Send(sender_, values, sizeof(values)));

  for (int value = 0; value < 256; ++value) {
    uint8_t character = kUntouched;
    ASSERT_EQ(AwaitCharacter(&character), 1) << "waiting for " << value;
    ASSERT_EQ(character, value);
  }
  uint8_t character = kUntouched;
  DWORD elapsed_ms = 0;
  EXPECT_EQ(ReadWithin(&character, &elapsed_ms), 0) << "all were read, or the read waits";
}

TEST_F(ReceiverPortCloseTest, CloseResetsTheFrameAndReleasesThePort) {
  ASSERT_TRUE(OpenReceiverPort(receiver_));
  OpenSenderEnd();
  const uint16_t open_handle = PortHandle;
  const uint8_t pending = 0x42;
  ASSERT_TRUE(Send(sender_, &pending, 1));
  // A character waits in the port, so a read after the close would have one to give.
  ASSERT_EQ(AwaitQueued(PortDevice(open_handle)), 1u);
  ReceiverState = kEarlierState;

  CloseReceiverPort();
  EXPECT_EQ(ReceiverState.FrameBits, 0u);
  EXPECT_EQ(ReceiverState.SecondCounter, 0);
  EXPECT_EQ(ReceiverState.LastByteTick, kEarlierState.LastByteTick);
  EXPECT_EQ(PortHandle, kNoPort);
  DWORD flags = 0;
  EXPECT_FALSE(GetHandleInformation(PortDevice(open_handle), &flags)) << "still open";

  uint8_t character = kUntouched;
  EXPECT_LE(ReadReceiverByte(&character), 0);
  EXPECT_EQ(character, kUntouched);
}

}  // namespace
