// The serial link to the receiver module: open and power it, read marks, release it.
#pragma once

#include <windows.h>

#include <cstdint>

// Sets in *line what reception needs: 50 baud 8N1, binary mode, and no parity checking, error
// character, null stripping, DSR sensitivity or RTS and DTR handshaking (RTS on, DTR off); the
// rest stays as it was.
void PrepareReceiverLine(DCB* line);

// Opens COM port n (1 to 8) read-only and for exclusive access, sets its line with
// PrepareReceiverLine, asks the driver for a receive FIFO that hands over every byte at once, and
// powers the module. Frames afresh from the open (OpenFrame). False when n is out of
// range (nothing is touched then), when the port cannot be opened, when its state cannot be read,
// or when its handle does not fit in PortHandle's 16 bits; no handle is then left open and
// PortHandle is kNoPort. Once the port is open, *fifo_taken (unless it is null) says whether the
// driver took the FIFO request.
bool OpenReceiverPort(unsigned n, bool* fifo_taken);

// Opens again, with the same setup, the port that OpenReceiverPort opened last: after it was
// given up, or closed across sleep. False as for OpenReceiverPort, and when none was opened.
bool ReopenReceiverPort();

// Reads one character into *character without waiting: only when the port has one
// queued, after clearing any line error that would hold up the read. Returns 1 when one
// was read, 0 when none was queued, -1 on error or with no port open; *character is only
// written for 1.
int32_t ReadReceiverByte(uint8_t* character);

// Removes the module's supply (RTS off, DTR on), closes the port, sets PortHandle to
// kNoPort and resets the frame; LastByteTick is left alone.
void CloseReceiverPort();
