// The stand-in's own time per statement, so that a benchmark can tell the
// server's share of a run from the client's: requests that ran SQL are
// counted with the time from their arrival to the end of their answer.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace standin {

class ServerStats {
 public:
  // `spent` is the time on the clock; `processorNs` the processor time of
  // the serving thread, which a busy machine does not inflate.
  void Add(std::chrono::steady_clock::duration spent, uint64_t processorNs) {
    statements_.fetch_add(1, std::memory_order_relaxed);
    nanoseconds_.fetch_add(
        static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(spent).count()),
        std::memory_order_relaxed);
    processorNs_.fetch_add(processorNs, std::memory_order_relaxed);
  }

  // One line: "statements=N busy_us=T us_per_statement=X.X cpu_us=C
  // cpu_us_per_statement=Y.Y\n".
  std::string Report() const;

  // The processor time of the calling thread, in nanoseconds.
  static uint64_t ThreadProcessorNs();

 private:
  std::atomic<uint64_t> statements_{0};
  std::atomic<uint64_t> nanoseconds_{0};
  std::atomic<uint64_t> processorNs_{0};
};

}  // namespace standin
