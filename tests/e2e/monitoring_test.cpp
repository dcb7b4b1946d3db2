// What an operator sees of an installation: tralvo-ini check run where the
// runs start names every mistake that would make runs fail or lose their
// trace, and every run leaves a status file for the monitoring.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "export/status_file.h"
#include "export/transfer_log.h"
#include "lock_holder.h"
#include "transfer_fixture.h"

namespace testsupport {
namespace {

class Monitoring : public TransferTest {
 protected:
  explicit Monitoring(StandinOptions options = DefaultOptions()) : TransferTest(options) {}

  ProcessResult Check() { return inst_.RunIni({"check"}, server_.OdbcEnvironment("TRALVO")); }

  // The lines of a check's output that begin with verdict.
  static std::vector<std::string> Lines(const ProcessResult& result, const std::string& verdict) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < result.output.size()) {
      const size_t end = result.output.find('\n', at);
      const std::string line = result.output.substr(at, end - at);
      if (line.rfind(verdict + " ", 0) == 0) lines.push_back(line);
      if (end == std::string::npos) break;
      at = end + 1;
    }
    return lines;
  }

  // Expects exit status 1 and an error line that holds every one of told.
  static void ExpectError(const ProcessResult& result, std::initializer_list<const char*> told) {
    EXPECT_EQ(result.exitStatus, 1) << result.output;
    bool found = false;
    for (const std::string& line : Lines(result, "error")) {
      bool all = true;
      for (const char* part : told) all = all && line.find(part) != std::string::npos;
      found = found || all;
    }
    EXPECT_TRUE(found) << result.output;
  }

  // Lets other accounts pass through the installation's folders.
  void PassThrough() const {
    for (const std::string& folder :
         {inst_.root(), inst_.root() + "/bin", inst_.work(), inst_.root() + "/Files",
          inst_.root() + "/Quorvex_php", inst_.root() + "/Quorvex_php/log"})
      ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
  }

  ProcessResult CheckAs(Account account) {
    return RunProcess(AsAccount(account, {TRALVO_INI_BINARY, "check"}), inst_.work(), "",
                      server_.OdbcEnvironment("TRALVO"));
  }

  // A status folder in the installation, set in the configuration.
  std::string StatusFolder() {
    const std::string status = inst_.root() + "/status";
    MakeDirs(status);
    tralvo::ConfigSettings settings = Settings();
    settings.statusDir = "../../status";
    inst_.WriteConfig(settings);
    return status;
  }

  tralvo::ConfigSettings Settings() const {
    return tralvo::ConfigSettings{server_options_user_, server_options_password_, "MSSQL",
                                  "TRALVO"};
  }
};

TEST_F(Monitoring, CheckOfASoundInstallationFindsNoError) {
  const ProcessResult result = Check();
  EXPECT_EQ(result.exitStatus, 0) << result.output << result.errors;
  EXPECT_TRUE(Lines(result, "error").empty()) << result.output;
  const std::string output = result.output;
  for (const char* told :
       {"ok      configuration file ", "ok      log folder ", "ok      working directory ",
        "ok      login \"tralvo\" to data source \"TRALVO\"",
        "ok      server time 07.12.2026 10:04:32", "ok      INSERT on KriVax.Kvx402Zpk\n",
        "ok      INSERT on KRIVAX.O2009BUCHPROT\n", "ok      SELECT on KRIVAX.KVX301ASW\n",
        "ok      SELECT on Kvx131FcdUeb\n"})
    EXPECT_NE(output.find(told), std::string::npos) << told << "\n" << output;
  // Read-only: the log is not created, and no row is inserted.
  EXPECT_FALSE(FileExists(inst_.logPath()));
  EXPECT_EQ(server_.Query("SELECT COUNT(*) FROM KriVax.Kvx402Zpk")[0][0], "0");
}

TEST_F(Monitoring, CheckNamesAMissingLogFolder) {
  std::filesystem::remove(inst_.root() + "/Quorvex_php/log");
  ExpectError(Check(), {"log folder ", "Quorvex_php", "does not exist"});
}

