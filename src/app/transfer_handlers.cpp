// Binds the booking loop's handlers to the export and database operations;
// what became of each row is told by the run's reporter.
#include "app/transfer_handlers.h"

#include "app/run.h"
#include "db/booking_inserts.h"
#include "export/cost_centre_booking.h"
#include "input/field_list.h"

namespace tralvo {

TransferHandlers::TransferHandlers(Run& run, Database& db)
    : run_(run), db_(db), time_(db, run.timeBookingFile, run.report) {}

void TransferHandlers::ExportTimeBooking(const FieldList& record) {
  time_.Export(record);
}

void TransferHandlers::ExportCostCentreBooking(const FieldList& record) {
  tralvo::ExportCostCentreBooking(run_.costCentreFile, run_.report, record);
}

void TransferHandlers::InsertAccessBooking(const FieldList& record) {
  run_.report.Row(RowTable::kAccess, tralvo::InsertAccessBooking(db_, record),
                  {record[field::kTerminalId], record[field::kBadgeNumber],
                   record[field::kBookingDate], record[field::kBookingTime]});
}

void TransferHandlers::InsertEventBooking(const EventBooking& e) {
  run_.report.Row(
      RowTable::kEvent,
      tralvo::InsertEventBooking(db_, e.terminalId, e.readerNumber, e.badgeNumber, e.bookingDate,
                                 e.bookingTime, e.bookingCode, e.status, e.variant),
      {e.terminalId, e.badgeNumber, e.bookingDate, e.bookingTime});
}

}  // namespace tralvo
