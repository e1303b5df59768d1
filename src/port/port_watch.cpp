#include "port/port_watch.h"

namespace {

// Modulo 2^32, like every tick difference, so that a wrap of the counter is a small step.
uint32_t Elapsed(uint32_t since, uint32_t now) {
  return now - since;
}

}  // namespace

bool NoteReadOutcome(PortWatchRecord* watch, bool failed, uint32_t now) {
  if (!failed) {
    watch->Failing = false;
    return false;
  }
  if (!watch->Failing) {
    watch->Failing = true;
    watch->FailingSince = now;
  }
  return Elapsed(watch->FailingSince, now) >= kPortGiveUpMs;
}

void NotePortClosed(PortWatchRecord* watch, uint32_t now) {
  watch->Closed = true;
  watch->Failing = false;
  watch->LastTry = now;
}

bool IsReopenDue(const PortWatchRecord& watch, uint32_t now) {
  return watch.Closed && Elapsed(watch.LastTry, now) >= kPortRetryMs;
}

void NoteReopenTried(PortWatchRecord* watch, bool opened, uint32_t now) {
  if (opened) {
    *watch = PortWatchRecord{};
    return;
  }
  watch->LastTry = now;
}
