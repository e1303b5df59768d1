#include "app/steering_win.h"

#include <windows.h>

#include <cstdlib>

#include "app/decimal.h"
#include "app/settings_win.h"
#include "common/clock_steering.h"
#include "decoder/steering.h"
#include "platform/tick.h"

namespace {

constexpr double kPartsPerMillion = 1e-6;
constexpr int kDecimalBase = 10;

typedef BOOL(WINAPI* GetPreciseFunction)(DWORD64*, DWORD64*, BOOL*);
typedef BOOL(WINAPI* SetPreciseFunction)(DWORD64, BOOL);

// The adjustment horax put in force last; InForce while it is.
bool InForce = false;
DWORD64 LastSet = 0;

// The legacy calls in the precise ones' form. GetSystemTimeAdjustment: lpTimeAdjustment is
// the "number of 100-nanosecond units added to the time-of-day clock for every period of
// time which actually passes as counted by the system" and lpTimeIncrement "the interval in
// 100-nanosecond units at which the system will add lpTimeAdjustment": their ratio is the
// clock's rate, as it is for the precise calls' "adjusted clock update frequency" and
// "clock update frequency".
BOOL WINAPI GetLegacyAdjustment(DWORD64* adjustment, DWORD64* increment, BOOL* disabled) {
  DWORD legacy_adjustment = 0;
  DWORD legacy_increment = 0;
  if (!GetSystemTimeAdjustment(&legacy_adjustment, &legacy_increment, disabled)) {
    return FALSE;
  }
  *adjustment = legacy_adjustment;
  *increment = legacy_increment;
  return TRUE;
}

BOOL WINAPI SetLegacyAdjustment(DWORD64 adjustment, BOOL disabled) {
  return SetSystemTimeAdjustment(static_cast<DWORD>(adjustment), disabled);
}

// The adjustment the profile says horax left in force, if it says so.
bool ReadLeftAdjustment(DWORD64* units) {
  char text[kDecimalSize];
  GetProfileStringA(kSettingsSection, kAdjustmentKey, "", text, kDecimalSize);
  char* end = nullptr;
  *units = std::strtoull(text, &end, kDecimalBase);
  return text[0] >= '0' && text[0] <= '9' && *end == '\0';
}

// Another program steers the clock: an adjustment is in force that is not horax's.
bool IsAnotherSteering(DWORD64 adjustment, BOOL disabled) {
  return !disabled && !(InForce && adjustment == LastSet);
}

}  // namespace

TimeAdjustmentCallsRecord TimeAdjustmentCalls = {GetLegacyAdjustment, SetLegacyAdjustment};

void FindTimeAdjustmentCalls() {
  // The precise calls came with Windows 10 ("Minimum supported client Windows 10"); before,
  // the legacy ones, whose unit is 6.4 ppm of the usual 15.6 ms increment.
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  const FARPROC get = kernel ? GetProcAddress(kernel, "GetSystemTimeAdjustmentPrecise") : NULL;
  const FARPROC set = kernel ? GetProcAddress(kernel, "SetSystemTimeAdjustmentPrecise") : NULL;
  if (get != NULL && set != NULL) {
    TimeAdjustmentCalls.Get = reinterpret_cast<GetPreciseFunction>(reinterpret_cast<void*>(get));
    TimeAdjustmentCalls.Set = reinterpret_cast<SetPreciseFunction>(reinterpret_cast<void*>(set));
  }
  // "To use this function, the caller must have system-time privilege (SE_SYSTEMTIME_NAME).
  // This privilege is disabled by default. Use the AdjustTokenPrivileges function to enable
  // the privilege before calling this function". It stays enabled for the run; a token
  // without it changes nothing, and the calls then fail.
  HANDLE token = NULL;
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    if (LookupPrivilegeValueA(NULL, SE_SYSTEMTIME_NAME, &privileges.Privileges[0].Luid)) {
      AdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL);
    }
    CloseHandle(token);
  }
}

void StartSteering() {
  DWORD64 adjustment = 0;
  DWORD64 increment = 0;
  BOOL disabled = TRUE;
  if (!TimeAdjustmentCalls.Get(&adjustment, &increment, &disabled)) {
    return;
  }
  // With the adjustment on, "The system will not interfere with the time adjustment scheme,
  // and will not attempt to synchronize time of day on its own": an adjustment in force is
  // some program's steering. horax's own, left by a run that was killed, is taken over.
  DWORD64 left = 0;
  if (!disabled && increment != 0 && ReadLeftAdjustment(&left) && left == adjustment) {
    InForce = true;
    LastSet = adjustment;
    NoteCorrectionApplied(
        &Steering, ReadTickMs(),
        (1 - static_cast<double>(adjustment) / static_cast<double>(increment)) / kPartsPerMillion);
  }
  Steering.Refused = IsAnotherSteering(adjustment, disabled);
}

void ApplySteering(uint32_t now) {
  if (Steering.Refused) {
    HandBackClock();
    return;
  }
  DWORD64 adjustment = 0;
  DWORD64 increment = 0;
  BOOL disabled = TRUE;
  if (!Steering.Active || !TimeAdjustmentCalls.Get(&adjustment, &increment, &disabled) ||
      increment == 0) {
    return;
  }
  const double units = FindAdjustmentUnits(&Steering, static_cast<double>(increment), now);
  if (InForce && units == static_cast<double>(LastSet)) {
    return;
  }
  // Before each change: what is in force is still horax's, or none. (Wine always answers
  // that the adjustment is off, whatever was set.)
  if (IsAnotherSteering(adjustment, disabled)) {
    Steering.Refused = true;
    InForce = false;
    return;
  }
  // "A value of FALSE specifies that periodic time adjustment is to be enabled".
  if (units <= 0 || !TimeAdjustmentCalls.Set(static_cast<DWORD64>(units), FALSE)) {
    return;
  }
  InForce = true;
  LastSet = static_cast<DWORD64>(units);
  char text[kDecimalSize];
  FormatDecimal(static_cast<int64_t>(LastSet), text);
  WriteProfileStringA(kSettingsSection, kAdjustmentKey, text);
  NoteCorrectionApplied(&Steering, now,
                        (1 - units / static_cast<double>(increment)) / kPartsPerMillion);
}

void HandBackClock() {
  if (!InForce) {
    return;
  }
  // "A value of TRUE specifies that periodic time adjustment is to be disabled. When
  // disabled, the value of dwTimeAdjustment is ignored, and the system may adjust the time
  // of day using its own internal time synchronization mechanisms."
  TimeAdjustmentCalls.Set(0, TRUE);
  InForce = false;
  WriteProfileStringA(kSettingsSection, kAdjustmentKey, NULL);
}
