#include "pacing.h"

#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

namespace {

// 100 ns ticks between 1601-01-01 (FILETIME's zero) and 1970-01-01.
constexpr int64_t kFileTimeEpochOffset = 116444736000000000;
constexpr int64_t kNanosecondsPerFileTimeTick = 100;
// Sleep()'s default granularity is 15.6 ms; 1 ms keeps marks within a few ms.
constexpr UINT kTimerPeriodMs = 1;

volatile LONG stop_requested = 0;
HANDLE stop_event = nullptr;
int64_t counter_frequency = 0;

BOOL WINAPI NoteStop(DWORD control) {
  switch (control) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      InterlockedExchange(&stop_requested, 1);
      if (stop_event != nullptr) {
        SetEvent(stop_event);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void PrepareRealTime() {
  stop_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(NoteStop, TRUE);
  timeBeginPeriod(kTimerPeriodMs);
}

bool IsStopRequested() {
  return InterlockedCompareExchange(&stop_requested, 0, 0) != 0;
}

int64_t ReadMonotonicNs() {
  if (counter_frequency == 0) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    counter_frequency = frequency.QuadPart;
  }
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  // Whole seconds and the rest apart, so that the product cannot overflow.
  const int64_t seconds = counter.QuadPart / counter_frequency;
  const int64_t rest = counter.QuadPart % counter_frequency;
  return seconds * kNanosecondsPerSecond + rest * kNanosecondsPerSecond / counter_frequency;
}

int64_t ReadWallClockNs() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const int64_t ticks =
      (static_cast<int64_t>(now.dwHighDateTime) << 32) | static_cast<int64_t>(now.dwLowDateTime);
  return (ticks - kFileTimeEpochOffset) * kNanosecondsPerFileTimeTick;
}

bool SleepUntil(int64_t deadline_ns) {
  for (;;) {
    if (IsStopRequested()) {
      return false;
    }
    const int64_t remaining = deadline_ns - ReadMonotonicNs();
    if (remaining <= 0) {
      return true;
    }
    // Rounded up: waking early would only mean another round.
    const DWORD wait_ms = static_cast<DWORD>((remaining + kNanosecondsPerMillisecond - 1) /
                                             kNanosecondsPerMillisecond);
    if (stop_event != nullptr) {
      WaitForSingleObject(stop_event, wait_ms);
    } else {
      Sleep(wait_ms);
    }
  }
}

bool IsStderrTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
