#include "port/receiver_port_win.h"

#include <windows.h>
#include <winioctl.h>

#include <cstdarg>
#include <cstdint>
#include <initializer_list>

#include "common/port_handle.h"
#include "common/receiver_state.h"
#include "decoder/framing.h"
#include "platform/performance_counter_win.h"

namespace {

constexpr unsigned kFirstPort = 1;
constexpr unsigned kLastPort = 8;
// "\\.\COM8" and its terminator, with room to spare.
constexpr int kDeviceNameSize = 16;

// The module sends one character per second mark at 50 baud, 8 data bits, no parity,
// one stop bit; at 20 ms a bit, a 100 ms mark reads 0xF0 and a 200 ms mark reads 0.
constexpr DWORD kBaudRate = 50;
constexpr BYTE kByteSize = 8;

// XON and XOFF as ASCII has them, DC1 and DC3: two that differ, whatever the port's last owner
// left. With XON/XOFF off they mean nothing to the driver.
constexpr char kXonChar = 0x11;
constexpr char kXoffChar = 0x13;
// The flow control limits, unused, but checked against the driver's receive buffer: one byte
// fits any buffer, and XoffLim "should never be zero".
constexpr WORD kXonLimit = 1;
constexpr WORD kXoffLimit = 1;

// The serial driver's request to write the UART's FIFO control register (ntddser.h, a
// kernel-mode header), and the value: the receive FIFO on with its interrupt at one byte
// (trigger bits 0), and no reset bits, so nothing queued is lost.
constexpr DWORD kSetFifoControl =
    CTL_CODE(FILE_DEVICE_SERIAL_PORT, 39, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG kOneByteFifo = 0x01;

// The reader of the open port: its thread, the events it waits on, and what it received. The
// events live as long as the port; the lock for the process.
struct ReaderRecord {
  HANDLE Thread;
  HANDLE Stop;      // set at the close
  HANDLE Room;      // set when the poll takes characters, for a reader held by a full queue
  HANDLE Received;  // set when a character is queued
  volatile LONG Failed;
  ArrivalQueueRecord Queue;  // under Lock
};

ReaderRecord Reader = {};
CRITICAL_SECTION Lock;
bool LockReady = false;

// The number of the port opened last, for ReopenReceiverPort; 0, which every open refuses,
// before any.
unsigned LastOpenedPort = 0;

// wvsprintfA takes its arguments as a va_list.
void FormatDeviceName(char* name, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  wvsprintfA(name, format, arguments);
  va_end(arguments);
}

// PortHandle widened with zeros for the calls that take a HANDLE. The detour through
// UINT_PTR keeps the conversion exact on 32- and 64-bit builds alike.
HANDLE PortDevice() {
  return reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(PortHandle));
}

void ClosePortHandle() {
  CloseHandle(PortDevice());
  // The number may be reused by the next handle the process opens.
  PortHandle = kNoPort;
}

// A 16550's receive FIFO with its trigger above one byte (Windows' default) holds a lone
// clean character until its timeout, four character times (800 ms at 50 baud), while a
// long mark's framing error is reported at once: short marks would arrive 800 ms after
// long ones, and gaps inside a minute would look like its end. Drivers without such a
// FIFO (USB adapters) refuse the request, and so may those of a built-in port; the port then
// works as it did, and only a user can set the FIFO. False when the driver refused.
bool AskForOneByteFifo() {
  ULONG control = kOneByteFifo;
  DWORD returned = 0;
  return DeviceIoControl(PortDevice(), kSetFifoControl, &control, sizeof control, NULL, 0,
                         &returned, NULL) != 0;
}

// A read returns as soon as one character is there, or after kReadTimeoutMs with none:
// "If there are no bytes in the input buffer, ReadFile waits until a byte arrives and then
// returns immediately", and "If no bytes arrive within the time specified by
// ReadTotalTimeoutConstant, ReadFile times out." The port's last owner may have left any,
// under which a read may never end, or end at once and have the reader spin. Nothing is
// written; writes get no time-out, defined all the same: "A value of zero for both the
// WriteTotalTimeoutMultiplier and WriteTotalTimeoutConstant members indicates that total
// time-outs are not used for write operations."
bool SetPortTimeouts() {
  COMMTIMEOUTS timeouts = {};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
  timeouts.ReadTotalTimeoutConstant = kReadTimeoutMs;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 0;
  return SetCommTimeouts(PortDevice(), &timeouts) != 0;
}

// Queues a character for the poll; while the queue is full, waits until the poll takes
// some (the driver's own buffer holds what comes meanwhile). False when the close came first.
bool QueueArrival(uint8_t value, uint32_t tick) {
  const HANDLE waits[] = {Reader.Room, Reader.Stop};
  for (;;) {
    EnterCriticalSection(&Lock);
    const bool queued = PushArrival(&Reader.Queue, value, tick);
    LeaveCriticalSection(&Lock);
    if (queued) {
      SetEvent(Reader.Received);
      return true;
    }
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
      return false;
    }
  }
}

