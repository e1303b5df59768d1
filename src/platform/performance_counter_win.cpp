#include "platform/performance_counter_win.h"

#include <windows.h>

uint32_t ReadPerformanceCounterMs() {
  // GetTickCount moves only on the system tick, 15.6 ms on most PCs; the performance counter
  // is "a high resolution (<1us) time stamp that can be used for time-interval
  // measurements", and "The frequency of the performance counter is fixed at system boot
  // and is consistent across all processors." Split so that the product cannot overflow.
  LARGE_INTEGER frequency;
  LARGE_INTEGER count;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&count);
  const int64_t whole_seconds = count.QuadPart / frequency.QuadPart;
  const int64_t rest = count.QuadPart % frequency.QuadPart;
  return static_cast<uint32_t>(whole_seconds * 1000 + rest * 1000 / frequency.QuadPart);
}
