// Whole runs of the built tool while the database misbehaves: a
// connection that drops in the middle of a run, a statement that fails
// without a native error, a slow server, a refused login and no server at
// all. Each run must end by itself, report every booking it could not
// transfer and count only what arrived.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>

#include "config/config_file_writer.h"
#include "loop_harness.h"
#include "transfer_fixture.h"

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kInsertFailed = " Insert in Kvx402Zpk fehlgeschlagen, Fehler ";
constexpr const char* kInsertUnknown = "Insert in Kvx402Zpk Ergebnis unbekannt (";
constexpr const char* kInsertNotSent =
    "Insert in Kvx402Zpk nicht gesendet (Verbindung aufgegeben nach ";
constexpr const char* kConnectFailed = "Datenbankverbindung fehlgeschlagen, Fehler: -1\n";

// n access bookings of badge 4711, a minute apart so none is a duplicate.
std::string AccessBookings(int n) {
  std::string file;
  for (int i = 0; i < n; ++i) {
    char time[8];
    std::snprintf(time, sizeof time, "07%02d00", i);
    file += std::string("4711,-,20090715,") + time + ",-,T1,3,001,KST1,-,,1,,,-,40p\r\n";
  }
  return file;
}

long AccessRowCount(const Standin& server) {
  return std::stol(server.Query("SELECT COUNT(*) FROM KriVax.Kvx402Zpk")[0][0]);
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

template <int kDropAfter>
class DroppedConnection : public TransferTest {
 protected:
  DroppedConnection() : TransferTest(Options()) {}
  static StandinOptions Options() {
    StandinOptions options = DefaultOptions();
    options.dropAfter = kDropAfter;
    return options;
  }
};

// The server time and five inserts are answered, then the line goes dead.
class DropAfterSix : public DroppedConnection<6> {};

TEST_F(DropAfterSix, RunGoesOnToItsEndReportsEveryLaterBookingAndCountsWhatArrived) {
  Clock::time_point start = Clock::now();
  ProcessResult r = Transfer(AccessBookings(20) +
                             "4711,-,20090715,073005,-,T1,3,001,KST1,-,X,,,,-,"
                             "40p\r\n"
                             "4711,-,20090715,073005,-,T1,3,001,KST1,-,,,,,-,"
                             "50p\r\n");
  EXPECT_LT(SecondsSince(start), 20.0);
  long arrived = AccessRowCount(server_);
  EXPECT_EQ(arrived, 5);
  // The insert that met the drop may have arrived: its outcome is unknown.
  // Nothing more is sent; every later booking is reported as not sent, the
  // time booking too; the cost-centre file needs no database.
  EXPECT_EQ(Occurrences(r.output, kInsertFailed), 0) << r.output;
  std::string log = inst_.Log();
  EXPECT_EQ(Occurrences(log, std::string(kInsertUnknown) + "Verbindungsabbruch): T1, 4711, "
                                                           "20090715, 070500\r\n"),
            1)
      << log;
  EXPECT_EQ(Occurrences(log, kInsertNotSent), 14) << log;
  EXPECT_NE(log.find("Zeitbuchung nicht geschrieben, Abfrage Schema/Personalnr. nicht gesendet"),
            std::string::npos)
      << log;
  // The server time, five inserts and the one that met the drop; no more.
  EXPECT_EQ(server_.Statements().size(), 7u);
  EXPECT_EQ(log.substr(log.size() - Summary(0, 5, 1, 0).size()), Summary(0, 5, 1, 0));
  EXPECT_EQ(inst_.TimeBookings(), "");
  EXPECT_EQ(inst_.CostCentres().size(), 32u);
}

// Only the server time is answered: the header still comes, every booking
// fails.
class DropAfterOne : public DroppedConnection<1> {};

TEST_F(DropAfterOne, NothingArrivesAndNothingIsCounted) {
  ProcessResult r = Transfer(AccessBookings(3));
  EXPECT_EQ(AccessRowCount(server_), 0);
  // The console and the log, where an unattended run is looked at, name
  // every one, none of them as refused.
  EXPECT_EQ(Occurrences(r.output, " Insert in Kvx402Zpk "), 3) << r.output;
  std::string log = inst_.Log();
  EXPECT_EQ(Occurrences(log, kInsertUnknown), 1) << log;
  EXPECT_EQ(Occurrences(log, kInsertNotSent), 2) << log;
  EXPECT_EQ(log.substr(log.size() - Summary(0, 0, 0, 0).size()), Summary(0, 0, 0, 0));
}

class NativeErrorZero : public TransferTest {
 protected:
  NativeErrorZero() : TransferTest(Options()) {}
  static StandinOptions Options() {
    StandinOptions options = DefaultOptions();
    options.fail = {"Kvx402Zpk=0", "O2009BUCHPROT=0", "AswPnr=0"};
    return options;
  }
};

TEST_F(NativeErrorZero, IsAFailureForInsertsEventsAndLookups) {
  ProcessResult r = Transfer(AccessBookings(2) +
                             "4711,-,20090715,073005,-,T1,3,001,KST1,-,,,17,,-,dta\r\n"
                             "4711,-,20090715,073005,-,T1,3,001,KST1,-,X,,,,-,40p\r\n");
  EXPECT_EQ(r.exitStatus, 0);
  // Two access rows and the access row of the event fail and say so;
  // the event is not counted; the time booking finds no holder.
  EXPECT_EQ(Occurrences(r.output, std::string(kInsertFailed) + "-1\n"), 3) << r.output;
  EXPECT_NE(inst_.Log().find("Schema/Personalnr. nicht gefunden"), std::string::npos);
  std::string log = inst_.Log();
  EXPECT_EQ(log.substr(log.size() - Summary(0, 0, 0, 0).size()), Summary(0, 0, 0, 0));
}

class SlowServer : public TransferTest {
 protected:
  SlowServer() : TransferTest(Options()) {}
  static StandinOptions Options() {
    StandinOptions options = DefaultOptions();
    options.delayMs = 150;
    return options;
  }
};

TEST_F(SlowServer, RunCompletesWithEverythingTransferred) {
  ProcessResult r = Transfer(AccessBookings(8));
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.output, "");
  EXPECT_EQ(AccessRowCount(server_), 8);
  EXPECT_EQ(inst_.Log(), Header() + Summary(0, 8, 0, 0));
}

