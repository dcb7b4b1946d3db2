// Whole runs of the built tool that end with outcomes the server left
// open: a stop request in the middle of a run, a server that answers too
// late, an insert that waits on another session's lock. A run must end
// within its bounds, never call a row that may be there failed, report
// every booking it did not transfer and write its summary.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>

#include "config/config_file_writer.h"
#include "db/database.h"
#include "db/statement.h"
#include "loop_harness.h"
#include "transfer_fixture.h"

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The counter of one line of the run summary ("   Zeitbuchungen  : 3").
int SummaryCount(const std::string& log, const std::string& label) {
  size_t at = log.rfind(label);
  if (at == std::string::npos) return -1;
  return std::stoi(log.substr(log.rfind(':', log.find("\r\n", at)) + 1));
}

class StoppedRun : public TransferTest {
 protected:
  StoppedRun() : TransferTest(Options()) {}
  static StandinOptions Options() {
    StandinOptions options = DefaultOptions();
    options.delayMs = 100;
    return options;
  }
};

// SIGTERM two seconds into a run that would take half a minute: the run
// finishes the booking in hand, says it was stopped, writes its summary
// and whole records only, and ends with 128 + 15.
TEST_F(StoppedRun, EndsAfterTheBookingInHandWithItsSummary) {
  if (!WindowsBuildUnderTest().empty()) GTEST_SKIP() << "a POSIX signal";
  std::string bookings;
  for (int i = 0; i < 200; ++i) {
    Booking b = i % 3 == 0 ? Time("4711") : Booking();
    if (i % 3 == 1) b.access = "1";
    if (i % 3 == 2) b.kind = "50p";
    char time[8];
    std::snprintf(time, sizeof time, "%02d%02d00", 6 + i / 60, i % 60);
    b.time = time;
    bookings += b.Line();
  }
  inst_.SetRunTimeout(std::chrono::seconds(30));
  inst_.SetRunStop({std::chrono::seconds(2), SIGTERM});
  Clock::time_point start = Clock::now();
  ProcessResult r = Transfer(bookings);
  EXPECT_LT(SecondsSince(start), 10.0 * kSanitizerSlowdown);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitStatus, 128 + SIGTERM);
  const std::string stopped =
      "Uebergabe angehalten (Stoppsignal), Quelldatei nicht zu Ende gelesen\n";
  ASSERT_GE(r.output.size(), stopped.size());
  EXPECT_EQ(r.output.substr(r.output.size() - stopped.size()), stopped) << r.output;
  std::string log = inst_.Log();
  // The summary counts what the files and the table hold, and no more
  // than was read before the stop.
  const int time = SummaryCount(log, "Zeitbuchungen ");
  const int access = SummaryCount(log, "Zutrittsbuchungen:");
  const int cost = SummaryCount(log, "Kostenstellenbuchungen:");
  EXPECT_NE(
      log.find(stopped.substr(0, stopped.size() - 1) + "\r\n" + Summary(time, access, cost, 0)),
      std::string::npos)
      << log;
  EXPECT_GT(time + access + cost, 0) << log;
  EXPECT_LT(time + access + cost, 100) << log;
  EXPECT_EQ(inst_.TimeBookings().size(), 82u * static_cast<size_t>(time));
  EXPECT_EQ(inst_.CostCentres().size(), 32u * static_cast<size_t>(cost));
  // A cancelled insert may have arrived; its booking is then logged as
  // unknown, not counted.
  const long rows = std::stol(server_.Query("SELECT COUNT(*) FROM KriVax.Kvx402Zpk")[0][0]);
  const bool unknown = log.find("Ergebnis unbekannt (Stoppsignal)") != std::string::npos;
  EXPECT_GE(rows, access);
  EXPECT_LE(rows, access + (unknown ? 1 : 0)) << log;
}

// n access bookings and n events of badge 4711, a minute apart.
std::string AccessAndEvents(int access, int events) {
  std::string file;
  for (int i = 0; i < access + events; ++i) {
    char time[8];
    std::snprintf(time, sizeof time, "07%02d00", i);
    file += std::string("4711,-,20090715,") + time + ",-,T1,3,001,KST1,-,," +
            (i < access ? "1,,,-,40p\r\n" : ",17,,-,dta\r\n");
  }
  return file;
}

class UnansweredServer : public TransferTest {
 protected:
  explicit UnansweredServer(StandinOptions options, const char* queryTimeout)
      : TransferTest(options) {
    inst_.WriteConfig(tralvo::ConfigSettings{server_options_user_, server_options_password_,
                                             "MSSQL", "TRALVO", "5", queryTimeout});
    inst_.SetRunTimeout(std::chrono::seconds(60));
  }

  // The log's entries of bookings that name table, by how they ended.
  struct Entries {
    long failed, unknown, notSent;
  };
  Entries Logged(const std::string& log, const std::string& table) const {
    const std::string insert = "Insert in " + table + " ";
    return {Occurrences(log, insert + "fehlgeschlagen"),
            Occurrences(log, insert + "Ergebnis unbekannt ("),
            Occurrences(log, insert + "nicht gesendet (Verbindung aufgegeben nach ")};
  }

