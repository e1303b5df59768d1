#include <windows.h>

#include <cstdio>

#include "app/settings_win.h"
#include "common/port_handle.h"
#include "monitor_options.h"
#include "monitor_port.h"
#include "platform/performance_counter_win.h"
#include "port/receiver_port_win.h"

namespace {

constexpr DWORD kBaudRate = 50;
// The wait for a character is broken this often to look for a stop; the reader stamps each
// character itself.
constexpr DWORD kLookMs = 10;
// FILETIME counts 100-nanosecond intervals from 1601; 1970 is this many ms later.
constexpr int64_t kFileTimeUnitsPerMs = 10000;
constexpr int64_t kMsFrom1601To1970 = 11644473600000;
// A console being closed ends the process when its handler returns, and the system ends it
// anyway once its time for hung programs is up. Systems before Windows 7 do not report that
// time; theirs is the default, 5 s. The handler returns this much earlier, so that the
// process ends by its own hand.
constexpr UINT kDefaultHungAppTimeoutMs = 5000;
constexpr DWORD kCloseMarginMs = 1000;
// "COM8" and its terminator, with room to spare.
constexpr int kDeviceNameSize = 16;
// Enough of the adjustment horax names as its own to see that it names one.
constexpr DWORD kOwnAdjustmentSize = 24;

volatile LONG stop_requested = 0;
HANDLE stop_event = nullptr;
HANDLE done_event = nullptr;
uint32_t started = 0;
DWORD close_grace_ms = 0;

BOOL WINAPI NoteStop(DWORD control) {
  switch (control) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      InterlockedExchange(&stop_requested, 1);
      SetEvent(stop_event);
      if (control == CTRL_CLOSE_EVENT) {
        WaitForSingleObject(done_event, close_grace_ms);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

// PortHandle widened as horax's port code widens it.
HANDLE PortDevice() {
  return reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(PortHandle));
}

void Refuse(char* message, const char* what, const char* name) {
  std::snprintf(message, kPortMessageSize, "%.40s %s", name, what);
}

// Says in `message` why the open of `device` failed, naming the call that failed and its
// error; the usual refusals of CreateFile in words alone.
void DescribeFailedOpen(char* message, const char* device, const PortOpeningRecord& opening) {
  const DWORD error = opening.Error;
  const char* what = "cannot be opened as a serial port";
  const char* call = "GetCommState";
  switch (opening.Failed) {
    case kCreateFile:
      // A serial port is opened by one program at a time; the driver refuses any other.
      if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
        Refuse(message, "is in use by another program", device);
        return;
      }
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        Refuse(message, "does not exist", device);
        return;
      }
      what = "cannot be opened";
      call = "CreateFile";
      break;
    case kHandleWidth:
      Refuse(message, "cannot be opened: its handle does not fit in 16 bits", device);
      return;
    case kSetCommState:
      // A driver that cannot run at 50 baud refuses the whole setup.
      what = "refused the line setup, 50 baud 8N1 among it";
      call = "SetCommState";
      break;
    case kSetCommTimeouts:
      what = "refused the read timeouts";
      call = "SetCommTimeouts";
      break;
    case kStartReader:
      what = "cannot be read: its reader did not start";
      call = "CreateEventA or CreateThread";
      break;
    default:
      break;
  }
  std::snprintf(message, kPortMessageSize, "%s %s (%s, error %lu)", device, what, call,
                static_cast<unsigned long>(error));
}

// Read at the start, so that the close handler has nothing left to ask of the system.
DWORD FindCloseGrace() {
  UINT timeout = 0;
  if (!SystemParametersInfoA(SPI_GETHUNGAPPTIMEOUT, 0, &timeout, 0) || timeout == 0) {
    timeout = kDefaultHungAppTimeoutMs;
  }
  // A user who set a timeout of a second or two still gets half of it.
  return timeout > 2 * kCloseMarginMs ? timeout - kCloseMarginMs : timeout / 2;
}

}  // namespace

