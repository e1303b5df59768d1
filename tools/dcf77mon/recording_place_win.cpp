#include <windows.h>

#include <cstdio>

#include "monitor_options.h"
#include "recording_place.h"

// An elevated command prompt starts in the system folder, and "whenever a 32-bit application
// attempts to access %windir%\System32 [...] the access is redirected to an
// architecture-specific path" (File System Redirector): a recording made there is not where
// the user then looks. Any path inside the Windows folder is refused.
bool CheckRecordingPlace(const char* path, char* message) {
  // "GetFullPathName merges the name of the current drive and directory with a specified file
  // name"; it "does not verify that the resulting path and file name are valid", so a path it
  // cannot make is left to the recording's open to refuse. It is safe here: "when the
  // application is guaranteed to be running in a single thread, for example parsing file
  // names from the command line argument string in the main thread prior to creating any
  // additional threads."
  char full[MAX_PATH];
  const DWORD full_length = GetFullPathNameA(path, MAX_PATH, full, nullptr);
  // GetWindowsDirectory gives a user's private folder under Terminal Services;
  // GetSystemWindowsDirectory gives "the path of the shared Windows directory", where the
  // system folder is. "If the length is greater than the size of the buffer, the return value
  // is the size of the buffer required".
  char windows[MAX_PATH];
  const UINT windows_length = GetSystemWindowsDirectoryA(windows, MAX_PATH);
  if (full_length == 0 || full_length >= MAX_PATH || windows_length == 0 ||
      windows_length >= MAX_PATH || !IsInsideFolder(full, windows)) {
    return true;
  }
  std::snprintf(message, kPlaceMessageSize,
                "%s is inside the Windows folder (%s), where Windows puts a 32-bit program's "
                "files elsewhere. Run dcf77mon from a folder of your own (cd /d %%USERPROFILE%%), "
                "or give the recording a path there.",
                full, windows);
  return false;
}
