// The time booking line being built for one booking: the badge lookup of
// the database layer fills the holder's part, the export fills the rest and
// writes it as one 82-byte line of the time booking file.
#pragma once

#include <string>

namespace tralvo {

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

}  // namespace tralvo
