// The monitor's reach into the system: the receiver port, opened as horax opens its port
// and read between the polls, each character stamped as it arrives; a millisecond clock and
// the PC's clock; the stop that Ctrl-C asks for; the terminal. Implemented by
// monitor_port_posix.cpp and monitor_port_win.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

// Room for any message the port functions write.
constexpr size_t kPortMessageSize = 256;

// Installs the stop handlers (SIGINT and SIGTERM; on Windows the console's Ctrl+C,
// Ctrl+Break and close) and starts the clock at 0.
void PrepareMonitor();
// True once a stop was asked for.
bool IsStopRequested();
// Tells a console that is being closed that the monitor has finished, so that its process
// may end now; nothing elsewhere.
void NoteMonitorDone();
// Milliseconds since PrepareMonitor, modulo 2^32: a monotonic clock (the performance
// counter on Windows), the time base of the stamps.
uint32_t ReadMonitorClock();
// The PC's own clock: UTC, in ms since 1970 (GetSystemTimePreciseAsFileTime on Windows).
int64_t ReadPcClock();
// Waits `ms`, or less when a stop is asked for.
void PauseMonitor(uint32_t ms);
// True when standard output shows on a terminal (a console on Windows).
bool IsOutputTerminal();

// Opens the receiver port `name` for this process alone and sets it up as horax does:
// 50 baud 8N1, raw, RTS on and DTR off (where the port has them), a one-byte receive FIFO
// trigger where the driver takes the request or reports its level. False with a message when
// it does not exist, is in use, is no serial port, refuses the setup (on Windows naming the
// call that failed, with its error), or refuses 50 baud; nothing stays open then. `warning`
// (kPortMessageSize chars) gets a note on a setting that will spoil reception, or that the driver
// refused the FIFO request (Windows), or "".
bool OpenMonitorPort(const char* name, char* message, char* warning);

// Waits at most `wait_ms` for a character, and reads one into *value, with the time it arrived
// (ReadMonitorClock's) in *arrived. Returns 1, 0 when none came (or a stop was asked for),
// -1 when the port failed.
int ReadMonitorPort(uint8_t* value, uint32_t* arrived, uint32_t wait_ms);

// True, with a one-line note (kPortMessageSize chars) in `note`, when another program steers
// the PC clock's rate, which keeps horax from steering it; false elsewhere than on Windows.
bool DescribeOtherSteering(char* note);

// Removes the module's supply (RTS off, DTR on) and closes the port; nothing when none is
// open.
void CloseMonitorPort();
