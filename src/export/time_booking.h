// Time bookings: one 82-byte line of the time booking file per booking,
// after the badge number is resolved to the holder's schema and personnel
// number and the booking code to its booking type.
#pragma once

#include <string>
#include <string_view>

namespace tralvo {

class BookingReport;
class Database;
class FieldList;
class OutputFile;

class TimeBookingExport {
 public:
  TimeBookingExport(Database& db, OutputFile& file, BookingReport& report)
      : db_(db), file_(file), report_(report) {}

  // Exports one time booking. Returns 0 when a line was written, -1 when
  // the booking was refused (and reported).
  int Export(const FieldList& record);

  // Makes schema the current schema of the run: the schema of the badge
  // holder of the last exported time booking. Returns 0.
  int SetCurrentSchema(std::string_view schema);
  const std::string& currentSchema() const { return currentSchema_; }

 private:
  Database& db_;
  OutputFile& file_;
  BookingReport& report_;
  std::string currentSchema_;
};

}  // namespace tralvo
