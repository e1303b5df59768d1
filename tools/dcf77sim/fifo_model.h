// A 16550's receive FIFO with a trigger level above one byte, as Windows' serial driver
// runs it by default: when the characters the UART completes reach the driver. No OS calls.
//
// A character waits in the FIFO until one of these hands everything queued over at once
// (the driver's interrupt routine empties the FIFO):
//   - the character timeout: four character times with no character in and none read;
//   - a character whose stop bit read low (framing error or break) reaches the head of
//     the FIFO, which raises the line-status interrupt; behind others it waits with them;
//   - the trigger level is reached.
// A 1 mark of 171-190 ms ends before the stop bit's sample: its 0x00 is clean and waits.
#pragma once

#include <cstdint>

// Four character times of 10 bits at 50 baud.
constexpr double kFifoTimeoutMs = 4 * 10 * 20;
// The serial driver's default RxFIFO; the 16550's other levels are 4 and 14.
constexpr int kFifoTriggerBytes = 8;
constexpr int kFifoBytes = 16;

struct FifoEntryRecord {
  double ArrivalMs;  // when the UART completed it
  uint8_t Value;
  bool FramingError;  // its stop bit read low
};

struct FifoRecord {
  FifoEntryRecord Entries[kFifoBytes];  // oldest first
  int Count;
  double LastArrivalMs;  // of the newest entry, when Count > 0
};

// An empty FIFO.
void StartFifo(FifoRecord* fifo);

// When the timeout hands over what is queued, if that comes before `until_ms`: no
// character arrives before then. False when the FIFO is empty or the timeout is later.
bool FindFifoTimeout(const FifoRecord& fifo, double until_ms, double* at_ms);

// Puts a character in, after any timeout before its arrival was handed over. True when it
// makes the FIFO hand everything over at its arrival. The entries stay until EmptyFifo;
// emptied whenever this says so, the FIFO never holds more than kFifoTriggerBytes.
bool PutFifoCharacter(FifoRecord* fifo, const FifoEntryRecord& entry);

// The hand-over: the driver takes every entry, oldest first.
void EmptyFifo(FifoRecord* fifo);