  // The run summary of access rows and events alone.
  static std::string DbSummary(int access, int events) { return Summary(0, access, 0, events); }

  long Rows(const std::string& table) const {
    return std::stol(server_.Query("SELECT COUNT(*) FROM KRIVAX." + table)[0][0]);
  }
};

class LateServer : public UnansweredServer {
 protected:
  LateServer() : UnansweredServer(Options(), "1") {}
  static StandinOptions Options() {
    StandinOptions options = DefaultOptions();
    options.lateAnswerMs = 2500;
    return options;
  }
};

// Every batch runs at once and is answered after 2.5 s, beyond the query
// timeout of 1 s: the first statement that times out may have done its
// work, so nothing is logged as failed; nothing more is sent, so the run
// costs one timeout, not one per booking.
TEST_F(LateServer, OneTimeoutEndsTheRunAndNoRowThereIsLoggedAsFailed) {
  Clock::time_point start = Clock::now();
  ProcessResult r = Transfer(AccessAndEvents(30, 10));
  EXPECT_LT(SecondsSince(start), 10.0 * kSanitizerSlowdown);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitStatus, 0);
  const std::string log = inst_.Log();
  const int access = SummaryCount(log, "Zutrittsbuchungen:");
  const int events = SummaryCount(log, "Ereignisse:");
  ASSERT_GE(access, 0) << log;
  const Entries a = Logged(log, "Kvx402Zpk");
  const Entries e = Logged(log, "O2009BUCHPROT");
  EXPECT_EQ(a.failed + e.failed, 0) << log;
  // Every access row (an event has one too) and every event is counted or
  // logged, each once; what is in the tables was counted or is unknown.
  EXPECT_EQ(access + a.unknown + a.notSent, 40) << log;
  EXPECT_EQ(events + e.unknown + e.notSent, 10) << log;
  EXPECT_LE(a.unknown + e.unknown, 1) << log;
  EXPECT_GE(Rows("Kvx402Zpk"), access);
  EXPECT_LE(Rows("Kvx402Zpk"), access + a.unknown);
  EXPECT_LE(Rows("O2009BUCHPROT"), events + e.unknown);
  EXPECT_EQ(log.substr(log.size() - DbSummary(access, events).size()), DbSummary(access, events))
      << log;
}

// An insert that waits on a lock another session holds, with a query
// timeout of 2 s: its outcome is unknown, the rest are not sent, and the
// other session's transaction is not disturbed.
class LockedTable : public UnansweredServer {
 protected:
  LockedTable() : UnansweredServer(DefaultOptions(), "2") {}
};

