#include "platform/performance_counter_win.h"
#include "platform/tick.h"

uint32_t ReadTickMs() {
  return ReadPerformanceCounterMs();
}
