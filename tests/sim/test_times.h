// Times written as "YYYY-MM-DD HH:MM[:SS]" in tests, read as UTC or as Berlin time.
#pragma once

#include <gtest/gtest.h>

#include "civil_time.h"

inline CivilTimeRecord ParseCivil(const char* text) {
  CivilTimeRecord civil = {};
  bool has_seconds = false;
  EXPECT_TRUE(ParseCivilTime(text, &civil, &has_seconds)) << text;
  return civil;
}

// POSIX seconds of a UTC time.
inline int64_t ParseUtc(const char* text) {
  return JoinCivilTime(ParseCivil(text));
}

// POSIX seconds of a Berlin time by the EU rule; the first of a repeated hour.
inline int64_t ParseBerlin(const char* text) {
  int64_t posix = 0;
  EXPECT_TRUE(FindPosixForLocal(ParseCivil(text), ConvertToEuLocal, &posix)) << text;
  return posix;
}
