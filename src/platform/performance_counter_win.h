// The performance counter in milliseconds: the time base of horax and of the port's reader,
// whichever clock a program's decoder is built against.
#pragma once

#include <cstdint>

// Milliseconds since the system started, modulo 2^32.
uint32_t ReadPerformanceCounterMs();
