// The statement timing report; see server_stats.h.
#include "tds/server_stats.h"

#include <time.h>

#include <cstdio>

namespace standin {

std::string ServerStats::Report() const {
  uint64_t count = statements_.load(std::memory_order_relaxed);
  uint64_t micros = nanoseconds_.load(std::memory_order_relaxed) / 1000;
  uint64_t cpu = processorNs_.load(std::memory_order_relaxed) / 1000;
  auto each = [count](uint64_t total) {
    return count ? static_cast<double>(total) / static_cast<double>(count) : 0.0;
  };
  char line[192];
  std::snprintf(line, sizeof line,
                "statements=%llu busy_us=%llu us_per_statement=%.1f cpu_us=%llu "
                "cpu_us_per_statement=%.1f\n",
                static_cast<unsigned long long>(count), static_cast<unsigned long long>(micros),
                each(micros), static_cast<unsigned long long>(cpu), each(cpu));
  return line;
}

uint64_t ServerStats::ThreadProcessorNs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

}  // namespace standin
