#include "app/command_line.h"

#include <cstring>

namespace {

constexpr char kQuote = '"';
constexpr unsigned char kLastSeparator = ' ';  // codes 1 to 32 separate arguments
constexpr unsigned kFirstPort = 1;
constexpr unsigned kLastPort = 4;

constexpr char kProgramExtension[] = ".exe";
constexpr size_t kProgramExtensionLength = sizeof kProgramExtension - 1;

bool IsSeparator(char c) {
  const unsigned char code = static_cast<unsigned char>(c);
  return code != 0 && code <= kLastSeparator;
}

// Windows compares file names without case; letters beyond ASCII are compared as they are,
// which is safe: the line and the module's path come from the same code page.
char FoldCase(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// True when `line` starts with the first `length` characters of `path`, followed by a
// separator or the end.
bool StartsWithPath(const char* line, const char* path, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (line[i] == '\0' || FoldCase(line[i]) != FoldCase(path[i])) {
      return false;
    }
  }
  return line[length] == '\0' || IsSeparator(line[length]);
}

// Where the line goes on after the program's own path written out unquoted, or nullptr when
// it does not start so. Of an unquoted path with spaces CreateProcess says "the file name is
// ambiguous" and "The system tries to interpret the possibilities in the following order":
// "c:\program.exe", "c:\program files\sub.exe", ..., each prefix ending at a space, and
// "If the file name does not contain an extension, .exe is appended." The program that runs
// is the first of them that exists, so the prefix that spells its path, with or without
// ".exe", is the one that ends it.
const char* SkipUnquotedProgramPath(const char* line, const char* program_path) {
  const size_t length = std::strlen(program_path);
  if (length == 0) {
    return nullptr;
  }
  if (StartsWithPath(line, program_path, length)) {
    return line + length;
  }
  if (length <= kProgramExtensionLength) {
    return nullptr;
  }
  const size_t stem = length - kProgramExtensionLength;
  const bool has_extension =
      StartsWithPath(program_path + stem, kProgramExtension, kProgramExtensionLength);
  return has_extension && StartsWithPath(line, program_path, stem) ? line + stem : nullptr;
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

unsigned ReadPortArgument(const char* line, const char* program_path) {
  char buffer[kArgumentBufferSize];
  const char* cursor = line;
  while (IsSeparator(*cursor)) {
    ++cursor;
  }
  const char* after_path = SkipUnquotedProgramPath(cursor, program_path);
  if (after_path != nullptr) {
    cursor = after_path;
  } else {
    ReadArgument(&cursor, buffer);  // the program's own path
  }

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
