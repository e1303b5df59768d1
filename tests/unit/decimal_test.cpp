#include "app/decimal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

TEST(DecimalTest, SignAndDigitsOnly) {
  for (const char* expected : {"0", "20", "100", "-50", "-1", "2147483647", "-2147483648"}) {
    SCOPED_TRACE(expected);
    char text[kDecimalSize];
    std::memset(text, '#', sizeof text);  // so that a missing terminator shows
    const size_t length = std::strlen(expected);
    EXPECT_EQ(FormatDecimal(static_cast<int32_t>(std::strtoll(expected, nullptr, 10)), text),
              length);
    EXPECT_EQ(std::string(text, length + 1), std::string(expected, length + 1));
  }
}

TEST(DecimalTest, ProfileValuesReadAsTheProfileReadsThemButNegativesStayNegative) {
  constexpr int32_t kFallback = 20;
  const struct {
    const char* text;
    int32_t expected;
  } kCases[] = {
      {"", kFallback},  // as a missing key
      {"-50", -50},    {"102abc", 102}, {"+678abc", 678},   {" \t 7", 7}, {"- 5", 0},
      {"08", 8},       {"0x1F", 31},    {"-0x10", -16},     {"0o17", 15}, {"0b101", 5},
      {"0x", 0},       {"\r0xaA", 170}, {"4294967317", 21},  // out of range, modulo 2^32
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseProfileInt(c.text, kFallback), c.expected);
  }
}