class RefusedLogin : public TransferTest {
 protected:
  RefusedLogin() : TransferTest(Options()) {}
  static StandinOptions Options() {
    StandinOptions options = DefaultOptions();
    options.refuseLogin = true;
    return options;
  }
};

TEST_F(RefusedLogin, IsTheConnectionFailurePathAndFast) {
  Clock::time_point start = Clock::now();
  ProcessResult r = Transfer(AccessBookings(3));
  EXPECT_LT(SecondsSince(start), 10.0);
  EXPECT_EQ(r.exitStatus, 5);
  EXPECT_EQ(r.output, kConnectFailed);
  EXPECT_EQ(inst_.Log(), "\r\n\r\nDatenbankverbindung fehlgeschlagen, Fehler: -1\r\n");
  EXPECT_EQ(inst_.TimeBookings(), "");
  EXPECT_EQ(server_.Statements(), std::vector<std::string>{});
}

// A server that accepts the connection and then says nothing, at the login
// or in the middle of a run, must end the run within the configured
// timeouts: a hung scheduled run blocks every later one.
template <bool kSilentLogin, int kSilentAfter>
class SilentServer : public TransferTest {
 protected:
  SilentServer() : TransferTest(Options()) {
    inst_.WriteConfig(tralvo::ConfigSettings{server_options_user_, server_options_password_,
                                             "MSSQL", "TRALVO", "2", "2"});
    inst_.SetRunTimeout(std::chrono::seconds(30));
  }
  static StandinOptions Options() {
    StandinOptions options = DefaultOptions();
    options.silentLogin = kSilentLogin;
    options.silentAfter = kSilentAfter;
    return options;
  }
};

class SilentAtLogin : public SilentServer<true, -1> {};

TEST_F(SilentAtLogin, IsTheConnectionFailurePathWithinTheLoginTimeout) {
  Clock::time_point start = Clock::now();
  ProcessResult r = Transfer(AccessBookings(3), true);
  EXPECT_FALSE(r.timedOut);
  EXPECT_LT(SecondsSince(start), 8.0);
  EXPECT_EQ(r.exitStatus, 6);
  EXPECT_EQ(r.output.rfind(kConnectFailed, 0), 0u) << r.output;
  EXPECT_NE(r.output.find("SQLSTATE: "), std::string::npos) << r.output;
  EXPECT_EQ(inst_.Log(), "\r\n\r\nDatenbankverbindung fehlgeschlagen, Fehler: -1\r\n");
}

// The server time and one insert are answered; then the server goes
// silent with the connection open.
class SilentMidRun : public SilentServer<false, 2> {};

TEST_F(SilentMidRun, TheFirstTimeoutGivesTheConnectionUpAndTheRunEnds) {
  Clock::time_point start = Clock::now();
  ProcessResult r = Transfer(
      AccessBookings(3) + "4711,-,20090715,073005,-,T1,3,001,KST1,-,,,17,,-,dta\r\n", true);
  EXPECT_FALSE(r.timedOut);
  EXPECT_LT(SecondsSince(start), 20.0);
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(AccessRowCount(server_), 1);
  // The statement that timed out may have done its work; the later ones
  // are never sent. Each booking is reported, and the summary follows.
  EXPECT_EQ(Occurrences(r.output, kInsertFailed), 0) << r.output;
  EXPECT_EQ(Occurrences(r.output, "SQLSTATE: HYT00"), 1) << r.output;
  std::string log = inst_.Log();
  EXPECT_EQ(Occurrences(log, std::string(kInsertUnknown) + "Zeitueberschreitung)"), 1) << log;
  EXPECT_EQ(Occurrences(log, kInsertNotSent), 2) << log;
  EXPECT_EQ(Occurrences(log, "Insert in O2009BUCHPROT nicht gesendet"), 1) << log;
  EXPECT_EQ(log.substr(log.size() - Summary(0, 1, 0, 0).size()), Summary(0, 1, 0, 0));
}

