#include "app/decimal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

TEST(DecimalTest, SignAndDigitsOnly) {
  struct Case {
    int32_t value;
    const char* text;
  };
  const Case kCases[] = {{0, "0"},
                         {20, "20"},
                         {100, "100"},
                         {-50, "-50"},
                         {2000, "2000"},
                         {-1, "-1"},
                         {INT32_MAX, "2147483647"},
                         {INT32_MIN, "-2147483648"}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    char text[kDecimalSize];
    EXPECT_EQ(FormatDecimal(c.value, text), std::strlen(c.text));
    EXPECT_STREQ(text, c.text);
  }
}

}  // namespace
