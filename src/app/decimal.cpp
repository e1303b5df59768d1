#include "app/decimal.h"

size_t FormatDecimal(int32_t value, char* text) {
  // Negated as unsigned, so that the most negative value has a magnitude too.
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  char digits[kDecimalSize];
  size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);

  size_t length = 0;
  if (value < 0) {
    text[length++] = '-';
  }
  while (count > 0) {
    text[length++] = digits[--count];
  }
  text[length] = '\0';
  return length;
}