// The values the driver manager's trace shows set for an attribute, in
// the order they were set.
std::vector<std::string> TracedValues(const std::string& trace, const std::string& attribute) {
  std::vector<std::string> values;
  const std::string key = "Attribute = " + attribute + "\n";
  for (size_t at = trace.find(key); at != std::string::npos; at = trace.find(key, at + 1)) {
    size_t value = trace.find("Value = ", at) + 8;
    values.push_back(trace.substr(value, trace.find('\n', value) - value));
  }
  return values;
}

class DefaultTimeouts : public TransferTest {};

// Without timeout settings the login may take 30 seconds and each
// statement 60, set through the standard attributes that any driver
// honours (the silent-server tests show the driver keeps to them); the
// driver manager's trace shows what the run asked for.
TEST_F(DefaultTimeouts, AreSetThroughTheStandardAttributes) {
  if (!WindowsBuildUnderTest().empty()) GTEST_SKIP() << "reads the trace of unixODBC";
  std::map<std::string, std::string> env = server_.OdbcEnvironment("TRALVO");
  const std::string trace = inst_.root() + "/odbc.trace";
  {
    std::ofstream odbcinst(env["ODBCSYSINI"] + "/odbcinst.ini", std::ios::app);
    odbcinst << "\n[ODBC]\nTrace = Yes\nTraceFile = " << trace << "\n";
  }
  inst_.WriteBookings(AccessBookings(2));
  ASSERT_EQ(inst_.Transfer("T1", false, env).exitStatus, 0);
  const std::string calls = ReadFileBytes(trace);
  EXPECT_EQ(TracedValues(calls, "SQL_ATTR_LOGIN_TIMEOUT"), std::vector<std::string>{"0x1e"});
  EXPECT_LT(calls.find("SQL_ATTR_LOGIN_TIMEOUT"), calls.find("SQLConnect.c"));
  // The server time and two inserts, each with its own limit.
  EXPECT_EQ(TracedValues(calls, "SQL_ATTR_QUERY_TIMEOUT"), std::vector<std::string>(3, "0x3c"));
  EXPECT_EQ(Occurrences(calls, "SQL = ["), 3);
}

// An installation's trigger that rolls an insert back answers with a row
// count and then an error: the row is not there, so the booking is not
// counted, and it is reported like any failed insert.
class RolledBack : public TransferTest {
 protected:
  RolledBack() : TransferTest(Options()) {}
  static StandinOptions Options() {
    StandinOptions options = DefaultOptions();
    options.rollBack = {"Kvx402Zpk.*07:01:00=3609", "O2009BUCHPROT=50000"};
    return options;
  }
};

TEST_F(RolledBack, InsertIsAFailureNotCountedAndReported) {
  ProcessResult r =
      Transfer(AccessBookings(3) + "4711,-,20090715,073005,-,T1,3,001,KST1,-,,,17,,-,dta\r\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(AccessRowCount(server_), 3);
  EXPECT_EQ(server_.Query("SELECT COUNT(*) FROM KRIVAX.O2009BUCHPROT")[0][0], "0");
  EXPECT_EQ(r.output, std::string(kInsertFailed) + "3609\n");
  std::string log = inst_.Log();
  EXPECT_EQ(log, Header() +
                     "Insert in Kvx402Zpk fehlgeschlagen, Fehler 3609: T1, 4711, 20090715, "
                     "070100\r\n"
                     "Insert in O2009BUCHPROT fehlgeschlagen, Fehler 50000: T1, 4711, 20090715, "
                     "073005\r\n" +
                     Summary(0, 3, 0, 0));
}

TEST(NoServer, ListeningIsTheConnectionFailurePathAndFast) {
  // A stand-in started and stopped again leaves a port nobody listens on.
  Installation inst;
  std::map<std::string, std::string> env;
  MakeDirs(inst.root() + "/server");
  {
    Standin server(inst.root() + "/server");
    env = server.OdbcEnvironment("TRALVO");
  }
  inst.WriteConfig("tralvo", "Geheim-42", "TRALVO");
  inst.WriteBookings(AccessBookings(3));
  Clock::time_point start = Clock::now();
  ProcessResult r = inst.Transfer("T1", true, env);
  EXPECT_LT(SecondsSince(start), 10.0);
  EXPECT_EQ(r.exitStatus, 6);
  EXPECT_EQ(r.output.rfind(kConnectFailed, 0), 0u) << r.output;
  EXPECT_EQ(inst.Log(), "\r\n\r\nDatenbankverbindung fehlgeschlagen, Fehler: -1\r\n");
}

}  // namespace
}  // namespace testsupport