void PrepareMonitor() {
  stop_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  done_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  close_grace_ms = FindCloseGrace();
  SetConsoleCtrlHandler(NoteStop, TRUE);
  started = ReadPerformanceCounterMs();
}

bool IsStopRequested() {
  return InterlockedCompareExchange(&stop_requested, 0, 0) != 0;
}

void NoteMonitorDone() {
  SetEvent(done_event);
}

uint32_t ReadMonitorClock() {
  return ReadPerformanceCounterMs() - started;
}

int64_t ReadPcClock() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  const uint64_t units = (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  return static_cast<int64_t>(units / kFileTimeUnitsPerMs) - kMsFrom1601To1970;
}

void PauseMonitor(uint32_t ms) {
  WaitForSingleObject(stop_event, ms);
}

bool IsOutputTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool OpenMonitorPort(const char* name, char* message, char* warning) {
  warning[0] = '\0';
  const unsigned number = ReadComPortNumber(name);
  if (number == 0) {
    Refuse(message, "is no port: give 1 to 4, as horax takes it, or COM1 to COM8", name);
    return false;
  }
  char device[kDeviceNameSize];
  std::snprintf(device, sizeof device, "COM%u", number);
  char target[MAX_PATH];
  if (QueryDosDeviceA(device, target, MAX_PATH) == 0 &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    Refuse(message, "does not exist", device);
    return false;
  }
  PortOpeningRecord opening = {};
  if (!OpenReceiverPort(number, &opening)) {
    DescribeFailedOpen(message, device, opening);
    return false;
  }
  // A driver that takes the line setup may still keep a rate of its own.
  DCB line = {};
  line.DCBlength = sizeof line;
  if (!GetCommState(PortDevice(), &line) || line.BaudRate != kBaudRate) {
    CloseReceiverPort();
    Refuse(message, "refuses 50 baud", device);
    return false;
  }
  // A refusal leaves a built-in port's FIFO at the trigger its settings give, which no program
  // can read back; USB adapters, which have no such FIFO, refuse always, and so does Wine.
  if (!opening.FifoTaken) {
    std::snprintf(warning, kPortMessageSize,
                  "%s refused the request for a one-byte receive FIFO. A built-in port needs "
                  "it set by hand: Device Manager, the port's Properties, Port Settings, "
                  "Advanced, Receive Buffer to its lowest setting (1). A USB adapter needs "
                  "nothing.",
                  device);
  }
  return true;
}

int ReadMonitorPort(uint8_t* value, uint32_t* arrived, uint32_t wait_ms) {
  const uint32_t begun = ReadMonitorClock();
  for (;;) {
    ArrivalRecord arrival = {};
    if (TakeReceivedCharacter(ReadPerformanceCounterMs(), &arrival)) {
      *value = arrival.Value;
      *arrived = arrival.Tick - started;
      return 1;
    }
    if (HasReadFailed()) {
      return -1;
    }
    const uint32_t waited = ReadMonitorClock() - begun;
    if (waited >= wait_ms || IsStopRequested()) {
      return 0;
    }
    const uint32_t left = wait_ms - waited;
    WaitForReceivedCharacter(left < kLookMs ? left : kLookMs);
  }
}

bool DescribeOtherSteering(char* note) {
  note[0] = '\0';
  DWORD adjustment = 0;
  DWORD increment = 0;
  BOOL disabled = TRUE;
  // "A value of FALSE indicates that periodic time adjustment is being used to adjust the
  // time-of-day clock": someone steers. horax names its own adjustment in its profile while
  // it is in force, whether it runs now or was killed.
  char own[kOwnAdjustmentSize];
  if (!GetSystemTimeAdjustment(&adjustment, &increment, &disabled) || disabled ||
      GetProfileStringA(kSettingsSection, kAdjustmentKey, "", own, sizeof own) != 0) {
    return false;
  }
  std::snprintf(note, kPortMessageSize,
                "another program steers the PC clock's rate, so horax would only set it: switch "
                "\"Set time automatically\" off (or stop the program that keeps the time)");
  return true;
}

void CloseMonitorPort() {
  CloseReceiverPort();
}
