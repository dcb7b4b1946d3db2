// Reading the integer value of a text: booking fields, the numbers of the
// configuration file.
#pragma once

#include <cstdint>
#include <string_view>

namespace tralvo {

// The integer value of a text, read the way atoi reads it: leading white
// space, an optional sign, decimal digits up to the first other character;
// 0 when there is no digit. A value beyond the 32-bit range is held at the
// nearest bound instead of overflowing.
int32_t TextToInt(std::string_view text);

}  // namespace tralvo
