// The command line of tralvo-ini, the administrator's companion command:
// which verb runs, its usage text and version, and the exit status.
#pragma once

#include <cstdio>

namespace tralvo {

// Runs "tralvo-ini" with argv[1..argc-1]; returns the exit status:
// 0 done, 1 bad input, a file or a connection that failed, 2 bad usage.
int RunIniProgram(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                  std::FILE* err) noexcept;

}  // namespace tralvo
