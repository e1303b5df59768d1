// The text files the tools read: a pulse list ("start_ms width_ms", the receiver module's
// output) and a character recording ("ms value", what a port delivered and when; dcf77mon's
// add the PC clock's reading as a third number). A line beginning with # is a comment. No
// OS calls.
#pragma once

#include <cstdio>

// The longest line a file may hold, line end included.
constexpr int kLongestRecordLine = 256;

enum RecordLineKind {
  kNumbersLine,  // two numbers
  kCommentLine,  // a comment, or nothing but blanks
  kBadLine,      // anything else
};

// Reads `line` (with or without its line end): two plain decimal numbers, each up to
// 1e13, with a decimal point if any, separated and surrounded by blanks or tabs. Where
// `third` is given, a third number may follow, and *third is -1 when none does.
RecordLineKind ReadRecordLine(const char* line, double* first, double* second,
                              double* third = nullptr);

enum RecordReadResult {
  kRecordRead,    // a line with two numbers
  kRecordEnd,     // the end of the file
  kRecordBad,     // a line that is neither numbers nor a comment, or one too long
  kRecordFailed,  // the file could not be read
};

// Reads `file` up to its next line with two numbers; `*line_number` counts the lines read,
// so after kRecordBad it names the bad one.
RecordReadResult ReadNextRecord(std::FILE* file, int* line_number, double* first, double* second);
