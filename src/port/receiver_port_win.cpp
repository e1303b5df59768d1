#include "port/receiver_port_win.h"

#include <windows.h>
#include <winioctl.h>

#include <cstdarg>
#include <cstdint>

#include "common/port_handle.h"
#include "common/receiver_state.h"
#include "decoder/framing.h"

namespace {

constexpr unsigned kFirstPort = 1;
constexpr unsigned kLastPort = 8;
// "Com8" and its terminator, with room to spare.
constexpr int kDeviceNameSize = 16;

// The module sends one character per second mark at 50 baud, 8 data bits, no parity,
// one stop bit; at 20 ms a bit, a 100 ms mark reads 0xF0 and a 200 ms mark reads 0.
constexpr DWORD kBaudRate = 50;
constexpr BYTE kByteSize = 8;

// The serial driver's request to write the UART's FIFO control register (ntddser.h, a
// kernel-mode header), and the value: the receive FIFO on with its interrupt at one byte
// (trigger bits 0), and no reset bits, so nothing queued is lost.
constexpr DWORD kSetFifoControl =
    CTL_CODE(FILE_DEVICE_SERIAL_PORT, 39, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG kOneByteFifo = 0x01;

constexpr int32_t kCharacterRead = 1;
constexpr int32_t kNothingQueued = 0;
constexpr int32_t kReadError = -1;

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

HFILE PortFile() {
  return static_cast<HFILE>(PortHandle);
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

}  // namespace

void PrepareReceiverLine(DCB* line) {
  // The framing of the character, and the few settings without which reception stops
  // without a word: null stripping would drop every long mark (it reads 0), DSR
  // sensitivity every character (the module never raises DSR), and RTS or DTR
  // handshaking would make the driver refuse the calls that power the module. A long mark
  // is still low at the stop bit, a framing error, and a driver that replaces characters
  // received with errors (error character and parity checking on, as the port's last owner
  // may have left them) would hand over its error character instead of the 0. Timeouts and
  // the rest stay as the system had them.
  line->BaudRate = kBaudRate;
  line->ByteSize = kByteSize;
  line->Parity = NOPARITY;
  line->StopBits = ONESTOPBIT;
  line->fBinary = TRUE;  // the only mode Windows has
  line->fParity = FALSE;
  line->fErrorChar = FALSE;
  line->fNull = FALSE;
  line->fDsrSensitivity = FALSE;
  line->fRtsControl = RTS_CONTROL_ENABLE;
  line->fDtrControl = DTR_CONTROL_DISABLE;
}

bool OpenReceiverPort(unsigned n, bool* fifo_taken) {
  if (n < kFirstPort || n > kLastPort) {
    return false;
  }

  char name[kDeviceNameSize];
  FormatDeviceName(name, "Com%d", static_cast<int>(n));

  // A share mode of 0 would be compatibility mode, which lets other programs open the port
  // too; a communications port is opened for exclusive access.
  const HFILE file = _lopen(name, OF_READ | OF_SHARE_EXCLUSIVE);
  if (file == HFILE_ERROR) {
    PortHandle = kNoPort;
    return false;
  }
  // PortHandle keeps only the low 16 bits. A handle with higher bits set would be cut
  // silently into some other, unrelated handle, and every later call would act on that
  // one; such a port is refused instead. 0xFFFF itself would read back as "no port".
  if (static_cast<uint32_t>(file) >= kNoPort) {
    _lclose(file);
    PortHandle = kNoPort;
    return false;
  }
  PortHandle = static_cast<uint16_t>(file);

  DCB line = {};
  line.DCBlength = sizeof(line);
  if (!GetCommState(PortDevice(), &line)) {
    // Not a serial port after all; the caller will not close what it was told failed.
    _lclose(PortFile());
    PortHandle = kNoPort;
    return false;
  }
  // A port that refuses the settings still delivers characters, if at another rate, so the
  // result does not decide anything.
  PrepareReceiverLine(&line);
  SetCommState(PortDevice(), &line);
  const bool taken = AskForOneByteFifo();
  if (fifo_taken != nullptr) {
    *fifo_taken = taken;
  }

  // The module draws its supply between RTS (high) and DTR (low).
  EscapeCommFunction(PortDevice(), SETRTS);
  EscapeCommFunction(PortDevice(), CLRDTR);

  // Opening counts as a minute mark: the first pulse after it is framed as second 1.
  OpenFrame(GetTickCount());
  LastOpenedPort = n;
  return true;
}

bool ReopenReceiverPort() {
  return OpenReceiverPort(LastOpenedPort, nullptr);
}

int32_t ReadReceiverByte(uint8_t* character) {
  // The low two bits of a handle are ignored by the system, so 0xFFFF could reach a real
  // handle of this process; with no port open the device is not asked at all.
  if (PortHandle == kNoPort) {
    return kReadError;
  }

  // A 200 ms mark holds the line low through the stop bit, so a real UART reports a
  // framing error or a break with each long mark, although the character 0 is queued.
  // With abort-on-error set, the port then refuses reads until the error is cleared;
  // clearing it before every read keeps reception going. The errors themselves are of
  // no interest: the character's value says all the framing needs.
  DWORD errors = 0;
  COMSTAT queue = {};
  if (!ClearCommError(PortDevice(), &errors, &queue)) {
    return kReadError;
  }
  // With no read timeouts set, _lread would wait for a character; asking only when one
  // is queued keeps the message loop free between the marks.
  if (queue.cbInQue == 0) {
    return kNothingQueued;
  }

  BYTE received = 0;
  const UINT count = _lread(PortFile(), &received, 1);
  if (count == static_cast<UINT>(HFILE_ERROR)) {
    return kReadError;
  }
  if (count != 1) {
    return kNothingQueued;
  }
  *character = received;
  return kCharacterRead;
}

void CloseReceiverPort() {
  if (PortHandle != kNoPort) {
    // The opposite of the open: the module loses its supply.
    EscapeCommFunction(PortDevice(), CLRRTS);
    EscapeCommFunction(PortDevice(), SETDTR);
    _lclose(PortFile());
    // The number may be reused by the next handle the process opens.
    PortHandle = kNoPort;
  }
  ResetFrame();
}