// Reads one character at a time with an overlapped read, and stamps each as the wait for it
// returns. The stop event ends the wait at once; CancelIoEx "only cancels I/O operations in
// the current process, regardless of which thread created the I/O operation", and "The
// application must not free or reuse the OVERLAPPED structure associated with the canceled
// I/O operations until they have completed", so the reader waits for the read's end, which
// the read timeout bounds where a driver does not cancel. A failed read is reported once,
// and the reader then waits for the close: it never spins.
DWORD WINAPI RunReader(LPVOID) {
  OVERLAPPED read = {};
  read.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
  const HANDLE waits[] = {read.hEvent, Reader.Stop};
  bool failed = read.hEvent == NULL;
  while (!failed) {
    // A long mark holds the line low through the stop bit: a framing error or a break, with
    // its character queued all the same. Abort on error is off, and the errors are cleared
    // before each read in case a driver keeps them.
    DWORD errors = 0;
    COMSTAT status = {};
    BYTE value = 0;
    DWORD count = 0;
    ResetEvent(read.hEvent);
    if (!ClearCommError(PortDevice(), &errors, &status) ||
        (!ReadFile(PortDevice(), &value, 1, NULL, &read) && GetLastError() != ERROR_IO_PENDING)) {
      failed = true;
      break;
    }
    const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    const uint32_t tick = ReadPerformanceCounterMs();
    if (woke != WAIT_OBJECT_0) {
      CancelIoEx(PortDevice(), &read);
      // A character that came as the read was cancelled is kept.
      if (GetOverlappedResult(PortDevice(), &read, &count, TRUE) && count == 1) {
        EnterCriticalSection(&Lock);
        PushArrival(&Reader.Queue, value, tick);
        LeaveCriticalSection(&Lock);
      }
      break;
    }
    if (!GetOverlappedResult(PortDevice(), &read, &count, FALSE)) {
      failed = true;
    } else if (count == 1 && !QueueArrival(value, tick)) {
      break;
    }
  }
  if (failed) {
    InterlockedExchange(&Reader.Failed, 1);
    WaitForSingleObject(Reader.Stop, INFINITE);
  }
  if (read.hEvent != NULL) {
    CloseHandle(read.hEvent);
  }
  return 0;
}

void CloseReaderEvents() {
  for (HANDLE* event : {&Reader.Stop, &Reader.Room, &Reader.Received}) {
    if (*event != NULL) {
      CloseHandle(*event);
      *event = NULL;
    }
  }
}

