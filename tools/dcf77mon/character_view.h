// The monitor's words for what horax made of a character and of a minute: one line each,
// from HandleCharacter's result alone. No OS calls.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/reception.h"

// Room for any line these functions write, with its terminator.
constexpr size_t kViewLineSize = 160;

// The 50-baud UART samples data bit i this long after the line falls (ms), and checks the
// start bit in its middle: a pulse must outlast that to make a character at all.
constexpr unsigned kFirstSampleMs = 30;
constexpr unsigned kSampleSpacingMs = 20;
constexpr unsigned kStartCheckMs = 10;

// The widths of low pulse the UART reads as `value`: "91-110 ms" (0xF0), "over 170 ms"
// (0x00, every sample low); for a broken character, which no single pulse makes, how many
// samples read low: "cut: 3 of 8 low". Returns the length written into `text` (`size`
// chars with the terminator).
int DescribeMarkWidth(uint8_t value, char* text, size_t size);

// What horax reads: "0", "1", "spike", "broken 0", "broken 1"; a clean mark near the cut,
// whose bit may have turned, is "0?" or "1?".
const char* NameReading(const CharacterResultRecord& result);

// The failed check in the words of the checks: "date parity failed", "month out of range".
const char* NameTelegramCheck(TelegramCheck check);

// The line of one character: the time it arrived (ms since the start), its value, the
// widths it stands for, what horax reads, and for a mark its second in the minute
// (0 for the minute mark), followed by "left out" when its second kept another character
// or none is due then, and "replaces" when it took its second from the one shown there
// before. No newline. Returns the length.
int FormatCharacterLine(uint32_t arrival_ms, uint8_t value, const CharacterResultRecord& result,
                        char* line, size_t size);

// "30, 31, 40-58": the seconds set in `seconds`, a run of three or more as a range.
// Returns the length.
int FormatSeconds(uint64_t seconds, char* text, size_t size);

// No offset of the PC clock is known.
constexpr int64_t kNoOffset = INT64_MIN;

// The line of a minute that ended (its Verdict is not kNoMinute): the date and time it
// decoded to and whether it was confirmed, or why it failed, with the seconds that held no
// mark, and whether its minute mark was lost; then how far its marks spread, and the PC
// clock's offset from DCF77 (`offset_ms`, positive when it is ahead), where known, and
// whether its telegram or its marks alone (`by_marks`) gave it. `partial`: the monitor, or the
// port, started inside the minute. No newline. Returns the length.
int FormatMinuteLine(const MinuteResultRecord& minute, bool partial, int64_t offset_ms,
                     bool by_marks, char* line, size_t size);
