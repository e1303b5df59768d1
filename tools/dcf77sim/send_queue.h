// The characters on their way to the port, in the order and at the moments they reach it:
// the line's pulses through the UART model (and a 16550's receive FIFO, when asked for),
// characters given as such, and the trace lines of marks that brought none. No OS calls.
//
// The caller feeds the queue in time order: pulses on its line (Uart), the marks among
// them, characters and lines, then says up to when the input is complete (SettleQueue);
// TakeOutgoing then hands out every entry that nothing fed later can precede.
#pragma once

#include <cstdint>

#include "fifo_model.h"
#include "uart_model.h"

// An entry that is no mark's own: interference, a spurious character, a mark's tail.
constexpr int kNoOwner = -1;
// Room for what can be on its way at once: the UART completes a character every 190 ms at
// most, and the FIFO holds one 5.6 s at most (seven below the trigger level, each one
// renewing the 800 ms timeout).
constexpr int kQueueEntries = 128;
constexpr int kQueueMarks = 8;
constexpr int kQueueCharacters = 8;

struct OutgoingRecord {
  double AtMs;        // when it reaches the port, from the run's start
  bool HasCharacter;  // false for the trace line of a mark that brought no character
  uint8_t Value;
  int Owner;        // the mark (the caller's number) whose character it is, or kNoOwner
  double OriginMs;  // its falling edge on the line; for a character given as such, AtMs
};

// A mark on the line: its character is the one that starts at its edge.
struct QueuedMarkRecord {
  int Owner;
  double EdgeMs;
  bool Garbled;  // its character takes GarbleValue instead
  uint8_t GarbleValue;
};

struct SendQueueRecord {
  UartRecord Uart;  // the line; pulses go on it with AddLinePulse or PutSecondOnLine
  bool UseFifo;
  FifoRecord Fifo;
  OutgoingRecord Held[kFifoBytes];  // what each FIFO entry is, in the same order
  QueuedMarkRecord Marks[kQueueMarks];
  int MarkCount;
  OutgoingRecord Characters[kQueueCharacters];  // given as characters, not in yet
  int CharacterCount;
  OutgoingRecord Ready[kQueueEntries];  // by time, ties in the order they came
  int ReadyCount;
  double SettledMs;  // the input is complete before this
};

// An empty queue on an idle line, through a FIFO when `use_fifo`.
void StartSendQueue(SendQueueRecord* queue, bool use_fifo);

// A mark whose pulse is on the line from `edge_ms`: the character starting at that edge is
// its own (with `garble_value` when `garbled`); with none, its trace line goes out when the
// UART would have handed one over. False when the queue holds too many marks.
bool AddQueueMark(SendQueueRecord* queue, int owner, double edge_ms, bool garbled,
                  uint8_t garble_value);

// A character that the UART completes at `at_ms` (clean, through the FIFO when it is on),
// or one written at that moment; no earlier than the one given before. False when the
// queue holds too many.
bool AddQueueCharacter(SendQueueRecord* queue, double at_ms, uint8_t value, int owner);

// The trace line of a mark that brings no character, at `at_ms`. False when full.
bool AddQueueLine(SendQueueRecord* queue, double at_ms, int owner);

// The input is complete before `settled_ms` (HUGE_VAL at the end): nothing fed later
// starts before it. False when more is on its way than the queue holds.
bool SettleQueue(SendQueueRecord* queue, double settled_ms);

// The next entry, once nothing fed later can come before it. False when none is due yet.
bool TakeOutgoing(SendQueueRecord* queue, OutgoingRecord* outgoing);
