#include "recording.h"

#include <cstdlib>
#include <cstring>

namespace {

// About 300 years in milliseconds: beyond any recording, and a PC clock's reading in ms since
// 1970, and exact in a double.
constexpr double kLargestNumber = 1e13;

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

RecordLineKind ReadRecordLine(const char* line, double* first, double* second, double* third) {
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
  if (third != nullptr) {
    *third = -1;
    const char* rest = SkipBlanks(p);
    if (rest != p && *rest != '\0' && !ReadNumber(&rest, third)) {
      return kBadLine;
    }
    p = rest;
  }
  return *SkipBlanks(p) == '\0' ? kNumbersLine : kBadLine;
}

RecordReadResult ReadNextRecord(std::FILE* file, int* line_number, double* first, double* second) {
  char line[kLongestRecordLine];
  while (std::fgets(line, sizeof line, file) != nullptr) {
    ++*line_number;
    const size_t length = std::strlen(line);
    // A zero byte ends the text early; a line without its end did not fit.
    if (length == 0 || (line[length - 1] != '\n' && !std::feof(file))) {
      return kRecordBad;
    }
    const RecordLineKind kind = ReadRecordLine(line, first, second);
    if (kind != kCommentLine) {
      return kind == kNumbersLine ? kRecordRead : kRecordBad;
    }
  }
  return std::ferror(file) ? kRecordFailed : kRecordEnd;
}
