// Texts read as numbers, checked against the C library's own reading.
#include "shared/int_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace tralvo {
namespace {

// What atoi means, without its undefined overflow: strtoll reads the same
// prefix and saturates, and the result is held in the 32-bit range.
int32_t Reference(const std::string& text) {
  long long value = std::strtoll(text.c_str(), nullptr, 10);
  return static_cast<int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

TEST(TextToInt, ReadsEveryShortTextAsTheCLibraryDoes) {
  // Every text of up to four characters over white space, signs, digits
  // and other bytes: all orders of blanks, signs and digits are met.
  const std::string alphabet = std::string(" \t\n\v\r+-019x\xE4", 12);
  std::string text;
  long checked = 0;
  for (size_t length = 0; length <= 4; ++length) {
    std::vector<size_t> digit(length, 0);
    for (;;) {
      text.clear();
      for (size_t d : digit) text += alphabet[d];
      ASSERT_EQ(TextToInt(text), Reference(text)) << "text '" << text << "'";
      ++checked;
      size_t i = 0;
      while (i < length && ++digit[i] == alphabet.size()) digit[i++] = 0;
      if (i == length) break;
    }
  }
  EXPECT_EQ(checked, 1 + 12 + 144 + 1728 + 20736);
}

TEST(TextToInt, LongNumbersAreHeldAtTheBoundsAsTheCLibraryHoldsThem) {
  for (const std::string digits :
       {"2147483646", "2147483647", "2147483648", "4294967296", "9223372036854775807",
        "9223372036854775808", "99999999999999999999999", "000000000000000000000000042"}) {
    for (const std::string sign : {"", "+", "-", " -"}) {
      std::string text = sign + digits + "7x";
      EXPECT_EQ(TextToInt(text), Reference(text)) << "text '" << text << "'";
      text = sign + digits;
      EXPECT_EQ(TextToInt(text), Reference(text)) << "text '" << text << "'";
    }
  }
}

TEST(TextToInt, StopsAtTheEndOfTheViewNotAtATerminator) {
  // A field is a view into a longer line: the digits after it are not its.
  std::string_view line = "12345";
  EXPECT_EQ(TextToInt(line.substr(0, 2)), 12);
  EXPECT_EQ(TextToInt(std::string_view("7\0"
                                       "9",
                                       3)),
            7);
}

}  // namespace
}  // namespace tralvo
