// The characters the port's reader received, each stamped with the tick it arrived at, in
// order, until the program's poll takes them. No locking here: the reader's side holds a
// lock around every call.
#pragma once

#include <cstdint>

// A minute of characters at the line's full rate: at 50 baud 8N1 one takes 200 ms.
constexpr unsigned kArrivalQueueSize = 300;

struct ArrivalRecord {
  uint8_t Value;
  uint32_t Tick;  // ms, when it arrived
};

struct ArrivalQueueRecord {
  ArrivalRecord Arrivals[kArrivalQueueSize];
  unsigned First;  // the oldest
  unsigned Count;
};

// Appends a character that arrived at `tick` (ms); false, and nothing queued, when the
// queue is full.
bool PushArrival(ArrivalQueueRecord* queue, uint8_t value, uint32_t tick);

// Takes the oldest character into *arrival when it arrived at or before `now` (ms); false
// when there is none.
bool TakeArrival(ArrivalQueueRecord* queue, uint32_t now, ArrivalRecord* arrival);
