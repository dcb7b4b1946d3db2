// tralvo-run: what a scheduler starts for one terminal. Each run feeds the
// bookings the terminal's booking file gained since the last run through
// tralvo's own transfer, once, and hands the records over into OUTBOX;
// bookings that did not arrive are fed again (not sent) or set aside under
// rejected/ (refused, not found, of unknown outcome, malformed). The
// booking file is only ever read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace tralvo {

struct TransferPart;

// Exit statuses of the runner beside those of the transfer.
inline constexpr int kRunGoingStatus = 75;  // another run of the terminal is going
inline constexpr int kSetAsideStatus = 65;  // lines were set aside under rejected/

// What a runner needs of the world around it, so its rules can be tested
// without a database or a clock.
class RunnerWorld {
 public:
  virtual ~RunnerWorld() = default;
  // The transfer over a part: tralvo's run sequence, argv a command line of
  // tralvo's form.
  virtual int Transfer(int argc, const char* const* argv, const TransferPart& part) = 0;
  // Leaves the status of a run that transferred nothing for the monitoring.
  virtual void LeaveStatus(const std::string& terminal, bool debug, int status) = 0;
  // Milliseconds since 1970, UTC.
  virtual int64_t Now() = 0;
  // The console: standard output in a real run.
  virtual std::FILE* Console() = 0;
};

// TERMINAL BOOKINGFILE OUTBOX [/D] [/SKIP], run in the working directory;
// returns the exit status.
int RunRunner(int argc, const char* const* argv, RunnerWorld& world) noexcept;
// The same in the real world: tralvo's transfer, the system clock, the
// standard output.
int RunRunner(int argc, const char* const* argv) noexcept;

}  // namespace tralvo
