// tralvo-run: what a scheduler starts for one terminal. Each run feeds the
// bookings the terminal's booking file gained since the last run through
// tralvo's own transfer, once, and hands their records over into OUTBOX;
// bookings that did not arrive are fed again (not sent) or set aside under
// rejected/ (refused, not found, of unknown outcome, malformed). The
// booking file is only ever read.
#pragma once

#include <cstdint>
#include <cstdio>

namespace tralvo {

class BookingFileReader;
class StopRequests;
struct PartTargets;
struct Run;

// What a runner needs of the world around it, so its rules can be tested
// without a database or a clock.
class RunnerWorld {
 public:
  virtual ~RunnerWorld() = default;
  // The transfer over a part: tralvo's run sequence (app's TransferPart).
  virtual int Transfer(Run& run, BookingFileReader& bookings, const PartTargets& targets,
                       int connectFailure) = 0;
  // Milliseconds since 1970, UTC.
  virtual int64_t Now() = 0;
  // The console: standard output in a real run.
  virtual std::FILE* Console() = 0;
  // Where a request to stop the run shows; none when null.
  virtual StopRequests* Stop() = 0;
};

// TERMINAL BOOKINGFILE OUTBOX [/D] [/SKIP], run in the working directory;
// returns the exit status.
int RunRunner(int argc, const char* const* argv, RunnerWorld& world) noexcept;
// The same in the real world: tralvo's transfer, the system clock, the
// standard output, the platform's stop requests.
int RunRunner(int argc, const char* const* argv) noexcept;

}  // namespace tralvo
