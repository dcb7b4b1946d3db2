// Appending to the transfer log, with its rotation to the backup. Runs of
// other terminals append to the same log at the same time, so the append,
// the size check and the rotation happen under a lock on the log that
// every run takes.
#include "export/transfer_log.h"

#include <algorithm>

namespace tralvo {

namespace {

// A run never waits longer than this for the log; the lock is held only
// for one write and a rename, so the wait runs out only when a holder is
// stopped. The entry is then appended unlocked rather than lost, and the
// rotation is left to a later entry.
constexpr std::chrono::milliseconds kLockWait(2000);

// Whether the file log holds is still the one at path. A file that
// cannot be examined is taken for the log: the entry then goes where it
// would have gone without the check.
bool StillTheLog(const std::string& path, const NativeFile& log) {
  FileIdentity held;
  FileIdentity named;
  return !log.Identify(held) || (IdentifyPath(path, named) && held == named);
}

// Opens the log unless it is open already, and locks it. Another run may
// have rotated the log away since the handle was opened (at an earlier
// entry, or between the open and the lock); the locked file must still be
// the one at path, or the entry would land in the backup and a second
// rotation would follow it. Returns whether the log is locked; the log may
// be open without the lock when the wait ran out.
bool OpenLocked(const std::string& path, NativeFile& log) {
  const auto deadline = std::chrono::steady_clock::now() + kLockWait;
  for (;;) {
    if (!log.isOpen() && !log.OpenForAppend(path)) return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    bool locked = log.Lock(std::max(left, std::chrono::milliseconds(0)));
    if (StillTheLog(path, log)) return locked;
    log.Close();
    if (!locked || std::chrono::steady_clock::now() >= deadline) {
      log.OpenForAppend(path);  // unlocked, but the entry still goes in
      return false;
    }
  }
}

}  // namespace

std::string LogBackupPath(const std::string& path) {
  static constexpr std::string_view kExtension = ".txt";
  if (path.size() >= kExtension.size() &&
      path.compare(path.size() - kExtension.size(), kExtension.size(), kExtension) == 0)
    return path.substr(0, path.size() - kExtension.size()) + "_bak" + std::string(kExtension);
  return path + "_bak";
}

bool WriteLog(const std::string& path, NativeFile& log, std::string_view text) {
  // The CR LF pairs are made here, identically on every platform, and the
  // entry goes to the file in one write so no other run's entry splits it.
  std::string entry;
  entry.reserve(text.size() + 16);
  for (char c : text) {
    if (c == '\n') entry += '\r';
    entry += c;
  }
  entry += "\r\n";

  bool locked = OpenLocked(path, log);
  if (!log.isOpen()) return false;
  bool written = log.WriteAll(entry);
  int64_t size = 0;
  // One rename replaces the backup: at no moment is the old backup gone
  // while the log has not yet taken its place. The handle then holds the
  // backup and is let go, so the next entry opens the new log at once and
  // no run keeps the backup open longer than it must (Windows cannot
  // replace a file another process holds open).
  bool rotated =
      locked && log.Size(size) && size > kLogSizeLimit && ReplaceFile(path, LogBackupPath(path));
  // A handle that failed a write is not trusted with the next entry.
  if (rotated || !written)
    log.Close();
  else
    log.Unlock();
  return written;
}

}  // namespace tralvo
