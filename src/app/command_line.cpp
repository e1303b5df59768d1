#include "app/command_line.h"

namespace {

constexpr char kQuote = '"';
constexpr unsigned char kLastSeparator = ' ';  // codes 1 to 32 separate arguments
constexpr unsigned kFirstPort = 1;
constexpr unsigned kLastPort = 4;

bool IsSeparator(char c) {
  const unsigned char code = static_cast<unsigned char>(c);
  return code != 0 && code <= kLastSeparator;
}

}  // namespace

size_t ReadArgument(const char** cursor, char* buffer) {
  const char* p = *cursor;
  while (IsSeparator(*p) || (p[0] == kQuote && p[1] == kQuote)) {
    p += *p == kQuote ? 2 : 1;
  }

  size_t length = 0;
  bool quoted = false;
  for (; *p != '\0' && (quoted || !IsSeparator(*p)); ++p) {
    if (*p == kQuote) {
      quoted = !quoted;
      continue;
    }
    if (length + 1 < kArgumentBufferSize) {
      buffer[length] = *p;
    }
    ++length;
  }
  buffer[length < kArgumentBufferSize ? length : kArgumentBufferSize - 1] = '\0';
  *cursor = p;
  return length;
}

unsigned ReadPortArgument(const char* line) {
  char buffer[kArgumentBufferSize];
  const char* cursor = line;
  ReadArgument(&cursor, buffer);  // the program's own path

  unsigned count = 0;
  size_t port_length = 0;
  char port = '\0';
  for (size_t length; (length = ReadArgument(&cursor, buffer)) != 0; ++count) {
    if (count == 0) {
      port_length = length;
      port = buffer[0];
    }
  }
  if (count != 1 || port_length != 1) {
    return 0;
  }
  const unsigned n = static_cast<unsigned>(port - '0');
  return n >= kFirstPort && n <= kLastPort ? n : 0;
}
