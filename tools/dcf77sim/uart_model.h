// The receiving 50-baud 8N1 UART: the receiver module's output as the line's low pulses
// in, the characters the UART hands over out, each with the moment it hands it over.
// No OS calls.
//
// The line is idle high. A falling edge starts a character; the start bit is checked in
// its middle (10 ms), so a pulse under 10 ms is lost; data bit i is sampled 30 + 20 i ms
// after the edge and reads 0 while the line is low; the stop bit is sampled at 190 ms, and
// the character is handed over then. A stop bit that reads low (a framing error, or a
// break for 0x00) makes the UART wait for the line to rise before it looks for the next
// edge, so the rest of a long pulse brings no character of its own. Pulses that overlap
// each other toggle the line: interference inside a mark cuts a gap into it.
#pragma once

#include <cstdint>

constexpr double kUartBitMs = 20;
constexpr double kUartStartCheckMs = 10;
constexpr double kUartFirstSampleMs = 30;
constexpr int kUartDataBits = 8;
// 9.5 bit times: the stop bit's sample, when the character is complete.
constexpr double kUartHandOverMs = 190;

// Line changes the UART keeps at most: a mark and its interference over a second or two.
constexpr int kUartMaxToggles = 256;

struct UartCharacterRecord {
  double EdgeMs;  // the falling edge that started it
  double DoneMs;  // when the UART hands it over: EdgeMs + kUartHandOverMs
  uint8_t Value;
  bool FramingError;  // the stop bit read low: the line was still low 190 ms on
};

struct UartRecord {
  double Toggles[kUartMaxToggles];  // sorted moments (ms) at which the line changes
  int Count;
  bool Low;  // the line's level before the first of them
};

// An idle line, nothing received.
void StartUart(UartRecord* uart);

// The line goes low at `start_ms` for `width_ms` (toggles it, over any other pulse). The
// UART must not have handed over a character past `start_ms` yet. False when the UART
// holds too many changes already; nothing is added then.
bool AddLinePulse(UartRecord* uart, double start_ms, double width_ms);

// The next character, once the line is known up to `settled_ms`: no pulse added later
// starts before it. False when none is complete by then.
bool ReadUartCharacter(UartRecord* uart, double settled_ms, UartCharacterRecord* character);

// What the UART reads for a lone low pulse of `width_ms` on an idle line: 200 ms gives
// 0x00, 100 ms 0xF0, under 10 ms nothing (false).
bool ReadLonePulse(double width_ms, UartCharacterRecord* character);
