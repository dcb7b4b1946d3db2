// Appending to the transfer log, with its rotation to the backup. Runs of
// other terminals append to the same log at the same time, so the append,
// the size check and the rotation happen under a lock that every run
// takes. The lock is a file of its own that nobody may read: a lock on the
// log itself could be held by anyone who may read the log, and would make
// every run wait for a reader.
#include "export/transfer_log.h"

#include <thread>

namespace tralvo {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often a log that another program holds without sharing is tried
// again while the run may wait.
constexpr milliseconds kBusyRetry(25);

// Opening the log anew after another run rotated it, this often at most
// for one entry: a log that keeps changing under the run is held up.
constexpr int kMaxReopens = 3;

// Takes what was spent since `since` off the run's wait for the log, and
// starts the next span.
void Spend(LogHold& log, Clock::time_point& since) {
  const auto now = Clock::now();
  auto spent = std::chrono::duration_cast<milliseconds>(now - since);
  log.waitLeft = spent >= log.waitLeft ? milliseconds(0) : log.waitLeft - spent;
  since = now;
}

// Whether the file log holds is still the one at path. A file that
// cannot be examined is taken for the log: the entry then goes where it
// would have gone without the check.
bool StillTheLog(const std::string& path, const NativeFile& file) {
  FileIdentity held;
  FileIdentity named;
  return !file.Identify(held) || (IdentifyPath(path, named) && held == named);
}

// What serialises the writers: the lock file, opened once per run, or
// where it cannot be had (a log folder the run may not create it in) the
// log itself, as before there was a lock file.
NativeFile& Lock(const std::string& path, LogHold& log) {
  if (!log.lockTried) {
    log.lockTried = true;
    log.lock.OpenLockFile(LogLockPath(path));
  }
  return log.lock.isOpen() ? log.lock : log.file;
}

enum class Hold { kLocked, kHeldUp, kUnusable };

// Opens the log unless it is open already, and locks it, waiting no longer
// than the run may still wait. Another run may have rotated the log away
// since the handle was opened (at an earlier entry, or between the open
// and the lock); the locked file must still be the one at path, or the
// entry would land in the backup and a second rotation would follow it.
Hold OpenLocked(const std::string& path, LogHold& log, FileOpen& why) {
  for (int reopen = 0; reopen < kMaxReopens; ++reopen) {
    auto start = Clock::now();
    if (!log.file.isOpen()) {
      // A sharing violation passes; anything else is the log's state.
      while ((why = log.file.OpenForAppend(path)) == FileOpen::kBusy &&
             log.waitLeft > milliseconds(0)) {
        std::this_thread::sleep_for(std::min(kBusyRetry, log.waitLeft));
        Spend(log, start);
      }
      if (why == FileOpen::kBusy) return Hold::kHeldUp;
      if (why != FileOpen::kOpened) return Hold::kUnusable;
    }
    NativeFile& lock = Lock(path, log);
    bool locked = lock.Lock(log.waitLeft);
    Spend(log, start);
    if (!locked) return Hold::kHeldUp;
    if (StillTheLog(path, log.file)) return Hold::kLocked;
    log.file.Close();
    lock.Unlock();
  }
  return Hold::kHeldUp;
}

// Writes the kept entries in order, as far as the log takes them.
LogResult Flush(const std::string& path, LogHold& log) {
  LogResult result;
  while (!log.pending.empty()) {
    Hold hold = OpenLocked(path, log, result.why);
    if (hold == Hold::kUnusable) {
      result.outcome = LogResult::kDropped;
      result.error = log.file.error();
      result.dropped.assign(log.pending.begin(), log.pending.end());
      log.pending.clear();
      return result;
    }
    if (hold == Hold::kHeldUp) {
      result.outcome = LogResult::kKept;
      return result;
    }
    NativeFile& lock = Lock(path, log);
    while (!log.pending.empty()) {
      int64_t before = 0;
      const bool sized = log.file.Size(before);
      if (!log.file.WriteAll(log.pending.front())) {
        // Whole or absent: what the disk took of the entry is taken back,
        // under the lock, before any other run appends after it. A handle
        // that failed a write is not trusted with the next entry.
        if (sized) log.file.CutTo(before);
        log.file.Close();
        lock.Unlock();
        result.outcome = LogResult::kKept;
        return result;
      }
      log.pending.pop_front();
      // One rename replaces the backup: at no moment is the old backup
      // gone while the log has not yet taken its place. The handle then
      // holds the backup and is let go, so the next entry opens the new
      // log at once and no run keeps the backup open longer than it must
      // (Windows cannot replace a file another process holds open). A
      // rename that fails is tried again at a later entry.
      int64_t size = 0;
      if (log.file.Size(size) && size > kLogSizeLimit && ReplaceFile(path, LogBackupPath(path))) {
        log.file.Close();
        break;
      }
    }
    lock.Unlock();
  }
  return result;
}

}  // namespace

std::string LogBackupPath(const std::string& path) {
  static constexpr std::string_view kExtension = ".txt";
  if (path.size() >= kExtension.size() &&
      path.compare(path.size() - kExtension.size(), kExtension.size(), kExtension) == 0)
    return path.substr(0, path.size() - kExtension.size()) + "_bak" + std::string(kExtension);
  return path + "_bak";
}

std::string LogLockPath(const std::string& path) {
  return path + ".lock";
}

LogResult WriteLog(const std::string& path, LogHold& log, std::string_view text) {
  // The CR LF pairs are made here, identically on every platform, and the
  // entry goes to the file in one write so no other run's entry splits it.
  std::string entry;
  entry.reserve(text.size() + 16);
  for (char c : text) {
    if (c == '\n') entry += '\r';
    entry += c;
  }
  entry += "\r\n";
  log.pending.push_back(std::move(entry));
  return Flush(path, log);
}

LogResult FinishLog(const std::string& path, LogHold& log) {
  if (!log.endGranted) {
    log.endGranted = true;
    log.waitLeft += kLogWaitAtEnd;
  }
  LogResult result = Flush(path, log);
  if (result.outcome == LogResult::kKept) {
    result.outcome = LogResult::kDropped;
    result.dropped.assign(log.pending.begin(), log.pending.end());
    log.pending.clear();
  }
  return result;
}

}  // namespace tralvo
