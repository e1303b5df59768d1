// Where dcf77mon may write its recording: nowhere the system would put it elsewhere without a
// word. Implemented by recording_place_win.cpp and recording_place_posix.cpp.
#pragma once

#include <cstddef>

// Room for the message CheckRecordingPlace writes.
constexpr size_t kPlaceMessageSize = 640;

// False, with a one-line message (without the program's name) in `message`, when a recording at
// `path` would not land where the user looks for it; true for any other path, which the
// recording's open then tries.
bool CheckRecordingPlace(const char* path, char* message);
