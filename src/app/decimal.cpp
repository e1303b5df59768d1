#include "app/decimal.h"

namespace {

constexpr uint32_t kDecimalBase = 10;
constexpr uint32_t kDigitsBeforeLetters = 10;

struct BasePrefix {
  char Letter;  // the character after the "0"
  uint32_t Base;
};
constexpr BasePrefix kBasePrefixes[] = {{'x', 16}, {'o', 8}, {'b', 2}};

bool IsWhiteSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// False when `c` is no digit of `base`; letters count from 10 in either case.
bool FindDigit(char c, uint32_t base, uint32_t* digit) {
  if (c >= '0' && c <= '9') {
    *digit = static_cast<uint32_t>(c - '0');
  } else if (c >= 'a' && c <= 'z') {
    *digit = static_cast<uint32_t>(c - 'a') + kDigitsBeforeLetters;
  } else if (c >= 'A' && c <= 'Z') {
    *digit = static_cast<uint32_t>(c - 'A') + kDigitsBeforeLetters;
  } else {
    return false;
  }
  return *digit < base;
}

// Two's complement without leaving it to the compiler: the conversion of a value above
// INT32_MAX is the implementation's choice before C++20.
int32_t AsSigned(uint32_t bits) {
  return bits <= INT32_MAX ? static_cast<int32_t>(bits) : -static_cast<int32_t>(~bits) - 1;
}

}  // namespace

size_t FormatDecimal(int64_t value, char* text) {
  // Negated as unsigned, so that the most negative value has a magnitude too.
  uint64_t magnitude = value < 0 ? 0u - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
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

int32_t ParseProfileInt(const char* text, int32_t fallback) {
  if (*text == '\0') {
    return fallback;
  }
  const char* c = text;
  while (IsWhiteSpace(*c)) {
    ++c;
  }
  const bool negative = *c == '-';
  if (*c == '-' || *c == '+') {
    ++c;
  }
  uint32_t base = kDecimalBase;
  if (c[0] == '0') {
    for (const BasePrefix& prefix : kBasePrefixes) {
      if (c[1] == prefix.Letter) {
        base = prefix.Base;
        c += 2;
        break;
      }
    }
  }
  uint32_t sum = 0;
  for (uint32_t digit = 0; FindDigit(*c, base, &digit); ++c) {
    sum = sum * base + digit;
  }
  return AsSigned(negative ? 0u - sum : sum);
}
