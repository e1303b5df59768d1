#include "output.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "options.h"

namespace {

// Ports beyond COM9 open only by their device path; every name works that way.
constexpr char kDevicePrefix[] = "\\\\.\\";
constexpr DWORD kLineBaudRate = 50;
constexpr BYTE kLineByteSize = 8;
// A character takes 200 ms at 50 baud; a write that has not gone out in a second failed.
constexpr DWORD kWriteTimeoutMs = 1000;
constexpr size_t kPathSize = 300;

HANDLE line = INVALID_HANDLE_VALUE;
bool restore_settings = false;
DCB saved_settings = {};

bool FailWithLastError(char* message, const char* what, const char* name) {
  std::snprintf(message, kMessageSize, "%s %s: Windows error %lu", what, name,
                static_cast<unsigned long>(GetLastError()));
  return false;
}

}  // namespace

bool OpenPtyOutput(const char* link, char* message) {
  std::snprintf(message, kMessageSize,
                "--pty %s: pseudo-terminals are not available on Windows; use --device COMn", link);
  return false;
}

bool OpenDeviceOutput(const char* path, char* message) {
  char device[kPathSize];
  if (std::strncmp(path, kDevicePrefix, std::strlen(kDevicePrefix)) == 0) {
    std::snprintf(device, sizeof device, "%s", path);
  } else {
    std::snprintf(device, sizeof device, "%s%s", kDevicePrefix, path);
  }
  const HANDLE port =
      CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    return FailWithLastError(message, "cannot open --device", path);
  }
  DCB settings = {};
  settings.DCBlength = sizeof settings;
  if (!GetCommState(port, &settings)) {
    FailWithLastError(message, "cannot configure --device", path);
    CloseHandle(port);
    return false;
  }
  saved_settings = settings;
  settings.BaudRate = kLineBaudRate;
  settings.ByteSize = kLineByteSize;
  settings.Parity = NOPARITY;
  settings.StopBits = ONESTOPBIT;
  settings.fBinary = TRUE;
  settings.fParity = FALSE;
  settings.fOutxCtsFlow = FALSE;
  settings.fOutxDsrFlow = FALSE;
  settings.fDtrControl = DTR_CONTROL_ENABLE;
  settings.fRtsControl = RTS_CONTROL_ENABLE;
  settings.fDsrSensitivity = FALSE;
  settings.fOutX = FALSE;
  settings.fInX = FALSE;
  settings.fAbortOnError = FALSE;
  COMMTIMEOUTS timeouts = {};
  timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
  if (!SetCommState(port, &settings) || !SetCommTimeouts(port, &timeouts)) {
    FailWithLastError(message, "cannot set 50 baud 8N1 on --device", path);
    SetCommState(port, &saved_settings);
    CloseHandle(port);
    return false;
  }
  line = port;
  restore_settings = true;
  return true;
}

bool WaitForPtyReader(char* message) {
  std::snprintf(message, kMessageSize, "--on-open needs --pty, which Windows does not have");
  return false;
}

bool WriteCharacter(uint8_t value, char* message) {
  if (line == INVALID_HANDLE_VALUE) {
    return true;
  }
  DWORD written = 0;
  if (!WriteFile(line, &value, 1, &written, nullptr) || written != 1) {
    return FailWithLastError(message, "cannot write to", "--device");
  }
  return true;
}

void CloseOutput() {
  if (line == INVALID_HANDLE_VALUE) {
    return;
  }
  if (restore_settings) {
    SetCommState(line, &saved_settings);
    restore_settings = false;
  }
  CloseHandle(line);
  line = INVALID_HANDLE_VALUE;
}
