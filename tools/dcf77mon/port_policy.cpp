#include "port_policy.h"

PortStep DecidePortStep(PortWatchRecord* watch, bool open, bool read_failed, uint32_t now) {
  if (!open) {
    if (now - watch->Since < kPortRetryMs) {
      return kWaitForPort;
    }
    watch->Since = now;
    return kTryPortAgain;
  }
  if (!read_failed) {
    watch->Failing = false;
    return kKeepReading;
  }
  if (!watch->Failing) {
    watch->Failing = true;
    watch->Since = now;
  }
  if (now - watch->Since < kPortFailingMs) {
    return kKeepReading;
  }
  // From here Since counts the wait for the next try.
  watch->Failing = false;
  watch->Since = now;
  return kReleasePort;
}
