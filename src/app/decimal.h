// Decimal text for the settings: an optional minus sign and the digits, nothing else.
#pragma once

#include <cstddef>
#include <cstdint>

// A sign, ten digits and the terminator.
constexpr size_t kDecimalSize = 12;

// Writes `value` into `text` (kDecimalSize characters), terminated, without leading
// zeros; returns the length.
size_t FormatDecimal(int32_t value, char* text);
