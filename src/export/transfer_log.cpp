// Appending to the transfer log, with its rotation to the backup. Runs of
// other terminals, as other accounts, append to the same log at the same
// time, so the append, the size check and the rotation happen under a lock
// that every run takes. The lock is a file of its own that only the log
// folder's group may open: a lock on the log itself could be held by
// anyone who may read the log, and would make every run wait for a
// reader. A run never locks a file that readers can open; without a sound
// lock it appends whole entries unlocked and does not rotate.
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

// Whether file is still the one at path. A file that cannot be examined,
// or a name that is there but cannot be (a lock that grants no right to
// read its attributes), is taken for it: the entry then goes where it
// would have gone without the check.
bool StillAt(const std::string& path, const NativeFile& file) {
  FileIdentity held;
  FileIdentity named;
  if (!file.Identify(held)) return true;
  if (IdentifyPath(path, named)) return held == named;
  return KindOf(path) != PathKind::kMissing;
}

// What was found at the lock's name, for the operator.
const char* LockStateText(LockFileState found) {
  switch (found) {
    case LockFileState::kSound:
      return "nicht zu oeffnen";
    case LockFileState::kMissing:
      return "nicht anzulegen";
    case LockFileState::kOpenToOthers:
      return "fuer Fremde offen, nicht zu ersetzen";
    case LockFileState::kClosedToGroup:
      return "fuer die Gruppe gesperrt, nicht zu ersetzen";
    case LockFileState::kForeignOwner:
      return "Besitzer nicht in der Gruppe, nicht zu ersetzen";
    case LockFileState::kNotPlainFile:
      return "keine regulaere Datei, nicht zu ersetzen";
    case LockFileState::kUnknown:
      break;
  }
  return "nicht zu pruefen";
}

// The lock beside the log, opened at the run's first entry and again when
// another run has replaced it since. Null when no sound lock can be had:
// the run then appends without one, and says so once.
NativeFile* Lock(const std::string& path, LogHold& log, LogResult& result) {
  if (log.lock.isOpen()) return &log.lock;
  if (log.unlocked) return nullptr;
  const std::string lockPath = LogLockPath(path);
  LockFileState found;
  const FileOpen opened = log.lock.OpenLockFile(lockPath, found);
  if (opened == FileOpen::kOpened) return &log.lock;
  log.unlocked = true;
  const std::string why = opened == FileOpen::kPlantedLink ? "Pfad ueber fremden symbolischen Link"
                                                           : log.lock.error().Text();
  result.notices.push_back(
      std::string("Transferprotokoll ohne Sperre, keine Umbenennung (Sperrdatei ") +
      LockStateText(found) + ": " + why + "): " + lockPath);
  return nullptr;
}

enum class Hold { kLocked, kUnlocked, kHeldUp, kUnusable };

// Opens the log unless it is open already, and locks it, waiting no longer
// than the run may still wait. Another run may have rotated the log away
// since the handle was opened (at an earlier entry, or between the open
// and the lock); the locked file must still be the one at path, or the
// entry would land in the backup and a second rotation would follow it.
// The lock, too, must still be the one at its name once it is held: one
// that another run has replaced binds nobody else. kUnlocked: the log is
// open, but no sound lock can be had.
Hold OpenLocked(const std::string& path, LogHold& log, LogResult& result, NativeFile*& lock) {
  for (int reopen = 0; reopen < kMaxReopens; ++reopen) {
    auto start = Clock::now();
    if (!log.file.isOpen()) {
      // A sharing violation passes; anything else is the log's state.
      while ((result.why = log.file.OpenForAppend(path)) == FileOpen::kBusy &&
             log.waitLeft > milliseconds(0)) {
        std::this_thread::sleep_for(std::min(kBusyRetry, log.waitLeft));
        Spend(log, start);
      }
      if (result.why == FileOpen::kBusy) return Hold::kHeldUp;
      if (result.why != FileOpen::kOpened) return Hold::kUnusable;
    }
    lock = Lock(path, log, result);
    if (!lock) {
      if (StillAt(path, log.file)) return Hold::kUnlocked;
      log.file.Close();
      continue;
    }
    bool locked = lock->Lock(log.waitLeft);
    Spend(log, start);
    if (!locked) return Hold::kHeldUp;
    if (!StillAt(LogLockPath(path), *lock)) {
      lock->Close();
      continue;
    }
    if (StillAt(path, log.file)) return Hold::kLocked;
    log.file.Close();
    lock->Unlock();
  }
  return Hold::kHeldUp;
}

// Writes the kept entries in order, as far as the log takes them.
LogResult Flush(const std::string& path, LogHold& log) {
  LogResult result;
  while (!log.pending.empty()) {
    NativeFile* lock = nullptr;
    Hold hold = OpenLocked(path, log, result, lock);
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
    while (!log.pending.empty()) {
      int64_t before = 0;
      const bool sized = log.file.Size(before);
      if (!log.file.WriteAll(log.pending.front())) {
        // Whole or absent: what the disk took of the entry is taken back,
        // under the lock, before any other run appends after it (without
        // the lock another run's entry may follow it already, and stays).
        // A handle that failed a write is not trusted with the next entry.
        if (sized && lock) log.file.CutTo(before);
        log.file.Close();
        if (lock) lock->Unlock();
        result.outcome = LogResult::kKept;
        return result;
      }
      log.pending.pop_front();
      // The rotation, under the lock only: one rename replaces the backup,
      // so at no moment is the old backup gone while the log has not yet
      // taken its place, and the new log is in place, writable by whoever
      // could write the old one, before the next run looks. The handle
      // then holds the backup and is let go, so the next entry opens the
      // new log at once and no run keeps the backup open longer than it
      // must (Windows cannot replace a file another process holds open).
      // A rotation that fails is tried again at a later entry, and said
      // once.
      int64_t size = 0;
      if (!lock || !log.file.Size(size) || size <= kLogSizeLimit) continue;
      const NativeFile::Rotation rotation = log.file.Rotate(path, LogBackupPath(path));
      if (rotation == NativeFile::Rotation::kRotated) {
        log.file.Close();
        break;
      }
      if (!log.rotationNoticed) {
        log.rotationNoticed = true;
        result.notices.push_back("Transferprotokoll nicht umbenannt (" +
                                 (rotation == NativeFile::Rotation::kBackupNotPlainFile
                                      ? std::string("Sicherung keine regulaere Datei")
                                      : log.file.error().Text()) +
                                 "): " + LogBackupPath(path));
      }
    }
    if (lock) lock->Unlock();
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
