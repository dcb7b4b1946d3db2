// Runs of several terminals at once, each appending its entries to the one
// transfer log of the installation: every entry of every run arrives,
// whole and exactly once.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <thread>

#include "transfer_fixture.h"

namespace testsupport {
namespace {

class SharedLog : public TransferTest {};

std::map<std::string, int> LineCounts(const std::string& text) {
  std::map<std::string, int> counts;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) ++counts[line];
  return counts;
}

TEST_F(SharedLog, FourConcurrentRunsLoseNoEntry) {
  constexpr int kRuns = 4;
  constexpr int kBookings = 150;  // badges nobody holds: one log entry each
  std::string bookings;
  for (int i = 0; i < kBookings; ++i) bookings += Time(std::to_string(90000 + i)).Line();
  inst_.WriteBookings(bookings);

  // The data source files are written once, before any run reads them.
  const std::map<std::string, std::string> odbc = server_.OdbcEnvironment("TRALVO");
  std::vector<ProcessResult> results(kRuns);
  std::vector<std::thread> runs;
  for (int run = 0; run < kRuns; ++run) {
    runs.emplace_back([&, run] {
      const std::string n = std::to_string(run);
      results[run] =
          inst_.Run({"T1", "bookings.txt", "zeit" + n + ".txt", "kst" + n + ".txt"}, odbc);
    });
  }
  for (std::thread& run : runs) run.join();
  for (const ProcessResult& result : results) EXPECT_EQ(result.exitStatus, 0) << result.errors;

  // The log holds what one run alone writes, four times over, in any
  // order of whole lines: nothing lost, doubled, split or run together.
  std::string single = Header();
  for (int i = 0; i < kBookings; ++i)
    single += std::to_string(90000 + i) + ", 20090715, Schema/Personalnr. nicht gefunden :\r\n";
  single += Summary(0, 0, 0, 0);
  std::map<std::string, int> expected = LineCounts(single);
  for (auto& [line, count] : expected) count *= kRuns;
  const std::string log = inst_.Log();
  EXPECT_EQ(log.size(), kRuns * single.size());
  EXPECT_EQ(LineCounts(log), expected);
}

}  // namespace
}  // namespace testsupport
