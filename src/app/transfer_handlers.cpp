// Binds the booking loop's handlers to the export and database operations.
#include "app/transfer_handlers.h"

#include "db/booking_inserts.h"
#include "export/cost_centre_booking.h"
#include "export/time_booking.h"

namespace tralvo {

int TransferHandlers::ExportTimeBooking(const FieldList& record) {
  return tralvo::ExportTimeBooking(state_, db_, record);
}

int TransferHandlers::ExportCostCentreBooking(const FieldList& record) {
  return tralvo::ExportCostCentreBooking(state_, record);
}

int TransferHandlers::InsertAccessBooking(const FieldList& record) {
  return tralvo::InsertAccessBooking(state_, db_, record);
}

int TransferHandlers::InsertEventBooking(const EventBooking& e) {
  return tralvo::InsertEventBooking(db_, e.terminalId, e.readerNumber, e.badgeNumber, e.bookingDate,
                                    e.bookingTime, e.bookingCode, e.status, e.variant);
}

}  // namespace tralvo
