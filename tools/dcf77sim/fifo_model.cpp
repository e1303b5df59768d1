#include "fifo_model.h"

void StartFifo(FifoRecord* fifo) {
  fifo->Count = 0;
  fifo->LastArrivalMs = 0;
}

bool FindFifoTimeout(const FifoRecord& fifo, double until_ms, double* at_ms) {
  if (fifo.Count == 0 || fifo.LastArrivalMs + kFifoTimeoutMs >= until_ms) {
    return false;
  }
  *at_ms = fifo.LastArrivalMs + kFifoTimeoutMs;
  return true;
}

bool PutFifoCharacter(FifoRecord* fifo, const FifoEntryRecord& entry) {
  // Only the head's error bits show in the line status register.
  const bool at_head = fifo->Count == 0;
  fifo->Entries[fifo->Count++] = entry;
  fifo->LastArrivalMs = entry.ArrivalMs;
  return (at_head && entry.FramingError) || fifo->Count >= kFifoTriggerBytes;
}

void EmptyFifo(FifoRecord* fifo) {
  fifo->Count = 0;
}
