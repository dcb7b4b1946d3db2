// The access row a booking record becomes, and how InsertAccessBooking
// reports a row that did not arrive, without a server.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "booking_record.h"
#include "console_capture.h"
#include "db/booking_inserts.h"
#include "db/database.h"
#include "input/field_list.h"

namespace tralvo {
namespace {

int32_t RowStatus(const FieldList& record) {
  Database db;
  AccessRow row;
  BuildAccessRow(db, record, row);
  return row.rowStatus;
}

TEST(BuildAccessRow, TakesTheRecordsValues) {
  Database db;
  FieldList record =
      Record({{0, "4711"}, {2, "20090715"}, {3, "073005"}, {5, "T1"}, {6, " 12x"}, {15, "none"}});
  AccessRow row;
  row.rowStatus = 99;
  BuildAccessRow(db, record, row);
  EXPECT_EQ(row.terminalId, "T1");
  EXPECT_EQ(row.badgeNumber, "4711");
  EXPECT_EQ(row.bookingDate, "20090715");
  EXPECT_EQ(row.bookingTime, "073005");
  EXPECT_EQ(row.readerNumber, 12);
  EXPECT_EQ(row.runningNumber, "001");
  EXPECT_EQ(row.rowStatus, 0);  // a kind without a rule
}

TEST(BuildAccessRow, RowStatusByRecordKind) {
  EXPECT_EQ(RowStatus(Record({{15, "40p"}, {11, "S"}})), 203);
  EXPECT_EQ(RowStatus(Record({{15, "40p"}})), 200);
  EXPECT_EQ(RowStatus(Record({{15, "dta"}, {12, "17"}})), 17);
  EXPECT_EQ(RowStatus(Record({{15, "dta"}, {12, "x1"}})), 0);
  // Kinds compare exactly; another case or a blank matches no rule.
  EXPECT_EQ(RowStatus(Record({{15, "40P"}, {11, "S"}})), 0);
  EXPECT_EQ(RowStatus(Record({{15, "dta "}, {12, "17"}})), 0);
  // A zone lookup that fails leaves the status 0.
  EXPECT_EQ(RowStatus(Record({{15, "62p"}, {12, "12"}, {13, "7"}})), 0);
}

TEST(BuildAccessRow, ShortRecordReadsMissingFieldsAsEmpty) {
  FieldList record;
  AppendField(record, "4711");
  Database db;
  AccessRow row;
  BuildAccessRow(db, record, row);
  EXPECT_EQ(row.badgeNumber, "4711");
  EXPECT_EQ(row.terminalId, "");
  EXPECT_EQ(row.rowStatus, 0);
}

TEST(InsertAccessBooking, WithoutAConnectionIsRefusedWithMinusOne) {
  Database db;
  const DbResult result = InsertAccessBooking(db, Record({{15, "40p"}, {11, "1"}}));
  EXPECT_EQ(result.outcome, DbOutcome::kRefused);
  EXPECT_EQ(result.code, -1);
}

}  // namespace
}  // namespace tralvo
