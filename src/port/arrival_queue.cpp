#include "port/arrival_queue.h"

bool PushArrival(ArrivalQueueRecord* queue, uint8_t value, uint32_t tick) {
  if (queue->Count == kArrivalQueueSize) {
    return false;
  }
  queue->Arrivals[(queue->First + queue->Count) % kArrivalQueueSize] = {value, tick};
  ++queue->Count;
  return true;
}

bool TakeArrival(ArrivalQueueRecord* queue, uint32_t now, ArrivalRecord* arrival) {
  // Modulo 2^32, read as signed, like every tick difference: a character stamped after the
  // poll read its tick waits for the next poll.
  if (queue->Count == 0 || static_cast<int32_t>(now - queue->Arrivals[queue->First].Tick) < 0) {
    return false;
  }
  *arrival = queue->Arrivals[queue->First];
  queue->First = (queue->First + 1) % kArrivalQueueSize;
  --queue->Count;
  return true;
}