// A login that may not insert access rows: every run would exit 0 with no
// access booking transferred.
class MonitoringWithoutInsertRight : public Monitoring {
 protected:
  MonitoringWithoutInsertRight() : Monitoring(Denying()) {}
  static StandinOptions Denying() {
    StandinOptions options = DefaultOptions();
    options.deny = {"Kvx402Zpk:INSERT"};
    return options;
  }
};

TEST_F(MonitoringWithoutInsertRight, CheckNamesTheTable) {
  const ProcessResult result = Check();
  ExpectError(result, {"INSERT on KriVax.Kvx402Zpk", "denied", "GRANT INSERT"});
  EXPECT_EQ(Lines(result, "error").size(), 1u) << result.output;
}

// The account the scheduler runs the tool as is often not the one that
// set the installation up: a configuration written by root and a log
// folder only root can write fail every run of another account.
TEST_F(Monitoring, CheckAsAnotherAccountNamesWhatItCannotReadOrWrite) {
  if (!CanTakeOnAccounts()) GTEST_SKIP() << "needs root to run the check as another account";
  PassThrough();
  const ProcessResult result = CheckAs(kGroupAccount);
  ExpectError(result, {"configuration file ", "quorvex.ini", "cannot read it"});
  ExpectError(result, {"log folder ", "Quorvex_php/log", "cannot create files in it"});
}

// An account of the log folder's group, where root's runs of an earlier
// version left a log and a lock the group cannot write, and a folder
// stands at the backup's name.
TEST_F(Monitoring, CheckAsAGroupAccountNamesTheLogFilesItCannotUse) {
  if (!CanTakeOnAccounts()) GTEST_SKIP() << "needs root to run the check as another account";
  PassThrough();
  const std::string folder = inst_.root() + "/Quorvex_php/log";
  ASSERT_EQ(chown(folder.c_str(), 0, kGroupAccount.gid), 0);
  ASSERT_EQ(chmod(folder.c_str(), 0775), 0);
  ASSERT_EQ(chown(inst_.configPath().c_str(), 0, kGroupAccount.gid), 0);
  ASSERT_EQ(chmod(inst_.configPath().c_str(), 0640), 0);
  const std::string lock = tralvo::LogLockPath(inst_.logPath());
  WriteFileBytes(inst_.logPath(), "");
  WriteFileBytes(lock, "");
  ASSERT_EQ(chmod(lock.c_str(), 0200), 0);
  MakeDirs(tralvo::LogBackupPath(inst_.logPath()));
  const ProcessResult result = CheckAs(kGroupAccount);
  ExpectError(result, {"log ", "TralvoLog.txt:", "cannot append to it"});
  ExpectError(result, {"log backup ", "TralvoLog_bak.txt", "never rotated"});
  EXPECT_NE(result.output.find("warning log lock file "), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("TralvoLog.txt.lock: the log folder's group may not open it; the "
                               "next run replaces it"),
            std::string::npos);
}

