// The serial line the marks go out on: a pseudo-terminal that Wine maps as a COM port, or
// a real serial port. One output at a time; it stays open until CloseOutput.
#pragma once

#include <cstdint>

// Creates a pseudo-terminal set raw (all 256 values pass) at 50 baud, and a symlink `link`
// to its slave side, replacing a stale symlink there but nothing else. The slave is not
// kept open, so that its opening by another process can be seen. False with a message in
// `message` (kMessageSize chars), e.g. where pseudo-terminals do not exist.
bool OpenPtyOutput(const char* link, char* message);

// Opens the serial port `path` (COM1 and the like on Windows) and sets it to 50 baud 8N1,
// no flow control. False with a message in `message` when it cannot be opened or set.
bool OpenDeviceOutput(const char* path, char* message);

// Waits until another process has the pseudo-terminal open. False when a stop was
// requested first or the wait failed (message in `message`).
bool WaitForPtyReader(char* message);

// Sends one character. On a pseudo-terminal that no one has open, or whose reader does not
// keep up, the character is lost, as on a real line. False with a message when the port
// fails, which ends the run.
bool WriteCharacter(uint8_t value, char* message);

// Removes the symlink or restores the port's settings, and closes it. Safe to call when
// nothing is open.
void CloseOutput();
