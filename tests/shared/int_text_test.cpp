// Field values read as numbers.
#include "shared/int_text.h"

#include <gtest/gtest.h>

namespace tralvo {
namespace {

TEST(TextToInt, ReadsLikeAtoi) {
  EXPECT_EQ(TextToInt("17"), 17);
  EXPECT_EQ(TextToInt("  -42x"), -42);
  EXPECT_EQ(TextToInt("+7"), 7);
  EXPECT_EQ(TextToInt("\t12"), 12);
  EXPECT_EQ(TextToInt("007"), 7);
  EXPECT_EQ(TextToInt(""), 0);
  EXPECT_EQ(TextToInt("abc"), 0);
  EXPECT_EQ(TextToInt("-"), 0);
  EXPECT_EQ(TextToInt("1 2"), 1);
}

TEST(TextToInt, OutOfRangeIsHeldAtTheBound) {
  EXPECT_EQ(TextToInt("2147483647"), 2147483647);
  EXPECT_EQ(TextToInt("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(TextToInt("99999999999999999999999"), 2147483647);
  EXPECT_EQ(TextToInt("-99999999999999999999999"), -2147483647 - 1);
}

}  // namespace
}  // namespace tralvo