TEST_F(LockedTable, TheWaitingInsertIsUnknownAndTheRestNotSent) {
  server_.ApplyOdbcEnvironment();
  tralvo::Database holder;
  ASSERT_EQ(tralvo::ConnectDataSource(holder, "tralvo", "Geheim-42", "TRALVO"), 0);
  ASSERT_EQ(tralvo::RunStatement(holder,
                                 "BEGIN TRANSACTION INSERT INTO KriVax.Kvx402Zpk (ZpkTrm, ZpkLes, "
                                 "ZpkDtm, ZpkUhr, ZpkAsw, ZpkZus, ZpkDat, ZpkLfd) VALUES ('T9', "
                                 "'1', '2009-07-15', '2009-07-15 06:00:00', '1', '100', "
                                 "CURRENT_TIMESTAMP, '001')",
                                 {})
                .code,
            0);
  Clock::time_point start = Clock::now();
  ProcessResult r = Transfer(AccessAndEvents(5, 2));
  EXPECT_LT(SecondsSince(start), 7.0 * kSanitizerSlowdown);
  EXPECT_EQ(r.exitStatus, 0);
  const std::string log = inst_.Log();
  EXPECT_NE(log.find("Insert in Kvx402Zpk Ergebnis unbekannt (Zeitueberschreitung): T1, 4711, "
                     "20090715, 070000\r\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(Logged(log, "Kvx402Zpk").notSent, 6) << log;
  EXPECT_EQ(Logged(log, "O2009BUCHPROT").notSent, 2) << log;
  EXPECT_EQ(log.substr(log.size() - DbSummary(0, 0).size()), DbSummary(0, 0)) << log;
  ASSERT_EQ(tralvo::RunStatement(holder, "COMMIT", {}).code, 0);
  EXPECT_EQ(server_.Query("SELECT ZpkTrm FROM KriVax.Kvx402Zpk"),
            std::vector<std::vector<std::string>>{{"T9"}});
}

// A stop while a statement waits on a server that has gone silent: the
// driver gives the cancelled statement up only when its query timeout runs
// out, and then answers with whatever error it has (HY000 without an error
// number, say). What the server did with it is unknown, whatever that
// answer: an insert is of unknown outcome, and a lookup is unanswered, so
// no time booking line is written with a guessed type or code and no
// known holder is called not found.
struct SilentStatement {
  const char* name;
  int answered;  // batches the server answers before it goes silent
  bool timeBooking;
  const char* entry;  // the log entry of the booking in hand
};

void PrintTo(const SilentStatement& statement, std::ostream* out) {
  *out << statement.name;
}

class StopAtSilentServer : public UnansweredServer,
                           public ::testing::WithParamInterface<SilentStatement> {
 protected:
  StopAtSilentServer() : UnansweredServer(Options(), QueryTimeout().c_str()) {}
  static StandinOptions Options() {
    StandinOptions options = DefaultOptions();
    options.silentAfter = GetParam().answered;
    return options;
  }
  // Long enough that the stop finds the statement still waiting.
  static std::string QueryTimeout() {
    return std::to_string(static_cast<int>(3 * kSanitizerSlowdown));
  }
};

TEST_P(StopAtSilentServer, TheBookingInHandIsUnansweredNeverFailedOrNotFound) {
  if (!WindowsBuildUnderTest().empty()) GTEST_SKIP() << "a POSIX signal";
  Booking inHand = Time("4711", "004");
  if (!GetParam().timeBooking) {
    inHand.marker = "";
    inHand.access = "1";
  }
  inst_.SetRunStop(
      {std::chrono::milliseconds(static_cast<int>(1000 * kSanitizerSlowdown)), SIGTERM});
  ProcessResult r = Transfer(inHand.Line() + Time("4711", "001").Line() + AccessAndEvents(2, 1));
  EXPECT_EQ(r.exitStatus, 128 + SIGTERM);
  const std::string log = inst_.Log();
  EXPECT_NE(
      log.find(std::string(GetParam().entry) + " (Stoppsignal): T1, 4711, 20090715, 073005\r\n"),
      std::string::npos)
      << log;
  EXPECT_EQ(Occurrences(log, "fehlgeschlagen"), 0) << log;
  EXPECT_EQ(Occurrences(log, "nicht gefunden"), 0) << log;
  EXPECT_EQ(inst_.TimeBookings(), "");
  EXPECT_NE(log.find("Uebergabe angehalten (Stoppsignal)"), std::string::npos) << log;
  EXPECT_EQ(log.substr(log.size() - DbSummary(0, 0).size()), DbSummary(0, 0)) << log;
}

INSTANTIATE_TEST_SUITE_P(
    EachStatement, StopAtSilentServer,
    ::testing::Values(
        SilentStatement{"BadgeLookup", 1, true,
                        "Zeitbuchung nicht geschrieben, Abfrage Schema/Personalnr. ohne Antwort"},
        SilentStatement{"BookingTypeLookup", 2, true,
                        "Zeitbuchung nicht geschrieben, Abfrage Buchungstyp ohne Antwort"},
        SilentStatement{"CodeMappingLookup", 3, true,
                        "Zeitbuchung nicht geschrieben, Abfrage Buchungsart-Ersatz ohne Antwort"},
        SilentStatement{"AccessInsert", 1, false, "Insert in Kvx402Zpk Ergebnis unbekannt"}),
    [](const ::testing::TestParamInfo<SilentStatement>& each) { return each.param.name; });

class SilentLogin : public UnansweredServer {
 protected:
  SilentLogin() : UnansweredServer(Options(), "5") {
    inst_.WriteConfig(tralvo::ConfigSettings{server_options_user_, server_options_password_,
                                             "MSSQL", "TRALVO", "30", "5"});
  }
  static StandinOptions Options() {
    StandinOptions options = DefaultOptions();
    options.silentLogin = true;
    return options;
  }
};

// A connect in progress cannot be cancelled, but no booking has been read:
// the run ends at once with the stop's status, the log gets the stop entry
// alone (the run never connected), and the target files stay as opened.
TEST_F(SilentLogin, AStopEndsTheRunAtOnce) {
  if (!WindowsBuildUnderTest().empty()) GTEST_SKIP() << "a POSIX signal";
  const auto after = std::chrono::milliseconds(static_cast<int>(500 * kSanitizerSlowdown));
  inst_.SetRunStop({after, SIGTERM});
  Clock::time_point start = Clock::now();
  ProcessResult r = Transfer(AccessAndEvents(2, 1));
  EXPECT_LT(SecondsSince(start), (after.count() / 1000.0 + 1.0) * kSanitizerSlowdown);
  EXPECT_EQ(r.exitStatus, 128 + SIGTERM);
  EXPECT_EQ(inst_.Log(),
            "Uebergabe angehalten (Stoppsignal), Quelldatei nicht zu Ende gelesen\r\n");
  EXPECT_EQ(inst_.TimeBookings(), "");
  EXPECT_EQ(inst_.CostCentres(), "");
}

}  // namespace
}  // namespace testsupport
