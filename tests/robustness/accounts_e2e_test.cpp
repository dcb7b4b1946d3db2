// Whole runs of root and of another account of the log folder's group in
// one installation, with accounts outside the group that may read the log
// or meddle with its lock: every run locks the one lock file, and none of
// them loses an entry or waits on an account outside the group.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "accounts.h"
#include "export/transfer_log.h"
#include "lock_holder.h"
#include "loop_harness.h"
#include "transfer_fixture.h"

namespace testsupport {
namespace {

constexpr int kEntries = 5;

class SharedLogAccounts : public TransferTest {
 protected:
  void SetUp() override {
    if (!CanTakeOnAccounts()) GTEST_SKIP() << "needs root to act as other accounts";
    // The group's account passes through the installation, reads the
    // configuration and writes the log folder and the working directory.
    for (const std::string& folder : {inst_.root(), inst_.root() + "/bin", inst_.root() + "/Files",
                                      inst_.root() + "/Quorvex_php", inst_.root() + "/server"})
      ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
    for (const std::string& folder : {logFolder(), inst_.work()}) {
      ASSERT_EQ(chown(folder.c_str(), 0, kGroupAccount.gid), 0);
      ASSERT_EQ(chmod(folder.c_str(), 0775), 0);
    }
    ASSERT_EQ(chown(inst_.configPath().c_str(), 0, kGroupAccount.gid), 0);
    ASSERT_EQ(chmod(inst_.configPath().c_str(), 0640), 0);
    std::string bookings;
    for (int i = 0; i < kEntries; ++i) bookings += Time(std::to_string(90000 + i)).Line();
    inst_.WriteBookings(bookings);
    odbc_ = server_.OdbcEnvironment("TRALVO");
  }

  std::string logFolder() const { return inst_.root() + "/Quorvex_php/log"; }
  std::string lockPath() const { return tralvo::LogLockPath(inst_.logPath()); }

  // A run with /D as account (root when null), into target files of its
  // own. It must end with status 0 and have lost no log entry.
  void RunAs(const Account* account) {
    const std::string tag = account ? std::to_string(account->uid) : "root";
    inst_.SetRunAccount(account);
    const ProcessResult result =
        inst_.Run({"T1", "bookings.txt", "zeit_" + tag, "kst_" + tag, "/D"}, odbc_);
    inst_.SetRunAccount(nullptr);
    EXPECT_EQ(result.exitStatus, 0) << tag << result.errors;
    EXPECT_EQ(result.output.find("Nicht protokolliert"), std::string::npos) << tag << result.output;
    EXPECT_EQ(result.output.find("ohne Sperre"), std::string::npos) << tag << result.output;
  }

  // How many entries of the runs the file at path holds.
  static long EntriesIn(const std::string& path) {
    return Occurrences(ReadFileBytes(path), "Schema/Personalnr. nicht gefunden :\r\n");
  }

  static struct stat Examined(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info;
  }

  // A lock that the folder's group, and nobody else, may open.
  void ExpectSoundLock() const {
    const struct stat lock = Examined(lockPath());
    EXPECT_TRUE(S_ISREG(lock.st_mode));
    EXPECT_EQ(lock.st_mode & 0777, 0220u);
    EXPECT_EQ(lock.st_gid, kGroupAccount.gid);
  }

  std::map<std::string, std::string> odbc_;
};

// The first log and the log after a rotation are made by root here; the
// group's runs must be able to append to both.
TEST_F(SharedLogAccounts, LogsRootMakesStayOpenToTheGroup) {
  RunAs(nullptr);
  ExpectSoundLock();
  struct stat log = Examined(inst_.logPath());
  EXPECT_EQ(log.st_gid, kGroupAccount.gid);
  EXPECT_EQ(log.st_mode & 0020, 0020u);
  RunAs(&kGroupAccount);
  EXPECT_EQ(EntriesIn(inst_.logPath()), 2 * kEntries);

  ASSERT_EQ(truncate(inst_.logPath().c_str(), tralvo::kLogSizeLimit), 0);
  RunAs(nullptr);
  const std::string backup = tralvo::LogBackupPath(inst_.logPath());
  ASSERT_GT(static_cast<int64_t>(Examined(backup).st_size), tralvo::kLogSizeLimit);
  log = Examined(inst_.logPath());
  EXPECT_EQ(log.st_gid, kGroupAccount.gid);
  EXPECT_EQ(log.st_mode & 0777, Examined(backup).st_mode & 0777);
  RunAs(&kGroupAccount);
  EXPECT_EQ(EntriesIn(backup) + EntriesIn(inst_.logPath()), 4 * kEntries);
}

// A lock left by a root run whose umask took the group's write away, and an
// account outside the group that may read the log and locks it: the
// group's run replaces the lock and waits for nobody.
TEST_F(SharedLogAccounts, AReaderOutsideTheGroupHoldsUpNoRun) {
  RunAs(nullptr);
  ASSERT_EQ(chmod(lockPath().c_str(), 0200), 0);
  ASSERT_EQ(chown(lockPath().c_str(), 0, 0), 0);
  LockHolder reader(inst_.logPath(), F_RDLCK, std::chrono::seconds(60), &kReaderAccount);
  ASSERT_TRUE(reader.held());
  RunAs(&kGroupAccount);
  EXPECT_EQ(EntriesIn(inst_.logPath()), 2 * kEntries);
  ExpectSoundLock();
  LockHolder onTheLock(lockPath(), F_WRLCK, std::chrono::seconds(60), &kReaderAccount);
  EXPECT_FALSE(onTheLock.held());
}

// A group account leaves the lock open to all, or makes it a folder, and
// an account outside the group holds a lock on what it can open: root's
// run makes a sound lock of its own, which that lock does not bind.
TEST_F(SharedLogAccounts, AnUnsoundLockIsReplacedAndItsHolderBindsNobody) {
  RunAs(nullptr);
  for (bool folder : {false, true}) {
    SCOPED_TRACE(folder ? "a folder" : "open to all");
    ASSERT_EQ(unlink(lockPath().c_str()), 0);
    if (folder) {
      ASSERT_EQ(mkdir(lockPath().c_str(), 0777), 0);
      WriteFileBytes(lockPath() + "/inside", "");  // no empty folder to remove
    } else {
      WriteFileBytes(lockPath(), "");
      ASSERT_EQ(chmod(lockPath().c_str(), 0666), 0);
    }
    ASSERT_EQ(chown(lockPath().c_str(), kGroupAccount.uid, kGroupAccount.gid), 0);
    LockHolder outsider(folder ? inst_.logPath() : lockPath(), folder ? F_RDLCK : F_WRLCK,
                        std::chrono::seconds(60), &kOutsiderAccount);
    ASSERT_TRUE(outsider.held());
    const long before = EntriesIn(inst_.logPath());
    RunAs(nullptr);
    EXPECT_EQ(EntriesIn(inst_.logPath()), before + kEntries);
    ExpectSoundLock();
  }
}

}  // namespace
}  // namespace testsupport
