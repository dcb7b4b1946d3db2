// Reading a timeout setting's value.
#include "config/timeouts.h"

namespace tralvo {

uint32_t TimeoutSeconds(std::string_view value) {
  if (value.empty()) return 0;
  uint32_t seconds = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return 0;
    seconds = seconds * 10 + static_cast<uint32_t>(c - '0');
    if (seconds > kMaxTimeout) return 0;
  }
  return seconds;
}

}  // namespace tralvo
