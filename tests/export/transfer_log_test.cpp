// The transfer log's bytes and its rotation at the size limit.
#include "export/transfer_log.h"

#include <gtest/gtest.h>

#include "config/installation.h"
#include "test_support.h"

namespace tralvo {
namespace {

using testsupport::FileExists;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

TEST(TransferLog, EntriesEndInCarriageReturnAndLineFeed) {
  TempDir dir;
  std::string log = dir / "TralvoLog.txt";
  EXPECT_TRUE(WriteLog(log, "erste"));
  EXPECT_TRUE(WriteLog(log, "\nzwei\nZeilen\n"));
  EXPECT_TRUE(WriteLog(log, std::string("\xDC\xFC", 2)));
  EXPECT_EQ(ReadFileBytes(log), "erste\r\n\r\nzwei\r\nZeilen\r\n\r\n\xDC\xFC\r\n");
}

TEST(TransferLog, MissingFolderDropsTheEntrySilently) {
  TempDir dir;
  EXPECT_FALSE(WriteLog(dir / "missing/TralvoLog.txt", "text"));
  EXPECT_FALSE(FileExists(dir / "missing"));
}

TEST(TransferLog, BackupSitsBesideTheLog) {
  EXPECT_EQ(LogBackupPath(NativePath(kTransferLogPath)), NativePath(kTransferLogBackupPath));
  EXPECT_EQ(LogBackupPath("log"), "log_bak");
}

class TransferLogRotation : public ::testing::Test {
 protected:
  TempDir dir;
  std::string log = dir / "TralvoLog.txt";
  std::string backup = dir / "TralvoLog_bak.txt";
};

TEST_F(TransferLogRotation, ExactlyAtTheLimitStaysOneByteMoreRotates) {
  // An entry of 8 bytes plus CR LF brings the log to exactly the limit.
  WriteFileBytes(log, std::string(kLogSizeLimit - 10, 'a'));
  WriteLog(log, "12345678");
  EXPECT_EQ(ReadFileBytes(log).size(), static_cast<size_t>(kLogSizeLimit));
  EXPECT_FALSE(FileExists(backup));

  WriteLog(log, "x");
  EXPECT_FALSE(FileExists(log));
  std::string rotated = ReadFileBytes(backup);
  EXPECT_EQ(rotated.size(), static_cast<size_t>(kLogSizeLimit + 3));
  EXPECT_EQ(rotated.substr(rotated.size() - 13), "12345678\r\nx\r\n");

  WriteLog(log, "neu");
  EXPECT_EQ(ReadFileBytes(log), "neu\r\n");
}

TEST_F(TransferLogRotation, OlderBackupIsReplaced) {
  WriteFileBytes(backup, "old backup");
  WriteFileBytes(log, std::string(kLogSizeLimit - 60, 'b'));
  WriteLog(log, std::string(100, 'c'));
  EXPECT_FALSE(FileExists(log));
  std::string rotated = ReadFileBytes(backup);
  EXPECT_EQ(rotated.size(), static_cast<size_t>(kLogSizeLimit - 60 + 102));
  EXPECT_EQ(rotated.substr(0, 1), "b");
}

}  // namespace
}  // namespace tralvo
