// The transfer log: every run appends its header, one entry per booking
// that was not exported in full, and its summary. The log is a Windows
// text file on every platform (CR LF line ends), and moved aside to a
// single backup once it passes kLogSizeLimit bytes. Runs of several
// terminals share the log: each entry is appended whole, and the size
// check and rotation are serialised between them. A run keeps its handle
// on the log between entries, locked only while it appends one, so
// another process may read, move or remove the log between entries.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "shared/file_system.h"

namespace tralvo {

inline constexpr int64_t kLogSizeLimit = 10485760;

// Appends text and a line end to the log at path, each line feed stored as
// carriage return and line feed. log is the run's handle on the log, kept
// open from one entry to the next: opened by the first entry, and opened
// anew whenever the file it holds is no longer the one at path (another
// run rotated it to the backup, or it was removed). A log that cannot be
// opened loses the entry silently: the run never stops for its log.
// Returns true when the entry reached the file.
bool WriteLog(const std::string& path, NativeFile& log, std::string_view text);

// The backup a log at path rotates to: "_bak" before the ".txt".
std::string LogBackupPath(const std::string& path);

}  // namespace tralvo
