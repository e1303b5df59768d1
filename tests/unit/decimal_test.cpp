#include "app/decimal.h"

#include <gtest/gtest.h>

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