TEST_F(Monitoring, EveryRunReplacesItsStatusFile) {
  const std::string status = StatusFolder();
  tralvo::ConfigSettings settings = Settings();
  settings.statusDir = "../../status";

  Booking access;
  access.access = "1";
  Booking malformedTime = Time("4711");
  malformedTime.date = "2009";
  ASSERT_EQ(Transfer(access.Line() + Time("9999").Line() + malformedTime.Line() + "kaputt\r\n")
                .exitStatus,
            0);
  const std::string file = status + "/tralvo_T1.prom";
  std::string text = ReadFileBytes(file);
  for (const char* sample :
       {"tralvo_last_run_exit_status{terminal=\"T1\"} 0\n",
        "tralvo_last_run_bookings{terminal=\"T1\",kind=\"access\"} 1\n",
        "tralvo_last_run_bookings{terminal=\"T1\",kind=\"time\"} 0\n",
        "tralvo_last_run_not_transferred{terminal=\"T1\",cause=\"not_found\"} 1\n",
        "tralvo_last_run_not_transferred{terminal=\"T1\",cause=\"malformed\"} 2\n",
        "# TYPE tralvo_last_run_end_timestamp_seconds gauge\n"})
    EXPECT_NE(text.find(sample), std::string::npos) << sample << "\n" << text;
  if (WindowsBuildUnderTest().empty()) {
    struct stat info;
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);  // the collector's account reads it
  }

  // The run that was done is the last success.
  const std::string success = "tralvo_last_success_timestamp_seconds{terminal=\"T1\"} ";
  const size_t at = text.find(success);
  ASSERT_NE(at, std::string::npos) << text;
  const std::string lastSuccess = text.substr(at, text.find('\n', at) - at);
  EXPECT_NE(lastSuccess, success + "0");

  // A run that cannot connect replaces it with its own status, and carries
  // the last success over unchanged.
  settings.database = "NIRGENDS";
  inst_.WriteConfig(settings);
  const ProcessResult failed = Transfer(access.Line());
  ASSERT_NE(failed.exitStatus, 0);
  text = ReadFileBytes(file);
  EXPECT_NE(text.find(lastSuccess + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("tralvo_last_run_exit_status{terminal=\"T1\"} " +
                      std::to_string(failed.exitStatus) + "\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("tralvo_last_run_bookings{terminal=\"T1\",kind=\"access\"} 0\n"),
            std::string::npos);
  // Exactly one file, no temporary one left.
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(status)) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

// A terminal id of 255 bytes, each of which the name encodes in three: the
// file's name keeps a readable start and a hash of the whole id, its
// label the whole id.
TEST_F(Monitoring, ALongTerminalIdGetsAShortenedNameAndItsWholeLabel) {
  const std::string status = StatusFolder();
  const std::string terminal(255, '\x80');
  ASSERT_EQ(Transfer("", false, terminal).exitStatus, 0);
  const std::string name = tralvo::StatusFileName(terminal);
  EXPECT_LE(name.size(), 7 + tralvo::kMaxTerminalStem + 5);
  const std::string text = ReadFileBytes(status + "/" + name);
  EXPECT_NE(text.find("tralvo_last_run_exit_status{terminal=\"" + tralvo::LabelValue(terminal) +
                      "\"} 0\n"),
            std::string::npos)
      << text;
}

// Records lost to a target that could not be written are bookings that
// did not arrive, and the status file counts them.
TEST_F(Monitoring, BookingsLostToAFullTargetAreCountedAsNotWritten) {
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::string status = StatusFolder();
  Booking cost;
  cost.kind = "50p";
  inst_.WriteBookings(cost.Line() + cost.Line() + cost.Line());
  const ProcessResult r =
      inst_.Run({"T1", "bookings.txt", "zeit.txt", "/dev/full"}, server_.OdbcEnvironment("TRALVO"));
  EXPECT_EQ(r.exitStatus, 94);
  const std::string text = ReadFileBytes(status + "/tralvo_T1.prom");
  EXPECT_NE(text.find("tralvo_last_run_bookings{terminal=\"T1\",kind=\"cost_centre\"} 0\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("tralvo_last_run_not_transferred{terminal=\"T1\",cause=\"not_written\"} 3\n"),
            std::string::npos)
      << text;
}

// Another account that may write the status folder cannot keep the runs
// from leaving their status: the temporary names of the coming runs are
// not its to take, and what ended runs left there is cleared away.
TEST_F(Monitoring, TheStatusFileCannotBeBlocked) {
  if (!WindowsBuildUnderTest().empty()) GTEST_SKIP() << "process ids of this system";
  const std::string status = StatusFolder();
  const std::string temporary = status + "/tralvo_T1.prom.tmp.";
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
  // Folders at the names the coming process ids would have had.
  for (pid_t pid = ended + 1; pid < ended + 1000; ++pid) MakeDirs(temporary + std::to_string(pid));
  const std::string leftover = temporary + std::to_string(ended) + ".0123456789abcdef";
  const std::string stale = temporary + std::to_string(getpid()) + ".fedcba9876543210";
  const std::string running = temporary + std::to_string(getpid()) + ".00000000000000aa";
  for (const std::string& file : {leftover, stale, running}) WriteFileBytes(file, "");
  struct timeval twoHoursAgo[2] = {{time(nullptr) - 7200, 0}, {time(nullptr) - 7200, 0}};
  ASSERT_EQ(utimes(stale.c_str(), twoHoursAgo), 0);
  Booking access;
  access.access = "1";
  ASSERT_EQ(Transfer(access.Line()).exitStatus, 0);
  EXPECT_NE(ReadFileBytes(status + "/tralvo_T1.prom").find("kind=\"access\"} 1\n"),
            std::string::npos);
  EXPECT_FALSE(FileExists(leftover));
  EXPECT_FALSE(FileExists(stale));
  EXPECT_TRUE(FileExists(running));
}

// What keeps the status from the monitoring is said in the log of every
// run and by the check: a status folder that other accounts can write,
// and a folder at the status file's name.
TEST_F(Monitoring, AStatusThatCannotBeLeftIsReported) {
  const std::string status = StatusFolder();
  ASSERT_EQ(chmod(status.c_str(), 0777), 0);
  MakeDirs(status + "/tralvo_T1.prom");
  Booking access;
  access.access = "1";
  ASSERT_EQ(Transfer(access.Line()).exitStatus, 0);
  const std::string log = inst_.Log();
  EXPECT_NE(log.find("Statusverzeichnis fuer alle Konten beschreibbar: ../../status\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Statusdatei keine regulaere Datei, nicht geschrieben: ../../status"),
            std::string::npos)
      << log;
  const ProcessResult check = Check();
  ExpectError(check, {"status folder ", "every account can write it"});
  ExpectError(check, {"status file ", "tralvo_T1.prom", "not a regular file"});
}

// Whoever holds the log up costs a run 2 s before its summary and 5 s
// after it, in all: an entry after the summary (a status file that cannot
// be written) does not start the end's wait again.
TEST_F(Monitoring, AHeldLogCostsItsBoundedWaitOnceWhateverFollowsTheSummary) {
  if (!WindowsBuildUnderTest().empty()) GTEST_SKIP() << "a POSIX record lock";
  tralvo::ConfigSettings settings = Settings();
  settings.statusDir = "../../no-such-folder";
  inst_.WriteConfig(settings);
  Booking access;
  access.access = "1";
  // The first run makes the log and its lock as the runs make them.
  ASSERT_EQ(Transfer(access.Line()).exitStatus, 0);
  LockHolder writer(inst_.logPath() + ".lock", F_WRLCK, std::chrono::seconds(60));
  ASSERT_TRUE(writer.held());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Transfer(access.Line()).exitStatus, 0);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 7.0 + 1.5 * kSanitizerSlowdown);
}

// A port of this machine where nothing listens: one the system just gave
// out and took back.
int ClosedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return 0;
  close(fd);
  return ntohs(address.sin_port);
}

// The check says why a login failed: a connection refused at once is not
// a timeout, and a login the server rejects is mended with LOGIN and PASS.
TEST_F(Monitoring, CheckTellsARefusedConnectionFromARejectedLogin) {
  const int closed = ClosedPort();
  ASSERT_NE(closed, 0);
  const ProcessResult refused = inst_.RunIni({"check"}, server_.OdbcEnvironment("TRALVO", closed));
  ExpectError(refused, {"login \"", "refused at once", "nothing listens"});
  EXPECT_EQ(refused.output.find("did not answer"), std::string::npos) << refused.output;

  tralvo::ConfigSettings settings = Settings();
  settings.password = "Falsch-17";
  inst_.WriteConfig(settings);
  ExpectError(Check(), {"login \"", "LOGIN or PASS", "tralvo-ini write"});
}

}  // namespace
}  // namespace testsupport
