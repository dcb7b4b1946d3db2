// The transfer log: every run appends its header, one entry per booking
// that was not exported in full, and its summary. The log is a Windows
// text file on every platform (CR LF line ends), opened for one entry at a
// time so another process may read or move it between entries, and moved
// aside to a single backup once it passes kLogSizeLimit bytes. Runs of
// several terminals share the log: each entry is appended whole, and the
// size check and rotation are serialised between them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tralvo {

inline constexpr int64_t kLogSizeLimit = 10485760;

// Appends text and a line end to the log at path, each line feed stored as
// carriage return and line feed. A log that cannot be opened loses the
// entry silently: the run never stops for its log. Returns true when the
// entry reached the file.
bool WriteLog(const std::string& path, std::string_view text);

// The backup a log at path rotates to: "_bak" before the ".txt".
std::string LogBackupPath(const std::string& path);

}  // namespace tralvo
