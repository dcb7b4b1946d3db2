// The companion command that writes, shows and converts configuration
// values. The executable's main only hands over its arguments and streams.
#pragma once

#include <cstdio>

namespace tralvo {

// Runs "tralvo-ini" with argv[1..argc-1]; returns the exit status:
// 0 done, 1 bad input or a file that cannot be read or written, 2 bad usage.
int RunIniCommand(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                  std::FILE* err) noexcept;

}  // namespace tralvo
