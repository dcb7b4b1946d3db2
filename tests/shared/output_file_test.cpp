// Target files report every byte they could not write.
#include "shared/output_file.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace tralvo {
namespace {

TEST(OutputFile, WritesBytesUnchangedAndEmptiesAnExistingFile) {
  testsupport::TempDir dir;
  testsupport::WriteFileBytes(dir / "out", "old content");
  OutputFile file;
  ASSERT_TRUE(file.Open(dir / "out"));
  EXPECT_TRUE(file.Write("a\nb\r\n\xFC"));
  EXPECT_TRUE(file.Close());
  EXPECT_EQ(testsupport::ReadFileBytes(dir / "out"), "a\nb\r\n\xFC");
}

TEST(OutputFile, AWriteThatSucceededHasReachedTheSystem) {
  // The loop counts a booking once its write succeeded, so the bytes must
  // not wait in a buffer where a later failure would lose them.
  testsupport::TempDir dir;
  OutputFile file;
  ASSERT_TRUE(file.Open(dir / "out"));
  EXPECT_TRUE(file.Write("first record\n"));
  EXPECT_EQ(testsupport::ReadFileBytes(dir / "out"), "first record\n");
  OutputFile full;
  if (full.Open("/dev/full")) {
    EXPECT_FALSE(full.Write("x"));
  }
}

TEST(OutputFile, FullDiskIsAFailureThatSticks) {
  OutputFile file;
  if (!file.Open("/dev/full")) GTEST_SKIP() << "no /dev/full";
  std::string record(82, 'x');
  bool allWritten = true;
  for (int i = 0; i < 10000 && allWritten; ++i) allWritten = file.Write(record);
  bool flushed = file.Flush();
  EXPECT_FALSE(allWritten && flushed);
  EXPECT_TRUE(file.failed());
  EXPECT_FALSE(file.Write("more"));
  EXPECT_FALSE(file.Close());
}

TEST(OutputFile, UnwritablePathDoesNotOpen) {
  OutputFile file;
  EXPECT_FALSE(file.Open("/nonexistent/folder/out"));
  EXPECT_FALSE(file.Write("x"));
}

}  // namespace
}  // namespace tralvo
