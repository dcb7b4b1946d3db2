// The state one run of the tool shares between the booking loop and its
// handlers. main owns one RunState and hands it down; tests build a fresh
// one for every case.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "shared/file_system.h"
#include "shared/output_file.h"

namespace tralvo {

// What the run transferred, in the order the run summary reports it.
struct BookingCounters {
  int32_t timeBookings = 0;
  int32_t accessBookings = 0;
  int32_t costCentreBookings = 0;
  int32_t events = 0;
};

struct RunState {
  // 1 enables the console echo and the console messages meant for an operator.
  int debugFlag = 0;
  // Only records whose field 5 equals this are transferred.
  std::string terminalId;
  OutputFile timeBookingFile;
  OutputFile costCentreFile;
  BookingCounters counters;
  // Schema of the badge holder of the last exported time booking.
  std::string currentSchema;
  // The transfer log every message of the run is appended to.
  std::string logPath;
  // The run's handle on the log, kept open from one entry to the next.
  NativeFile logFile;
  // Where console messages go; standard output in a real run.
  std::FILE* console = stdout;
};

}  // namespace tralvo
