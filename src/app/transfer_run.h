// One run of the tool, from the command line to the exit status.
#pragma once

#include <string>

namespace tralvo {

// Converts the letters a to z to upper case in place, byte by byte; every
// other byte, Windows-1252 letters included, stays as it is.
std::string& UpperCase(std::string& text);

// Checks the command line (terminal id, booking file, time booking file,
// cost-centre file, optional "/D"), opens the files, connects, transfers
// and returns the exit status: 0 done, -1 command-line error, 94 a file
// that cannot be used, the number of command-line words after a failed
// connection, -1 as well when memory ran out outside any one booking.
int RunTransfer(int argc, const char* const* argv) noexcept;

}  // namespace tralvo
