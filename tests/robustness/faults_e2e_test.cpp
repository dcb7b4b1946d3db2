// Whole runs of the built tool while the database misbehaves: a
// connection that drops in the middle of a run, a statement that fails
// without a native error, a slow server, a refused login and no server at
// all. Each run must end by itself, report every booking it could not
// transfer and count only what arrived.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "loop_harness.h"
#include "transfer_fixture.h"

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kInsertFailed = " Insert in Kvx402Zpk fehlgeschlagen, Fehler ";
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
  // Every access booking that did not arrive is reported, the time
  // booking after the drop too; the cost-centre file needs no database.
  EXPECT_EQ(Occurrences(r.output, kInsertFailed), 20 - arrived) << r.output;
  std::string log = inst_.Log();
  EXPECT_NE(log.find("Schema/Personalnr. nicht gefunden"), std::string::npos) << log;
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
  EXPECT_EQ(Occurrences(r.output, kInsertFailed), 3);
  EXPECT_EQ(inst_.Log(), Header() + Summary(0, 0, 0, 0));
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
