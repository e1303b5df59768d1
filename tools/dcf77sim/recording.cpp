#include "recording.h"

#include <cstdlib>

namespace {

// About 31 years in milliseconds: beyond any recording, and exact in a double.
constexpr double kLargestNumber = 1e12;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A plain decimal number at *cursor: digits with at most one decimal point, and at least
// one digit. strtod alone would also take a sign, an exponent, hexadecimal, inf and nan.
bool ReadNumber(const char** cursor, double* value) {
  const char* start = *cursor;
  const char* p = start;
  int digits = 0;
  int points = 0;
  for (; (*p >= '0' && *p <= '9') || *p == '.'; ++p) {
    digits += *p != '.';
    points += *p == '.';
  }
  if (digits == 0 || points > 1) {
    return false;
  }
  *value = std::strtod(start, nullptr);
  *cursor = p;
  return *value <= kLargestNumber;
}

const char* SkipBlanks(const char* p) {
  while (IsBlank(*p)) {
    ++p;
  }
  return p;
}

}  // namespace

RecordLineKind ReadRecordLine(const char* line, double* first, double* second) {
  const char* p = SkipBlanks(line);
  if (*p == '\0' || *line == '#') {
    return kCommentLine;
  }
  if (!ReadNumber(&p, first) || !IsBlank(*p)) {
    return kBadLine;
  }
  p = SkipBlanks(p);
  if (!ReadNumber(&p, second)) {
    return kBadLine;
  }
  return *SkipBlanks(p) == '\0' ? kNumbersLine : kBadLine;
}
