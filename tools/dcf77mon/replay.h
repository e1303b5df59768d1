// Replaying a recording: the characters of an "ms value clock" file (or an "ms value" one of
// old) through the monitor as fast as it goes, every poll in turn, each character handled at
// the first poll at or after the time it arrived, as horax would have. Only stdio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "monitor.h"

// Room for any message ReplayRecording writes.
constexpr size_t kReplayMessageSize = 256;

// Plays `file` (called `name` in messages) into `monitor`, which StartMonitor has set up,
// up to the poll of its last character, whose tick goes to *end_ms. Where the recording notes
// that the port went away or came back, reception starts afresh as it did then. False, with a
// message that names the line, at a line that is neither a comment nor "ms value clock" or
// "ms value" with a whole value of 0-255 and a time no earlier than the line before, or when
// `file` cannot be read; the lines before it have been played then.
bool ReplayRecording(FILE* file, const char* name, MonitorRecord* monitor, uint32_t* end_ms,
                     char* message);
