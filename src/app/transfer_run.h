// One run of the tool, from the command line to the exit status.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace tralvo {

class BookingFileReader;
class LineObserver;

// The exit status of a command line the run cannot take, and the longest
// terminal id it takes.
inline constexpr int kCommandLineError = -1;
inline constexpr size_t kMaxTerminalIdLength = 255;

// Converts the letters a to z to upper case in place, byte by byte; every
// other byte, Windows-1252 letters included, stays as it is.
std::string& UpperCase(std::string& text);

// Checks the command line (terminal id, booking file, time booking file,
// cost-centre file, optional "/D"), opens the files, connects, transfers
// and returns the exit status: 0 done, -1 command-line error, 94 a file
// that cannot be used, the number of command-line words after a failed
// connection, -1 as well when memory ran out outside any one booking.
int RunTransfer(int argc, const char* const* argv) noexcept;

// What a caller that transfers a booking file in parts brings besides the
// command line: the booking file, opened and restricted to the part (its
// path on the command line then only names it), how many bytes of each
// target file to keep (the records of the part so far) and an observer of
// every line, which also decides the exit status at the run's end.
struct TransferPart {
  BookingFileReader* bookings = nullptr;
  int64_t timeBookingsKept = 0;
  int64_t costCentresKept = 0;
  LineObserver* observer = nullptr;
};

// The run sequence of RunTransfer over such a part.
int RunTransfer(int argc, const char* const* argv, const TransferPart& part) noexcept;

// Leaves the status of a run of terminal that transferred nothing (it
// found nothing to transfer, or failed before it began) for the
// monitoring, as RunTransfer leaves every run's.
void LeaveStatusOfEmptyRun(const std::string& terminal, bool debug,
                           std::chrono::system_clock::time_point start, int status) noexcept;

}  // namespace tralvo