bool StartReader() {
  if (!LockReady) {
    InitializeCriticalSection(&Lock);
    LockReady = true;
  }
  EnterCriticalSection(&Lock);
  Reader.Queue = ArrivalQueueRecord{};
  LeaveCriticalSection(&Lock);
  Reader.Failed = 0;
  Reader.Stop = CreateEventA(NULL, TRUE, FALSE, NULL);
  Reader.Room = CreateEventA(NULL, FALSE, FALSE, NULL);
  Reader.Received = CreateEventA(NULL, FALSE, FALSE, NULL);
  if (Reader.Stop != NULL && Reader.Room != NULL && Reader.Received != NULL) {
    Reader.Thread = CreateThread(NULL, 0, RunReader, NULL, 0, NULL);
  }
  if (Reader.Thread == NULL) {
    CloseReaderEvents();
    return false;
  }
  return true;
}

// Ends an open that failed at `step` once the port is open: notes the step with its error
// before any call below can change it, then removes the module's supply as the close does (a
// line setup refused half way may have given it) and closes the port.
bool FailOpening(PortOpenStep step, PortOpeningRecord* opening) {
  opening->Failed = step;
  opening->Error = GetLastError();
  EscapeCommFunction(PortDevice(), CLRRTS);
  EscapeCommFunction(PortDevice(), SETDTR);
  ClosePortHandle();
  return false;
}

}  // namespace

void PrepareReceiverLine(DCB* line) {
  // The framing of the character, and the few settings without which reception stops
  // without a word: null stripping would drop every long mark (it reads 0), DSR
  // sensitivity every character (the module never raises DSR), and RTS or DTR
  // handshaking would make the driver refuse the calls that power the module. A long mark
  // is still low at the stop bit, a framing error, and a driver that replaces characters
  // received with errors (error character and parity checking on, as the port's last owner
  // may have left them) would hand over its error character instead of the 0; with abort
  // on error, it "will not accept any further communications operations until the
  // application has acknowledged the error", which would end the reader's read with an
  // error at every long mark.
  line->BaudRate = kBaudRate;
  line->ByteSize = kByteSize;
  line->Parity = NOPARITY;
  line->StopBits = ONESTOPBIT;
  line->fBinary = TRUE;  // the only mode Windows has
  line->fParity = FALSE;
  line->fErrorChar = FALSE;
  line->fNull = FALSE;
  line->fDsrSensitivity = FALSE;
  line->fAbortOnError = FALSE;
  line->fRtsControl = RTS_CONTROL_ENABLE;
  line->fDtrControl = DTR_CONTROL_DISABLE;
  // No flow control. With XON/XOFF for transmission (fOutX), "transmission stops when the
  // XoffChar character is received and starts again when the XonChar character is
  // received", and the driver keeps both characters from the reader: a broken mark can read
  // 0x11 or 0x13. The module heeds no XOFF (fInX, with fTXContinueOnXoff), and CTS and DSR
  // flow control hold back only what the PC sends, which is nothing. Off, they ask nothing
  // of the driver that it may lack, now that a refused line setup fails the open (of SerCx
  // drivers: "An IOCTL_SERIAL_SET_HANDFLOW request that specifies an unsupported flag is
  // completed with STATUS_NOT_IMPLEMENTED").
  line->fOutxCtsFlow = FALSE;
  line->fOutxDsrFlow = FALSE;
  line->fOutX = FALSE;
  line->fInX = FALSE;
  line->fTXContinueOnXoff = FALSE;
  // What the driver checks even with flow control off: SetCommState "fails if the XonChar
  // member of the DCB structure is equal to the XoffChar member", the limits must fit its
  // receive buffer, and wReserved is "Reserved; must be zero."
  line->XonChar = kXonChar;
  line->XoffChar = kXoffChar;
  line->XonLim = kXonLimit;
  line->XoffLim = kXoffLimit;
  line->wReserved = 0;
  // Left as they are: ErrorChar, which only fErrorChar puts in; EofChar, which ends data only
  // in the nonbinary mode that Windows does not have; EvtChar, which only signals an event
  // that nothing here waits for, and still arrives itself; fDummy2 and wReserved1,
  // "Reserved; do not use."
}

