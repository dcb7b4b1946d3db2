// The transfer log's bytes and its rotation at the size limit.
#include "export/transfer_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <sstream>

#include "config/installation.h"
#include "lock_holder.h"
#include "small_disk.h"
#include "test_support.h"

namespace tralvo {
namespace {

using testsupport::FileExists;
using testsupport::LockHolder;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

bool Written(const LogResult& result) {
  return result.outcome == LogResult::kWritten;
}

TEST(TransferLog, EntriesEndInCarriageReturnAndLineFeed) {
  TempDir dir;
  std::string log = dir / "TralvoLog.txt";
  LogHold handle;
  EXPECT_TRUE(Written(WriteLog(log, handle, "erste")));
  EXPECT_TRUE(Written(WriteLog(log, handle, "\nzwei\nZeilen\n")));
  EXPECT_TRUE(Written(WriteLog(log, handle, std::string("\xDC\xFC", 2))));
  EXPECT_EQ(ReadFileBytes(log), "erste\r\n\r\nzwei\r\nZeilen\r\n\r\n\xDC\xFC\r\n");
}

TEST(TransferLog, MissingFolderDropsTheEntrySilently) {
  TempDir dir;
  LogHold handle;
  EXPECT_EQ(WriteLog(dir / "missing/TralvoLog.txt", handle, "text").dropped.size(), 1u);
  EXPECT_FALSE(FileExists(dir / "missing"));
}

TEST(TransferLog, BackupSitsBesideTheLog) {
  EXPECT_EQ(LogBackupPath(NativePath(kTransferLogPath)), NativePath(kTransferLogBackupPath));
  EXPECT_EQ(LogBackupPath("log"), "log_bak");
}

// Whether another process could take the lock on the log now.
bool LockFreeForOthers(const std::string& log) {
  pid_t pid = fork();
  if (pid == 0) {
    NativeFile other;
    _exit(other.OpenLockFile(LogLockPath(log)) == FileOpen::kOpened &&
                  other.Lock(std::chrono::milliseconds(0))
              ? 0
              : 1);
  }
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// A run keeps its handle on the log between entries; the handle must never
// keep the lock from the others, nor send an entry to a file that is no
// longer the log.
TEST(TransferLog, KeptHandleIsUnlockedBetweenEntriesAndFollowsTheLog) {
  TempDir dir;
  std::string log = dir / "TralvoLog.txt";
  std::string moved = dir / "moved.txt";
  LogHold handle;
  EXPECT_TRUE(Written(WriteLog(log, handle, "eins")));
  EXPECT_TRUE(LockFreeForOthers(log));

  ASSERT_TRUE(ReplaceFile(log, moved));  // as another run's rotation does
  EXPECT_TRUE(Written(WriteLog(log, handle, "zwei")));
  EXPECT_EQ(ReadFileBytes(moved), "eins\r\n");
  EXPECT_EQ(ReadFileBytes(log), "zwei\r\n");

  ASSERT_EQ(std::remove(log.c_str()), 0);  // an operator clears the log
  EXPECT_TRUE(Written(WriteLog(log, handle, "drei")));
  EXPECT_EQ(ReadFileBytes(log), "drei\r\n");
  EXPECT_TRUE(LockFreeForOthers(log));
}

// Anyone who may read the log may lock it for reading; that must cost the
// runs nothing.
TEST(TransferLog, AReaderHoldingALockDelaysNothing) {
  TempDir dir;
  std::string log = dir / "TralvoLog.txt";
  WriteFileBytes(log, "");
  LockHolder reader(log, F_RDLCK, std::chrono::seconds(30));
  ASSERT_TRUE(reader.held());
  LogHold handle;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(Written(WriteLog(log, handle, "Eintrag")));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(ReadFileBytes(log).size(), 20 * std::string("Eintrag\r\n").size());
}

// A writer that holds the lock (a run stopped in the middle of an entry)
// costs the others a bounded wait in all, not a wait per entry; what the
// log could not take yet is kept in order and written once it can, and
// what it never takes is handed back at the end.
TEST(TransferLog, AHeldLogCostsABoundedWaitAndKeepsTheEntriesInOrder) {
  TempDir dir;
  std::string log = dir / "TralvoLog.txt";
  LogHold handle;
  EXPECT_TRUE(Written(WriteLog(log, handle, "vorher")));
  {
    LockHolder writer(LogLockPath(log), F_WRLCK, std::chrono::milliseconds(3500));
    ASSERT_TRUE(writer.held());
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i)
      EXPECT_EQ(WriteLog(log, handle, "kept " + std::to_string(i)).outcome, LogResult::kKept);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, kLogWaitBeforeEnd - std::chrono::milliseconds(100));
    EXPECT_LT(waited, kLogWaitBeforeEnd + std::chrono::seconds(1));
    EXPECT_EQ(ReadFileBytes(log), "vorher\r\n");
    // The end waits for the holder to let go, and then writes them all.
    start = std::chrono::steady_clock::now();
    EXPECT_TRUE(Written(FinishLog(log, handle)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, kLogWaitAtEnd);
  }
  EXPECT_EQ(ReadFileBytes(log), "vorher\r\nkept 0\r\nkept 1\r\nkept 2\r\nkept 3\r\nkept 4\r\n");

  LockHolder forever(LogLockPath(log), F_WRLCK, std::chrono::seconds(60));
  ASSERT_TRUE(forever.held());
  LogHold later;
  later.waitLeft = std::chrono::milliseconds(0);
  EXPECT_EQ(WriteLog(log, later, "nie").outcome, LogResult::kKept);
  later.waitLeft = -kLogWaitAtEnd + std::chrono::milliseconds(300);  // the end waits briefly here
  LogResult end = FinishLog(log, later);
  EXPECT_EQ(end.outcome, LogResult::kDropped);
  EXPECT_EQ(end.dropped, std::vector<std::string>{"nie\r\n"});
  // The end's wait is granted once: an entry after it (a status file that
  // cannot be written) waits no more.
  EXPECT_EQ(WriteLog(log, later, "danach").outcome, LogResult::kKept);
  EXPECT_EQ(later.waitLeft, std::chrono::milliseconds(0));
  EXPECT_EQ(FinishLog(log, later).outcome, LogResult::kDropped);
  EXPECT_EQ(later.waitLeft, std::chrono::milliseconds(0));
}

// What is not a plain file is a log that cannot be opened: an entry is
// dropped at once, never waited on.
TEST(TransferLog, APipeAsLogDropsTheEntryAtOnce) {
  TempDir dir;
  std::string log = dir / "TralvoLog.txt";
  ASSERT_EQ(mkfifo(log.c_str(), 0600), 0);
  LogHold handle;
  LogResult result = WriteLog(log, handle, "text");
  EXPECT_EQ(result.outcome, LogResult::kDropped);
  EXPECT_EQ(result.why, FileOpen::kNotRegular);
}

// On a full disk an entry is whole or absent, and the next entry starts on
// a line of its own.
TEST(TransferLog, AFullDiskLeavesWholeEntriesOnly) {
  testsupport::SmallDisk disk(8192);
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small disk here";
  std::string log = disk / "TralvoLog.txt";
  LogHold handle;
  const std::string entry(1000, 'e');
  LogResult result;
  int written = 0;
  while ((result = WriteLog(log, handle, entry)).outcome == LogResult::kWritten) ++written;
  EXPECT_EQ(result.outcome, LogResult::kKept);
  EXPECT_EQ(ReadFileBytes(log).size(), written * (entry.size() + 2));
  EXPECT_EQ(FinishLog(log, handle).dropped.size(), 1u);
  EXPECT_EQ(ReadFileBytes(log).size(), written * (entry.size() + 2));
}

class TransferLogRotation : public ::testing::Test {
 protected:
  TempDir dir;
  std::string log = dir / "TralvoLog.txt";
  std::string backup = dir / "TralvoLog_bak.txt";
  LogHold handle;  // kept across the entries of a test, as a run keeps it
};

TEST_F(TransferLogRotation, ExactlyAtTheLimitStaysOneByteMoreRotates) {
  // An entry of 8 bytes plus CR LF brings the log to exactly the limit.
  WriteFileBytes(log, std::string(kLogSizeLimit - 10, 'a'));
  WriteLog(log, handle, "12345678");
  EXPECT_EQ(ReadFileBytes(log).size(), static_cast<size_t>(kLogSizeLimit));
  EXPECT_FALSE(FileExists(backup));

  WriteLog(log, handle, "x");
  EXPECT_FALSE(FileExists(log));
  std::string rotated = ReadFileBytes(backup);
  EXPECT_EQ(rotated.size(), static_cast<size_t>(kLogSizeLimit + 3));
  EXPECT_EQ(rotated.substr(rotated.size() - 13), "12345678\r\nx\r\n");

  WriteLog(log, handle, "neu");
  EXPECT_EQ(ReadFileBytes(log), "neu\r\n");
}

TEST_F(TransferLogRotation, OlderBackupIsReplaced) {
  WriteFileBytes(backup, "old backup");
  WriteFileBytes(log, std::string(kLogSizeLimit - 60, 'b'));
  WriteLog(log, handle, std::string(100, 'c'));
  EXPECT_FALSE(FileExists(log));
  std::string rotated = ReadFileBytes(backup);
  EXPECT_EQ(rotated.size(), static_cast<size_t>(kLogSizeLimit - 60 + 102));
  EXPECT_EQ(rotated.substr(0, 1), "b");
}

// Runs of several terminals append to one log at once. Whichever of them
// takes it past the limit, the old lines must all reach the backup and
// every entry of every run must be in the backup or the new log exactly
// once, whole, although each run keeps its handle on a log that another
// run may have moved to the backup since its last entry.
TEST_F(TransferLogRotation, ConcurrentRunsPastTheLimitLoseNothing) {
  constexpr int kRuns = 8;
  constexpr int kEntries = 60;
  std::string old;
  old.reserve(kLogSizeLimit);
  for (int line = 0; old.size() < kLogSizeLimit - 2000; ++line)
    old += "alte Zeile " + std::to_string(line) + "\r\n";
  for (int attempt = 0; attempt < 10; ++attempt) {
    SCOPED_TRACE(attempt);
    WriteFileBytes(backup, "previous backup\r\n");
    WriteFileBytes(log, old);

    // The runs start together once the pipe closes.
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    std::vector<pid_t> runs;
    for (int run = 0; run < kRuns; ++run) {
      pid_t pid = fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        close(start[1]);
        char byte;
        while (read(start[0], &byte, 1) > 0) {
        }
        LogHold kept;
        for (int entry = 0; entry < kEntries; ++entry)
          WriteLog(log, kept,
                   "Lauf " + std::to_string(run) + " Eintrag " + std::to_string(entry) +
                       std::string(40, '.'));
        _exit(0);
      }
      runs.push_back(pid);
    }
    close(start[0]);
    close(start[1]);
    for (pid_t pid : runs) {
      int status = 0;
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    std::string rotated = ReadFileBytes(backup);
    ASSERT_EQ(rotated.compare(0, old.size(), old), 0) << "old lines lost";
    std::istringstream entries(rotated.substr(old.size()) +
                               (FileExists(log) ? ReadFileBytes(log) : ""));
    std::map<std::string, int> seen;
    for (std::string line; std::getline(entries, line);) ++seen[line];
    ASSERT_EQ(seen.size(), static_cast<size_t>(kRuns * kEntries));
    for (const auto& [line, count] : seen) {
      EXPECT_EQ(count, 1) << line;
      EXPECT_EQ(line.rfind("Lauf ", 0), 0u) << line;
      EXPECT_EQ(line.substr(line.size() - 41), std::string(40, '.') + "\r") << line;
    }
  }
}

}  // namespace
}  // namespace tralvo
