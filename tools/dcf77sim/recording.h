// The text files the tools read: a pulse list ("start_ms width_ms", the receiver module's
// output) and a character recording ("ms value", what a port delivered and when). Each
// line holds two numbers; a line beginning with # is a comment. No OS calls.
#pragma once

enum RecordLineKind {
  kNumbersLine,  // two numbers
  kCommentLine,  // a comment, or nothing but blanks
  kBadLine,      // anything else
};

// Reads `line` (with or without its line end): two plain decimal numbers, each up to
// 1e12, with a decimal point if any, separated and surrounded by blanks or tabs.
RecordLineKind ReadRecordLine(const char* line, double* first, double* second);
