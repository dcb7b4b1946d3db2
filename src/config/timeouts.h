// The two optional settings that bound every wait for the server: how long
// a login may take and how long a statement may wait for its answer. A run
// is started by a scheduler; a silent server must end it, not hang it and
// every later run behind it.
#pragma once

#include <cstdint>
#include <string_view>

namespace tralvo {

inline constexpr const char* kLoginTimeoutKey = "LOGIN_TIMEOUT";
inline constexpr const char* kQueryTimeoutKey = "QUERY_TIMEOUT";
inline constexpr uint32_t kDefaultLoginTimeout = 30;
inline constexpr uint32_t kDefaultQueryTimeout = 60;
// A day: beyond it a value is a typing error rather than a wait anyone wants.
inline constexpr uint32_t kMaxTimeout = 86400;

// Seconds to wait for the server.
struct Timeouts {
  uint32_t login = kDefaultLoginTimeout;
  uint32_t query = kDefaultQueryTimeout;
};

// The seconds a stored timeout value gives: decimal digits only, 1 to
// kMaxTimeout. Anything else (empty, signed, blanks, 0, too large) gives
// 0, which stands for the default.
uint32_t TimeoutSeconds(std::string_view value);

}  // namespace tralvo
