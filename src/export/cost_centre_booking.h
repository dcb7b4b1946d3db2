// Cost-centre bookings: one 32-byte record of the cost-centre file per
// booking, built from the booking record alone. The file has neither
// separators nor line ends, so every record must be exactly 32 bytes or
// every later record shifts for the program that reads the file.
#pragma once

#include <cstddef>

namespace tralvo {

class BookingReport;
class FieldList;
class OutputFile;

inline constexpr size_t kCostCentreRecordLength = 32;

// Writes the record to file and has report count it; returns 0. A booking
// date that is not 8 or a booking time that is not 6 characters long is
// reported and not written (result -1).
int ExportCostCentreBooking(OutputFile& file, BookingReport& report, const FieldList& record);

}  // namespace tralvo
