// Access bookings and events as rows of the installation's database.
#pragma once

#include <cstdint>
#include <string_view>

#include "db/outcome.h"

namespace tralvo {

class Database;
class FieldList;

// The values of one access row. The texts point into the booking record,
// which outlives the insert.
struct AccessRow {
  std::string_view terminalId;
  int32_t readerNumber = 0;
  std::string_view bookingDate;  // YYYYMMDD
  std::string_view bookingTime;  // HHMMSS
  std::string_view badgeNumber;
  int32_t rowStatus = 0;
  std::string_view runningNumber = "001";
};

// A date-time text "YYYY-MM-DD HH:MM:SS" for the server's convert style 120,
// built in place without allocating.
class DateTimeText {
 public:
  // From a YYYYMMDD date and an HHMMSS time. A value of another length
  // cannot be read without guessing, so the text is made one no server
  // reads as a date: each missing character is a '?', and a value longer
  // than its pieces adds a '?' at the end instead of being cut.
  DateTimeText(std::string_view date, std::string_view time);
  std::string_view view() const { return std::string_view(text_, size_); }

 private:
  char text_[24];
  size_t size_ = 0;
};

// Row status of an access row from a "40p" record's access status.
int32_t AccessStatusRowStatus(std::string_view accessStatus);

// Fills row from the booking record: its values and the row status of its
// record kind ("62p" looks its zone number up in db).
void BuildAccessRow(Database& db, const FieldList& record, AccessRow& row);

// Inserts one access row: kDone, kDuplicate when an equal row is there
// already (which counts as transferred), or another outcome of
// RunStatement.
DbResult InsertAccessRow(Database& db, const AccessRow& row);

// Builds and inserts the access row of a booking record.
DbResult InsertAccessBooking(Database& db, const FieldList& record);

// Inserts one event row. Outcomes as for InsertAccessRow.
DbResult InsertEventBooking(Database& db, std::string_view terminalId, int32_t readerNumber,
                            std::string_view badge, std::string_view date, std::string_view time,
                            std::string_view code, int32_t status, std::string_view variant);

}  // namespace tralvo
