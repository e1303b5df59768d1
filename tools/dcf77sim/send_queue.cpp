#include "send_queue.h"

namespace {

bool InsertReady(SendQueueRecord* queue, const OutgoingRecord& outgoing) {
  if (queue->ReadyCount == kQueueEntries) {
    return false;
  }
  int at = queue->ReadyCount;
  for (; at > 0 && queue->Ready[at - 1].AtMs > outgoing.AtMs; --at) {
    queue->Ready[at] = queue->Ready[at - 1];
  }
  queue->Ready[at] = outgoing;
  ++queue->ReadyCount;
  return true;
}

bool HandOverFifo(SendQueueRecord* queue, double at_ms) {
  bool fits = true;
  for (int i = 0; i < queue->Fifo.Count; ++i) {
    OutgoingRecord outgoing = queue->Held[i];
    outgoing.AtMs = at_ms;
    fits = InsertReady(queue, outgoing) && fits;
  }
  EmptyFifo(&queue->Fifo);
  return fits;
}

// A character the UART has completed at outgoing.AtMs, in time order.
bool ArriveCharacter(SendQueueRecord* queue, const OutgoingRecord& outgoing, bool framing_error) {
  if (!queue->UseFifo) {
    return InsertReady(queue, outgoing);
  }
  double timeout_ms = 0;
  bool fits = true;
  if (FindFifoTimeout(queue->Fifo, outgoing.AtMs, &timeout_ms)) {
    fits = HandOverFifo(queue, timeout_ms);
  }
  queue->Held[queue->Fifo.Count] = outgoing;
  const FifoEntryRecord entry = {outgoing.AtMs, outgoing.Value, framing_error};
  if (PutFifoCharacter(&queue->Fifo, entry)) {
    fits = HandOverFifo(queue, outgoing.AtMs) && fits;
  }
  return fits;
}

// The mark whose edge started `character`, taken off the list; kNoOwner for none.
int ClaimCharacter(SendQueueRecord* queue, UartCharacterRecord* character) {
  for (int i = 0; i < queue->MarkCount; ++i) {
    const QueuedMarkRecord mark = queue->Marks[i];
    if (mark.EdgeMs != character->EdgeMs) {
      continue;
    }
    queue->Marks[i] = queue->Marks[--queue->MarkCount];
    if (mark.Garbled) {
      character->Value = mark.GarbleValue;
    }
    return mark.Owner;
  }
  return kNoOwner;
}

// Characters given as such that arrive by `until_ms` (before it, unless `inclusive`).
bool ArriveGivenCharacters(SendQueueRecord* queue, double until_ms, bool inclusive) {
  int taken = 0;
  bool fits = true;
  for (; taken < queue->CharacterCount; ++taken) {
    const OutgoingRecord& given = queue->Characters[taken];
    if (given.AtMs > until_ms || (given.AtMs == until_ms && !inclusive)) {
      break;
    }
    fits = ArriveCharacter(queue, given, false) && fits;
  }
  for (int i = taken; i < queue->CharacterCount; ++i) {
    queue->Characters[i - taken] = queue->Characters[i];
  }
  queue->CharacterCount -= taken;
  return fits;
}

}  // namespace

void StartSendQueue(SendQueueRecord* queue, bool use_fifo) {
  StartUart(&queue->Uart);
  queue->UseFifo = use_fifo;
  StartFifo(&queue->Fifo);
  queue->MarkCount = 0;
  queue->CharacterCount = 0;
  queue->ReadyCount = 0;
  queue->SettledMs = 0;
}

bool AddQueueMark(SendQueueRecord* queue, int owner, double edge_ms, bool garbled,
                  uint8_t garble_value) {
  if (queue->MarkCount == kQueueMarks) {
    return false;
  }
  queue->Marks[queue->MarkCount++] = {owner, edge_ms, garbled, garble_value};
  return true;
}

bool AddQueueCharacter(SendQueueRecord* queue, double at_ms, uint8_t value, int owner) {
  if (queue->CharacterCount == kQueueCharacters) {
    return false;
  }
  queue->Characters[queue->CharacterCount++] = {at_ms, true, value, owner, at_ms};
  return true;
}

bool AddQueueLine(SendQueueRecord* queue, double at_ms, int owner) {
  return InsertReady(queue, {at_ms, false, 0, owner, at_ms});
}

bool SettleQueue(SendQueueRecord* queue, double settled_ms) {
  bool fits = true;
  UartCharacterRecord character = {};
  while (ReadUartCharacter(&queue->Uart, settled_ms, &character)) {
    fits = ArriveGivenCharacters(queue, character.DoneMs, true) && fits;
    const int owner = ClaimCharacter(queue, &character);
    const OutgoingRecord outgoing = {character.DoneMs, true, character.Value, owner,
                                     character.EdgeMs};
    fits = ArriveCharacter(queue, outgoing, character.FramingError) && fits;
  }
  fits = ArriveGivenCharacters(queue, settled_ms, false) && fits;
  // A mark's character is complete by the hand-over; past it, the mark brought none.
  for (int i = 0; i < queue->MarkCount;) {
    const QueuedMarkRecord& mark = queue->Marks[i];
    const double due = mark.EdgeMs + kUartHandOverMs;
    if (due >= settled_ms) {
      ++i;
      continue;
    }
    fits = AddQueueLine(queue, due, mark.Owner) && fits;
    queue->Marks[i] = queue->Marks[--queue->MarkCount];
  }
  double timeout_ms = 0;
  if (queue->UseFifo && FindFifoTimeout(queue->Fifo, settled_ms, &timeout_ms)) {
    fits = HandOverFifo(queue, timeout_ms) && fits;
  }
  queue->SettledMs = settled_ms;
  return fits;
}

bool TakeOutgoing(SendQueueRecord* queue, OutgoingRecord* outgoing) {
  if (queue->ReadyCount == 0) {
    return false;
  }
  // What is still on its way, a character the FIFO holds included, comes at or after the
  // settled moment: a timeout before it was handed over in SettleQueue.
  if (queue->Ready[0].AtMs >= queue->SettledMs) {
    return false;
  }
  *outgoing = queue->Ready[0];
  --queue->ReadyCount;
  for (int i = 0; i < queue->ReadyCount; ++i) {
    queue->Ready[i] = queue->Ready[i + 1];
  }
  return true;
}
