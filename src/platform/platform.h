// The platform calls the portable core makes: Win32 itself, or the native stand-in, which
// only records. Programs that must never set the clock (dcf77mon) are built with
// HORAX_RECORDING_CLOCK, and get the stand-in on Windows too.
#pragma once

#include "platform/tick.h"

#if defined(_WIN32) && !defined(HORAX_RECORDING_CLOCK)
#include <windows.h>
#else
#include "platform/native_clock.h"
#endif