bool OpenReceiverPort(unsigned n, PortOpeningRecord* opening) {
  PortOpeningRecord unread;
  if (opening == nullptr) {
    opening = &unread;
  }
  *opening = PortOpeningRecord{};
  if (n < kFirstPort || n > kLastPort) {
    opening->Failed = kPortNumber;
    return false;
  }

  char name[kDeviceNameSize];
  FormatDeviceName(name, "\\\\.\\COM%d", static_cast<int>(n));

  // Communications resources: "The fdwShareMode parameter must be zero, opening the resource
  // for exclusive access." Overlapped, so that the reader can wait for a character and for
  // the close at once.
  const HANDLE file =
      CreateFileA(name, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    opening->Failed = kCreateFile;
    opening->Error = GetLastError();
    PortHandle = kNoPort;
    return false;
  }
  // PortHandle keeps only the low 16 bits. A handle with higher bits set would be cut
  // silently into some other, unrelated handle, and every later call would act on that
  // one; such a port is refused instead. 0xFFFF itself would read back as "no port".
  if (reinterpret_cast<UINT_PTR>(file) >= kNoPort) {
    CloseHandle(file);
    opening->Failed = kHandleWidth;
    PortHandle = kNoPort;
    return false;
  }
  PortHandle = static_cast<uint16_t>(reinterpret_cast<UINT_PTR>(file));

  DCB line = {};
  line.DCBlength = sizeof(line);
  if (!GetCommState(PortDevice(), &line)) {
    // Not a serial port after all; the caller will not close what it was told failed.
    return FailOpening(kGetCommState, opening);
  }
  // A refused line setup leaves the port at whatever rate and settings it had, and reception
  // would fail without a sign: a refusal fails the open. SetCommState "reinitializes all
  // hardware and control settings", so the driver checks the whole record, not only what is
  // set here.
  PrepareReceiverLine(&line);
  if (!SetCommState(PortDevice(), &line)) {
    return FailOpening(kSetCommState, opening);
  }
  if (!SetPortTimeouts()) {
    return FailOpening(kSetCommTimeouts, opening);
  }
  opening->FifoTaken = AskForOneByteFifo();

  // The module draws its supply between RTS (high) and DTR (low).
  EscapeCommFunction(PortDevice(), SETRTS);
  EscapeCommFunction(PortDevice(), CLRDTR);

  // Opening counts as a minute mark: the first pulse after it is framed as second 1.
  OpenFrame(ReadPerformanceCounterMs());
  if (!StartReader()) {
    return FailOpening(kStartReader, opening);
  }
  LastOpenedPort = n;
  return true;
}

bool ReopenReceiverPort() {
  return OpenReceiverPort(LastOpenedPort, nullptr);
}

bool TakeReceivedCharacter(uint32_t now, ArrivalRecord* arrival) {
  if (Reader.Thread == NULL) {
    return false;
  }
  EnterCriticalSection(&Lock);
  const bool taken = TakeArrival(&Reader.Queue, now, arrival);
  LeaveCriticalSection(&Lock);
  if (taken) {
    SetEvent(Reader.Room);
  }
  return taken;
}

bool WaitForReceivedCharacter(DWORD ms) {
  return Reader.Thread != NULL && WaitForSingleObject(Reader.Received, ms) == WAIT_OBJECT_0;
}

bool HasReadFailed() {
  return Reader.Thread != NULL && InterlockedCompareExchange(&Reader.Failed, 0, 0) != 0;
}

void CloseReceiverPort() {
  // The reader first: while its read is pending nothing else may touch the handle, and no
  // thread may outlive the port.
  if (Reader.Thread != NULL) {
    SetEvent(Reader.Stop);
    WaitForSingleObject(Reader.Thread, INFINITE);
    CloseHandle(Reader.Thread);
    Reader.Thread = NULL;
    CloseReaderEvents();
  }
  if (PortHandle != kNoPort) {
    // The opposite of the open: the module loses its supply.
    EscapeCommFunction(PortDevice(), CLRRTS);
    EscapeCommFunction(PortDevice(), SETDTR);
    ClosePortHandle();
  }
  ResetFrame();
}
