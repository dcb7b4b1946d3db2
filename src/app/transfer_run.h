// One run of the tool, from the command line to the exit status.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tralvo {

class BookingFileReader;
struct Run;

// The longest terminal id a run takes.
inline constexpr size_t kMaxTerminalIdLength = 255;

// Converts the letters a to z to upper case in place, byte by byte; every
// other byte, Windows-1252 letters included, stays as it is.
std::string& UpperCase(std::string& text);

// Checks the command line (terminal id, booking file, time booking file,
// cost-centre file, optional "/D"), opens the files, connects, transfers
// and returns the exit status (app/exit_status.h): 0 done, -1 command-line
// error, 94 a file that cannot be used, the number of command-line words
// after a failed connection, 128 plus the signal after a stop, -1 as well
// when memory ran out outside any one booking.
int RunTransfer(int argc, const char* const* argv) noexcept;

// The part of a run between opening its files and closing them: connects,
// logs the header and transfers every booking bookings holds. Returns the
// exit status; connectFailure after a failed connection. A stop during
// the login ends the process once the stop is logged and the run ended
// (EndRun), with the stop's status. start is when the run started.
int TransferOpenFiles(Run& run, BookingFileReader& bookings, int connectFailure,
                      std::chrono::system_clock::time_point start);

// The target files of a run over a part of a booking file, and how many
// bytes of each to keep: the records of the part so far.
struct PartTargets {
  std::string timeBookings;
  int64_t timeBookingsKept = 0;
  std::string costCentres;
  int64_t costCentresKept = 0;
};

// The run sequence over the part of a booking file that bookings was
// opened and restricted to, for a caller that feeds a booking file in
// parts: opens the targets after what they keep, transfers
// (TransferOpenFiles) and closes the files. Returns the exit status; the
// caller ends the run (EndRun) once it is done with it.
int TransferPart(Run& run, BookingFileReader& bookings, const PartTargets& targets,
                 int connectFailure, std::chrono::system_clock::time_point start);

// The end of every run that took its terminal id: the log gets its last
// entries, then the status file (with STATUS_DIR) the run's outcome.
void EndRun(Run& run, std::chrono::system_clock::time_point start, int status) noexcept;

}  // namespace tralvo
