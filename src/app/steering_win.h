// Steering the PC clock's rate through the system's time adjustment: the calls (the precise
// ones from Windows 10, the legacy ones before), the right to make them, the adjustment horax
// set last, kept in its profile section, and the clock handed back at every end.
#pragma once

#include <windows.h>

#include <cstdint>

// The two calls, in the precise calls' form: the adjustment and the increment in the same
// unit, and whether the adjustment is off.
struct TimeAdjustmentCallsRecord {
  BOOL(WINAPI* Get)(DWORD64* adjustment, DWORD64* increment, BOOL* disabled);
  BOOL(WINAPI* Set)(DWORD64 adjustment, BOOL disabled);
};

// The calls steering makes: the system's, once FindTimeAdjustmentCalls has run; tests put
// their own.
extern TimeAdjustmentCallsRecord TimeAdjustmentCalls;

// Finds the system's calls and enables the right to make them (SE_SYSTEMTIME_NAME).
void FindTimeAdjustmentCalls();

// Decides at the start whether horax may steer: not while another program's adjustment is in
// force. One that horax's profile names as its own, left by a run that did not end, is taken
// over.
void StartSteering();

// At each poll, at tick `now`: puts in force the adjustment the steering asks for, unless
// another program put one of its own in force since, which stops steering for the run.
// Without the right to adjust, nothing changes.
void ApplySteering(uint32_t now);

// Hands the clock back: the adjustment off, if horax's is in force; at every end.
void HandBackClock();
