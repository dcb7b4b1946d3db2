// Whole runs of the built tool that end with outcomes the server left
// open: a stop request in the middle of a run, a server that answers too
// late, an insert that waits on another session's lock. A run must end
// within its bounds, never call a row that may be there failed, report
// every booking it did not transfer and write its summary.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>

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

}  // namespace
}  // namespace testsupport
