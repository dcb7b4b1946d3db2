// The transfer log: every run appends its header, one entry per booking
// that was not exported in full, and its summary. The log is a Windows
// text file on every platform (CR LF line ends), and moved aside to a
// single backup once it passes kLogSizeLimit bytes. Runs of several
// terminals share the log: each entry is appended whole, and the size
// check and rotation are serialised between them by a lock beside the log
// that only its writers can hold. A run keeps its handle on the log
// between entries, locked only while it appends, so another process may
// read, move or remove the log between entries.
//
// Whoever holds the log up (a stopped run holding the lock, a program on
// Windows that opened the log without sharing it) costs a run a bounded
// wait: kLogWaitBeforeEnd in all before its summary, kLogWaitAtEnd more at
// its end. Entries the log cannot take yet are kept, in order, and written
// as soon as it takes them; what is still kept at the end is dropped.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "shared/file_system.h"

namespace tralvo {

inline constexpr int64_t kLogSizeLimit = 10485760;
inline constexpr std::chrono::milliseconds kLogWaitBeforeEnd{2000};
inline constexpr std::chrono::milliseconds kLogWaitAtEnd{5000};

// A run's hold on the transfer log, kept from one entry to the next.
struct LogHold {
  NativeFile file;  // the log, opened by the first entry
  NativeFile lock;  // the lock beside it that only the log's writers can hold
  bool lockTried = false;
  // Entries the log has not taken yet, in order, each with its line ends.
  std::deque<std::string> pending;
  // How long the run may still wait for the log, all entries together.
  std::chrono::milliseconds waitLeft = kLogWaitBeforeEnd;
  // Whether the end's wait has been granted: it is granted once, however
  // many entries follow the summary.
  bool endGranted = false;
};

// What became of an entry.
struct LogResult {
  enum Outcome {
    kWritten,  // it is in the log, with every entry kept before it
    kKept,     // the log is held up; it is kept for a later entry or the end
    kDropped,  // the log cannot be used: it and every kept entry are lost
  } outcome = kWritten;
  // The entries lost now (with their CR LF line ends), in order.
  std::vector<std::string> dropped;
  // Why the log could not be opened, when it could not.
  FileOpen why = FileOpen::kOpened;
  SystemError error;
};

// Appends text and a line end to the log at path, each line feed stored as
// carriage return and line feed, after the entries kept before it. log is
// the run's hold on the log: opened by the first entry, and opened anew
// whenever the file it holds is no longer the one at path (another run
// rotated it to the backup, or it was removed). A log that cannot be
// opened (missing, a planted link, not a plain file) loses the entry: the
// run never stops for its log. A write the disk takes only in part is cut
// back, so the log holds whole entries only; the entry is kept.
LogResult WriteLog(const std::string& path, LogHold& log, std::string_view text);

// The end of a run's entries: waits up to kLogWaitAtEnd more (once per
// run, however often it is called) for the log to take the entries still
// kept, and drops those it never took.
LogResult FinishLog(const std::string& path, LogHold& log);

// The backup a log at path rotates to: "_bak" before the ".txt".
std::string LogBackupPath(const std::string& path);

// The lock file beside a log at path.
std::string LogLockPath(const std::string& path);

}  // namespace tralvo
