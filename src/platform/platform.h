// The platform calls the portable core makes: Win32 itself, or the native stand-in.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/native_clock.h"
#endif
