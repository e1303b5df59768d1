// When the monitor gives up on a port whose reads fail, and when it tries a lost port
// again: the whole rule is DecidePortStep, so that it can follow the program's own. No OS
// calls.
#pragma once

#include <cstdint>

// Reads failing at every poll for this long (ms) mean the port has gone (an adapter pulled
// out, a simulator ended); a port that has gone is tried again this often.
constexpr uint32_t kPortFailingMs = 2000;
constexpr uint32_t kPortRetryMs = 2000;

enum PortStep : uint8_t {
  kKeepReading,
  kReleasePort,   // close it, and say so once
  kTryPortAgain,  // open it again; when that works, reception starts afresh
  kWaitForPort,
};

struct PortWatchRecord {
  bool Failing;    // the reads have failed at every poll since Since
  uint32_t Since;  // that tick (ms); while the port is closed, the last try
};

// The step at the poll of tick `now` (ms): `open` tells whether the port is open, and
// `read_failed` whether a read has failed since the poll before.
PortStep DecidePortStep(PortWatchRecord* watch, bool open, bool read_failed, uint32_t now);
