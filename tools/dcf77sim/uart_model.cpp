#include "uart_model.h"

namespace {

// Forgets the changes up to and including `until_ms`, keeping the level they leave.
void ConsumeToggles(UartRecord* uart, double until_ms) {
  int consumed = 0;
  while (consumed < uart->Count && uart->Toggles[consumed] <= until_ms) {
    ++consumed;
  }
  uart->Low = uart->Low != (consumed % 2 == 1);
  for (int i = consumed; i < uart->Count; ++i) {
    uart->Toggles[i - consumed] = uart->Toggles[i];
  }
  uart->Count -= consumed;
}

bool IsLowAt(const UartRecord& uart, double at_ms) {
  bool low = uart.Low;
  for (int i = 0; i < uart.Count && uart.Toggles[i] <= at_ms; ++i) {
    low = !low;
  }
  return low;
}

void InsertToggle(UartRecord* uart, double at_ms) {
  int i = uart->Count;
  while (i > 0 && uart->Toggles[i - 1] > at_ms) {
    uart->Toggles[i] = uart->Toggles[i - 1];
    --i;
  }
  uart->Toggles[i] = at_ms;
  ++uart->Count;
}

}  // namespace

void StartUart(UartRecord* uart) {
  uart->Count = 0;
  uart->Low = false;
}

bool AddLinePulse(UartRecord* uart, double start_ms, double width_ms) {
  if (width_ms <= 0) {
    return true;
  }
  if (uart->Count + 2 > kUartMaxToggles) {
    return false;
  }
  InsertToggle(uart, start_ms);
  InsertToggle(uart, start_ms + width_ms);
  return true;
}

bool ReadUartCharacter(UartRecord* uart, double settled_ms, UartCharacterRecord* character) {
  for (;;) {
    if (uart->Low) {
      // After a low stop bit: the next edge can only come once the line has risen.
      if (uart->Count == 0 || uart->Toggles[0] >= settled_ms) {
        return false;
      }
      ConsumeToggles(uart, uart->Toggles[0]);
      continue;
    }
    if (uart->Count == 0 || uart->Toggles[0] + kUartHandOverMs >= settled_ms) {
      return false;
    }
    const double edge = uart->Toggles[0];
    if (!IsLowAt(*uart, edge + kUartStartCheckMs)) {
      ConsumeToggles(uart, edge + kUartStartCheckMs);  // a false start
      continue;
    }
    unsigned value = 0;
    for (int bit = 0; bit < kUartDataBits; ++bit) {
      if (!IsLowAt(*uart, edge + kUartFirstSampleMs + kUartBitMs * bit)) {
        value |= 1u << bit;
      }
    }
    const double done = edge + kUartHandOverMs;
    character->EdgeMs = edge;
    character->DoneMs = done;
    character->Value = static_cast<uint8_t>(value);
    character->FramingError = IsLowAt(*uart, done);
    ConsumeToggles(uart, done);
    return true;
  }
}

bool ReadLonePulse(double width_ms, UartCharacterRecord* character) {
  UartRecord uart;
  StartUart(&uart);
  AddLinePulse(&uart, 0, width_ms);
  // Nothing follows the pulse: the line is known to the end of any character.
  return ReadUartCharacter(&uart, width_ms + 2 * kUartHandOverMs, character);
}
