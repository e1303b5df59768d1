// Splitting the program's command line into arguments, and finding the port number.
#pragma once

#include <cstddef>

// Each argument, the program's own path included, is collected into a buffer this size.
constexpr size_t kArgumentBufferSize = 256;

// Copies the next argument at *cursor into `buffer` (kArgumentBufferSize characters),
// cut to fit and always terminated, and moves *cursor past it. Returns the argument's
// full length, which may be more than the buffer holds; 0 means no argument is left.
// Characters 1 to 32 separate arguments and 0 ends the line; a double quote opens a
// run, kept whole, up to the next one; a "" pair where an argument would begin is
// skipped like a blank.
size_t ReadArgument(const char** cursor, char* buffer);

// The port number `line` names: exactly one argument after the program's path, a single
// digit 1 to 4. 0 when the line holds anything else. `program_path` is the program's own file
// as the system loaded it, or "" when it is not known: a line that starts with it unquoted,
// with or without its ".exe", and a blank or the end after it, has it skipped whole, spaces
// and all. Any other line's path is its first argument, split by the rules above.
unsigned ReadPortArgument(const char* line, const char* program_path);
