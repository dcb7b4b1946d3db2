// The access row and event row inserts. The statement forms are the exact
// texts the installation's database is written with; blanks included. The
// reader number and row status of an access row stand in quotes, those of
// an event row without.
#include "db/booking_inserts.h"

#include "db/database.h"
#include "db/lookups.h"
#include "db/statement.h"
#include "input/field_list.h"
#include "shared/int_text.h"

namespace tralvo {

namespace {

constexpr std::string_view kAccessRowForm =
    "INSERT INTO KriVax.Kvx402Zpk    (ZpkTrm, ZpkLes,     ZpkDtm, ZpkUhr,     ZpkAsw, ZpkZus,     "
    "ZpkFcd, ZpkMld,     ZpkDat, ZpkLfd)  VALUES ('%s', '%ld',           convert(DATETIME, '%s', "
    "120),           convert(DATETIME, '%s', 120),          '%s', '%ld',          NULL, NULL,    "
    "      CURRENT_TIMESTAMP, '%s' )";
constexpr std::string_view kEventForm =
    "INSERT INTO KRIVAX.O2009BUCHPROT    (BPRTRM, BPRZLS, BPRAWV,     BPRDAT, BPRDTE, BPRFCD,     "
    "BPRERG, BPRVAR)  VALUES ('%s', %ld, '%s',           convert(DATETIME, '%s', 120),           "
    "convert(DATETIME, '%s', 120),           '%s', %ld, '%s' )";

// The access row's day: the booking date at midnight.
constexpr std::string_view kMidnight = "000000";

}  // namespace

DateTimeText::DateTimeText(std::string_view date, std::string_view time) {
  // Copies count characters of source from start; '?' where it has none.
  auto piece = [this](std::string_view source, size_t start, size_t count) {
    for (size_t i = start; i < start + count; ++i)
      text_[size_++] = i < source.size() ? source[i] : '?';
  };
  piece(date, 0, 4);
  text_[size_++] = '-';
  piece(date, 4, 2);
  text_[size_++] = '-';
  piece(date, 6, 2);
  text_[size_++] = ' ';
  piece(time, 0, 2);
  text_[size_++] = ':';
  piece(time, 2, 2);
  text_[size_++] = ':';
  piece(time, 4, 2);
  if (date.size() > 8 || time.size() > 6) text_[size_++] = '?';
}

int32_t AccessStatusRowStatus(std::string_view accessStatus) {
  switch (accessStatus.empty() ? '\0' : accessStatus[0]) {
    case '1':
      return 100;
    case 'U':
      return 201;
    case 'B':
    case 'Z':
      return 202;
    case 'S':
      return 203;
    case '9':
      return 204;
    default:
      return 200;
  }
}

void BuildAccessRow(Database& db, const FieldList& record, AccessRow& row) {
  row = AccessRow();
  row.terminalId = record[field::kTerminalId];
  row.badgeNumber = record[field::kBadgeNumber];
  row.bookingDate = record[field::kBookingDate];
  row.bookingTime = record[field::kBookingTime];
  row.readerNumber = TextToInt(record[field::kReaderNumber]);
  std::string_view kind = record[field::kRecordKind];
  if (kind == "40p") {
    row.rowStatus = AccessStatusRowStatus(record[field::kAccessStatus]);
  } else if (kind == "62p") {
    // A zone that cannot be found leaves the status 0; the row still goes in.
    int32_t zone = 0;
    if (LookupZoneNumber(db, record[field::kZonePrefix], record[field::kStatusCode], zone).done())
      row.rowStatus = zone;
  } else if (kind == "dta") {
    row.rowStatus = TextToInt(record[field::kStatusCode]);
  }
}

DbResult InsertAccessRow(Database& db, const AccessRow& row) {
  DateTimeText day(row.bookingDate, kMidnight);
  DateTimeText moment(row.bookingDate, row.bookingTime);
  // Values too long for their columns are sent whole: the server refuses
  // the row rather than storing a cut value.
  return RunStatement(db, kAccessRowForm,
                      {row.terminalId, row.readerNumber, day.view(), moment.view(), row.badgeNumber,
                       row.rowStatus, row.runningNumber});
}

DbResult InsertAccessBooking(Database& db, const FieldList& record) {
  AccessRow row;
  BuildAccessRow(db, record, row);
  return InsertAccessRow(db, row);
}

DbResult InsertEventBooking(Database& db, std::string_view terminalId, int32_t readerNumber,
                            std::string_view badge, std::string_view date, std::string_view time,
                            std::string_view code, int32_t status, std::string_view variant) {
  DateTimeText moment(date, time);
  return RunStatement(
      db, kEventForm,
      {terminalId, readerNumber, badge, moment.view(), moment.view(), code, status, variant});
}

}  // namespace tralvo
