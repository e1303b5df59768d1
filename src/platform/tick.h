// The program's one time base: the performance counter in milliseconds, for the stamps of
// the received characters, the polls and the moment of a clock set.
#pragma once

#include <cstdint>

// Milliseconds, modulo 2^32: differences are taken modulo 2^32 and read as signed. The
// native stand-in gives the tick a test passed last (PassNativeClockTick).
uint32_t ReadTickMs();
