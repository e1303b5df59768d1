// The serial link to the receiver module: open and power it, receive its characters on a
// reader thread of the port's own, each stamped as it arrives, and release it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "port/arrival_queue.h"

// A read waits at most this long (ms) for a character before it starts again: the bound on
// a close, should the driver not cancel a read.
constexpr DWORD kReadTimeoutMs = 500;

// Sets in *line what reception needs: 50 baud 8N1, binary mode, and no parity checking, error
// character, null stripping, DSR sensitivity, abort on error, flow control of any kind (CTS,
// DSR, XON/XOFF) or RTS and DTR handshaking (RTS on, DTR off); XON and XOFF characters that
// differ, limits that fit any receive buffer, and wReserved zero. The rest stays as it was.
void PrepareReceiverLine(DCB* line);

// The steps of OpenReceiverPort that can fail, each named after the call that failed in it.
enum PortOpenStep : uint8_t {
  kNoStepFailed,     // the port is open
  kPortNumber,       // n is out of range; nothing was touched
  kCreateFile,       // no such port, or another program holds it
  kHandleWidth,      // its handle does not fit in PortHandle's 16 bits
  kGetCommState,     // no serial port
  kSetCommState,     // the driver refused the line setup
  kSetCommTimeouts,  // the driver refused the timeouts
  kStartReader,      // the reader's events or thread could not be made
};

// How an open went: the step that failed, with GetLastError as that step left it (0 for
// kPortNumber and kHandleWidth), and, once the port is open, whether the driver took the
// FIFO request.
struct PortOpeningRecord {
  PortOpenStep Failed;
  DWORD Error;
  bool FifoTaken;
};

// Opens COM port n (1 to 8) read-only and for exclusive access, sets its line with
// PrepareReceiverLine and its timeouts, asks the driver for a receive FIFO that hands over
// every byte at once, powers the module and starts the reader. Frames afresh from the open
// (OpenFrame). False when any step fails (PortOpenStep): a number out of range touches
// nothing; after any other step no handle or reader is left, PortHandle is kNoPort, and a
// port that was opened had its lines set as the close sets them. *opening (unless it is
// null) says how the open went.
bool OpenReceiverPort(unsigned n, PortOpeningRecord* opening);

// Opens again, with the same setup, the port that OpenReceiverPort opened last: after it was
// given up, or closed across sleep. False as for OpenReceiverPort, and when none was opened.
bool ReopenReceiverPort();

// Takes into *arrival the oldest character the reader received at or before tick `now`
// (ReadPerformanceCounterMs); false when there is none, or no port is open.
bool TakeReceivedCharacter(uint32_t now, ArrivalRecord* arrival);

// Waits at most `ms` for the reader to receive a character; true when one came meanwhile.
bool WaitForReceivedCharacter(DWORD ms);

// True once a read of the open port failed (the adapter gone): the reader then waits for the
// close and reads nothing more.
bool HasReadFailed();

// Stops the reader and waits for its end, then removes the module's supply (RTS off, DTR on),
// closes the port, sets PortHandle to kNoPort and resets the frame; LastByteTick is left
// alone. Characters not taken yet are dropped.
void CloseReceiverPort();
