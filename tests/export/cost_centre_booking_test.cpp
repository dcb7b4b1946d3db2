// Cost-centre records: exact bytes, the too-long columns, and the records
// that cannot keep the 32-byte width.
#include "export/cost_centre_booking.h"

#include <gtest/gtest.h>

#include "console_capture.h"
#include "export/booking_report.h"
#include "input/booking_splitter.h"
#include "shared/output_file.h"
#include "test_support.h"

namespace tralvo {
namespace {

class CostCentreBooking : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(file.Open(dir / "kst.txt")); }

  int Export(const std::string& badge, const std::string& date, const std::string& time,
             const std::string& costCentre) {
    // The record reads the line's own bytes.
    std::string line =
        badge + ",," + date + "," + time + ",,T1,1,000," + costCentre + ",,,,,,,50p\n";
    FieldList record;
    SplitBookingLine(line, record);
    return ExportCostCentreBooking(file, report, record);
  }

  std::string File() {
    file.Flush();
    return testsupport::ReadFileBytes(dir / "kst.txt");
  }
  std::string Log() { return testsupport::ReadFileBytes(dir / "log.txt"); }

  testsupport::TempDir dir;
  testsupport::ConsoleCapture console;
  BookingReport report{console.stream(), false, "T1", dir / "log.txt"};
  OutputFile file;
};

TEST_F(CostCentreBooking, RecordsFollowOneAnotherWithoutSeparators) {
  EXPECT_EQ(Export("1234", "20091224", "074512", "42"), 0);
  EXPECT_EQ(Export("1234567890123", "20100101", "000000", "1234567"), 0);
  EXPECT_EQ(File(),
            "241209074512"
            "1234         "
            "0000042"
            "010110000000"
            "1234567890123"
            "1234567");
  EXPECT_EQ(report.counters().costCentreBookings, 2);
  EXPECT_EQ(console.text(), "");
  EXPECT_EQ(Log(), "");
}

TEST_F(CostCentreBooking, ValuesOfEveryLengthThatFitsKeepTheirBytesAndAlignment) {
  std::string expected;
  for (size_t n = 0; n <= 13; ++n) {
    std::string badge = std::string("ABCDEFGHIJKLM").substr(0, n);
    std::string costCentre = std::string("9876543").substr(0, n % 8);
    ASSERT_EQ(Export(badge, "20091224", "074512", costCentre), 0);
    expected += "241209074512" + badge + std::string(13 - n, ' ') +
                std::string(7 - costCentre.size(), '0') + costCentre;
  }
  EXPECT_EQ(File(), expected);
}

TEST_F(CostCentreBooking, TooLongValuesLeaveTheirColumnEmptyAndAreReported) {
  EXPECT_EQ(Export("12345678901234", "20091224", "074512", "12345678"), 0);
  EXPECT_EQ(File(), "241209074512             0000000");
  EXPECT_EQ(Log(),
            "----> Ausweis-ID zu lang :12345678901234\r\n"
            "----> Kostenstelle zu lang :12345678\r\n");
  EXPECT_EQ(console.text(),
            "----> Ausweis-ID zu lang :12345678901234----> Kostenstelle zu lang :12345678");
  EXPECT_EQ(report.counters().costCentreBookings, 1);
}

TEST_F(CostCentreBooking, DateOrTimeOfAnotherLengthIsRefusedNotWrittenShifted) {
  EXPECT_EQ(Export("1", "2009122", "074512", "1"), -1);
  EXPECT_EQ(Export("1", "20091224", "0745", "1"), -1);
  EXPECT_EQ(Export("1", "20091224", "0745121", "1"), -1);
  EXPECT_EQ(Export("1", "", "", "1"), -1);
  EXPECT_EQ(File(), "");
  EXPECT_EQ(report.counters().costCentreBookings, 0);
  EXPECT_EQ(report.notTransferred().malformed, 4);
  EXPECT_EQ(Log(),
            "----> Buchungsdatum ungueltig :2009122\r\n"
            "----> Buchungszeit ungueltig :0745\r\n"
            "----> Buchungszeit ungueltig :0745121\r\n"
            "----> Buchungsdatum ungueltig :\r\n"
            "----> Buchungszeit ungueltig :\r\n");
  EXPECT_EQ(Export("1", "20091224", "074512", "1"), 0);
  EXPECT_EQ(File().size(), kCostCentreRecordLength);
}

TEST_F(CostCentreBooking, ShortRecordReadsMissingFieldsAsEmpty) {
  FieldList record;
  SplitBookingLine("77,,20091224,074512,,T1,1,000\n", record);
  EXPECT_EQ(ExportCostCentreBooking(file, report, record), 0);
  EXPECT_EQ(File(), "24120907451277           0000000");
}

}  // namespace
}  // namespace tralvo
