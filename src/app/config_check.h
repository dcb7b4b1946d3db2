// The administrator's checks: of a configuration file (does it hold the
// connection settings, and does the connection a run would make succeed?)
// and of the whole installation as a run meets it. They answer at once
// instead of at the next scheduled run, and say which of the many causes
// a failure has.
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

// Checks the installation as a run started in the working directory by
// this account meets it: the configuration file at the run's path, the log
// folder and the log, the working directory's place in the layout, the
// login with the run's timeouts, the server time, the rights on every
// table a run uses, the status folder when one is set, and (as root or an
// administrator) every folder on the run's paths that other accounts can
// write. Prints one line per check to out, beginning with "ok", "warning"
// or "error", naming the resolved path or object and how to mend what is
// wrong. Reads only: creates no file and inserts no row. Returns 0 when no
// line is an error, 1 otherwise.
int CheckInstallation(std::FILE* out, std::FILE* err) noexcept;

}  // namespace tralvo
