// tralvo-run as a scheduler starts it, against the stand-in: whatever the
// booking file gains and whatever the runs meet (no connection, refused
// rows, a second runner, kills), each booking is handed over once.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <random>
#include <thread>

#include "loop_harness.h"
#include "transfer_fixture.h"

namespace testsupport {
namespace {

constexpr const char* kOutbox = "../../outbox";

class Runner : public TransferTest {
 protected:
  explicit Runner(StandinOptions options = DefaultOptions()) : TransferTest(options) {
    MakeDirs(inst_.root() + "/outbox");
  }

  ProcessResult Feed(bool debug = false) {
    std::vector<std::string> args{"T1", "bookings.txt", kOutbox};
    if (debug) args.push_back("/D");
    return inst_.RunRunner(args, server_.OdbcEnvironment("TRALVO"));
  }

  // The names in folder (below the working directory) that end in suffix,
  // sorted: the order of their runs.
  std::vector<std::string> Files(const std::string& folder, const std::string& suffix) const {
    std::vector<std::string> names;
    const std::string path = inst_.work() + "/" + folder;
    if (!FileExists(path)) return names;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
      const std::string name = entry.path().filename().string();
      if (name.size() >= suffix.size() &&
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  // Their bytes, one after the other.
  std::string Joined(const std::string& folder, const std::string& suffix) const {
    std::string bytes;
    for (const std::string& name : Files(folder, suffix))
      bytes += ReadFileBytes(inst_.work() + "/" + folder + "/" + name);
    return bytes;
  }
  std::string CostCentres() const { return Joined(kOutbox, "-costcentre.txt"); }

  long Rows(const std::string& table) const {
    return std::stol(server_.Query("SELECT COUNT(*) FROM " + table)[0][0]);
  }
  long Events() const { return Rows("KRIVAX.O2009BUCHPROT"); }
  long AccessRows() const { return Rows("KriVax.Kvx402Zpk"); }

  // Bookings of their own second of the day, so no two are one row.
  static Booking At(int second, Booking b) {
    char time[8];
    std::snprintf(time, sizeof time, "%02d%02d%02d", 7 + second / 3600, second / 60 % 60,
                  second % 60);
    b.time = time;
    return b;
  }
  static Booking Cost(int second) {
    Booking b;
    b.kind = "50p";
    return At(second, b);
  }
  static Booking Event(int second) {
    Booking b;
    b.kind = "dta";
    b.status = "17";
    b.code = "017";
    return At(second, b);
  }
  static std::string CostRecord(int second) {
    const std::string time = At(second, Booking()).time;
    return "150709" + time + "4711         000KST1";
  }
};

// A runner against a stand-in with the options options() gives.
template <StandinOptions (*options)(StandinOptions)>
class RunnerWith : public Runner {
 protected:
  RunnerWith() : Runner(options(DefaultOptions())) {}
};

StandinOptions RefusingEvents(StandinOptions options) {
  options.fail = {"O2009BUCHPROT=547"};
  return options;
}
StandinOptions Slow(StandinOptions options) {
  options.delayMs = 50;
  return options;
}
StandinOptions SlightlySlow(StandinOptions options) {
  options.delayMs = 3;
  return options;
}
// The server time, then three events' rows less one.
StandinOptions Dropping(StandinOptions options) {
  options.dropAfter = 6;
  return options;
}
using RunnerWithRefusedEvents = RunnerWith<RefusingEvents>;
using SlowRunner = RunnerWith<Slow>;
using KilledRunner = RunnerWith<SlightlySlow>;
using DroppingRunner = RunnerWith<Dropping>;

TEST_F(Runner, ThreeRunsOfAnUnchangedFileHandEachBookingOverOnceAsTralvoWould) {
  Booking access;
  access.access = "1";
  const std::string file =
      At(1, Time("4711")).Line() + At(2, access).Line() + Event(3).Line() + Cost(4).Line();
  // What tralvo itself makes of the file, to the byte.
  ASSERT_EQ(Transfer(file).exitStatus, 0);
  const std::string tralvoLog = inst_.Log();
  const std::string timeBookings = inst_.TimeBookings();
  ASSERT_EQ(inst_.CostCentres(), CostRecord(4));
  std::filesystem::remove(inst_.logPath());
  server_.Execute("DELETE FROM KriVax.Kvx402Zpk");
  server_.Execute("DELETE FROM KRIVAX.O2009BUCHPROT");

  for (int run = 0; run < 3; ++run) {
    const ProcessResult r = Feed();
    EXPECT_EQ(r.exitStatus, 0) << r.output;
    EXPECT_EQ(r.output, "");
  }
  EXPECT_EQ(inst_.Log(), tralvoLog);
  EXPECT_EQ(Events(), 1);
  EXPECT_EQ(AccessRows(), 2);
  const std::vector<std::string> handed = Files(kOutbox, ".txt");
  ASSERT_EQ(handed.size(), 2u);
  // T1-YYYYMMDDTHHMMSS.mmmZ-costcentre.txt, then the time bookings of the
  // same stamp; nothing hidden or half written stays behind.
  const std::string stamp = handed[0].substr(3, 20);
  EXPECT_EQ(handed[0], "T1-" + stamp + "-costcentre.txt");
  EXPECT_EQ(stamp.substr(8, 1) + stamp.substr(15, 1) + stamp.substr(19), "T.Z") << stamp;
  EXPECT_EQ(handed[1], handed[0].substr(0, 24) + "time.txt");
  EXPECT_EQ(ReadFileBytes(inst_.root() + "/outbox/" + handed[1]), timeBookings);
  EXPECT_EQ(CostCentres(), CostRecord(4));
  EXPECT_EQ(Files(kOutbox, "").size(), 2u);
  EXPECT_FALSE(FileExists(inst_.work() + "/rejected"));
}

TEST_F(Runner, FeedsWhatTheFileGainedAndLeavesAnUnfinishedLineForLater) {
  const std::string a = Cost(1).Line() + Cost(2).Line();
  const std::string b = Cost(3).Line();
  const std::string c = Cost(4).Line();
  inst_.WriteBookings(a);
  ASSERT_EQ(Feed().exitStatus, 0);
  // Appended: a whole line, and one still being written.
  inst_.WriteBookings(a + b + c.substr(0, 10));
  ASSERT_EQ(Feed().exitStatus, 0);
  inst_.WriteBookings(a + b + c);
  ASSERT_EQ(Feed().exitStatus, 0);
  // Written anew and renamed over the old one, with more at its end.
  inst_.WriteBookings(a + b + c + Cost(5).Line(), "bookings.new");
  std::filesystem::rename(inst_.work() + "/bookings.new", inst_.work() + "/bookings.txt");
  ASSERT_EQ(Feed().exitStatus, 0);
  // A new delivery: the file no longer begins with what was fed.
  inst_.WriteBookings(Cost(6).Line() + Cost(7).Line());
  ASSERT_EQ(Feed().exitStatus, 0);

  EXPECT_EQ(Files(kOutbox, "-costcentre.txt").size(), 5u);
  EXPECT_EQ(CostCentres(), CostRecord(1) + CostRecord(2) + CostRecord(3) + CostRecord(4) +
                               CostRecord(5) + CostRecord(6) + CostRecord(7));
  const std::string log = inst_.Log();
  EXPECT_EQ(Occurrences(log, "Kostenstellenbuchungen: 1\r\n"), 3) << log;
  EXPECT_EQ(Occurrences(log, "Kostenstellenbuchungen: 2\r\n"), 2) << log;
  EXPECT_EQ(Occurrences(log, "Kostenstellenbuchungen: 0\r\n"), 0) << log;
}

TEST_F(Runner, NothingToFeedIsQuietButLeavesItsStatus) {
  MakeDirs(inst_.root() + "/status");
  tralvo::ConfigSettings settings{server_options_user_, server_options_password_, "MSSQL",
                                  "TRALVO"};
  settings.statusDir = "../../status";
  inst_.WriteConfig(settings);
  const std::string status = inst_.root() + "/status/tralvo_T1.prom";
  // No booking file yet.
  ProcessResult r = Feed();
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.output, "");
  EXPECT_FALSE(FileExists(inst_.logPath()));
  EXPECT_NE(ReadFileBytes(status).find("tralvo_last_run_exit_status{terminal=\"T1\"} 0\n"),
            std::string::npos);
  inst_.WriteBookings(Cost(1).Line());
  ASSERT_EQ(Feed().exitStatus, 0);
  const std::string log = inst_.Log();
  std::filesystem::remove(status);
  // Nothing new: no connection, no log entry, a fresh status all the same.
  r = Feed();
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.output, "");
  EXPECT_EQ(inst_.Log(), log);
  const std::string text = ReadFileBytes(status);
  EXPECT_NE(text.find("tralvo_last_run_exit_status{terminal=\"T1\"} 0\n"), std::string::npos);
  EXPECT_NE(text.find("tralvo_last_run_bookings{terminal=\"T1\",kind=\"cost_centre\"} 0\n"),
            std::string::npos);
}

TEST_F(Runner, AnOutboxItCannotUseOrAFailedConnectionFeedsNothingTheRunAfterFeedsAll) {
  const std::string file = Event(1).Line() + Cost(2).Line();
  inst_.WriteBookings(file);
  std::filesystem::remove(inst_.root() + "/outbox");
  ProcessResult r = Feed();
  EXPECT_EQ(r.exitStatus, 94);
  EXPECT_NE(r.output.find("OUTBOX ../../outbox cannot be used: it does not exist"),
            std::string::npos)
      << r.output;
  EXPECT_FALSE(FileExists(inst_.logPath()));
  MakeDirs(inst_.root() + "/outbox");

  inst_.WriteConfig(server_options_user_, server_options_password_, "NIRGENDS");
  r = Feed();
  EXPECT_EQ(r.exitStatus, 4);  // the number of command-line words, as tralvo's
  EXPECT_TRUE(Files(kOutbox, "").empty());
  inst_.WriteConfig(server_options_user_, server_options_password_, "TRALVO");
  r = Feed();
  EXPECT_EQ(r.exitStatus, 0) << r.output;
  EXPECT_EQ(Events(), 1);
  EXPECT_EQ(CostCentres(), CostRecord(2));
  EXPECT_EQ(Feed().exitStatus, 0);
  EXPECT_EQ(Events(), 1);
}

TEST_F(RunnerWithRefusedEvents, RefusedLinesAreSetAsideOnceWithAStatusOfTheirOwn) {
  const std::string refused = Event(1).Line();
  inst_.WriteBookings(Cost(0).Line() + refused + "kaputt\r\n" + Cost(2).Line());
  ProcessResult r = Feed();
  EXPECT_EQ(r.exitStatus, 65) << r.output;
  const std::vector<std::string> set = Files("rejected", ".txt");
  ASSERT_EQ(set.size(), 2u) << r.output << inst_.Log();
  EXPECT_EQ(set[0].substr(24), "malformed.txt");
  EXPECT_EQ(set[1].substr(24), "refused.txt");
  EXPECT_EQ(ReadFileBytes(inst_.work() + "/rejected/" + set[1]), refused);
  EXPECT_EQ(ReadFileBytes(inst_.work() + "/rejected/" + set[0]), "kaputt\r\n");
  const std::string separator = WindowsBuildUnderTest().empty() ? "/" : "\\";
  const std::string told = "Buchungen zurueckgestellt (abgewiesen): rejected" + separator + set[1];
  EXPECT_NE(r.output.find(told + "\n"), std::string::npos) << r.output;
  EXPECT_NE(inst_.Log().find(told + "\r\n"), std::string::npos);
  EXPECT_EQ(CostCentres(), CostRecord(0) + CostRecord(2));
  // Said once: the next run feeds them no more.
  r = Feed();
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(Files("rejected", ".txt").size(), 2u);
}

TEST_F(SlowRunner, ASecondRunnerOfTheTerminalEndsAtOnce) {
  std::string file;
  for (int i = 0; i < 20; ++i) file += Event(i).Line();
  inst_.WriteBookings(file);
  ProcessResult first;
  std::thread going([&] { first = Feed(); });
  // Once the first run sends statements, it holds the terminal.
  while (ToolStatements().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const ProcessResult second = Feed();
  going.join();
  EXPECT_EQ(second.exitStatus, 75);
  EXPECT_EQ(second.output, "tralvo-run: T1: a run of this terminal is going; this one ends\n");
  EXPECT_EQ(first.exitStatus, 0) << first.output;
  EXPECT_EQ(Events(), 20);
}

TEST_F(KilledRunner, RunsKilledAtRandomMomentsHandEveryRecordOverOnce) {
  if (!WindowsBuildUnderTest().empty())
    GTEST_SKIP() << "a kill reaches Wine's launcher, not the Windows program";
  constexpr int kEvents = 150;
  constexpr int kKills = 6;
  std::string file;
  std::string records;
  for (int i = 0; i < kEvents; ++i) {
    file += Event(2 * i).Line() + Cost(2 * i + 1).Line();
    records += CostRecord(2 * i + 1);
  }
  inst_.WriteBookings(file);
  // A stop first: the run ends after the booking in hand (whose statement
  // in flight is cancelled, its outcome unknown) and hands nothing over.
  inst_.SetRunStop({std::chrono::milliseconds(300), SIGTERM});
  EXPECT_EQ(Feed().exitStatus, 128 + SIGTERM);
  EXPECT_TRUE(Files(kOutbox, "").empty());
  const unsigned seed = std::random_device()();
  std::mt19937 random(seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  for (int kill = 0; kill < kKills; ++kill) {
    const auto after = std::chrono::milliseconds(std::uniform_int_distribution<>(1, 300)(random));
    inst_.SetRunStop({after, SIGKILL});
    Feed();
  }
  inst_.SetRunStop({});
  const ProcessResult r = Feed();
  EXPECT_TRUE(r.exitStatus == 0 || r.exitStatus == 65) << r.output;
  EXPECT_EQ(Feed().exitStatus, 0);
  EXPECT_EQ(CostCentres(), records);
  // The access row the stop cancelled was set aside, no other.
  const long setAside = Occurrences(Joined("rejected", "-unknown.txt"), "\r\n");
  EXPECT_LE(setAside, 1);
  EXPECT_GE(AccessRows(), kEvents - setAside);
  EXPECT_LE(AccessRows(), kEvents);
  EXPECT_GE(Events(), kEvents);
  const long doubled = Events() - kEvents;
  EXPECT_LE(doubled, kKills);
  // Every event that is there more than once was said to be fed again (a
  // run that died with it in hand again says nothing more of it).
  const std::string log = inst_.Log();
  for (const auto& row : server_.Query(
           "SELECT BPRDAT FROM KRIVAX.O2009BUCHPROT GROUP BY BPRDAT HAVING COUNT(*) > 1")) {
    const std::string time = row[0].substr(11, 2) + row[0].substr(14, 2) + row[0].substr(17, 2);
    EXPECT_NE(log.find("erneut uebergeben (kann doppelt sein): T1, 4711, 20090715, " + time),
              std::string::npos)
        << row[0];
  }
}

// Each run loses its connection at the third event's access row: that
// booking's outcome is unknown (set aside), the rest were not sent (fed
// again by the next run, the cost centres written after them too).
TEST_F(DroppingRunner, AGivenUpConnectionSetsTheUnansweredAsideAndFeedsTheUnsentAgain) {
  constexpr int kEvents = 12;
  std::string file;
  std::string records;
  std::string unanswered;
  for (int i = 0; i < kEvents; ++i) {
    file += Event(2 * i).Line() + Cost(2 * i + 1).Line();
    records += CostRecord(2 * i + 1);
    if (i % 3 == 2) unanswered += Event(2 * i).Line();
  }
  inst_.WriteBookings(file);
  for (int run = 0; run < kEvents / 3; ++run) {
    const ProcessResult r = Feed();
    EXPECT_EQ(r.exitStatus, 65) << r.output;
  }
  EXPECT_EQ(Feed().exitStatus, 0);
  EXPECT_EQ(CostCentres(), records);
  EXPECT_EQ(Joined("rejected", "-unknown.txt"), unanswered);
  EXPECT_EQ(Events(), kEvents);
  EXPECT_EQ(AccessRows(), kEvents - kEvents / 3);
}

}  // namespace
}  // namespace testsupport
