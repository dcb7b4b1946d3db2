// The administrator's check of a configuration file: does it hold the
// connection settings, and does the connection a run would make succeed?
// It answers at once instead of at the next scheduled run, and says which
// of the many causes a failed connection has.
#pragma once

#include <cstdio>

namespace tralvo {

// Checks the configuration file at path: the file itself, the keys a
// connection reads (LOGIN, PASS, DATABASE), then connects exactly as a run
// does and asks for the server time. On success prints the data source,
// the user, the server time as the run header shows it and "ok" to out and
// returns 0; otherwise prints what failed to err (the driver's SQLSTATE,
// native error and message for a refused connection, never the password)
// and returns 1.
int CheckConfiguration(const char* path, std::FILE* out, std::FILE* err) noexcept;

}  // namespace tralvo
