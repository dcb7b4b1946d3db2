// Reading a booking field as a number. Fields are texts; where a handler
// needs a number it reads the field the way the C library's atoi does, so
// that "  17abc" is 17 and "abc" is 0, but a value beyond the 32-bit range
// saturates instead of being undefined.
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

namespace tralvo {

inline int32_t TextToInt(std::string_view text) {
  size_t i = 0;
  // The white space of the "C" locale's isspace.
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulated as a negative number so that INT32_MIN itself is reachable.
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 - (text[i] - '0');
    if (value < kMin) {
      value = kMin - 1;  // stays below the range however many digits follow
      break;
    }
  }
  if (negative) return static_cast<int32_t>(value < kMin ? kMin : value);
  return static_cast<int32_t>(-value > kMax ? kMax : -value);
}

}  // namespace tralvo
