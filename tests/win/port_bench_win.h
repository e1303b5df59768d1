// The bench the receiver port tests run on: COM ports that null_modem.py has wired to
// pseudo-terminals, the sending end of the receiver's line, and a deadline for polls.
#pragma once

#include <windows.h>

#include <cstdint>

// Generous: a character crosses the pseudo-terminals in about a millisecond.
constexpr DWORD kArrivalDeadlineMs = 10000;

// The COM port number that null_modem.py put in the environment `variable`; 0 when the
// test was started without it.
unsigned BenchPort(const char* variable);

// Opens COM `port` directly, with `access`; INVALID_HANDLE_VALUE when it cannot be
// opened. The sending end of the receiver's line is opened for writing this way.
HANDLE OpenComPort(unsigned port, DWORD access);

// Writes `count` bytes to the sending end; true when all were written.
bool Send(HANDLE sender, const uint8_t* bytes, DWORD count);

// Reads with ReadReceiverByte until a character comes or kArrivalDeadlineMs passes.
// Returns the count of the last read: 1 with the character in *character, else 0 or -1.
int32_t AwaitCharacter(uint8_t* character);

// ReadWithin's answer when the read was still waiting at the deadline.
constexpr int32_t kStillWaiting = INT32_MIN;

// Calls ReadReceiverByte on a thread of its own, so that a read that waits for a
// character cannot hang the test. Returns its count and, in *elapsed_ms, how long it
// took; kStillWaiting when it had not returned within kArrivalDeadlineMs (the thread is
// then left blocked until the process ends). *character as with ReadReceiverByte.
int32_t ReadWithin(uint8_t* character, DWORD* elapsed_ms);

// Waits until `port` has a character queued or kArrivalDeadlineMs passes, without
// reading it. Returns the number queued.
DWORD AwaitQueued(HANDLE port);
