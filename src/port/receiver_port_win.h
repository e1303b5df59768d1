// The serial link to the receiver module: open and power it, read marks, release it.
#pragma once

#include <cstdint>

// Opens COM port n (1 to 8) at 50 baud 8N1 and powers the module (RTS on, DTR off).
// Notes the tick and resets the frame. False when n is out of range or the port cannot
// be opened or configured; no handle is then left open.
bool OpenReceiverPort(unsigned n);

// Reads one character into *character without waiting. Returns 1 when one was read,
// 0 when none was queued, -1 on error; *character is only written for 1.
int32_t ReadReceiverByte(uint8_t* character);

// Removes the module's supply (RTS off, DTR on), closes the port and resets the frame.
void CloseReceiverPort();
