// Decimal text for the settings: an optional minus sign and the digits, nothing else; and
// reading such text back the way the profile's own integer reader does.
#pragma once

#include <cstddef>
#include <cstdint>

// A sign, nineteen digits and the terminator.
constexpr size_t kDecimalSize = 21;

// Writes `value` into `text` (kDecimalSize characters), terminated, without leading
// zeros; returns the length.
size_t FormatDecimal(int64_t value, char* text);

// The number a profile value holds, read as GetProfileIntA reads it except that a value
// below zero stays negative: white space, an optional sign, an optional base prefix ("0x"
// 16, "0o" 8, "0b" 2; else base 10), then digits up to the first character that is none.
// The digits accumulate modulo 2^32 and the sum is taken as signed 32 bits, so a value out
// of range wraps round. Empty `text` gives `fallback`, as a missing key does; text that
// starts with no number gives 0.
int32_t ParseProfileInt(const char* text, int32_t fallback);
