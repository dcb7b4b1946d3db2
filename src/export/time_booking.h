// Time bookings: one 82-byte line of the time booking file per booking,
// after the badge number is resolved to the holder's schema and personnel
// number and the booking code to its booking type.
#pragma once

#include <string>

namespace tralvo {

class Database;
class FieldList;
struct RunState;

// The line being built for one booking. LookupBadge fills schema and
// personnelNumber; the rest comes from the booking record.
struct TimeBookingLine {
  std::string schema;           // at most 20 characters
  std::string personnelNumber;  // at most 8 characters
  std::string date;             // DD.MM.YYYY
  std::string time;             // HH:MM
  std::string bookingType;      // 5 characters
  std::string bookingCode;      // at most 3 characters
  std::string costCentre;       // at most 30 characters
};

// Exports one time booking. Returns 0 when a line was written, -1 when the
// booking was refused (and reported).
int ExportTimeBooking(RunState& state, Database& db, const FieldList& record);

}  // namespace tralvo
