// Target files hold whole records only and say how many records they lost.
#include "shared/output_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <optional>

#include "shared/stop_requests.h"
#include "small_disk.h"
#include "test_support.h"

namespace tralvo {
namespace {

// Record i of a series: `size` bytes that tell it from every other record.
std::string Record(size_t size, int i) {
  std::string number = std::to_string(i) + ";";
  std::string record;
  while (record.size() < size) record += number;
  record.resize(size);
  return record;
}

std::string Records(size_t size, int count) {
  std::string bytes;
  for (int i = 0; i < count; ++i) bytes += Record(size, i);
  return bytes;
}

// The write calls this process has made so far.
long WriteCalls() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long value = 0;
  while (io >> key >> value)
    if (key == "syscw:") return value;
  return -1;
}

TEST(OutputFile, WritesRecordsUnchangedAndEmptiesAnExistingFile) {
  testsupport::TempDir dir;
  // Large enough that the cut, which runs beside the writer, is still
  // going when the first records reach the system.
  testsupport::WriteFileBytes(dir / "out", std::string(8 << 20, 'o'));
  OutputFile file;
  ASSERT_TRUE(file.Open(dir / "out"));
  EXPECT_TRUE(file.Write("a\nb\r\n\xFC"));
  EXPECT_TRUE(file.Write(""));
  EXPECT_TRUE(file.Write(std::string(100000, 'x')));  // larger than the buffer
  EXPECT_TRUE(file.Close());
  EXPECT_EQ(testsupport::ReadFileBytes(dir / "out"), "a\nb\r\n\xFC" + std::string(100000, 'x'));
  EXPECT_EQ(file.lostRecords(), 0);
}

TEST(OutputFile, HundredThousandRecordsTakeFewWriteCalls) {
  testsupport::TempDir dir;
  OutputFile file;
  ASSERT_TRUE(file.Open(dir / "out"));
  long before = WriteCalls();
  if (before < 0) GTEST_SKIP() << "the system does not count write calls";
  for (int i = 0; i < 100000; ++i) ASSERT_TRUE(file.Write(Record(32, i)));
  ASSERT_TRUE(file.Flush());
  EXPECT_LE(WriteCalls() - before, 2000);
  EXPECT_TRUE(file.Close());
  EXPECT_EQ(testsupport::ReadFileBytes(dir / "out"), Records(32, 100000));
}

TEST(OutputFile, DiskThatFillsKeepsWholeRecordsAndCountsTheLostOnes) {
  // Record sizes of the time booking file, the cost-centre file, and one
  // that no page size is a multiple of; the last written here, where the
  // stops are not handled, the others beside the run.
  for (size_t size : {82, 32, 7}) {
    std::optional<StopRequests> stops;
    if (size != 7) stops.emplace();
    testsupport::SmallDisk disk(8192);
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small disk here";
    OutputFile file;
    ASSERT_TRUE(file.Open(disk / "out"));
    int accepted = 0;
    while (accepted < 100000 && file.Write(Record(size, accepted))) ++accepted;
    EXPECT_FALSE(file.Flush());
    EXPECT_FALSE(file.Close());
    EXPECT_TRUE(file.failed());
    EXPECT_FALSE(file.Write("more"));

    std::string bytes = testsupport::ReadFileBytes(disk / "out");
    ASSERT_GT(bytes.size(), 0u) << size;
    EXPECT_EQ(bytes.size() % size, 0u) << size;
    int whole = static_cast<int>(bytes.size() / size);
    EXPECT_EQ(bytes, Records(size, whole)) << size;
    EXPECT_EQ(accepted - file.lostRecords(), whole) << size;
  }
}

TEST(OutputFile, FullDeviceLosesEveryRecordAndSaysSo) {
  StopRequests stops;
  OutputFile file;
  if (!file.Open("/dev/full")) GTEST_SKIP() << "no /dev/full";
  int accepted = 0;
  while (accepted < 10000 && file.Write(Record(82, accepted))) ++accepted;
  EXPECT_FALSE(file.Flush());
  EXPECT_TRUE(file.failed());
  EXPECT_FALSE(file.Close());
  EXPECT_EQ(file.lostRecords(), accepted);
}

TEST(OutputFile, RunStoppedWhileWritingLeavesWholeRecords) {
  // A process writing as fast as it can is mostly inside a write when the
  // signal comes; a write cut there would end the file in part of a record.
  // With the stop requests handled, buffers are written beside the run and
  // it takes a second request to end the process.
  for (int attempt = 0; attempt < 12; ++attempt) {
    const bool handled = attempt % 2 == 1;
    testsupport::TempDir dir;
    const std::string thousand = Records(82, 1000);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::optional<StopRequests> stops;
      if (handled) stops.emplace();
      OutputFile file;
      if (!file.Open(dir / "out")) _exit(1);
      for (size_t at = 0; file.Write(std::string_view(thousand).substr(at, 82));)
        at = (at + 82) % thousand.size();
      _exit(2);
    }
    usleep(static_cast<useconds_t>(1000 + 500 * attempt));
    kill(child, SIGTERM);
    if (handled) {
      usleep(1000);
      kill(child, SIGTERM);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    std::string bytes = testsupport::ReadFileBytes(dir / "out");
    ASSERT_EQ(bytes.size() % 82, 0u) << "attempt " << attempt;
    for (size_t at = 0; at < bytes.size(); at += thousand.size())
      ASSERT_EQ(bytes.compare(at, thousand.size(), thousand, 0, bytes.size() - at), 0);
  }
}

TEST(OutputFile, UnwritablePathDoesNotOpen) {
  OutputFile file;
  EXPECT_FALSE(file.Open("/nonexistent/folder/out"));
  EXPECT_FALSE(file.Write("x"));
}

}  // namespace
}  // namespace tralvo
