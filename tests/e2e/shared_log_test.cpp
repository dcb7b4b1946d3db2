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

class SharedLog : public TransferTest {
 protected:
  // The bookings of one run that each leave one entry in the log, and the
  // log that one run alone leaves with them (in any order of whole lines,
  // when runs share the log).
  static std::string UnknownBadges(int count) {
    std::string bookings;
    for (int i = 0; i < count; ++i) bookings += Time(std::to_string(90000 + i)).Line();
    return bookings;
  }

  // Starts count runs of bookings.txt at once, each with targets of its
  // own, and waits for them all.
  std::vector<ProcessResult> RunAtOnce(int count, const std::map<std::string, std::string>& odbc) {
    std::vector<ProcessResult> results(count);
    std::vector<std::thread> runs;
    for (int run = 0; run < count; ++run) {
      runs.emplace_back([&, run] {
        const std::string n = std::to_string(run);
        results[run] =
            inst_.Run({"T1", "bookings.txt", "zeit" + n + ".txt", "kst" + n + ".txt"}, odbc);
      });
    }
    for (std::thread& run : runs) run.join();
    return results;
  }

  static std::string OneRunsLog(int count) {
    std::string log = Header();
    for (int i = 0; i < count; ++i)
      log += std::to_string(90000 + i) + ", 20090715, Schema/Personalnr. nicht gefunden :\r\n";
    return log + Summary(0, 0, 0, 0);
  }
};

std::map<std::string, int> LineCounts(const std::string& text) {
  std::map<std::string, int> counts;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) ++counts[line];
  return counts;
}

TEST_F(SharedLog, FourConcurrentRunsLoseNoEntry) {
  constexpr int kRuns = 4;
  constexpr int kBookings = 150;  // badges nobody holds: one log entry each
  inst_.WriteBookings(UnknownBadges(kBookings));

  // The data source files are written once, before any run reads them.
  const std::map<std::string, std::string> odbc = server_.OdbcEnvironment("TRALVO");
  std::vector<ProcessResult> results = RunAtOnce(kRuns, odbc);
  for (const ProcessResult& result : results) EXPECT_EQ(result.exitStatus, 0) << result.errors;

  // The log holds what one run alone writes, four times over, in any
  // order of whole lines: nothing lost, doubled, split or run together.
  const std::string single = OneRunsLog(kBookings);
  std::map<std::string, int> expected = LineCounts(single);
  for (auto& [line, count] : expected) count *= kRuns;
  const std::string log = inst_.Log();
  EXPECT_EQ(log.size(), kRuns * single.size());
  EXPECT_EQ(LineCounts(log), expected);
}

// A program that holds the log open without sharing it for writing holds
// it up for a while; the runs wait for it, briefly, and lose nothing.
TEST_F(SharedLog, AReaderThatSharesTheLogWithNobodyLosesNoEntry) {
  if (WindowsBuildUnderTest().empty()) GTEST_SKIP() << "sharing modes are Windows'";
  constexpr int kRuns = 8;
  constexpr int kBookings = 25;
  inst_.WriteBookings(UnknownBadges(kBookings));
  WriteFileBytes(inst_.logPath(), "");
  const std::map<std::string, std::string> odbc = server_.OdbcEnvironment("TRALVO");
  const std::string marker = inst_.work() + "/held";
  std::thread holder([&] {
    RunProcess({WineRunner(), WindowsBuildUnderTest() + "/tests/e2e/hold_unshared.exe",
                "../../Quorvex_php/log/TralvoLog.txt", "3000", "held"},
               inst_.work(), "", {}, std::chrono::seconds(60));
  });
  while (!FileExists(marker)) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::vector<ProcessResult> results = RunAtOnce(kRuns, odbc);
  holder.join();
  for (const ProcessResult& result : results) EXPECT_EQ(result.exitStatus, 0) << result.errors;
  std::map<std::string, int> expected = LineCounts(OneRunsLog(kBookings));
  for (auto& [line, count] : expected) count *= kRuns;
  EXPECT_EQ(LineCounts(inst_.Log()), expected);
}

}  // namespace
}  // namespace testsupport
