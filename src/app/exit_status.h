// The exit statuses of tralvo and tralvo-run, which tell the scheduler how
// a run went. Two more are computed where they arise: after a failed
// connection the number of command-line words (never 0), and after a stop
// the status StopRequests gives (128 plus the signal, or Windows' own).
#pragma once

namespace tralvo {

enum ExitStatus : int {
  kExitDone = 0,               // connected, every line processed, the summary logged
  kExitCommandLineError = -1,  // too few arguments, a terminal id too long, or no memory
  kExitFileFailure = 94,       // a booking file or target file that cannot be used
  // tralvo-run's own:
  kExitSetAside = 65,  // lines were set aside under rejected/
  kExitRunGoing = 75,  // another run of the terminal is going
};

}  // namespace tralvo
