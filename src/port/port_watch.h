// When to give up a receiver port whose reads keep failing, and when to try to open it
// again: the timing alone, with no platform call, for every program that reads the module.
#pragma once

#include <cstdint>

// A port is given up once its reads have failed without a break for this long (ms): a USB
// adapter unplugged, or a driver that lost its device across sleep, fails every read.
constexpr uint32_t kPortGiveUpMs = 3000;
// While the port is away, an open is tried this often (ms).
constexpr uint32_t kPortRetryMs = 3000;

// What the watch knows of one port. All zero is a port open and reading well, as after a
// successful open at start-up.
struct PortWatchRecord {
  bool Closed;            // given up (or closed for a resume) and to be opened again
  bool Failing;           // every read since FailingSince has failed
  uint32_t FailingSince;  // tick of the first failed read of the present run
  uint32_t LastTry;       // tick of the close, or of the last open tried since
};

// Notes how a read of the open port went at tick `now` (ms): `failed` when it reported an
// error. True when the reads have now failed for kPortGiveUpMs or longer in a row: the caller
// closes the port and calls NotePortClosed.
bool NoteReadOutcome(PortWatchRecord* watch, bool failed, uint32_t now);

// Notes that the port was closed at tick `now` to be opened again; the first open is due
// kPortRetryMs later, unless the caller tries one at once.
void NotePortClosed(PortWatchRecord* watch, uint32_t now);

// True when the port is closed and an open is due at tick `now`.
bool IsReopenDue(const PortWatchRecord& watch, uint32_t now);

// Notes an open tried at tick `now`: when it worked the port is watched afresh, else the
// next open is due kPortRetryMs later.
void NoteReopenTried(PortWatchRecord* watch, bool opened, uint32_t now);
