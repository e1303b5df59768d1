// Real time for the mark loop: the clocks, sleeping to an absolute deadline, the stop that
// SIGINT/SIGTERM (Ctrl+C on Windows) request, and whether standard error is a terminal.
#pragma once

#include <cstdint>

constexpr int64_t kNanosecondsPerSecond = 1000000000;
constexpr int64_t kNanosecondsPerMillisecond = 1000000;

// Installs the stop handlers and asks for fine timer resolution where the system needs it.
void PrepareRealTime();
// True once a stop was requested.
bool IsStopRequested();

// Nanoseconds on a clock that never steps; its zero means nothing.
int64_t ReadMonotonicNs();
// Nanoseconds since 1970-01-01 UTC by the system clock.
int64_t ReadWallClockNs();
// Sleeps until ReadMonotonicNs() reaches `deadline_ns`, however often it is woken, so that
// errors never add up over a run. False when a stop was requested first.
bool SleepUntil(int64_t deadline_ns);

// True when standard error shows on a terminal (a console on Windows).
bool IsStderrTerminal();
