// The statement timing report; see server_stats.h.
#include "tds/server_stats.h"

#include <cstdio>

namespace standin {

std::string ServerStats::Report() const {
  uint64_t count = statements_.load(std::memory_order_relaxed);
  uint64_t micros = nanoseconds_.load(std::memory_order_relaxed) / 1000;
  char line[128];
  std::snprintf(line, sizeof line, "statements=%llu busy_us=%llu us_per_statement=%.1f\n",
                static_cast<unsigned long long>(count), static_cast<unsigned long long>(micros),
                count ? static_cast<double>(micros) / static_cast<double>(count) : 0.0);
  return line;
}

}  // namespace standin
