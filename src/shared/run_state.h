// The state one run of the tool shares between the booking loop and its
// handlers. main owns one RunState and hands it down; tests build a fresh
// one for every case.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>

#include "shared/file_system.h"
#include "shared/output_file.h"

namespace tralvo {

class StopRequests;

// What the run transferred, in the order the run summary reports it.
struct BookingCounters {
  int32_t timeBookings = 0;
  int32_t accessBookings = 0;
  int32_t costCentreBookings = 0;
  int32_t events = 0;
};

// Why bookings (or log entries) of the run did not arrive, for those who
// monitor the runs: each booking that was given up counts once, under the
// first cause that stopped it.
// The run's hold on the transfer log, kept from one entry to the next; the
// log's rules for it are the log's own (export/transfer_log).
struct LogHold {
  NativeFile file;  // the log, opened by the first entry
  NativeFile lock;  // the lock beside it that only the log's writers can hold
  // No sound lock can be had: entries are appended without one, and the
  // log is never rotated.
  bool unlocked = false;
  bool refusalReported = false;  // the console was told why the log is unusable
  bool backupNoticed = false;    // ... and that the backup blocks the rotation
  // Entries the log has not taken yet, in order, each with its line ends.
  std::deque<std::string> pending;
  // How long the run may still wait for the log, all entries together.
  std::chrono::milliseconds waitLeft{2000};
};

struct NotTransferredCounters {
  int64_t refused = 0;    // the server refused its row
  int64_t unknown = 0;    // sent, but whether its row arrived cannot be known
  int64_t notSent = 0;    // not sent, since the run had given up its connection
  int64_t notFound = 0;   // a lookup found no badge holder or booking type
  int64_t malformed = 0;  // a line that holds no whole booking record
  // Log entries that never reached the log (it could not be opened, or
  // stayed held by another process beyond the run's wait).
  int64_t logEntriesDropped = 0;
};

struct RunState {
  // 1 enables the console echo and the console messages meant for an operator.
  int debugFlag = 0;
  // Only records whose field 5 equals this are transferred.
  std::string terminalId;
  OutputFile timeBookingFile;
  OutputFile costCentreFile;
  BookingCounters counters;
  NotTransferredCounters notTransferred;
  // Schema of the badge holder of the last exported time booking.
  std::string currentSchema;
  // The transfer log every message of the run is appended to.
  std::string logPath;
  // The run's hold on the log from one entry to the next.
  LogHold log;
  // Where console messages go; standard output in a real run.
  std::FILE* console = stdout;
  // Where a request to stop the run shows; none when null.
  StopRequests* stop = nullptr;
};

}  // namespace tralvo
